// Start-up of the main window and the single-instance check.
#include "app/Form1.h"
#include "app/ImageControl.h"
#include "app/ModAvvio.h"
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "language/Lingua.h"
#include "platform/ProgressIndicator.h"
#include "platform/SingleInstance.h"
#include "platform/StartupState.h"
#include "tests/support/TestAppFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void captionAndInitialState();
    void statusLabels_data();
    void statusLabels();
    void lastUpdateLine();
    void tokensAreExpanded();
    void secondInstanceIsRefused();
};

namespace {

const QByteArray kLanguage =
    "Scan,Stop,Exit,Registry,5,6,7,8,9,10,11,Remove,\"objects, \",found,min,sec,17,Update,19,"
    "20,21,22,23,24,25,Drive:,27,28,Reloading,30,Not deleted:,Found:,Last update,never\r\n";

bool visible(const QLabel *label)
{
    return !label->isHidden();
}

} // namespace

void TestStartup::captionAndInitialState()
{
    TestAppFolder app;
    app.writeFile("lang.dat", kLanguage);
    Form1 w;
    w.Form_Load();
    QCOMPARE(w.windowTitle(), QStringLiteral("TORVAKINE Antispyware 6.4"));
    QCOMPARE(w.size(), QSize(639, 480));
    QVERIFY(!startupState().StopRequested);
    QCOMPARE(w.Label3->text(), QStringLiteral("Drive:"));
    QCOMPARE(w.Image1->toolTip(), QStringLiteral("Scan"));
    QVERIFY(!w.Command2->isEnabled());
    QVERIFY(!w.Command4->isEnabled());
    QVERIFY(!w.Command6->isEnabled());
    QVERIFY(w.Check1->isChecked());
    QVERIFY(w.Frame1->isHidden());
    QVERIFY(w.Frame2->isHidden());
    QVERIFY(startupState().AppFolder.endsWith('/'));
    QCOMPARE(startupState().ReportFolder, startupState().AppFolder + "Report/");
    QCOMPARE(startupState().LanguageFolder, startupState().AppFolder + "Language/");
}

void TestStartup::statusLabels_data()
{
    QTest::addColumn<bool>("cook");
    QTest::addColumn<bool>("troj");
    QTest::addColumn<bool>("reg");
    QTest::newRow("all") << true << true << true;
    QTest::newRow("no trojsig") << true << false << true;
    QTest::newRow("none") << false << false << false;
    QTest::newRow("only regdb") << false << false << true;
}

void TestStartup::statusLabels()
{
    QFETCH(bool, cook);
    QFETCH(bool, troj);
    QFETCH(bool, reg);
    TestAppFolder app;
    databaseTables().CookDbLoaded = cook;
    databaseTables().TrojSigLoaded = troj;
    databaseTables().RegDbLoaded = reg;
    Form1 w;
    w.Form_Load();
    QCOMPARE(visible(w.Label2), cook);
    QCOMPARE(visible(w.Label4), !cook);
    QCOMPARE(visible(w.Label6), troj);
    QCOMPARE(visible(w.Label7), !troj);
    QCOMPARE(visible(w.Label8), reg);
    QCOMPARE(visible(w.Label9), !reg);
    QCOMPARE(w.Label1->text() + w.Label5->text() + w.Label10->text(),
             QStringLiteral("SPYDBTROJSIGREGDB"));
}

void TestStartup::lastUpdateLine()
{
    TestAppFolder app;
    app.writeFile("lang.dat", kLanguage);
    {
        Form1 w;
        w.Form_Load();
        QCOMPARE(w.lblMessages->text(), QStringLiteral("Last update: never"));
        QVERIFY(startupState().LastUpdateText.isEmpty());
    }
    app.writeFile("upd.dat", "06/12/2026 08:15:00\r\nsecond line\r\n");
    Form1 w;
    w.Form_Load();
    QCOMPARE(w.lblMessages->text(), QStringLiteral("Last update: 06/12/2026 08:15:00"));
}

void TestStartup::tokensAreExpanded()
{
    TestAppFolder app;
    app.writeDatabase("cookdb.dat", "***A\n%System%\\Bad.dll\n%windir%\\Evil.exe\n--ME-\n<<<>>\n");
    SilentProgress bar;
    LoadDatabases(bar);
    Form1 w;
    w.Form_Load();
    QCOMPARE(databaseTables().CookDbEntries.mid(1),
             QStringList({"***A", "\\windows\\system32\\bad.dll", "\\windows\\evil.exe"}));
}

void TestStartup::secondInstanceIsRefused()
{
    TestAppFolder app;
    SingleInstance other(app.path());
    QVERIFY(other.tryAcquire());
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->windowTitle() + "|" + box->text();
            box->accept();
        }
    });
    QVERIFY(!CheckSingleInstance());
    QCOMPARE(shown, QStringLiteral("Torvakine|Another instance of this program is already open."));
    // A second lock on the same folder fails while the first is held, and a
    // lock on another folder is independent.
    SingleInstance again(app.path());
    QVERIFY(!again.tryAcquire());
    QTemporaryDir elsewhere;
    SingleInstance separate(elsewhere.path());
    QVERIFY(separate.tryAcquire());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
