// Start-up of the main window and the single-instance check.
#include "app/Form1.h"
#include "app/ModAvvio.h"
#include "platform/SingleInstance.h"
#include "tests/support/TestAppFolder.h"

#include <QTest>
#include <QtWidgets>

class TestStartup : public QObject
{
    Q_OBJECT
private slots:
    void formLoad();
    void dataFolderIsShown();
    void secondInstanceIsRefused();
    void refusedProgramEnds();
};

void TestStartup::formLoad()
{
    // Every mix of databases that load and databases that are missing.
    for (int loaded = 0; loaded < 8; ++loaded) {
        const bool cook = loaded & 1, troj = loaded & 2, reg = loaded & 4;
        TestAppFolder app;
        if (cook)
            app.writeDatabase("cookdb.dat", "***A\n%System%\\B.dll\n%windir%\\E\n--ME-\n<<<>>\n");
        if (troj)
            app.writeDatabase("trojsig.dat", "[[[1\n");
        if (reg)
            app.writeDatabase("regdb.dat", "[[[1\n");
        app.writeFile("upd.dat", "06/12/2026 08:15:00\r\nsecond line\r\n");
        Form1 w(app.paths(), app.loadTables());
        w.Form_Load();
        // The OK and the ERR label of cookdb, trojsig and regdb.
        QCOMPARE(QList<bool>({!w.Label2->isHidden(), !w.Label4->isHidden(), !w.Label6->isHidden(),
                              !w.Label7->isHidden(), !w.Label8->isHidden(), !w.Label9->isHidden()}),
                 QList<bool>({cook, !cook, troj, !troj, reg, !reg}));
        QVERIFY(w.Check1->isChecked() && w.Frame1->isHidden() && w.Frame2->isHidden());
        QVERIFY(!w.Command2->isEnabled() && !w.Command4->isEnabled() && !w.Command6->isEnabled());
        QVERIFY(w.lblMessages->text().endsWith(": 06/12/2026 08:15:00"));
        if (cook) // the folder tokens name this system's folders
            QCOMPARE(w.engine().tables().CookDbEntries.mid(1),
                     QStringList({"***A", "\\windows\\system32\\b.dll", "\\windows\\e"}));
    }
}

void TestStartup::dataFolderIsShown()
{
    // Installed: read from one folder, written into another.  The window
    // names the one it writes into, in its language.
    TestAppFolder installed, data;
    installed.writeDatabase("regdb.dat", "[[[1\n");
    QByteArray language;
    for (int n = 1; n <= LanguageTexts::kLastEntry; ++n)
        language += (n == DataFolderText ? "Datenordner:" : "t") + QByteArray("\r\n");
    installed.writeFile("lang.dat", language);
    DataFolders folders;
    folders.mode = DataFolders::Mode::Installed;
    folders.readFolder = QDir::toNativeSeparators(installed.path());
    folders.writeFolder = QDir::toNativeSeparators(data.path());
    Form1 w(AppPaths::forFolders(folders), installed.loadTables());
    w.Form_Load();
    QCOMPARE(w.lblMessages->toolTip(), "Datenordner: " + folders.writeFolder);
}

void TestStartup::secondInstanceIsRefused()
{
    TestAppFolder app;
    {
        SingleInstance other(app.path());
        QVERIFY(other.tryAcquire());
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                shown = box->windowTitle() + "|" + box->text();
                box->accept();
            }
        });
        QVERIFY(!CheckSingleInstance(app.path()));
        QCOMPARE(shown,
                 QStringLiteral("Torvakine|Another instance of this program is already open."));
    }
    // Once the other program has ended the lock is taken, and held while it is kept.
    std::unique_ptr<SingleInstance> lock = CheckSingleInstance(app.path());
    QVERIFY(lock);
    QVERIFY(!SingleInstance(app.path()).tryAcquire());
    lock.reset();
    QVERIFY(SingleInstance(app.path()).tryAcquire());
}

void TestStartup::refusedProgramEnds()
{
    // The program started while another holds the lock of its folder shows
    // the refusal and ends as soon as the box is answered.  The test plugin
    // answers the program's first message box and says which one it was.
    const QString program = QStringLiteral(TORVAKINE_GUI_PATH);
    SingleInstance other(QFileInfo(program).path());
    other.tryAcquire(); // a program already running there holds it as well
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_PLUGIN_PATH", TORVAKINE_TEST_PLUGINS);
    env.insert("QT_QPA_GENERIC_PLUGINS", "torvakineboxanswer");
    second.setProcessEnvironment(env);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.start(program, {});
    QVERIFY(second.waitForStarted());
    // Generous limits: a build under the sanitizers starts slowly.  A
    // program that stays after the answer is ended here and fails.
    QVERIFY(second.waitForReadyRead(60000) || second.canReadLine());
    while (!second.canReadLine() && second.waitForReadyRead(10000)) {
    }
    QCOMPARE(second.readLine(),
             QByteArray("box: Torvakine|Another instance of this program is already open.\n"));
    const bool ended = second.waitForFinished(30000);
    if (!ended) {
        second.kill();
        second.waitForFinished();
    }
    QVERIFY2(ended, "the refused program is still running after its box was answered");
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAll(), QByteArray());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
