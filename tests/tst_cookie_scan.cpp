// The cookie scan: reading cookies.txt, the tracking-cookie patterns and the
// object text of a cookie detection.
#include "platform/FileHandle.h"
#include "scanner/CookieScan.h"
#include "scanner/FileWalk.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QCryptographicHash>
#include <QTest>

// A spyware table whose section (after the entries given) holds each body
// framed as the table frames it: 12 characters in front, 4 behind.
static DatabaseTables cookiePatternTables(const QStringList &bodies,
                                          QStringList table = {"***Adware", "\\ad.exe",
                                                               "***Tracking Cookie"})
{
    for (const QString &b : bodies)
        table << "frame-begin:" + b + "/end";
    DatabaseTables t;
    setTableEntries(t.CookDbEntries, t.CookDbCount, table + QStringList{"***Next", "x"});
    return t;
}

// The object texts found, each without head when it starts with it.
static QList<QByteArray> foundLines(const ScanSession &session, const QString &head)
{
    QList<QByteArray> lines;
    for (qsizetype i = 1; i <= session.results().count(); ++i) {
        const QString l = session.results().row(i).location;
        lines << l.sliced(l.startsWith(head) ? head.size() : 0).toLatin1();
    }
    return lines;
}

class TestCookieScan : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void patternSection();
    void linesAsRead();
    void upperCaseNameInTheWalk();

private:
    QString folder(const QString &sub) const { return m_app->path() + "/" + sub; }
    std::unique_ptr<ScanSession> session(const DatabaseTables &tables) const
    {
        return m_app->newSession(makeEngine(tables));
    }
    std::unique_ptr<TestAppFolder> m_app;
};

void TestCookieScan::init()
{
    m_app.reset();
    m_app = std::make_unique<TestAppFolder>();
}

void TestCookieScan::patternSection()
{
    // An empty body is framed by exactly 16 characters; "tiny" by none.
    CookiePatterns patterns = CookiePatterns::fromTables(cookiePatternTables(
        {"*tracker*", "ads.example", "*mb*", "*com*", "*2006*", QString(), "x*"},
        {"***Tracking Cookie", "tiny"}));
    QCOMPARE(patterns.patterns, QStringList({"*tracker*", "*ads.example", "*", "*x*"}));
    QVERIFY(patterns.found);
    // Without a section, or without a header after it, nothing is tested.
    const QString dir = folder("browser/");
    writeTestFile(dir + "cookies.txt", "tracker line\n");
    const auto noSection = session(cookiePatternTables({"*tracker*"}, {"***Other.Name"}));
    noSection->state().CurrentThreatName = "unchanged";
    ScanMozilla(*noSection, dir, "cookies.txt");
    QCOMPARE(noSection->state().CurrentThreatName, QString("unchanged"));
    QCOMPARE(noSection->results().count(), 0);
    DatabaseTables cut = cookiePatternTables({"*tracker*"});
    cut.CookDbCount -= 2; // the header after it is past the count
    patterns = CookiePatterns::fromTables(cut);
    QVERIFY(patterns.patterns.isEmpty() && !patterns.found);
    // The header is looked for only within 20,000 entries after the section's.
    const auto tooFar = session(cookiePatternTables(QStringList(20000, "*tracker*")));
    ScanMozilla(*tooFar, dir, "cookies.txt");
    QCOMPARE(tooFar->results().count(), 0);
    const auto inReach = session(cookiePatternTables(QStringList(19999, "*tracker*")));
    ScanMozilla(*inReach, dir, "cookies.txt");
    ScanMozilla(*inReach, dir, "absent.txt");
    // A folder named for neither browser gives no prefix; the file's name
    // does not count.
    QCOMPARE(foundLines(*inReach, {}),
             QList<QByteArray>{(dir + "cookies.txt+tracker line\n").toLatin1()});
    QCOMPARE(cookiePrefix("/.mozilla/NetScape/"), QString("netscape:"));
    QCOMPARE(cookiePrefix("/netscape/mozilla/"), QString("netscape:"));
}

void TestCookieScan::linesAsRead()
{
    // The euro sign is byte 0x80 in Windows-1252.
    const auto scan =
        session(cookiePatternTables({"*tracker*", "*double*", "*both*", "ads.example", "*mb*",
                                     "*q*", QString::fromUtf8("*\u20acuro*")}));
    const QByteArray longest = "tracker" + QByteArray(kMaxCookieLineBytes - 8, 'v') + "\n";
    const QByteArray tooLong = "tracker" + QByteArray(kMaxCookieLineBytes - 7, 'w') + "\n";
    const QList<QByteArray> found{".site\tTRUE\t/\tFALSE\t0\ttracker\tone\n",
                                  "crlf tracker\r\n",
                                  "double and both\n",
                                  "qq\n",
                                  "price \x80uro \xe9\xff\n",
                                  "tracker \x01\x7f\x81\xa0\xfe\r\n",
                                  longest,
                                  "a+tracker+b\n"};
    // A comment, a pattern that must fit up to the line feed, a pattern left
    // out, a line of two bytes, lines longer than the limit and a last line
    // without its line feed.
    const QByteArray content = "# tracker in a comment\n" + found[0] + found[1] + found[2] +
                               "only ads.example\nthe mb word\nq\n" + found[3] + found[4] +
                               found[5] + tooLong + found[6] + tooLong + found[7] +
                               "tail tracker without end";
    const QString dir = folder("profiles/mozilla/x/");
    writeTestFile(dir + "cookies.txt", content);
    ScanMozilla(*scan, dir, "cookies.txt");
    QCOMPARE(foundLines(*scan, "mozilla:" + dir + "cookies.txt+"), found);
    QCOMPARE(scan->state().DetectionCount, found.size());
    QCOMPARE(scan->state().ObjectsScanned, 0);
    QCOMPARE(scan->state().CurrentThreatName, QString("Tracking Cookie"));
    // The lines alone, as the engine's patterns pick them.
    QList<QByteArray> lines;
    scanCookieLines(scan->engine().cookiePatterns(),
                    FileHandle::openRegularFile(QFile::encodeName(dir + "cookies.txt")),
                    [&lines](const QByteArray &line) { lines << line; });
    QCOMPARE(lines, found);
}

void TestCookieScan::upperCaseNameInTheWalk()
{
    // Handed to the cookie scan and checked by content, but never by name,
    // even by "*".
    const QByteArray content("# Netscape HTTP Cookie File\n.ads\tTRUE\t/\tFALSE\t0\ttracker\t1\n");
    const QString dir = folder("scan/Netscape/");
    writeTestFile(dir + "COOKIES.TXT", content);
    DatabaseTables tables =
        cookiePatternTables({"*tracker*"}, {"***Name", "*", "***Tracking Cookie"});
    setTableEntries(
        tables.TrojSigEntries, tables.TrojSigCount,
        {QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + " Content"});
    const auto walk = session(tables);
    ScanFolder(*walk, folder("scan/"));
    QCOMPARE(walk->state().DetectionCount, 2);
    QCOMPARE(walk->results().row(2).name, QString("Content"));
    QCOMPARE(foundLines(*walk, "netscape:" + dir + "COOKIES.TXT+"),
             QList<QByteArray>(
                 {".ads\tTRUE\t/\tFALSE\t0\ttracker\t1\n", (dir + "COOKIES.TXT").toLatin1()}));
}

QTEST_GUILESS_MAIN(TestCookieScan)
#include "tst_cookie_scan.moc"
