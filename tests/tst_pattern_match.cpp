// The wildcard rules and the name check over CookDbEntries.
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "platform/ProgressIndicator.h"
#include "scanner/NameCheck.h"
#include "scanner/NameCheckIndex.h"
#include "scanner/PatternMatch.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "tests/support/TestAppFolder.h"

#include <QRandomGenerator>
#include <QTest>

#include <bit>

namespace {

void setCookDb(const QStringList &entries)
{
    DatabaseTables &t = databaseTables();
    t.CookDbEntries = QStringList{QString()} + entries;
    t.CookDbCount = qint32(entries.size());
}

// The name check read straight from the table, entry by entry, as a reference
// for the index: the matching entry number and the threat name left behind.
struct LinearResult {
    qint32 entry = 0;
    QString threatName;
};

LinearResult linearNameCheck(const QString &full, const QString &threatBefore)
{
    const DatabaseTables &t = databaseTables();
    LinearResult r{0, threatBefore};
    for (qint32 i = 1; i <= t.CookDbCount; ++i) {
        const QString &e = t.CookDbEntries.at(i);
        if (e.startsWith(QLatin1String("***"))) {
            r.threatName = e.mid(3);
            continue;
        }
        if (e.startsWith(QLatin1String("[[[")) || e.isEmpty() || e.size() > full.size())
            continue;
        const bool match = e.contains(QLatin1Char('*'))
                               ? PatternMatch::matches(full, e)
                               : PatternMatch::matches(QStringView(full).last(e.size()), e);
        if (match) {
            r.entry = i;
            return r;
        }
    }
    return r;
}

QString randomText(QRandomGenerator &rng, const QString &alphabet, int minLen, int maxLen)
{
    QString s;
    const int len = rng.bounded(minLen, maxLen + 1);
    for (int i = 0; i < len; ++i)
        s += alphabet.at(rng.bounded(int(alphabet.size())));
    return s;
}

} // namespace

class TestPatternMatch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void wildcardRules_data();
    void wildcardRules();
    void malformedPatterns();
    void literalRuns();
    void suffixAndWholePath();
    void patternLongerThanPath();
    void threatNameOfNearestHeader();
    void cookieFileIsNotCheckedByName();
    void indexAgreesWithTableOrder();
    void indexFollowsTableChanges();

private:
    std::unique_ptr<TestAppFolder> m_app;
};

void TestPatternMatch::init()
{
    m_app.reset();
    m_app = std::make_unique<TestAppFolder>();
    resetScanState();
    resultList().clear();
}

void TestPatternMatch::wildcardRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("expected");
    QTest::newRow("plain equal") << "abc" << "abc" << true;
    QTest::newRow("plain longer text") << "abcd" << "abc" << false;
    QTest::newRow("case counts") << "ABC" << "abc" << false;
    QTest::newRow("question one") << "abc" << "a?c" << true;
    QTest::newRow("question not empty") << "ac" << "a?c" << false;
    QTest::newRow("star empty") << "ac" << "a*c" << true;
    QTest::newRow("star run") << "a\\x\\y\\c" << "a*c" << true;
    QTest::newRow("star backtracks") << "abcbcbd" << "a*bcd" << false;
    QTest::newRow("star backtracks fits") << "abcbcd" << "a*bcd" << true;
    QTest::newRow("stars only") << "" << "**" << true;
    QTest::newRow("empty text") << "" << "?" << false;
    QTest::newRow("hash digit") << "v7" << "v#" << true;
    QTest::newRow("hash letter") << "vx" << "v#" << false;
    QTest::newRow("list in") << "b" << "[abc]" << true;
    QTest::newRow("list out") << "d" << "[abc]" << false;
    QTest::newRow("negated in") << "b" << "[!abc]" << false;
    QTest::newRow("negated out") << "d" << "[!abc]" << true;
    QTest::newRow("range in") << "e" << "[a-f]" << true;
    QTest::newRow("range out") << "g" << "[a-f]" << false;
    QTest::newRow("reversed range holds nothing") << "c" << "[f-a]" << false;
    QTest::newRow("hyphen first") << "-" << "[-a]" << true;
    QTest::newRow("hyphen last") << "-" << "[a-]" << true;
    QTest::newRow("hyphen first not range") << "0" << "[-a]" << false;
    QTest::newRow("star in list literal") << "*" << "[*]" << true;
    QTest::newRow("star in list not any") << "x" << "[*]" << false;
    QTest::newRow("question in list") << "?" << "[?]" << true;
    QTest::newRow("question in list not any") << "x" << "[?]" << false;
    QTest::newRow("hash in list") << "#" << "[#]" << true;
    QTest::newRow("hash in list not digit") << "5" << "[#]" << false;
    QTest::newRow("bracket in list") << "[" << "[[]" << true;
    QTest::newRow("empty list") << "a" << "[]" << false;
    QTest::newRow("empty negated list") << "a" << "[!]" << true;
    QTest::newRow("list takes one char") << "ab" << "[ab]" << false;
    QTest::newRow("list in path") << "c:\\x1\\bad.exe" << "*\\x[0-9]\\*.exe" << true;
    QTest::newRow("backslash plain") << "\\a\\b" << "\\a\\b" << true;
    QTest::newRow("lf must be matched") << "line\n" << "*line" << false;
    QTest::newRow("lf by star") << "line\n" << "*line*" << true;
}

void TestPatternMatch::wildcardRules()
{
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, expected);
    QCOMPARE(PatternMatch::matches(text, pattern), expected);
}

void TestPatternMatch::malformedPatterns()
{
    QVERIFY(!PatternMatch::isWellFormed(u"abc[de"));
    QVERIFY(!PatternMatch::isWellFormed(u"["));
    QVERIFY(PatternMatch::isWellFormed(u"a]b"));
    QVERIFY(PatternMatch::isWellFormed(u"[]"));
    // The text fits the part before the bracket, but the pattern is broken.
    QVERIFY(!PatternMatch::matches(u"abc", u"abc*["));
    QVERIFY(!PatternMatch::matches(u"abc[de", u"abc[de"));
    QVERIFY(PatternMatch::matches(u"a]b", u"a]b"));
}

void TestPatternMatch::literalRuns()
{
    const auto runs = [](QStringView pattern) {
        QStringList l;
        for (QStringView run : PatternMatch::literalRuns(pattern))
            l << run.toString();
        return l;
    };
    QCOMPARE(runs(u"*\\bad*.exe"), QStringList({"\\bad", ".exe"}));
    QCOMPARE(runs(u"ab[cdefg]xyz?q"), QStringList({"ab", "xyz", "q"}));
    QCOMPARE(runs(u"[!*?#]x"), QStringList({"x"}));
    QCOMPARE(runs(u"*?#*"), QStringList());
    QVERIFY(PatternMatch::hasWildcards(u"a[b]"));
    QVERIFY(PatternMatch::hasWildcards(u"a#"));
    QVERIFY(!PatternMatch::hasWildcards(u"\\windows\\bad.exe"));
}

void TestPatternMatch::suffixAndWholePath()
{
    setCookDb({"***Plain.Suffix", "bad.exe", "***Whole.Path", "*\\evil*.dll", "x?.sys"});
    QVERIFY(Checkfile("/data/x/", "notbad.exe"));
    QCOMPARE(scanState().CurrentThreatName, QString("Plain.Suffix"));
    QVERIFY(Checkfile("/data/x/", "BAD.EXE"));
    // A star pattern must fit the whole path...
    QVERIFY(Checkfile("/data/", "evil32.dll"));
    QCOMPARE(scanState().CurrentThreatName, QString("Whole.Path"));
    QVERIFY(!Checkfile("/data/", "evil32.dll.txt"));
    // ... a pattern without one only the end.
    QVERIFY(Checkfile("/a/b/", "prefix-xy.sys"));
    QVERIFY(!Checkfile("/a/b/", "prefix-y.sys"));
    QCOMPARE(nameCheckPath("/Data/Sub/", "File.EXE"), QString("\\data\\sub\\file.exe"));
    QVERIFY(!Checkfile("/data/", QString()));
}

void TestPatternMatch::patternLongerThanPath()
{
    setCookDb({"***Long", "*\\a", "***Short", "\\a"});
    // "*\\a" fits "\\a" as a pattern, but it is longer than the path.
    QVERIFY(Checkfile("/", "a"));
    QCOMPARE(scanState().CurrentThreatName, QString("Short"));
    QVERIFY(Checkfile("/x/", "a"));
    QCOMPARE(scanState().CurrentThreatName, QString("Long"));
}

void TestPatternMatch::threatNameOfNearestHeader()
{
    setCookDb({"orphan.exe", "***First", "[[[version", "one.exe", "***Second", "two.exe",
               "***Third", "three.exe"});
    scanState().CurrentThreatName = "before";
    QVERIFY(Checkfile("/p/", "orphan.exe"));
    QCOMPARE(scanState().CurrentThreatName, QString("before"));
    QVERIFY(Checkfile("/p/", "two.exe"));
    QCOMPARE(scanState().CurrentThreatName, QString("Second"));
    // No match: every header has been read, the last one stays.
    QVERIFY(!Checkfile("/p/", "other.dll"));
    QCOMPARE(scanState().CurrentThreatName, QString("Third"));
    // The version line is not a pattern.
    QVERIFY(!Checkfile("/p/", "[[[version"));
    // The lowest-numbered match wins over a later, longer one.
    setCookDb({"***Early", "e.exe", "***Late", "\\late.exe"});
    QVERIFY(Checkfile("/p/", "late.exe"));
    QCOMPARE(scanState().CurrentThreatName, QString("Early"));

    // Two plain patterns whose hashes are equal: the Thue-Morse text of 2,048
    // letters and its complement collide under any polynomial hash modulo
    // 2^64.  Each must still match only its own text.
    QString thueMorse;
    QString complement;
    for (int i = 0; i < 2048; ++i) {
        const bool odd = std::popcount(unsigned(i)) % 2;
        thueMorse += QLatin1Char(odd ? 'b' : 'a');
        complement += QLatin1Char(odd ? 'a' : 'b');
    }
    setCookDb({"***Complement", complement, "***Thue.Morse", thueMorse});
    QVERIFY(Checkfile("/p/", thueMorse));
    QCOMPARE(scanState().CurrentThreatName, QString("Thue.Morse"));
    QVERIFY(Checkfile("/p/", complement));
    QCOMPARE(scanState().CurrentThreatName, QString("Complement"));
    QVERIFY(!Checkfile("/p/", thueMorse.sliced(1)));
}

void TestPatternMatch::cookieFileIsNotCheckedByName()
{
    setCookDb({"***Cookie.Name", "cookies.txt", "*"});
    QVERIFY(!Checkfile(m_app->path() + "/", "cookies.txt"));
    QVERIFY(!Checkfile(m_app->path() + "/", "Cookies.TXT"));
    QVERIFY(Checkfile(m_app->path() + "/", "cookies.txt.bak"));
    QCOMPARE(resultList().count(), 0);
}

void TestPatternMatch::indexAgreesWithTableOrder()
{
    QRandomGenerator rng(20261206);
    const QString alphabet = "ab\\.x1";
    const QString patternAlphabet = "ab\\.x1ab\\.x1?#*[]!-";
    int matched = 0;
    for (int round = 0; round < 40; ++round) {
        QStringList entries;
        const int n = rng.bounded(1, 120);
        for (int i = 0; i < n; ++i) {
            const int kind = rng.bounded(10);
            if (kind == 0)
                entries << "***Threat" + QString::number(i);
            else if (kind < 6)
                entries << randomText(rng, alphabet, 1, 6);
            else
                entries << randomText(rng, patternAlphabet, 1, 8);
        }
        setCookDb(entries);
        for (int p = 0; p < 200; ++p) {
            const QString full = "\\" + randomText(rng, alphabet, 0, 14);
            const LinearResult expected = linearNameCheck(full, "before");
            const qint32 got = NameCheckIndex::forTables(databaseTables()).firstMatch(full);
            QCOMPARE(got, expected.entry);
            scanState().CurrentThreatName = "before";
            const QString root = full.left(full.lastIndexOf('\\') + 1).replace('\\', '/');
            const QString name = full.mid(root.size());
            if (name.isEmpty())
                continue;
            QCOMPARE(Checkfile(root, name), expected.entry != 0);
            QCOMPARE(scanState().CurrentThreatName, expected.threatName);
            matched += expected.entry != 0;
        }
    }
    // The random tables must give both outcomes for the comparison to mean much.
    QVERIFY(matched > 500);
    QVERIFY(matched < 40 * 200 - 500);
}

void TestPatternMatch::indexFollowsTableChanges()
{
    setCookDb({"***One", "first.exe"});
    QVERIFY(Checkfile("/p/", "first.exe"));
    QVERIFY(!Checkfile("/p/", "second.exe"));
    // An edit in place, as the folder-token expansion does it.
    databaseTables().CookDbEntries[2] = "second.exe";
    QVERIFY(Checkfile("/p/", "second.exe"));
    QVERIFY(!Checkfile("/p/", "first.exe"));
    // A smaller count hides the entry.
    databaseTables().CookDbCount = 1;
    QVERIFY(!Checkfile("/p/", "second.exe"));
    // A reload of the table.
    m_app->writeDatabase("cookdb.dat", "[[[7\n***Loaded\nThird.exe\n--ME-\n<<<>>\n");
    SilentProgress bar;
    LoadDatabases(bar);
    QVERIFY(databaseTables().CookDbLoaded);
    QVERIFY(Checkfile("/p/", "third.exe"));
    QCOMPARE(scanState().CurrentThreatName, QString("Loaded"));
}

QTEST_GUILESS_MAIN(TestPatternMatch)
#include "tst_pattern_match.moc"
