// The cookie scan: reading cookies.txt, the tracking-cookie patterns and the
// object text of a cookie detection.
#include "databases/DatabaseTables.h"
#include "scanner/CookieScan.h"
#include "scanner/FileWalk.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "tests/support/TestAppFolder.h"

#include <QCryptographicHash>
#include <QTest>

// A spyware table whose section (after the entries given) holds each body
// framed as the table frames it: 12 characters in front, 4 behind.
static void setCookiePatterns(const QStringList &bodies,
                              QStringList table = {"***Adware", "\\ad.exe", "***Tracking Cookie"})
{
    for (const QString &b : bodies)
        table << "frame-begin:" + b + "/end";
    databaseTables().CookDbEntries = QStringList{QString()} + table + QStringList{"***Next", "x"};
    databaseTables().CookDbCount = qint32(table.size() + 2);
}

// The object texts found, each without head when it starts with it.
static QList<QByteArray> foundLines(const QString &head)
{
    QList<QByteArray> lines;
    for (qsizetype i = 1; i <= resultList().count(); ++i) {
        const QString l = resultList().row(i).location;
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
    std::unique_ptr<TestAppFolder> m_app;
};

void TestCookieScan::init()
{
    m_app.reset();
    m_app = std::make_unique<TestAppFolder>();
    resetScanState();
    resultList().clear();
}

void TestCookieScan::patternSection()
{
    // An empty body is framed by exactly 16 characters; "tiny" by none.
    setCookiePatterns({"*tracker*", "ads.example", "*mb*", "*com*", "*2006*", QString(), "x*"},
                      {"***Tracking Cookie", "tiny"});
    bool found = false;
    QCOMPARE(cookiePatterns(&found), QStringList({"*tracker*", "*ads.example", "*", "*x*"}));
    QVERIFY(found);
    // Without a section, or without a header after it, nothing is tested.
    setCookiePatterns({"*tracker*"}, {"***Other.Name"});
    const QString dir = folder("browser/");
    writeTestFile(dir + "cookies.txt", "tracker line\n");
    scanState().CurrentThreatName = "unchanged";
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(scanState().CurrentThreatName, QString("unchanged"));
    setCookiePatterns({"*tracker*"});
    databaseTables().CookDbCount -= 2; // the header after it is past the count
    QVERIFY(cookiePatterns(&found).isEmpty());
    QVERIFY(!found);
    // The header is looked for only within 20,000 entries after the section's.
    setCookiePatterns(QStringList(20000, "*tracker*"));
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(resultList().count(), 0);
    setCookiePatterns(QStringList(19999, "*tracker*"));
    ScanMozilla(dir, "cookies.txt");
    ScanMozilla(dir, "absent.txt");
    // A folder named for neither browser gives no prefix; the file's name
    // does not count.
    QCOMPARE(foundLines({}), QList<QByteArray>{(dir + "cookies.txt+tracker line\n").toLatin1()});
    QCOMPARE(cookiePrefix("/.mozilla/NetScape/"), QString("netscape:"));
    QCOMPARE(cookiePrefix("/netscape/mozilla/"), QString("netscape:"));
}

void TestCookieScan::linesAsRead()
{
    // The euro sign is byte 0x80 in Windows-1252.
    setCookiePatterns({"*tracker*", "*double*", "*both*", "ads.example", "*mb*", "*q*",
                       QString::fromUtf8("*\u20acuro*")});
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
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(foundLines("mozilla:" + dir + "cookies.txt+"), found);
    QCOMPARE(scanState().DetectionCount, found.size());
    QCOMPARE(scanState().ObjectsScanned, 0);
    QCOMPARE(scanState().CurrentThreatName, QString("Tracking Cookie"));
}

void TestCookieScan::upperCaseNameInTheWalk()
{
    // Handed to the cookie scan and checked by content, but never by name,
    // even by "*".
    const QByteArray content("# Netscape HTTP Cookie File\n.ads\tTRUE\t/\tFALSE\t0\ttracker\t1\n");
    const QString dir = folder("scan/Netscape/");
    writeTestFile(dir + "COOKIES.TXT", content);
    setCookiePatterns({"*tracker*"}, {"***Name", "*", "***Tracking Cookie"});
    databaseTables().TrojSigEntries = {
        QString(), QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex() + " Content"};
    databaseTables().TrojSigCount = 1;
    ScanFolder(folder("scan/"));
    QCOMPARE(scanState().DetectionCount, 2);
    QCOMPARE(resultList().row(2).name, QString("Content"));
    QCOMPARE(foundLines("netscape:" + dir + "COOKIES.TXT+"),
             QList<QByteArray>(
                 {".ads\tTRUE\t/\tFALSE\t0\ttracker\t1\n", (dir + "COOKIES.TXT").toLatin1()}));
}

QTEST_GUILESS_MAIN(TestCookieScan)
#include "tst_cookie_scan.moc"
