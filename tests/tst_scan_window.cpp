// The scan command, its report and the main window's panels, driven through the window.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "platform/ProgressIndicator.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestAppFolder.h"

#include <QTest>
#include <QtWidgets>

class TestScanWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void scanSession();
};

namespace {

const QByteArray kLanguage = "1,2,3,4,5,6,7,8,9,10,11,12,\"objects, found \",threats,minutes,"
                             "seconds,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,Found:,33,34";

// A loaded window whose drive list points at a folder with a name match, a
// content match (EICAR) and a tracking cookie, each in its own subfolder.
struct ScanFixture {
    TestAppFolder app;
    QString root = app.filePath("drive");
    std::unique_ptr<Form1> window;

    ScanFixture()
    {
        app.writeFile("lang.dat", kLanguage);
        app.writeDatabase("cookdb.dat", "***Adware.Sample\n\\toolbar\\bar.exe\n***Tracking Cookie\n"
                                        "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
        app.writeDatabase("trojsig.dat", "44d88612fea8a8f36de82e1278abb02f:"
                                         "3395856ce81f2b7382dee72602f798b642f14140 EICAR-Test\n");
        writeTestFile(root + "/a/toolbar/bar.exe", "x");
        writeTestFile(root + "/b/eicar.com", "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR"
                                             "-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
        writeTestFile(root + "/c/mozilla/cookies.txt",
                      "# comment\nwww.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\nplain.example\t1\n");
        window = std::make_unique<Form1>(app.paths(), app.loadTables());
        Form1 &w = *window;
        w.Form_Load();
        w.addDriveEntry(root + " [test]");
        w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
        w.Check1->setChecked(false);
    }
};

// Which of scan, stop, Command4, remove, update and exit can be pressed.
QString enabledCommands(const Form1 &w)
{
    QString s;
    for (const QWidget *c : QList<const QWidget *>{w.Command1, w.Command2, w.Command4, w.Command6,
                                                   w.Command7, w.Image3})
        s += c->isEnabled() ? '1' : '0';
    return s;
}

// Runs the scan command with action called at its first detection.  The
// window starts a session for each scan in place of the last one, whose
// result rows go with it: by then the new session is the window's, and the
// hook on its rows is in place before anything is scanned.
void scanWithActionAtFirstDetection(Form1 &w, const std::function<void()> &action)
{
    QMetaObject::Connection atRow;
    const QMetaObject::Connection atSession = QObject::connect(
        &w.scanSession().results(), &QObject::destroyed, &w,
        [&] {
            ScanSession &session = w.scanSession();
            atRow = QObject::connect(&session.results(), &QAbstractItemModel::rowsInserted, &w,
                                     [&session, &action] {
                                         if (session.results().count() == 1)
                                             action();
                                     });
        },
        Qt::SingleShotConnection);
    w.Command1_Click();
    QObject::disconnect(atSession);
    QObject::disconnect(atRow);
}

// The report of the last scan after its first line, which holds the date.
QString reportBody(const Form1 &w)
{
    const QString folder = w.paths().ReportFolder;
    const QStringList files = QDir(folder).entryList({"Report *.txt"}, QDir::Files);
    const QString text = files.size() == 1 ? readTestFile(folder + files[0]) : QString();
    return text.startsWith("Torvakine Report ") ? text.mid(text.indexOf("\r\n") + 2) : "no report";
}

const QString kReportHead = QString(40, '-') + "\r\n \r\n";

} // namespace

void TestScanWindow::scanSession()
{
    ScanFixture f;
    Form1 &w = *f.window;
    const auto picture = [](const ImageControl *i) { return i->pixmap().toImage(); };
    const QImage scan = picture(w.Image1), updates = picture(w.Image4);
    // Clicks on the scan (S) and updates (U) pictures and the panel open after
    // each: every change between none (0), Scan (1) and Updates (2).
    w.ActivePanel = 0;
    const QList<QPair<char, int>> clicks = {{'S', 1}, {'S', 0}, {'S', 1}, {'U', 2}, {'S', 1},
                                            {'U', 2}, {'U', 0}, {'U', 2}, {'S', 1}};
    for (const auto &[click, panel] : clicks) {
        click == 'S' ? w.Image1_Click() : w.Image4_Click();
        QCOMPARE(w.ActivePanel, quint8(panel));
        QVERIFY(w.Frame1->isHidden() == (panel != 1) && w.Frame2->isHidden() == (panel != 2));
        QCOMPARE(picture(w.Image1), panel == 1 ? picture(w.Image5) : scan);
        QCOMPARE(picture(w.Image4), panel == 2 ? picture(w.Image2) : updates);
    }

    // The updates panel opened at the first detection hides the scan, which
    // goes on with only the stop command available.
    QString atDetection;
    w.setTickSource([tick = qint64(1000)]() mutable { return tick += 2500; });
    scanWithActionAtFirstDetection(w, [&w, &atDetection] {
        w.Image4_Click();
        atDetection = enabledCommands(w);
    });
    QCOMPARE(atDetection, QStringLiteral("010000"));
    const ResultListModel &found = w.scanSession().results();
    QCOMPARE(qobject_cast<QAbstractProxyModel *>(w.ListView1->model())->sourceModel(), &found);
    // The new session's list keeps the columns' widths.
    QCOMPARE(w.ListView1->header()->sectionSize(0), twips(2540));
    // The walk follows the file system's order, so the rows are compared as
    // a set and the report with the rows in list order; the report shows a
    // cookie line's line feed as \n, so that a record stays three lines.
    QCOMPARE(w.ListView1->model()->rowCount(), 3);
    QMap<QString, QString> rows;
    QString records;
    for (qsizetype i = 1; i <= found.count(); ++i) {
        const auto &row = found.row(i);
        rows.insert(row.name, row.location);
        records += "Found: " + row.name.toUpper() + "\r\n" +
                   QString(row.location).replace("\n", "\\n") + "\r\n" + QString(27, '-') + "\r\n";
    }
    const QString cookie = "/c/mozilla/cookies.txt+www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n";
    QCOMPARE(rows, (QMap<QString, QString>{{"Adware.Sample", f.root + "/a/toolbar/bar.exe"},
                                           {"EICAR-Test", f.root + "/b/eicar.com"},
                                           {"Tracking Cookie", "mozilla:" + f.root + cookie}}));
    QCOMPARE(reportBody(w), kReportHead + records);
    // a, b and c at the root; ".", ".." and one entry in each folder below.
    QCOMPARE(w.Text6->text(), QStringLiteral("18 objects, found 3 threats 2.50 seconds"));
    QCOMPARE(enabledCommands(w), QStringLiteral("100111"));
    QVERIFY(w.ProgressBar1->isHidden());

    // The stop command pressed at the first detection ends the walk.
    scanWithActionAtFirstDetection(w, [&w] { w.Command2_Click(); });
    const ScanSession &stopped = w.scanSession();
    QCOMPARE(stopped.results().count(), 1);
    // The summary and the report say the scan was stopped (entry 8), not
    // that it found everything there was.
    QVERIFY(
        w.Text6->text().startsWith(QString::number(stopped.state().ObjectsScanned) + " objects"));
    QVERIFY2(w.Text6->text().endsWith(QString::fromUtf8(" \u2013 8")), qPrintable(w.Text6->text()));
    QVERIFY(stopped.state().StoppedByUser);
    const QString stoppedReport = QString::fromUtf8(readTestFile(stopped.reportPath()));
    QVERIFY2(stoppedReport.endsWith("8\r\n" + QString(27, '-') + "\r\n"),
             qPrintable(stoppedReport));
    QVERIFY(!stopped.stopRequested());
    QCOMPARE(enabledCommands(w), QStringLiteral("100111"));

    // Without detections nothing can be removed; the report has only its head.
    QDir(f.root).removeRecursively();
    QDir(w.paths().ReportFolder).removeRecursively();
    writeTestFile(f.root + "/clean.txt", "nothing");
    w.Command1_Click();
    QCOMPARE(reportBody(w), kReportHead);
    QCOMPARE(enabledCommands(w), QStringLiteral("100011"));

    // The summary's other forms: seconds up to 60.5, rounded half to even,
    // whole minutes after that; grouping and decimals of the locale.
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    const LanguageTexts texts = f.app.texts();
    const QList<QPair<double, QString>> durations = {
        {60.49, "60.49 seconds"}, {60.5, "60.50 seconds"}, {89.9, "1 minutes"}, {150, "2 minutes"}};
    for (const auto &[seconds, duration] : durations)
        QCOMPARE(scanSummary(texts, 1234, 0, seconds, uk),
                 "1,234 objects, found 0 threats " + duration);
    QVERIFY(scanSummary(texts, 1234, 2, 1.5, QLocale(QLocale::German, QLocale::Germany))
                .startsWith("1.234 objects, found 2 threats 1,50"));
    // The report is named after the date and time, without "/".
    const QDateTime when(QDate(2007, 9, 22), QTime(14, 35, 10));
    QCOMPARE(reportBaseNameFor(when, uk), QStringLiteral("Report 22092007 14:35:10"));
    // The label after a drive's path is dropped, brackets inside the path kept.
    QCOMPARE(DriveRootPath("/mnt/windows [DATA]"), QStringLiteral("/mnt/windows/"));
    QCOMPARE(DriveRootPath("/ [sda1]"), QStringLiteral("/"));
    QCOMPARE(DriveRootPath("/media/my [old] disk"), QStringLiteral("/media/my [old] disk/"));
    SilentProgress bar; // a drive that cannot be read scans with an empty range
    DiskInfo("/nonexistent/path/for/the/test", bar);
    QVERIFY(bar.isVisible() && bar.maximum() == 0 && bar.value() == 0);
}

QTEST_MAIN(TestScanWindow)
#include "tst_scan_window.moc"
