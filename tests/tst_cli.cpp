// torvakine-cli run as a user runs it, on prepared folders.
#include "app/Form1.h"
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/Ed25519Signature.h"
#include "platform/ProgressIndicator.h"
#include "tests/support/TestAppFolder.h"
#include "update/LoopbackHttpServer.h"

#include <QtTest>
#include <QtWidgets>

namespace
{
struct Result {
    int exitCode = -1;
    QString out, err;
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

void prepareApp(const TestAppFolder &app)
{
    app.writeFile(
        "lang.dat",
        "Scan,Stop,Exit,Registry,5,6,7,8,9,10,11,Remove,\"objects, found \",threats,minutes,"
        "seconds,17,Update,19,No answer,21,22,New version!,24,25,Drive:,27,28,Reloading,30,"
        "Not deleted:,Found:,Last update,never\r\n");
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
    const QStringList scan = {"scan", "--app-folder", app.path(), "--no-registry", root};
    writeTestFile(root + "/x/toolbar/bar.exe", "x");
    writeTestFile(root + "/a\\b/toolbar/bar.exe", "x");
    writeTestFile(root + "/mozilla/cookies.txt", "keep\nwww.tracker.test\tid\r\nkeep too\n");
    writeTestFile(root + "/clean/readme.txt", "hello");
    // One detection a line, with CR, LF and backslashes in the object escaped; the summary on
    // stderr.
    Result r = runCli(scan);
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
    QVERIFY(QFile::rename(reports + "/" + cliReport[0], reports + "/cli.txt"));
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
    const QByteArray a = readTestFile(reports + "/cli.txt"),
                     b = readTestFile(reports + "/" + windowReport[0]);
    QVERIFY(a.startsWith("Torvakine Report ") && b.startsWith("Torvakine Report "));
    QCOMPARE(a.mid(a.indexOf("\r\n")), b.mid(b.indexOf("\r\n")));

    r = runCli({"scan", "--app-folder", app.path(), root + "/clean"});
    QVERIFY(r.exitCode == 0 && r.out.isEmpty());

    QCOMPARE(runCli(scan + QStringList{"--remove"}).exitCode, 1);
    QVERIFY(!QFile::exists(root + "/x/toolbar/bar.exe") &&
            !QFile::exists(root + "/a\\b/toolbar/bar.exe"));
    QCOMPARE(readTestFile(root + "/mozilla/cookies.txt"), "keep\nkeep too\n");
    QCOMPARE(runCli(scan).exitCode, 0);

    // Errors exit with 2; a database that fails to load is listed as such.
    const auto fails = [](const QStringList &args, const char *text) {
        const Result r = runCli(args);
        return r.exitCode == 2 && r.err.contains(text);
    };
    QTemporaryDir empty;
    QVERIFY(
        fails({"scan", "--app-folder", app.path(), app.filePath("missing")}, "is not a folder"));
    QVERIFY(fails({"scan", "--app-folder", empty.path(), app.path()}, "no database loaded"));
    QVERIFY(fails({"scan"}, "usage: torvakine-cli scan"));
    QVERIFY(fails({"frobnicate"}, "unknown command frobnicate"));
    r = runCli({"scan", "--help"});
    QVERIFY(r.exitCode == 0 && r.out.startsWith("usage: torvakine-cli scan"));
    app.writeFile("trojsig.dat", "not a database");
    r = runCli({"info", "--app-folder", app.path()});
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
    const auto publish = [&](const QString &name, const QByteArray &bytes) {
        writeTestFile(site.path() + "/newupd/" + name, bytes);
    };
    publish("cookdb.ver", "c1\r\n");
    publish("trojsig.ver", "t2\r\n");
    publish("regdb.ver", "r1\r\n");
    publish("torvakine.ver", "18052007\r\n");
    publish("msg.txt", "Hello from the server");
    const QByteArray newTroj = encodeDatabase("[[[t2\n44d88612fea8a8f36de82e1278abb02f EICAR\n");
    publish("trojsig.dat", newTroj);
    publish("trojsig.dat.sig",
            Ed25519Signature::sign(readTestFile(signingKey), newTroj).toBase64());
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    app.writeFile("server.dat", server.baseUrl().toUtf8() + "\r\n");

    Result r = runCli({"update", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, "Trojan database\tCompleted\nHello from the server\n");
    QCOMPARE(readTestFile(app.filePath("trojsig.dat")), newTroj);

    publish("torvakine.ver", "19000101\r\n");
    publish("regdb.ver", "r2\r\n");
    server.setFault("/newupd/regdb.dat", LoopbackHttpServer::Fault::NotFound);
    r = runCli({"update", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, "Registry entries\tError\nNew version available\nHello from the server\n");

    app.writeFile("server.dat", "http://127.0.0.1:1\r\n");
    QCOMPARE(runCli({"update", "--app-folder", app.path()}).exitCode, 2);
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
