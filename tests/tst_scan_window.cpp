// The scan command, its report and the main window's panels, driven through
// the real window.
#include "app/ActivePanel.h"
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanState.h"
#include "tests/support/TestAppFolder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

class TestScanWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void wholeScanOfAFolder();
    void scanWithoutDetections();
    void stopDuringTheWalk();
    void summaryForms_data();
    void summaryForms();
    void summaryInTheWindowUsesTheClock();
    void reportName();
    void driveRootPath();
    void diskInfoRanges();
    void panelTransitions();
    void scanButtonHover();
    void scanKeepsRunningBehindTheUpdatesPanel();
    void layoutPositions();
};

namespace {

const QByteArray kLanguage = "Scan,Stop,Exit,Registry,5,6,7,8,9,10,11,Remove,"
                             "\"objects, found \",threats,minutes,seconds,17,Update,19,20,"
                             "21,22,23,24,25,Drive:,27,28,Reloading,30,Not deleted:,Found:,"
                             "Last update,never\r\n";

const QByteArray kCookDb = "***Adware.Sample\n\\toolbar\\bar.exe\n***Dialer.Sample\n*\\dial*.exe\n"
                           "***Tracking Cookie\nTRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n";

// A folder with a name match, a content match (EICAR), a tracking cookie and
// a clean file, each in its own subfolder so that the walk order is fixed.
struct ScanFixture {
    TestAppFolder app;
    QString root;
    QString eicar = QStringLiteral("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR") +
                    QStringLiteral("-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");

    ScanFixture()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        app.writeFile("lang.dat", kLanguage);
        app.writeDatabase("cookdb.dat", kCookDb);
        app.writeDatabase("trojsig.dat", "44d88612fea8a8f36de82e1278abb02f:"
                                         "3395856ce81f2b7382dee72602f798b642f14140 EICAR-Test\n");
        root = app.filePath("drive");
        writeTestFile(root + "/a/toolbar/bar.exe", "x");
        writeTestFile(root + "/b/eicar.com", eicar.toLatin1());
        writeTestFile(root + "/c/mozilla/cookies.txt",
                      "# comment\nwww.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\nplain.example\t1\n");
        readCurrentLanguage();
        SilentProgress bar;
        LoadDatabases(bar);
    }

    void pointDriveListAtRoot(Form1 &w) const
    {
        w.Drive1->addItem(root + " [test]");
        w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
    }
};

QStringList reportLines(const QString &folder)
{
    const QStringList files = QDir(folder).entryList({"Report *.txt"}, QDir::Files);
    if (files.size() != 1)
        return {};
    return QString::fromUtf8(readTestFile(folder + files.first())).split("\r\n");
}

} // namespace

void TestScanWindow::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
}

void TestScanWindow::wholeScanOfAFolder()
{
    ScanFixture f;
    Form1 w;
    w.Form_Load();
    f.pointDriveListAtRoot(w);
    w.Check1->setChecked(false);
    qint64 tick = 1000;
    w.setTickSource([&tick] { return tick += 2500; });
    w.Command1_Click();

    // The walk follows the file system's order, so the rows are compared as
    // a set and the report is compared with the rows in list order.
    const ResultListModel &list = resultList();
    QCOMPARE(w.ListView1->model()->rowCount(), 3);
    QMap<QString, QString> rows;
    QStringList records;
    for (qsizetype i = 1; i <= list.count(); ++i) {
        rows.insert(list.row(i).name, list.row(i).location);
        records << "Found: " + list.row(i).name.toUpper() << list.row(i).location << QString(27, '-');
    }
    const QString cookieLine = "www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n";
    QCOMPARE(rows, (QMap<QString, QString>{
                       {"Adware.Sample", f.root + "/a/toolbar/bar.exe"},
                       {"EICAR-Test", f.root + "/b/eicar.com"},
                       {"Tracking Cookie", "mozilla:" + f.root + "/c/mozilla/cookies.txt+" + cookieLine}}));

    // Entries: a, b and c at the root; in each of the five folders below it
    // ".", ".." and one entry.
    QCOMPARE(scanState().ObjectsScanned, 3 + 5 * 3);
    QCOMPARE(w.Text6->text(), QStringLiteral("18 objects, found 3 threats 2.50 seconds"));

    QStringList lines = reportLines(startupState().ReportFolder);
    QVERIFY(lines.first().startsWith("Torvakine Report "));
    QCOMPARE(lines.takeLast(), QString());
    // The cookie line keeps its LF, so its record spans one more CR LF split.
    QCOMPARE(lines.mid(1).join("\r\n"),
             (QStringList{QString(40, '-'), " "} + records).join("\r\n"));

    QVERIFY(w.Command1->isEnabled());
    QVERIFY(!w.Command2->isEnabled());
    QVERIFY(w.Command6->isEnabled());
    QVERIFY(w.Command7->isEnabled());
    QVERIFY(w.Image3->isEnabled());
    QVERIFY(!w.Command4->isEnabled());
    QVERIFY(w.ProgressBar1->isHidden());
    QVERIFY(!startupState().StopRequested);
}

void TestScanWindow::scanWithoutDetections()
{
    ScanFixture f;
    QDir(f.root).removeRecursively();
    writeTestFile(f.root + "/clean.txt", "nothing");
    Form1 w;
    w.Form_Load();
    f.pointDriveListAtRoot(w);
    w.Check1->setChecked(false);
    w.Command1_Click();
    QCOMPARE(resultList().count(), 0);
    QVERIFY(!w.Command6->isEnabled());
    const QStringList lines = reportLines(startupState().ReportFolder);
    QCOMPARE(lines.size(), 4); // three lines and the empty text after the last CR LF
    QCOMPARE(lines.last(), QString());
}

void TestScanWindow::stopDuringTheWalk()
{
    ScanFixture f;
    Form1 w;
    w.Form_Load();
    f.pointDriveListAtRoot(w);
    w.Check1->setChecked(false);
    // The stop button is pressed as soon as the first detection shows.
    const auto c = connect(&resultList(), &QAbstractItemModel::rowsInserted, &w,
                           [&w] { w.Command2_Click(); });
    w.Command1_Click();
    disconnect(c);
    QCOMPARE(resultList().count(), 1);
    // The walk ended after the entry that was being handled in every level.
    QVERIFY(scanState().ObjectsScanned < 18);
    QVERIFY(w.Text6->text().startsWith(QString::number(scanState().ObjectsScanned) + " objects"));
    QVERIFY(!startupState().StopRequested);
    QVERIFY(w.Command1->isEnabled());
}

void TestScanWindow::summaryForms_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("duration");
    QTest::newRow("60.49") << 60.49 << " 60.49 seconds";
    QTest::newRow("60.5 rounds to even") << 60.5 << " 60.50 seconds";
    QTest::newRow("61.2") << 61.2 << " 1 minutes";
    QTest::newRow("89.99") << 89.99 << " 1 minutes";
    QTest::newRow("90.0") << 90.0 << " 2 minutes";
    QTest::newRow("150 rounds to even") << 150.0 << " 2 minutes";
}

void TestScanWindow::summaryForms()
{
    QFETCH(double, seconds);
    QFETCH(QString, duration);
    TestAppFolder app;
    app.writeFile("lang.dat", kLanguage);
    readCurrentLanguage();
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom);
    QCOMPARE(scanSummary(1234567, 0, seconds, uk), "1,234,567 objects, found 0 threats" + duration);
    const QLocale german(QLocale::German, QLocale::Germany);
    QVERIFY(scanSummary(1234, 2, 1.5, german).startsWith("1.234 objects, found 2 threats 1,50"));
}

void TestScanWindow::summaryInTheWindowUsesTheClock()
{
    ScanFixture f;
    Form1 w;
    w.Form_Load();
    f.pointDriveListAtRoot(w);
    w.Check1->setChecked(false);
    qint64 tick = 0;
    w.setTickSource([&tick] { return tick += 90000; });
    w.Command1_Click();
    QVERIFY2(w.Text6->text().endsWith(" threats 2 minutes"), qPrintable(w.Text6->text()));
}

void TestScanWindow::reportName()
{
    const QDateTime when(QDate(2007, 9, 22), QTime(14, 35, 10));
    const QString uk = reportBaseNameFor(when, QLocale(QLocale::English, QLocale::UnitedKingdom));
    QCOMPARE(uk, QStringLiteral("Report 22092007 14:35:10"));
    const QString de = reportBaseNameFor(when, QLocale(QLocale::German, QLocale::Germany));
    QVERIFY2(!de.contains('.') && !de.contains('/') && de.startsWith("Report 2209"), qPrintable(de));
}

void TestScanWindow::driveRootPath()
{
    QCOMPARE(DriveRootPath("/mnt/windows [DATA]"), QStringLiteral("/mnt/windows/"));
    QCOMPARE(DriveRootPath("/ [sda1]"), QStringLiteral("/"));
    QCOMPARE(DriveRootPath("/media/disk"), QStringLiteral("/media/disk/"));
    QCOMPARE(DriveRootPath("/media/my [old] disk"), QStringLiteral("/media/my [old] disk/"));
}

void TestScanWindow::diskInfoRanges()
{
    QTemporaryDir dir;
    SilentProgress bar;
    bar.setMaximum(5);
    DiskInfo(dir.path(), bar);
    QVERIFY(bar.isVisible());
    QCOMPARE(bar.value(), 0.0);
    QVERIFY(bar.maximum() >= 0);
    // A path whose drive cannot be read scans with an empty range.
    DiskInfo("/nonexistent/path/for/the/test", bar);
    QCOMPARE(bar.value(), 0.0);
    QVERIFY(!bar.setValue(bar.maximum() + 1));
}

void TestScanWindow::panelTransitions()
{
    TestAppFolder app;
    Form1 w;
    w.Form_Load();
    panelState().ActivePanel = 0;
    const QImage scanNormal = w.Image1->pixmap().toImage();
    const QImage updatesNormal = w.Image4->pixmap().toImage();

    w.Image1_Click();
    QCOMPARE(panelState().ActivePanel, quint8(1));
    QVERIFY(!w.Frame1->isHidden() && w.Frame2->isHidden());
    QCOMPARE(w.Image1->pixmap().toImage(), w.Image5->pixmap().toImage());
    w.Image1_Click();
    QCOMPARE(panelState().ActivePanel, quint8(0));
    QVERIFY(w.Frame1->isHidden());
    QCOMPARE(w.Image1->pixmap().toImage(), scanNormal);

    w.Image1_Click();
    w.Image4_Click();
    QCOMPARE(panelState().ActivePanel, quint8(2));
    QCOMPARE(w.Image1->pixmap().toImage(), scanNormal);
    QCOMPARE(w.Image4->pixmap().toImage(), w.Image2->pixmap().toImage());
    QVERIFY(w.Frame1->isHidden() && !w.Frame2->isHidden());
    w.Image1_Click();
    QCOMPARE(panelState().ActivePanel, quint8(1));
    QCOMPARE(w.Image4->pixmap().toImage(), updatesNormal);
    w.Image4_Click();
    w.Image4_Click();
    QCOMPARE(panelState().ActivePanel, quint8(0));
    QVERIFY(w.Frame1->isHidden() && w.Frame2->isHidden());
    QCOMPARE(w.Image4->pixmap().toImage(), updatesNormal);
}

void TestScanWindow::scanButtonHover()
{
    TestAppFolder app;
    Form1 w;
    w.Form_Load();
    const QImage hover = w.Image8->pixmap().toImage();
    const QImage normal = w.Image9->pixmap().toImage();
    QVERIFY(hover != normal);
    const auto shown = [&w] {
        return w.Command1->icon().pixmap(w.Command1->iconSize()).toImage();
    };
    w.Command1_MouseMove();
    const QImage afterHover = shown();
    w.Frame1_MouseMove();
    QVERIFY(shown() != afterHover);
    w.Command1_MouseMove();
    QCOMPARE(shown(), afterHover);
}

void TestScanWindow::scanKeepsRunningBehindTheUpdatesPanel()
{
    ScanFixture f;
    Form1 w;
    w.Form_Load();
    f.pointDriveListAtRoot(w);
    w.Check1->setChecked(false);
    panelState().ActivePanel = 0;
    w.Image1_Click();
    bool switched = false;
    const auto c = connect(&resultList(), &QAbstractItemModel::rowsInserted, &w, [&] {
        if (!switched) {
            switched = true;
            w.Image4_Click();
            QVERIFY(w.Frame1->isHidden());
            QVERIFY(!w.Command1->isEnabled());
            QVERIFY(!w.Command7->isEnabled());
        }
    });
    w.Command1_Click();
    disconnect(c);
    QVERIFY(switched);
    QCOMPARE(resultList().count(), 3);
    w.Image1_Click();
    QVERIFY(!w.Frame1->isHidden());
    QCOMPARE(w.ListView1->model()->rowCount(), 3);
}

void TestScanWindow::layoutPositions()
{
    TestAppFolder app;
    Form1 w;
    QCOMPARE(w.Command8[0]->geometry(), QRect(96, 24, 33, 25));
    QCOMPARE(w.Command8[5]->geometry(), QRect(584, 24, 33, 25));
    QCOMPARE(w.Image3->geometry(), QRect(8, 368, 80, 80));
    QCOMPARE(w.Image10->geometry(), QRect(136, 160, 434, 213));
    QCOMPARE(w.Frame1->geometry(), QRect(96, 64, 521, 393));
    QCOMPARE(w.ListView1->geometry(), QRect(8, 72, 505, 257));
    QCOMPARE(w.Text6->geometry(), QRect(8, 360, 505, 25));
    QCOMPARE(w.Label7->geometry(), QRect(552, 424, 41, 17));
    // The picture holders lie outside the client area.
    QVERIFY(w.Image5->x() >= w.width() && w.Command4->x() >= w.width());
}

QTEST_MAIN(TestScanWindow)
#include "tst_scan_window.moc"
