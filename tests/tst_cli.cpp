// torvakine-cli run as a user runs it, on prepared folders.
#include "app/Form1.h"
#include "databases/DatabaseEncoder.h"
#include "platform/Ed25519Signature.h"
#include "tests/support/TestAppFolder.h"
#include "update/LoopbackHttpServer.h"

#include <QtTest>
#include <QtWidgets>

namespace {
struct Result {
    int exitCode = -1;
    QString out, err;
};

// Runs the tool in a prepared application folder while this process keeps
// handling events (the loopback server of a test lives in this process).
Result runCli(const TestAppFolder &app, const QString &command, const QStringList &args = {})
{
    QProcess p;
    QSignalSpy finished(&p, &QProcess::finished);
    p.start(QStringLiteral(TORVAKINE_CLI_PATH),
            QStringList({command, "--app-folder", app.path()}) + args);
    if (!p.waitForStarted() || (finished.isEmpty() && !finished.wait(60000)))
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

void prepareApp(const TestAppFolder &app)
{
    app.writeFile("lang.dat", "1,2,3,4,5,6,7,8,9,10,11,12,\"objects, found \",threats,15,16,17,"
                              "18,19,20,21,22,23,24,25,26,27,28,29,30,Not deleted:,Found:\r\n");
    app.writeDatabase("cookdb.dat",
                      "[[[c1\n***Adware.Sample\n\\toolbar\\bar.exe\n***Tracking Cookie\n"
                      "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
    app.writeDatabase("trojsig.dat", "[[[t1\n");
    app.writeDatabase("regdb.dat", "[[[r1\n");
}
} // namespace

class TestCli : public QObject
{
    Q_OBJECT
private slots:
    void scanReportRemovalAndErrors();
    void updateAgainstALoopbackServer();
};

void TestCli::scanReportRemovalAndErrors()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk"), reports = app.filePath("Report");
    writeTestFile(root + "/x/toolbar/bar.exe", "x");
    writeTestFile(root + "/a\\b/toolbar/bar.exe", "x");
    writeTestFile(root + "/mozilla/cookies.txt", "keep\nwww.tracker.test\tid\r\nkeep too\n");
    // One detection a line, with CR, LF and backslashes in the object escaped; the summary on
    // stderr.
    Result r = runCli(app, "scan", {"--no-registry", root});
    QCOMPARE(r.exitCode, 1);
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines, QStringList({"Adware.Sample\t" + root + "/a\\\\b/toolbar/bar.exe",
                                 "Adware.Sample\t" + root + "/x/toolbar/bar.exe",
                                 "Tracking Cookie\tmozilla:" + root +
                                     "/mozilla/cookies.txt+www.tracker.test\tid\\r\\n"}));
    QVERIFY2(r.err.contains(" objects, found 3 threats "), qPrintable(r.err));

    // The window's report of the same scan differs only in the date and time on its first line.
    const QStringList cliReport = QDir(reports).entryList(QDir::Files);
    QCOMPARE(cliReport.size(), 1);
    const QByteArray a = readTestFile(reports + "/" + cliReport[0]);
    QVERIFY(QFile::remove(reports + "/" + cliReport[0]));
    Form1 w(app.paths(), app.loadTables());
    w.Form_Load();
    w.Drive1->addItem(root + " [test]");
    w.Drive1->setCurrentIndex(w.Drive1->count() - 1);
    w.Check1->setChecked(false);
    w.Command1_Click();
    const QStringList windowReport = QDir(reports).entryList(QDir::Files);
    QCOMPARE(windowReport.size(), 1);
    const QByteArray b = readTestFile(reports + "/" + windowReport[0]);
    QVERIFY(a.startsWith("Torvakine Report ") && b.startsWith("Torvakine Report "));
    QCOMPARE(a.mid(a.indexOf("\r\n")), b.mid(b.indexOf("\r\n")));

    QCOMPARE(runCli(app, "scan", {"--no-registry", "--remove", root}).exitCode, 1);
    QVERIFY(!QFile::exists(root + "/x/toolbar/bar.exe") &&
            !QFile::exists(root + "/a\\b/toolbar/bar.exe"));
    QCOMPARE(readTestFile(root + "/mozilla/cookies.txt"), "keep\nkeep too\n");
    r = runCli(app, "scan", {"--no-registry", root});
    QVERIFY(r.exitCode == 0 && r.out.isEmpty());

    // Errors exit with 2; a database that fails to load is listed as such.
    r = runCli(app, "scan", {app.filePath("missing")});
    QVERIFY2(r.exitCode == 2 && r.err.contains("is not a folder"), qPrintable(r.err));
    TestAppFolder empty;
    r = runCli(empty, "scan", {root});
    QVERIFY2(r.exitCode == 2 && r.err.contains("no database loaded"), qPrintable(r.err));
    app.writeFile("trojsig.dat", "not a database");
    r = runCli(app, "info");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(
        r.out,
        "cookdb.dat\tloaded\tc1\t5\ntrojsig.dat\tnot loaded\t-\t0\nregdb.dat\tloaded\tr1\t0\n");
}

void TestCli::updateAgainstALoopbackServer()
{
    // Only databases signed by the publisher are installed.
    const QString signingKey = QStringLiteral(TORVAKINE_DEMO_SIGNING_KEY);
    if (signingKey.isEmpty())
        QSKIP("built with a publisher's own update key");
    TestAppFolder app;
    prepareApp(app);
    QTemporaryDir site;
    const QString dir = site.filePath("newupd/");
    writeTestFile(dir + "cookdb.ver", "c1\r\n");
    writeTestFile(dir + "trojsig.ver", "t2\r\n");
    writeTestFile(dir + "regdb.ver", "r2\r\n");
    writeTestFile(dir + "torvakine.ver", "19000101\r\n");
    writeTestFile(dir + "msg.txt", "Hello from the server");
    const QByteArray newTroj = encodeDatabase("[[[t2\n44d88612fea8a8f36de82e1278abb02f EICAR\n");
    writeTestFile(dir + "trojsig.dat", newTroj);
    writeTestFile(dir + "trojsig.dat.sig",
                  Ed25519Signature::sign(readTestFile(signingKey), newTroj).toBase64());
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    server.setFault("/newupd/regdb.dat", LoopbackHttpServer::Fault::NotFound);
    app.writeFile("server.dat", server.baseUrl().toUtf8() + "\r\n");

    // One download fails: the other is still installed, and the exit code is 1.
    Result r = runCli(app, "update");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, "Trojan database\tCompleted\nRegistry entries\tError\nNew version available\n"
                    "Hello from the server\n");
    QCOMPARE(readTestFile(app.filePath("trojsig.dat")), newTroj);
    writeTestFile(dir + "regdb.ver", "r1\r\n");
    writeTestFile(dir + "torvakine.ver", "18052007\r\n");
    r = runCli(app, "update");
    QVERIFY2(r.exitCode == 0 && r.out == "Hello from the server\n", qPrintable(r.out));
    app.writeFile("server.dat", "http://127.0.0.1:1\r\n");
    QCOMPARE(runCli(app, "update").exitCode, 2);
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
