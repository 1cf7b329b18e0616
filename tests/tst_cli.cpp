// torvakine-cli run as a user runs it, on prepared folders.
#include "app/Form1.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/Ed25519Signature.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "tests/support/TestAppFolder.h"
#include "update/LoopbackHttpServer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scanDetectionsAndExitCodes();
    void escapedObjectTexts();
    void scanErrors();
    void removeAfterTheScan();
    void infoAfterAFailedLoad();
    void updateAgainstALoopbackServer();
    void reportMatchesTheWindowsReport();
};

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the tool while this process keeps handling events (the loopback
// server of a test lives in this process).
Result runCli(const QStringList &args)
{
    QProcess p;
    QSignalSpy finished(&p, &QProcess::finished);
    p.start(QStringLiteral(TORVAKINE_CLI_PATH), args);
    if (!p.waitForStarted())
        return {};
    if (finished.isEmpty() && !finished.wait(60000))
        p.kill();
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

const QByteArray kLanguage = "Scan,Stop,Exit,Registry,5,6,7,8,9,10,11,Remove,\"objects, found \","
                             "threats,minutes,seconds,17,Update,19,No answer,21,22,New version!,24,25,"
                             "Drive:,27,28,Reloading,30,Not deleted:,Found:,Last update,never\r\n";

const QByteArray kCookDb = "[[[c1\n***Adware.Sample\n\\toolbar\\bar.exe\n***Tracking Cookie\n"
                           "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n";

void prepareApp(const TestAppFolder &app)
{
    app.writeFile("lang.dat", kLanguage);
    app.writeDatabase("cookdb.dat", kCookDb);
    app.writeDatabase("trojsig.dat", "[[[t1\n");
    app.writeDatabase("regdb.dat", "[[[r1\n");
}

QStringList sortedLines(const QString &text)
{
    QStringList lines = text.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

} // namespace

void TestCli::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(TORVAKINE_CLI_PATH)));
}

void TestCli::scanDetectionsAndExitCodes()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    writeTestFile(root + "/x/toolbar/bar.exe", "x");
    writeTestFile(root + "/clean/readme.txt", "hello");
    Result r = runCli({"scan", "--app-folder", app.path(), "--no-registry", root});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, "Adware.Sample\t" + root + "/x/toolbar/bar.exe\n");
    QVERIFY2(r.err.startsWith("11 objects, found 1 threats "), qPrintable(r.err));
    QCOMPARE(QDir(app.filePath("Report")).entryList(QDir::Files).size(), 1);

    r = runCli({"scan", "--app-folder", app.path(), root + "/clean"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.isEmpty());
}

void TestCli::escapedObjectTexts()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    writeTestFile(root + "/mozilla/cookies.txt", "www.tracker.test\tid\r\n");
    writeTestFile(root + "/a\\b/toolbar/bar.exe", "x");
    const Result r = runCli({"scan", "--app-folder", app.path(), "--no-registry", root});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(sortedLines(r.out),
             QStringList({"Adware.Sample\t" + root + "/a\\\\b/toolbar/bar.exe",
                          "Tracking Cookie\tmozilla:" + root +
                              "/mozilla/cookies.txt+www.tracker.test\tid\\r\\n"}));
}

void TestCli::scanErrors()
{
    TestAppFolder app;
    prepareApp(app);
    Result r = runCli({"scan", "--app-folder", app.path(), app.filePath("missing")});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains("is not a folder"));

    QTemporaryDir empty;
    r = runCli({"scan", "--app-folder", empty.path(), app.path()});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains("no database loaded"));

    r = runCli({"scan"});
    QCOMPARE(r.exitCode, 2);
    r = runCli({"scan", "--help"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.out.startsWith("usage: torvakine-cli scan"));
    r = runCli({"frobnicate"});
    QCOMPARE(r.exitCode, 2);
}

void TestCli::removeAfterTheScan()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    writeTestFile(root + "/toolbar/bar.exe", "x");
    writeTestFile(root + "/Mozilla/cookies.txt", "keep\nwww.tracker.test\tid\nkeep too\n");
    Result r = runCli({"scan", "--app-folder", app.path(), "--no-registry", "--remove", root});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(root + "/toolbar/bar.exe"));
    QCOMPARE(readTestFile(root + "/Mozilla/cookies.txt"), QByteArray("keep\nkeep too\n"));
    r = runCli({"scan", "--app-folder", app.path(), "--no-registry", root});
    QCOMPARE(r.exitCode, 0);
}

void TestCli::infoAfterAFailedLoad()
{
    TestAppFolder app;
    prepareApp(app);
    app.writeFile("trojsig.dat", "not a database");
    const Result r = runCli({"info", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("cookdb.dat\tloaded\tc1\t5\n"
                                   "trojsig.dat\tnot loaded\t-\t0\n"
                                   "regdb.dat\tloaded\tr1\t0\n"));
}

void TestCli::updateAgainstALoopbackServer()
{
    TestAppFolder app;
    prepareApp(app);
    QTemporaryDir site;
    writeTestFile(site.path() + "/newupd/cookdb.ver", "c1\r\n");
    writeTestFile(site.path() + "/newupd/trojsig.ver", "t2\r\n");
    writeTestFile(site.path() + "/newupd/regdb.ver", "r1\r\n");
    writeTestFile(site.path() + "/newupd/torvakine.ver", "18052007\r\n");
    writeTestFile(site.path() + "/newupd/msg.txt", "Hello from the server");
    TestAppFolder publisher; // only to encipher the new database
    publisher.writeDatabase("trojsig.dat", "[[[t2\n44d88612fea8a8f36de82e1278abb02f EICAR\n");
    writeTestFile(site.path() + "/newupd/trojsig.dat", publisher.readFile("trojsig.dat"));
    // Only databases signed by the publisher are installed.
    const QString signingKey = QStringLiteral(TORVAKINE_DEMO_SIGNING_KEY);
    if (signingKey.isEmpty())
        QSKIP("built with a publisher's own update key");
    writeTestFile(site.path() + "/newupd/trojsig.dat.sig",
                  Ed25519Signature::sign(readTestFile(signingKey), publisher.readFile("trojsig.dat"))
                      .toBase64());
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    app.writeFile("server.dat", server.baseUrl().toUtf8() + "\r\n");

    Result r = runCli({"update", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("Trojan database\tCompleted\nHello from the server\n"));
    QCOMPARE(readTestFile(app.filePath("trojsig.dat")), publisher.readFile("trojsig.dat"));
    QVERIFY(QFile::exists(app.filePath("upd.dat")));

    writeTestFile(site.path() + "/newupd/torvakine.ver", "19000101\r\n");
    writeTestFile(site.path() + "/newupd/regdb.ver", "r2\r\n");
    server.setFault("/newupd/regdb.dat", LoopbackHttpServer::Fault::NotFound);
    r = runCli({"update", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QStringLiteral("Registry entries\tError\nNew version available\n"
                                   "Hello from the server\n"));

    server.setFault("/newupd/cookdb.ver", LoopbackHttpServer::Fault::NotFound);
    app.writeFile("server.dat", "http://127.0.0.1:1\r\n");
    r = runCli({"update", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 2);
}

void TestCli::reportMatchesTheWindowsReport()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    writeTestFile(root + "/toolbar/bar.exe", "x");
    writeTestFile(root + "/mozilla/cookies.txt", "www.tracker.test\tid\n");
    QCOMPARE(runCli({"scan", "--app-folder", app.path(), "--no-registry", root}).exitCode, 1);
    const QString reports = app.filePath("Report");
    const QStringList first = QDir(reports).entryList(QDir::Files);
    QCOMPARE(first.size(), 1);
    QVERIFY(QFile::rename(reports + "/" + first[0], reports + "/cli.txt"));

    readCurrentLanguage();
    SilentProgress bar;
    LoadDatabases(bar);
    Form1 w;
    w.Form_Load();
    w.Drive1->addItem(root + " [test]");
    w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
    w.Check1->setChecked(false);
    w.Command1_Click();
    QStringList windowReport = QDir(reports).entryList(QDir::Files);
    windowReport.removeAll("cli.txt");
    QCOMPARE(windowReport.size(), 1);
    QByteArray a = readTestFile(reports + "/cli.txt");
    QByteArray b = readTestFile(reports + "/" + windowReport[0]);
    // Apart from the date and time on the first line, byte for byte equal.
    QVERIFY(a.startsWith("Torvakine Report ") && b.startsWith("Torvakine Report "));
    QCOMPARE(a.mid(a.indexOf("\r\n")), b.mid(b.indexOf("\r\n")));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
