// The cookie scan: reading cookies.txt, the tracking-cookie patterns and the
// object text of a cookie detection.
#include "databases/DatabaseTables.h"
#include "scanner/CookieScan.h"
#include "scanner/FileWalk.h"
#include "scanner/NameCheck.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "tests/support/TestAppFolder.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>

namespace {

// A cookie pattern entry: 12 framing characters, the body, 4 more.
QString cookieEntry(const QString &body)
{
    return "frame-begin:" + body + "/end";
}

void setCookDb(const QStringList &entries)
{
    DatabaseTables &t = databaseTables();
    t.CookDbEntries = QStringList{QString()} + entries;
    t.CookDbCount = qint32(entries.size());
}

void setCookiePatterns(const QStringList &bodies)
{
    QStringList entries{"***Adware.Name", "\\adware.exe", "***Tracking Cookie"};
    for (const QString &b : bodies)
        entries << cookieEntry(b);
    entries << "***Next.Group" << "other.exe";
    setCookDb(entries);
}

QList<QByteArray> foundCookieLines(const QString &head)
{
    QList<QByteArray> lines;
    for (qsizetype i = 1; i <= resultList().count(); ++i) {
        const ResultListModel::Row &r = resultList().row(i);
        if (r.name == "Tracking Cookie" && r.location.startsWith(head))
            lines << r.location.mid(head.size()).toLatin1();
    }
    return lines;
}

} // namespace

class TestCookieScan : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void patternsFromTheSection();
    void sectionMissingTestsNothing();
    void linesAsRead();
    void everyTestedLineWithAnEmptyBody();
    void prefixByFolderName();
    void bytesCarriedUnchanged();
    void longLinesAreTestedUpToTheLimit();
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

void TestCookieScan::patternsFromTheSection()
{
    setCookiePatterns({"*tracker*", "ads.example", "*mb*", "*com*", "*2006*", "x*"});
    // A short entry is passed over alone.
    databaseTables().CookDbEntries.insert(5, "tiny");
    ++databaseTables().CookDbCount;
    bool found = false;
    QCOMPARE(cookiePatterns(&found), QStringList({"*tracker*", "*ads.example", "*x*"}));
    QVERIFY(found);
}

void TestCookieScan::sectionMissingTestsNothing()
{
    const QString dir = folder("mozilla/");
    writeTestFile(dir + "cookies.txt", "tracker line\n");
    // No "Tracking Cookie" entry.
    setCookDb({"***Adware.Name", cookieEntry("*tracker*"), "***Next"});
    scanState().CurrentThreatName = "unchanged";
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(resultList().count(), 0);
    QCOMPARE(scanState().CurrentThreatName, QString("unchanged"));
    // A section without a header after it.
    setCookDb({"***Tracking Cookie", cookieEntry("*tracker*")});
    bool found = true;
    QVERIFY(cookiePatterns(&found).isEmpty());
    QVERIFY(!found);
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(resultList().count(), 0);
    // The header is looked for only within 20,000 entries after the section's.
    QStringList far{"***Tracking Cookie"};
    for (int i = 0; i < 20000; ++i)
        far << cookieEntry("*tracker*");
    far << "***Next";
    setCookDb(far);
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(resultList().count(), 0);
    far.removeAt(1);
    setCookDb(far);
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(resultList().count(), 1);
    // A file that is not there.
    ScanMozilla(dir, "absent.txt");
    QCOMPARE(resultList().count(), 1);
}

void TestCookieScan::linesAsRead()
{
    setCookiePatterns({"*tracker*", "*double*", "*both*", "ads.example", "*mb*"});
    const QString dir = folder("profiles/mozilla/x/");
    writeTestFile(dir + "cookies.txt", "# tracker in a comment\n"
                                       ".site\tTRUE\t/\tFALSE\t0\ttracker\tone\n"
                                       "crlf tracker\r\n"
                                       "double and both\n"
                                       "only ads.example\n"
                                       "the mb word\n"
                                       "a+tracker+b\n"
                                       "tail tracker without end");
    scanState().CurrentThreatName = "before";
    ScanMozilla(dir, "cookies.txt");
    const QString head = "mozilla:" + dir + "cookies.txt+";
    QCOMPARE(foundCookieLines(head),
             QList<QByteArray>({".site\tTRUE\t/\tFALSE\t0\ttracker\tone\n", "crlf tracker\r\n",
                                "double and both\n", "a+tracker+b\n"}));
    QCOMPARE(scanState().DetectionCount, 4);
    QCOMPARE(scanState().ObjectsScanned, 0);
    QCOMPARE(scanState().CurrentThreatName, QString("Tracking Cookie"));
}

void TestCookieScan::everyTestedLineWithAnEmptyBody()
{
    setCookiePatterns({QString()});
    const QString dir = folder("plain/");
    writeTestFile(dir + "cookies.txt", "ab\n"
                                       "a\n"
                                       "\n"
                                       "#x\n"
                                       "xy\r\n"
                                       "\r\n"
                                       "last");
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(foundCookieLines(dir + "cookies.txt+"),
             QList<QByteArray>({"ab\n", "xy\r\n"}));
}

void TestCookieScan::prefixByFolderName()
{
    QCOMPARE(cookiePrefix("/home/u/.Mozilla/firefox/"), QString("mozilla:"));
    QCOMPARE(cookiePrefix("/home/u/NetScape/"), QString("netscape:"));
    QCOMPARE(cookiePrefix("/mozilla/netscape/"), QString("netscape:"));
    QCOMPARE(cookiePrefix("/netscape/mozilla/"), QString("netscape:"));
    QCOMPARE(cookiePrefix("/home/u/browser/"), QString());
    // The file name is not part of what decides.
    setCookiePatterns({"*tracker*"});
    const QString dir = folder("browser/");
    writeTestFile(dir + "cookies.txt", "tracker\n");
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(resultList().count(), 1);
    QCOMPARE(resultList().row(1).location, dir + "cookies.txt+tracker\n");
}

void TestCookieScan::bytesCarriedUnchanged()
{
    // The pattern holds the euro sign, byte 0x80 in Windows-1252.
    setCookiePatterns({QString::fromUtf8("*\u20acuro*"), "*tracker*"});
    const QString dir = folder("mozilla/");
    const QByteArray euroLine("price \x80uro \xe9\xff\n");
    const QByteArray highLine("tracker \x01\x7f\x81\xa0\xfe\r\n");
    writeTestFile(dir + "cookies.txt", euroLine + highLine);
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(foundCookieLines("mozilla:" + dir + "cookies.txt+"),
             QList<QByteArray>({euroLine, highLine}));
    // The removal reads the line back from after the last "+".
    const QString object = resultList().row(2).location;
    QCOMPARE(object.mid(object.lastIndexOf('+') + 1).toLatin1(), highLine);
}

void TestCookieScan::longLinesAreTestedUpToTheLimit()
{
    // The longest line still tested, between two lines one byte longer.
    setCookiePatterns({"*tracker*"});
    const QString dir = folder("mozilla/");
    const QByteArray longest = "tracker" + QByteArray(kMaxCookieLineBytes - 8, 'v') + "\n";
    const QByteArray tooLong = "tracker" + QByteArray(kMaxCookieLineBytes - 7, 'w') + "\n";
    QCOMPARE(longest.size(), kMaxCookieLineBytes);
    writeTestFile(dir + "cookies.txt", tooLong + longest + tooLong);
    ScanMozilla(dir, "cookies.txt");
    QCOMPARE(foundCookieLines("mozilla:" + dir + "cookies.txt+"), QList<QByteArray>({longest}));
}

void TestCookieScan::upperCaseNameInTheWalk()
{
    setCookiePatterns({"*tracker*"});
    const QByteArray content("# Netscape HTTP Cookie File\n.ads\tTRUE\t/\tFALSE\t0\ttracker\t1\n");
    const QString root = folder("scan/");
    const QString dir = root + "Netscape/";
    writeTestFile(dir + "COOKIES.TXT", content);
    const QString md5 =
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
    DatabaseTables &t = databaseTables();
    t.TrojSigEntries = QStringList{QString(), md5 + " Cookie.Content"};
    t.TrojSigCount = 1;
    // The name check never matches a cookie file by name, even by "*".
    t.CookDbEntries.insert(2, "*");
    ++t.CookDbCount;

    QVERIFY(!Checkfile(dir, "COOKIES.TXT"));
    QCOMPARE(resultList().count(), 1);
    resultList().clear();
    resetScanState();

    ScanFolder(root);
    QCOMPARE(resultList().count(), 2);
    QCOMPARE(resultList().row(1).name, QString("Tracking Cookie"));
    QCOMPARE(resultList().row(1).location,
             "netscape:" + dir + "COOKIES.TXT+.ads\tTRUE\t/\tFALSE\t0\ttracker\t1\n");
    QCOMPARE(resultList().row(2).name, QString("Cookie.Content"));
    QCOMPARE(resultList().row(2).location, dir + "COOKIES.TXT");
    QCOMPARE(scanState().DetectionCount, 2);
}

QTEST_GUILESS_MAIN(TestCookieScan)
#include "tst_cookie_scan.moc"
