// The scan report: created anew without replacing or following anything,
// every failure to write it kept and told (in the window too), and one line
// of text always one line of the file, whatever the names it shows.
#include "app/Form1.h"
#include "removal/Removal.h"
#include "scanner/ScanReport.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/RawNames.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QTest>
#include <QtWidgets>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The report without its first line, which holds the date and time.
QByteArray withoutDateLine(const QByteArray &report)
{
    return report.mid(report.indexOf("\r\n") + 2);
}

} // namespace

class TestScanReport : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { removeRawNames(tree("names")); }
    void twoScansOfTheSameSecond();
    void writeFailuresAreKept();
    void oneLineOfTextIsOneLine();
    void theWindowTellsOfAFailedReport();

private:
    QString tree(const QString &relative = {}) const { return m_app->filePath("tree/") + relative; }
    QString reportFolder() const { return m_app->paths().ReportFolder; }
    std::unique_ptr<ScanSession> scan() const
    {
        std::unique_ptr<ScanSession> session = m_app->newSession(m_app->loadEngine());
        ScanRun(*session).run(tree(), false);
        return session;
    }
    std::unique_ptr<TestAppFolder> m_app;
};

void TestScanReport::init()
{
    m_app = std::make_unique<TestAppFolder>();
    QByteArray language;
    for (int n = 1; n <= 30; ++n)
        language += QByteArray::number(n) + "\r\n";
    m_app->writeFile("lang.dat", language +
                                     "Not deleted:\r\nFound:\r\n33\r\n34\r\n35\r\nUnread:\r\n"
                                     "The report failed:\r\n");
    m_app->writeDatabase("cookdb.dat", "***Trojan.Evil\n*evil.exe\n***Tracking Cookie\n"
                                       "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
    // An empty signature database: loaded, so that no scan here is one
    // that could not look for every threat.
    m_app->writeDatabase("trojsig.dat", "[[[1\n");
}

void TestScanReport::twoScansOfTheSameSecond()
{
    // Both scans take their name in the same second, before either creates
    // its report: the second gets the next number, the first stays whole.
    QVERIFY(QDir().mkpath(reportFolder()));
    ScanReport first;
    ScanReport second;
    QCOMPARE(first.create(reportFolder(), "Report X"), QString("Report X"));
    QCOMPARE(second.create(reportFolder(), "Report X"), QString("Report X (2)"));
    first.writeLine("first");
    second.writeLine("second");
    first.close();
    second.close();
    QCOMPARE(readTestFile(reportFolder() + "Report X.txt"), QByteArray("first\r\n"));
    QCOMPARE(readTestFile(reportFolder() + "Report X (2).txt"), QByteArray("second\r\n"));
    QVERIFY(!first.writeFailed() && !second.writeFailed());

    // A link planted under the name, and one that leads nowhere, are never
    // followed: the next number is taken and nothing is made through them.
    writeTestFile(m_app->filePath("target"), "kept");
    QVERIFY(QFile::link(m_app->filePath("target"), reportFolder() + "Report Y.txt"));
    QVERIFY(QFile::link(m_app->filePath("missing"), reportFolder() + "Report Y (2).txt"));
    ScanReport third;
    QCOMPARE(third.create(reportFolder(), "Report Y"), QString("Report Y (3)"));
    third.close();
    QCOMPARE(readTestFile(m_app->filePath("target")), QByteArray("kept"));
    QVERIFY(!QFile::exists(m_app->filePath("missing")));

    // Two whole scans right after each other: two reports, each whole.
    writeTestFile(tree("evil.exe"), "x");
    const std::unique_ptr<ScanSession> a = scan();
    const std::unique_ptr<ScanSession> b = scan();
    QVERIFY(a->reportPath() != b->reportPath());
    for (ScanSession *s : {a.get(), b.get()}) {
        QVERIFY(!s->report().writeFailed());
        QCOMPARE(withoutDateLine(readTestFile(s->reportPath())),
                 "----------------------------------------\r\n \r\nFound: TROJAN.EVIL\r\n" +
                     QFile::encodeName(tree("evil.exe")) + "\r\n---------------------------\r\n");
    }
}

void TestScanReport::writeFailuresAreKept()
{
    for (int i = 0; i < 20; ++i)
        writeTestFile(tree(QString("%1/evil.exe").arg(i)), "x");
    const std::unique_ptr<ScanSession> whole = scan();
    const QByteArray wholeReport = withoutDateLine(readTestFile(whole->reportPath()));
    QVERIFY(QFile::remove(whole->reportPath()));

    // The disk fills up halfway (a file size limit; its signal is ignored,
    // as a full disk sends none): the report keeps what was written, exactly
    // as it was, and nothing after; the scan itself is whole.
    struct rlimit old = {};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 600;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const std::unique_ptr<ScanSession> full = scan();
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &old) == 0);
    std::signal(SIGXFSZ, oldHandler);
    QCOMPARE(full->results().count(), 20);
    QVERIFY(full->report().writeFailed());
    QCOMPARE(full->report().failedPath(), full->reportPath());
    const QByteArray cut = readTestFile(full->reportPath());
    QVERIFY(cut.size() <= 600 && cut.size() > 300);
    QVERIFY(wholeReport.startsWith(withoutDateLine(cut)));

    // A report folder that cannot be made: no report, a failure that names
    // the report, the scan whole.
    QVERIFY(QDir(reportFolder()).removeRecursively());
    writeTestFile(m_app->filePath("Report"), "a file in the folder's place");
    const std::unique_ptr<ScanSession> none = scan();
    QCOMPARE(none->results().count(), 20);
    QVERIFY(none->report().writeFailed());
    QCOMPARE(none->report().failedPath(), none->reportPath());
    QVERIFY(!QFileInfo(none->reportPath()).exists());

    // A report gone before the removal appends its failure records: the
    // failure is kept, and no report is made anew.
    QVERIFY(QFile::remove(m_app->filePath("Report")));
    const std::unique_ptr<ScanSession> later = scan();
    QVERIFY(!later->report().writeFailed());
    QVERIFY(QFile::remove(later->reportPath()));
    later->results().addRow("Trojan.Evil", tree("not-found-by-the-scan.exe"));
    RemoveListedDetections(*later);
    QVERIFY(later->report().writeFailed());
    QVERIFY(!QFileInfo(later->reportPath()).exists());
}

void TestScanReport::oneLineOfTextIsOneLine()
{
    // Names that try to forge records, drive a terminal that shows the
    // report, or pass for another file's name; and a cookie line of its own
    // with an escape sequence and CR LF.
    const QList<QByteArray> names = {"line\nFound: FORGED\n---------------------------\nevil.exe",
                                     "esc\x1b[2J\x07"
                                     "evil.exe",
                                     "csi\xc2\x9b"
                                     "31mevil.exe",
                                     "del\x7f"
                                     "evil.exe",
                                     "bad\xff"
                                     "evil.exe",
                                     "replaced\xef\xbf\xbd"
                                     "evil.exe",
                                     "tab\tevil.exe"};
    for (const QByteArray &name : names)
        writeRawName(tree("names"), name, "x");
    writeTestFile(tree("mozilla/cookies.txt"), "www.tracker.test\t\x1b[31mred\r\n");
    const std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->results().count(), names.size() + 1);

    const QByteArray report = readTestFile(session->reportPath());
    QVERIFY(report.endsWith("\r\n"));
    const QList<QByteArray> lines = report.chopped(2).split('\n');
    // 3 header lines and 3 a record; no line break but CR LF, no control
    // character but the tab, no C1 character, valid UTF-8 throughout.
    QCOMPARE(lines.size(), 3 + 3 * (names.size() + 1));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (i + 1 < lines.size()) {
            QVERIFY(line.endsWith('\r'));
            line.chop(1);
        }
        for (const char c : line)
            QVERIFY2((uchar(c) >= 0x20 && uchar(c) != 0x7f) || c == '\t', line.constData());
        QVERIFY2(!line.contains("\xc2\x9b"), line.constData());
        QVERIFY(QString::fromUtf8(line).toUtf8() == line);
    }
    const QByteArray folder = QFile::encodeName(tree("names/"));
    for (const QByteArray &shown :
         {folder + "line\\nFound: FORGED\\n---------------------------\\nevil.exe",
          folder + "esc\\x1b[2J\\x07evil.exe", folder + "csi\\xc2\\x9b31mevil.exe",
          folder + "del\\x7fevil.exe", folder + "bad\\xffevil.exe",
          folder + "replaced\xef\xbf\xbd"
                   "evil.exe",
          folder + "tab\tevil.exe",
          "mozilla:" + QFile::encodeName(tree("mozilla/cookies.txt")) +
              "+www.tracker.test\t\\x1b[31mred\\r\\n"})
        QVERIFY2(lines.contains(shown + "\r"), shown.constData());
}

void TestScanReport::theWindowTellsOfAFailedReport()
{
    // The report folder cannot be made: the scan runs and the window says
    // which report could not be written.
    writeTestFile(tree("evil.exe"), "x");
    writeTestFile(m_app->filePath("Report"), "a file in the folder's place");
    Form1 w(m_app->paths(), m_app->loadTables());
    w.Form_Load();
    w.Drive1->addItem(tree() + " [test]");
    w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
    w.Check1->setChecked(false);
    QString shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(10);
    w.Command1_Click();
    poll.stop();
    QCOMPARE(shown, "The report failed: " + w.scanSession().reportPath());
    QCOMPARE(w.scanSession().results().count(), 1);
    // A scan whose report is whole says nothing.
    QVERIFY(QFile::remove(m_app->filePath("Report")));
    shown.clear();
    poll.start(10);
    w.Command1_Click();
    poll.stop();
    QVERIFY(shown.isEmpty());
    QVERIFY(!w.scanSession().report().writeFailed());
}

QTEST_MAIN(TestScanReport)
#include "tst_scan_report.moc"
