// torvakine-cli run as a user runs it, on prepared folders.
#include "app/Form1.h"
#include "databases/DatabaseEncoder.h"
#include "tests/support/SmallTmpfs.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/UpdateRepository.h"
#include "tests/support/UpdateTexts.h"
#include "tools/dbtool/LoopbackHttpServer.h"

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
    void quarantineAndAllowList();
    void updateAgainstALoopbackServer();
    void updateOnAFullDisk();
};

void TestCli::scanReportRemovalAndErrors()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk"), reports = app.filePath("Report");
    writeTestFile(root + "/x/toolbar/bar.exe", "x");
    writeTestFile(root + "/a\\b/toolbar/bar.exe", "x");
    writeTestFile(root + "/mozilla/cookies.txt", "keep\nwww.tracker.test\tid\r\nkeep too\n");
    // One detection a line, with CR, LF, tabs and backslashes in the object escaped; the
    // summary on stderr.
    Result r = runCli(app, "scan", {"--no-registry", root});
    QCOMPARE(r.exitCode, 1);
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    lines.sort();
    QCOMPARE(lines, QStringList({"Adware.Sample\t" + root + "/a\\\\b/toolbar/bar.exe",
                                 "Adware.Sample\t" + root + "/x/toolbar/bar.exe",
                                 "Tracking Cookie\tmozilla:" + root +
                                     "/mozilla/cookies.txt+www.tracker.test\\x09id\\r\\n"}));
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
    // A portable folder is read from and written into.
    const QString folder = QDir::toNativeSeparators(app.path()) + QDir::separator();
    const QString helper =
        QFileInfo(QFileInfo(TORVAKINE_CLI_PATH).dir(), "torvakine-hive-helper").canonicalFilePath();
    QCOMPARE(r.out, "cookdb.dat\tloaded\tc1\t5\ntrojsig.dat\tnot loaded\t-\t0\nregdb.dat\tloaded\t"
                    "r1\t0\napplication folder\t" +
                        folder + "\ndata folder\t" + folder + "\nlast update\t-\nhive helper\t" +
                        helper + "\n");
}

void TestCli::quarantineAndAllowList()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    const QString bar = root + "/x/toolbar/bar.exe";
    writeTestFile(bar, "payload");
    QVERIFY(QFile::setPermissions(bar, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ReadGroup));
    const QDateTime mtime(QDate(2020, 2, 29), QTime(12, 0, 1), Qt::UTC);
    {
        QFile f(bar);
        QVERIFY(f.open(QIODevice::ReadWrite) &&
                f.setFileTime(mtime, QFileDevice::FileModificationTime));
    }
    writeTestFile(root + "/skip/toolbar/bar.exe", "elsewhere");
    writeTestFile(root + "/mozilla/cookies.txt", "keep\nwww.tracker.test\tid\r\n");

    // The allow list: rules numbered, bad rules refused, lines that are no
    // rule named.
    Result r = runCli(app, "allow", {"list"});
    QVERIFY(r.exitCode == 0 && r.out.isEmpty());
    QCOMPARE(runCli(app, "allow", {"add", "path", root + "/skip"}).exitCode, 0);
    r = runCli(app, "allow", {"add", "threat Nothing.Here"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString("2\tthreat Nothing.Here\n"));
    r = runCli(app, "allow", {"add", "sha256", "zz"});
    QVERIFY2(r.exitCode == 2 && r.err.contains("64 hexadecimal"), qPrintable(r.err));
    QCOMPARE(runCli(app, "allow", {"add"}).exitCode, 2);
    writeTestFile(app.filePath("allow.dat"), readTestFile(app.filePath("allow.dat")) + "bogus\r\n");
    r = runCli(app, "allow", {"list"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, "1\tpath " + root + "/skip\n2\tthreat Nothing.Here\n");
    QVERIFY2(r.err.contains("line 3: unknown rule"), qPrintable(r.err));
    QCOMPARE(runCli(app, "allow", {"remove", "3"}).exitCode, 2);
    QCOMPARE(runCli(app, "allow", {"remove", "2"}).exitCode, 0);
    QCOMPARE(runCli(app, "allow", {"list"}).out, "1\tpath " + root + "/skip\n");

    // The scan leaves the excluded folder unread, and --exclude adds a path
    // rule for one run.
    r = runCli(app, "scan", {"--no-registry", root});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.count('\n'), 2);
    QVERIFY(!r.out.contains("/skip/"));
    r = runCli(app, "scan", {"--no-registry", "--exclude", "**/mozilla", root});
    QCOMPARE(r.out.count('\n'), 1);

    // --remove puts both into the quarantine, which lists them.
    QCOMPARE(runCli(app, "scan", {"--no-registry", "--remove", root}).exitCode, 1);
    QVERIFY(!QFile::exists(bar));
    QCOMPARE(readTestFile(root + "/mozilla/cookies.txt"), "keep\n");
    r = runCli(app, "quarantine", {"list"});
    QCOMPARE(r.exitCode, 0);
    const QStringList items = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(items.size(), 2);
    const bool fileFirst = items[0].contains("\tAdware.Sample\t");
    const QStringList file = items[fileFirst ? 0 : 1].split('\t');
    const QStringList cookie = items[fileFirst ? 1 : 0].split('\t');
    QCOMPARE(file.size(), 4);
    QCOMPARE(file[0].size(), 32);
    QVERIFY(QDateTime::fromString(file[1], Qt::ISODate).isValid() && file[1].endsWith('Z'));
    QCOMPARE(file[2], QString("Adware.Sample"));
    QCOMPARE(file[3], bar);
    QCOMPARE(cookie[3], "mozilla:" + root + "/mozilla/cookies.txt+www.tracker.test\\x09id\\r\\n");

    // Restore puts the file back as it was; an id twice, or unknown, fails.
    r = runCli(app, "quarantine", {"restore", file[0]});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, file[0] + "\t" + bar + "\n");
    QCOMPARE(readTestFile(bar), QByteArray("payload"));
    QCOMPARE(QFileInfo(bar).lastModified().toUTC(), mtime);
    QCOMPARE(QFile::permissions(bar) & 0x7077,
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    r = runCli(app, "quarantine", {"restore", file[0], cookie[0]});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(file[0] + " not restored: "), qPrintable(r.err));
    QCOMPARE(readTestFile(root + "/mozilla/cookies.txt"), "keep\nwww.tracker.test\tid\r\n");

    // Removed again, the file is not put back over what took its place.
    QCOMPARE(runCli(app, "scan", {"--no-registry", "--remove", root}).exitCode, 1);
    writeTestFile(bar, "new");
    r = runCli(app, "quarantine", {"restore", "--all"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("something is already at its place"), qPrintable(r.err));
    QCOMPARE(readTestFile(bar), QByteArray("new"));

    // Purge: nothing is older than a day; --all empties it.
    r = runCli(app, "quarantine", {"purge", "--older-than", "1"});
    QVERIFY(r.exitCode == 0 && r.out.isEmpty());
    QCOMPARE(runCli(app, "quarantine", {"list"}).out.count('\n'), 1);
    QCOMPARE(runCli(app, "quarantine", {"purge", "--all"}).exitCode, 0);
    QVERIFY(runCli(app, "quarantine", {"list"}).out.isEmpty());
    QCOMPARE(runCli(app, "quarantine", {"purge", "0123456789abcdef0123456789abcdef"}).exitCode, 2);

    // --no-quarantine deletes for good.
    QCOMPARE(runCli(app, "scan", {"--no-registry", "--remove", "--no-quarantine", root}).exitCode,
             1);
    QVERIFY(!QFile::exists(bar));
    QVERIFY(runCli(app, "quarantine", {"list"}).out.isEmpty());

    // Usage errors.
    for (const QStringList &args :
         {QStringList{"restore"}, QStringList{"purge", "--older-than", "x"},
          QStringList{"restore", "--older-than", "3"}, QStringList{"list", "x"},
          QStringList{"purge", "--all", "0123"}})
        QCOMPARE(runCli(app, "quarantine", args).exitCode, 2);
    QCOMPARE(runCli(app, "scan", {"--no-quarantine", root}).exitCode, 2);
}

void TestCli::updateAgainstALoopbackServer()
{
    // Only an update list signed by the publisher is trusted: the build's
    // demo key signs it here.
    const QString signingKey = QStringLiteral(TORVAKINE_DEMO_SIGNING_KEY);
    if (signingKey.isEmpty())
        QSKIP("built with a publisher's own update key");
    TestAppFolder app;
    prepareApp(app);
    app.writeFile("lang.dat", updateTestLanguageFile());
    UpdateRepository site(readTestFile(signingKey));
    site.publishDatabase("cookdb", "c1", "***Adware.Sample\n\\toolbar\\bar.exe\n--ME-\n<<<>>\n");
    site.publishDatabase("trojsig", "t2", "44d88612fea8a8f36de82e1278abb02f EICAR\n");
    site.publishDatabase("regdb", "r2");
    site.manifest().buildStamp = "19000101";
    site.signManifest();
    site.writeFile("newupd/torvakine.ver", "19000101\r\n");
    site.writeFile("newupd/msg.txt", "Hello from the server");
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    server.setFault("/newupd/regdb.dat", LoopbackHttpServer::Fault::NotFound);
    app.writeFile("server.dat", server.baseUrl().toUtf8() + "\r\n");

    // One download fails: the other is still installed, the row says why,
    // and the exit code is 1.
    Result r = runCli(app, "update");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, "Trojan database\tCompleted\nRegistry entries\tError\tDownload failed.\n"
                    "New version available\nHello from the server\n");
    QCOMPARE(readTestFile(app.filePath("trojsig.dat")), site.readFile("newupd/trojsig.dat"));
    // The older registry database, served for the listed one, is refused as
    // not listed (the trojan database loads in its new version now).
    server.clearFaults();
    site.writeFile("newupd/regdb.dat", encodeDatabase("[[[r1\n"));
    r = runCli(app, "update");
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.out.startsWith("Registry entries\tError\tNot as listed.\n"), qPrintable(r.out));
    // Nothing left to download: up to date.
    site.writeFile("newupd/regdb.ver", "r1\r\n");
    site.writeFile("newupd/torvakine.ver", "18052007\r\n");
    site.publishDatabase("regdb", "r1");
    site.manifest().buildStamp = "18052007";
    site.manifest().sequence = 101;
    site.signManifest();
    r = runCli(app, "update");
    QVERIFY2(r.exitCode == 0 && r.out == "Up to date.\nHello from the server\n", qPrintable(r.out));
    // An older list than the one accepted is refused, on standard error.
    site.manifest().sequence = 100;
    site.signManifest();
    r = runCli(app, "update");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, "");
    QCOMPARE(r.err, "torvakine-cli: List older.\n");
    // Nothing listens: the server could not be reached.
    app.writeFile("server.dat", "http://127.0.0.1:1\r\n");
    r = runCli(app, "update");
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.err, "torvakine-cli: Server unreachable.\n");
}

void TestCli::updateOnAFullDisk()
{
    const QString signingKey = QStringLiteral(TORVAKINE_DEMO_SIGNING_KEY);
    if (signingKey.isEmpty())
        QSKIP("built with a publisher's own update key");
    SmallTmpfs disk(1024 * 1024);
    if (!disk.isMounted())
        QSKIP(qPrintable("no tmpfs (" + disk.whyNot() +
                         "); tst_update_check injects the same write failure"));
    // The application folder on a disk with room for the small files of
    // the update, not for the new spyware database.
    const QString folder = disk.path();
    const QByteArray spyware = "[[[c1\n***Adware.Sample\n\\toolbar\\bar.exe\n--ME-\n<<<>>\n";
    writeTestFile(folder + "/cookdb.dat", encodeDatabase(spyware));
    writeTestFile(folder + "/trojsig.dat", encodeDatabase("[[[t1\n"));
    writeTestFile(folder + "/regdb.dat", encodeDatabase("[[[r1\n"));
    writeTestFile(folder + "/lang.dat", updateTestLanguageFile());
    UpdateRepository site(readTestFile(signingKey));
    QByteArray patterns = "***Adware.Sample\n";
    for (int i = 0; i < 4000; ++i)
        patterns += "\\toolbar\\file" + QByteArray::number(i) + ".exe\n";
    site.publishDatabase("cookdb", "c2", patterns + "--ME-\n<<<>>\n");
    site.publishDatabase("trojsig", "t1");
    site.publishDatabase("regdb", "r1");
    site.signManifest();
    QVERIFY(site.readFile("newupd/cookdb.dat").size() > 64 * 1024);
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    writeTestFile(folder + "/server.dat", server.baseUrl().toUtf8() + "\r\n");
    const QByteArray installed = readTestFile(folder + "/cookdb.dat");
    QVERIFY(disk.fill(32 * 1024) > 16 * 1024);

    QProcess p;
    QSignalSpy finished(&p, &QProcess::finished);
    p.start(QStringLiteral(TORVAKINE_CLI_PATH), {"update", "--app-folder", folder});
    QVERIFY(p.waitForStarted() && finished.wait(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(out, "Main spyware database\tError\tNot saved.\nWelcome\n\n");
    // The installed database is whole and still loads; nothing was left.
    QCOMPARE(readTestFile(folder + "/cookdb.dat"), installed);
    QCOMPARE(QDir(folder).entryList({".*"}, QDir::Files | QDir::Hidden), QStringList());
    QProcess info;
    info.start(QStringLiteral(TORVAKINE_CLI_PATH), {"info", "--app-folder", folder});
    QVERIFY(info.waitForFinished(60000));
    QVERIFY(info.readAllStandardOutput().startsWith("cookdb.dat\tloaded\tc1\t"));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
