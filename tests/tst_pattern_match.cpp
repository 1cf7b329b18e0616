// The wildcard rules and the name check over CookDbEntries.
#include "scanner/Engine.h"
#include "scanner/NameCheck.h"
#include "scanner/NameCheckIndex.h"
#include "scanner/PatternMatch.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QRandomGenerator>
#include <QTest>

#include <bit>

static DatabaseTables cookDb(const QStringList &entries)
{
    DatabaseTables t;
    setTableEntries(t.CookDbEntries, t.CookDbCount, entries);
    return t;
}

// The name check read straight from the table, entry by entry, as a reference
// for the index: the matching entry number and the threat name left behind.
static std::pair<qint32, QString> linearNameCheck(const DatabaseTables &t, const QString &full,
                                                  QString threatName)
{
    for (qint32 i = 1; i <= t.CookDbCount; ++i) {
        const QString &e = t.CookDbEntries.at(i);
        if (e.startsWith("***"))
            threatName = e.mid(3);
        else if (!e.startsWith("[[[") && !e.isEmpty() && e.size() <= full.size() &&
                 PatternMatch::matches(e.contains('*') ? full : full.last(e.size()), e))
            return {i, threatName};
    }
    return {0, threatName};
}

static QString randomText(QRandomGenerator &rng, const QString &alphabet, int minLen, int maxLen)
{
    QString s;
    for (int len = rng.bounded(minLen, maxLen + 1); s.size() < len;)
        s += alphabet.at(rng.bounded(int(alphabet.size())));
    return s;
}

class TestPatternMatch : public QObject
{
    Q_OBJECT
private slots:
    void wildcardRules();
    void nameCheck();
    void indexAgreesWithTableOrder();
};

void TestPatternMatch::wildcardRules()
{
    // "text|pattern"; a pattern with an unclosed bracket fits nothing, not
    // even itself.
    const QStringList fits{"abc|abc", "abc|a?c", "ac|a*c",        "a\\x\\y\\c|a*c", "abcbcd|a*bcd",
                           "|**",     "v7|v#",   "b|[abc]",       "d|[!abc]",       "e|[a-f]",
                           "-|[-a]",  "-|[a-]",  "*|[*]",         "?|[?]",          "#|[#]",
                           "[|[[]",   "a|[!]",   "\\a\\b|\\a\\b", "line\n|*line*",  "a]b|a]b"};
    const QStringList misses{"abcd|abc", "ABC|abc",      "ac|a?c",    "abcbcbd|a*bcd", "|?",
                             "vx|v#",    "d|[abc]",      "b|[!abc]",  "g|[a-f]",       "c|[f-a]",
                             "0|[-a]",   "x|[*]",        "x|[?]",     "5|[#]",         "a|[]",
                             "ab|[ab]",  "line\n|*line", "abc|abc*[", "abc[de|abc[de"};
    for (const bool fit : {true, false}) {
        for (const QString &row : fit ? fits : misses) {
            const QString text = row.section('|', 0, 0), pattern = row.section('|', 1);
            QVERIFY2(PatternMatch::matches(text, pattern) == fit, qPrintable(row));
        }
    }
}

void TestPatternMatch::nameCheck()
{
    // The Thue-Morse text of 2,048 letters and its complement collide under
    // any polynomial hash modulo 2^64: each must still match only its own text.
    QString thueMorse, complement;
    for (int i = 0; i < 2048; ++i) {
        const bool odd = std::popcount(unsigned(i)) % 2;
        thueMorse += QLatin1Char(odd ? 'b' : 'a');
        complement += QLatin1Char(odd ? 'a' : 'b');
    }
    const QStringList paths{"***Plain", "bad.exe", "***Whole.Path", "*\\evil*.dll", "x?.sys"};
    const QStringList headers{"orphan.exe", "***First", "[[[version",
                              "***Second",  "two.exe",  "***Third"};
    const QStringList collide{"***Complement", complement, "***Thue.Morse", thueMorse};
    // Table, path, whether it is found, threat name left ("before": untouched).
    const std::tuple<QStringList, QString, bool, QString> cases[] = {
        {paths, "/Data/X/notBAD.EXE", true, "Plain"},
        // A star pattern must fit the whole path, a pattern without one only
        // the end.  With no match, the last header's name stays.
        {paths, "/data/evil32.dll.txt", false, "Whole.Path"},
        {paths, "/a/b/prefix-xy.sys", true, "Whole.Path"},
        {paths, "/data/", false, "before"},
        // "*\\a" fits "\\a" as a pattern, but it is longer than the path.
        {{"***Long", "*\\a", "***Short", "\\a"}, "/a", true, "Short"},
        {{"***Long", "*\\a", "***Short", "\\a"}, "/x/a", true, "Long"},
        {headers, "/p/orphan.exe", true, "before"},
        {headers, "/p/two.exe", true, "Second"},
        {headers, "/p/[[[version", false, "Third"},
        // The lowest-numbered match wins over a later, longer one.
        {{"***Early", "e.exe", "***Late", "\\late.exe"}, "/p/late.exe", true, "Early"},
        {collide, "/p/" + thueMorse, true, "Thue.Morse"},
        {collide, "/p/" + complement, true, "Complement"},
        {collide, "/p/" + thueMorse.sliced(1), false, "Thue.Morse"},
    };
    TestAppFolder app;
    NameCheckIndex::Lookup lookup;
    for (const auto &[table, path, found, threatName] : cases) {
        const EngineHandle engine = makeEngine(cookDb(table));
        const qsizetype slash = path.lastIndexOf('/') + 1;
        const QString root = path.left(slash), name = path.mid(slash);
        // The check alone, and within a scan, where it leaves the name behind.
        const NameVerdict verdict = checkFileName(*engine, root, name, lookup);
        QCOMPARE(verdict.matched, found);
        QCOMPARE(verdict.threatName.value_or("before"), threatName);
        const std::unique_ptr<ScanSession> session = app.newSession(engine);
        session->state().CurrentThreatName = "before";
        QCOMPARE(Checkfile(*session, root, name), found);
        QCOMPARE(session->state().CurrentThreatName, threatName);
    }
    // An engine holds the tables as they were when it was made: a later edit
    // (as the folder-token expansion makes one) or a smaller count shows only
    // in an engine made after it.
    DatabaseTables tables = cookDb({"***One", "first.exe"});
    const EngineHandle first = makeEngine(tables);
    tables.CookDbEntries[2] = "second.exe";
    const EngineHandle edited = makeEngine(tables);
    tables.CookDbCount = 1;
    const EngineHandle shorter = makeEngine(tables);
    const auto matches = [&lookup](const EngineHandle &engine, const QString &name) {
        return checkFileName(*engine, "/p/", name, lookup).matched;
    };
    QVERIFY(matches(first, "first.exe") && !matches(first, "second.exe"));
    QVERIFY(matches(edited, "second.exe") && !matches(edited, "first.exe"));
    QVERIFY(!matches(shorter, "second.exe"));
}

void TestPatternMatch::indexAgreesWithTableOrder()
{
    QRandomGenerator rng(20261206);
    const QString alphabet = "ab\\.x1";
    int matched = 0;
    TestAppFolder app;
    // One scratch space for tables of every size.
    NameCheckIndex::Lookup lookup;
    for (int round = 0; round < 40; ++round) {
        QStringList entries;
        for (int i = 0, n = rng.bounded(1, 120); i < n; ++i) {
            const int kind = rng.bounded(10);
            entries << (kind == 0  ? "***Threat" + QString::number(i)
                        : kind < 6 ? randomText(rng, alphabet, 1, 6)
                                   : randomText(rng, alphabet + alphabet + "?#*[]!-", 1, 8));
        }
        const EngineHandle engine = makeEngine(cookDb(entries));
        const std::unique_ptr<ScanSession> session = app.newSession(engine);
        for (int p = 0; p < 200; ++p) {
            const QString full = "\\" + randomText(rng, alphabet, 0, 14);
            const auto [entry, threatName] = linearNameCheck(engine->tables(), full, "before");
            QCOMPARE(engine->nameIndex().firstMatch(full, lookup), entry);
            const QString root = full.left(full.lastIndexOf('\\') + 1).replace('\\', '/');
            if (root.size() == full.size())
                continue;
            session->state().CurrentThreatName = "before";
            QCOMPARE(Checkfile(*session, root, full.mid(root.size())), entry != 0);
            QCOMPARE(session->state().CurrentThreatName, threatName);
            matched += entry != 0;
        }
    }
    // The random tables must give both outcomes for the comparison to mean much.
    QVERIFY(matched > 500 && matched < 40 * 200 - 500);
}

QTEST_GUILESS_MAIN(TestPatternMatch)
#include "tst_pattern_match.moc"
