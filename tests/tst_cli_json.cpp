// torvakine-cli --format json: every line one JSON object with a type, the
// summary last, the fields the README documents, names of any bytes, and a
// summary alone when a command cannot run.
#include "databases/DatabaseEncoder.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/RawNames.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/UnprivilegedUser.h"
#include "tests/support/UpdateRepository.h"
#include "tests/support/UpdateTexts.h"
#include "tools/dbtool/LoopbackHttpServer.h"

#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out, err;
};

// Runs the staged tool while this process keeps handling events (the
// loopback server of a test lives in this process); as the unprivileged
// user when unprivileged, with extra variables in its environment.
Result runCli(const QStringList &args, bool unprivileged = false,
              const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (unprivileged) {
        p.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedGroup) != 0 ||
                ::setuid(kUnprivilegedUser) != 0)
                ::_exit(127);
        });
    }
    QSignalSpy finished(&p, &QProcess::finished);
    p.start(QStringLiteral(TORVAKINE_CLI_PATH), args);
    if (!p.waitForStarted() || (finished.isEmpty() && !finished.wait(60000)))
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

// Reads JSON Lines output into *objects; false, with a warning that says
// why, for a line that is not one JSON object with a type, a raw control
// character, or a summary that is not last and alone.
bool parseLines(const QByteArray &out, QList<QJsonObject> *objects)
{
    objects->clear();
    const auto fault = [&out](const char *why) {
        qWarning("%s in:\n%s", why, out.constData());
        return false;
    };
    if (!out.endsWith('\n'))
        return fault("no line");
    for (const QByteArray &line : out.chopped(1).split('\n')) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            const uchar c = uchar(line[i]);
            if (c < 0x20 || c == 0x7f ||
                (c == 0xc2 && i + 1 < line.size() && uchar(line[i + 1]) <= 0x9f))
                return fault("a raw control character");
        }
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject())
            return fault("a line that is not a JSON object");
        if (!doc.object().value("type").isString())
            return fault("an object without a type");
        objects->append(doc.object());
    }
    for (qsizetype i = 0; i < objects->size(); ++i) {
        if ((objects->at(i).value("type").toString() == "summary") != (i == objects->size() - 1))
            return fault("a summary that is not last and alone");
    }
    return true;
}

QList<QJsonObject> ofType(const QList<QJsonObject> &objects, const QString &type)
{
    QList<QJsonObject> found;
    for (const QJsonObject &o : objects) {
        if (o.value("type").toString() == type)
            found.append(o);
    }
    return found;
}

QJsonObject detection(const QString &threat, const QString &object, const QString &kind)
{
    return {{"type", "detection"}, {"threat", threat}, {"object", object}, {"kind", kind}};
}

// The summary fields every summary has, and their exit status.
void checkSummary(const QJsonObject &summary, const QString &command, const Result &r)
{
    QCOMPARE(summary.value("command").toString(), command);
    QCOMPARE(summary.value("exit_code").toInt(-1), r.exitCode);
    QVERIFY(summary.value("error").isNull() || summary.value("error").isString());
}

void prepareApp(const TestAppFolder &app)
{
    app.writeFile("lang.dat", "1,2,3,4,5,6,7,8,9,10,11,12,\"objects, found \",threats,15,16,17,"
                              "18,19,20,21,22,23,24,25,26,27,28,29,30,Not deleted:,Found:\r\n");
    app.writeDatabase(
        "cookdb.dat",
        "[[[c1\n***Adware.Sample\n\\toolbar\\bar.exe\n*evil.exe\n"
        "***Tracking Cookie\nTRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
    app.writeDatabase("trojsig.dat", "[[[t1\n");
    app.writeDatabase("regdb.dat", "[[[r1\n***Spy.Reg\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Spy\n");
}

} // namespace

class TestCliJson : public QObject
{
    Q_OBJECT
private slots:
    void scanOfEveryKindOfDetection();
    void scanWithUnreadableFolder();
    void commandsThatCannotRun();
    void infoOfPortableAndInstalledFolders();
    void updateOutcomes();
};

void TestCliJson::scanOfEveryKindOfDetection()
{
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    writeTestFile(root + "/x/toolbar/bar.exe", "x");
    writeTestFile(root + "/mozilla/cookies.txt", "keep\nwww.tracker.test\tid\r\nkeep too\n");
    HiveBuilder software(machineHivePath(root, "SOFTWARE"));
    software.setText("Spy", "Path", "spy.exe");
    software.commit();
    // Names that JSON must escape, one that only looks like another, one
    // that is not UTF-8, and one that would drive a terminal.
    const QList<QByteArray> names = {"quote\"back\\slash\tevil.exe",
                                     "same\xef\xbf\xbd"
                                     "evil.exe",
                                     "same\xff"
                                     "evil.exe",
                                     "csi\xc2\x9b"
                                     "2J\x1b\x7f"
                                     "evil.exe"};
    for (const QByteArray &name : names)
        writeRawName(root + "/names", name);

    Result r = runCli({"scan", "--format", "json", "--app-folder", app.path(), root});
    removeRawNames(root + "/names");
    QCOMPARE(r.exitCode, 1);
    QList<QJsonObject> objects;
    QVERIFY(parseLines(r.out, &objects));
    const QString folder = root + "/names/";
    QList<QJsonObject> expected = {
        detection("Spy.Reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Spy", "registry"),
        detection("Adware.Sample", root + "/x/toolbar/bar.exe", "file"),
        detection("Tracking Cookie",
                  "mozilla:" + root + "/mozilla/cookies.txt+www.tracker.test\tid\r\n", "cookie"),
        detection("Adware.Sample", folder + "quote\"back\\slash\tevil.exe", "file"),
        detection("Adware.Sample", folder + "same\ufffdevil.exe", "file"),
        detection("Adware.Sample", folder + "same\ufffdevil.exe", "file"),
        detection("Adware.Sample", folder + "csi\u009b2J\u001b\u007fevil.exe", "file")};
    // Only the name that is not UTF-8 carries its bytes.
    expected[5].insert("object_base64", QString::fromLatin1((QFile::encodeName(folder) + "same\xff"
                                                                                         "evil.exe")
                                                                .toBase64()));
    QList<QJsonObject> detections = ofType(objects, "detection");
    const auto byObject = [](const QJsonObject &a, const QJsonObject &b) {
        return std::make_pair(a.value("object").toString(), a.contains("object_base64")) <
               std::make_pair(b.value("object").toString(), b.contains("object_base64"));
    };
    std::sort(detections.begin(), detections.end(), byObject);
    std::sort(expected.begin(), expected.end(), byObject);
    QCOMPARE(detections, expected);
    QCOMPARE(objects.size(), expected.size() + 1);

    const QJsonObject summary = objects.last();
    checkSummary(summary, "scan", r);
    QVERIFY(summary.value("error").isNull());
    QCOMPARE(summary.value("root").toString(), root);
    QCOMPARE(summary.value("detections").toInt(), expected.size());
    QCOMPARE(summary.value("unreadable").toInt(-1), 0);
    QVERIFY(summary.value("objects").toInt() >= 10);
    QVERIFY(summary.value("bytes").toInteger() >=
            QFileInfo(machineHivePath(root, "SOFTWARE")).size() + 1);
    QVERIFY(summary.value("seconds").toDouble(-1) >= 0);
    QCOMPARE(summary.value("removed").toBool(true), false);
    QVERIFY(QFileInfo(summary.value("report").toString()).isFile());
    QCOMPARE(QFileInfo(summary.value("report").toString()).absolutePath(), app.filePath("Report"));
    // The summary line of standard error, which the window shows too.
    QCOMPARE(summary.value("text").toString() + "\n", QString::fromUtf8(r.err));
    QVERIFY(summary.value("text").toString().contains(" objects, found 7 threats "));

    // The removal is told; a second scan finds nothing and prints the
    // summary alone.
    writeTestFile(root + "/y/evil.exe", "some content");
    r = runCli({"scan", "--app-folder", app.path(), "--remove", root, "--format", "json"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.last().value("removed").toBool(false), true);
    QCOMPARE(objects.last().value("detections").toInt(), 4);
    // What the removal took is in the quarantine, whose list is JSON Lines
    // too; restore and purge print text only.
    r = runCli({"quarantine", "list", "--format", "json", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(parseLines(r.out, &objects));
    checkSummary(objects.last(), "quarantine", r);
    QCOMPARE(objects.last().value("items").toInt(), 4);
    const QList<QJsonObject> items = ofType(objects, "item");
    QCOMPARE(items.size(), 4);
    QStringList kept;
    for (const QJsonObject &item : items) {
        QVERIFY(QDateTime::fromString(item.value("time").toString(), Qt::ISODate).isValid());
        QVERIFY(!item.value("id").toString().isEmpty());
        kept << item.value("threat").toString() + ' ' + item.value("object").toString();
    }
    QVERIFY(kept.contains("Adware.Sample " + root + "/y/evil.exe"));
    QVERIFY(kept.contains("Spy.Reg HKEY_LOCAL_MACHINE\\SOFTWARE\\Spy"));
    r = runCli({"quarantine", "restore", "--all", "--format", "json", "--app-folder", app.path()});
    QVERIFY(r.exitCode == 2 && r.out.isEmpty());
    QVERIFY(!QFile::exists(root + "/y/evil.exe"));
    // Allowed detections and excluded folders are counted in the summary.
    writeTestFile(root + "/z/evil.exe", "allowed");
    writeTestFile(root + "/skip/evil.exe", "never read");
    QCOMPARE(
        runCli({"allow", "add", "threat", "Adware.Sample", "--app-folder", app.path()}).exitCode,
        0);
    r = runCli({"scan", "--format", "json", "--no-registry", "--exclude", root + "/skip",
                "--app-folder", app.path(), root});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.last().value("detections").toInt(-1), 0);
    QCOMPARE(objects.last().value("allowed").toInt(-1), 1);
    QCOMPARE(objects.last().value("excluded").toInt(-1), 1);
    QVERIFY(runCli({"allow", "remove", "1", "--app-folder", app.path()}).exitCode == 0);
    QVERIFY(QFile::remove(root + "/z/evil.exe") && QFile::remove(root + "/skip/evil.exe"));
    r = runCli({"scan", "--format", "json", "--app-folder", app.path(), root});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 1);
    checkSummary(objects.last(), "scan", r);
    QCOMPARE(objects.last().value("detections").toInt(-1), 0);
    // Text stays the default, and --format text says so too.
    QCOMPARE(runCli({"scan", "--app-folder", app.path(), root}).out, QByteArray());
    r = runCli({"scan", "--format", "text", "--app-folder", app.path(), root});
    QVERIFY(r.exitCode == 0 && r.out.isEmpty() && r.err.contains(" objects, found 0 threats "));
}

void TestCliJson::scanWithUnreadableFolder()
{
    // A folder its owner keeps to itself, scanned by another user: listed
    // as unreadable, and with nothing found the scan ends with 2.
    TestAppFolder app;
    prepareApp(app);
    const QString root = app.filePath("disk");
    writeTestFile(root + "/closed/inside.txt", "x");
    writeTestFile(root + "/open/file.txt", "readable content");
    giveToUnprivilegedUser(app.path());
    openPathToEveryone(app.path());
    const QByteArray closed = QFile::encodeName(root + "/closed");
    QVERIFY(::chown(closed.constData(), 0, 0) == 0 && ::chmod(closed.constData(), 0700) == 0);

    const Result r = runCli(
        {"scan", "--format", "json", "--no-registry", "--app-folder", app.path(), root}, true);
    QCOMPARE(r.exitCode, 2);
    QList<QJsonObject> objects;
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 2);
    QCOMPARE(objects[0], QJsonObject({{"type", "unreadable"}, {"path", root + "/closed"}}));
    checkSummary(objects[1], "scan", r);
    QCOMPARE(objects[1].value("unreadable").toInt(), 1);
    QCOMPARE(objects[1].value("detections").toInt(-1), 0);
    QVERIFY(objects[1].value("bytes").toInteger() >= qint64(sizeof "readable content" - 1));
    QVERIFY2(r.err.contains("Could not read: " + QFile::encodeName(root) + "/closed\n"),
             r.err.constData());
}

void TestCliJson::commandsThatCannotRun()
{
    TestAppFolder app;
    prepareApp(app);
    TestAppFolder empty;
    const QString missing = app.filePath("missing");
    // Each prints the summary alone, with why, and ends with 2; standard
    // error says it too, as in text.
    const QList<QPair<QStringList, QString>> cases = {
        {{"scan", "--format", "json", "--app-folder", app.path(), missing},
         missing + " is not a folder"},
        {{"scan", "--format", "json", "--app-folder", empty.path(), app.path()},
         "no database loaded from " + empty.path() + "/"},
        {{"scan", "--app-folder", app.path(), "--jobs", "0", app.path(), "--format", "json"},
         "--jobs takes a number from 1 to 256"},
        {{"scan", "--bogus", "--format", "json", app.path()}, "unexpected argument --bogus"},
        {{"scan", "--format", "json"}, "no folder to scan"},
        {{"info", "--format", "json", "--app-folder", missing}, ""},
        {{"info", "--format", "json", "extra"}, "unexpected argument extra"},
        {{"update", "--format", "json", "--app-folder"}, "--app-folder needs a value"},
        {{"update", "--format", "json", "--app-folder", missing}, ""},
    };
    for (const auto &[args, error] : cases) {
        const Result r = runCli(args);
        QCOMPARE(r.exitCode, 2);
        QList<QJsonObject> objects;
        QVERIFY(parseLines(r.out, &objects));
        QCOMPARE(objects.size(), 1);
        checkSummary(objects[0], args[0], r);
        const QString told = objects[0].value("error").toString();
        QVERIFY2(error.isEmpty() ? told.contains(missing) : told == error, qPrintable(told));
        QVERIFY2(r.err.startsWith("torvakine-cli: " + told.toUtf8() + "\n"), r.err.constData());
    }
    // A format that does not exist: text, and nothing on standard output.
    const Result r = runCli({"info", "--format", "xml", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 2);
    QCOMPARE(r.out, QByteArray());
    QVERIFY(r.err.startsWith("torvakine-cli: --format takes text or json\n"));
}

void TestCliJson::infoOfPortableAndInstalledFolders()
{
    TestAppFolder app;
    prepareApp(app);
    app.writeFile("trojsig.dat", "not a database");
    Result r = runCli({"info", "--format", "json", "--app-folder", app.path()});
    QCOMPARE(r.exitCode, 0);
    QList<QJsonObject> objects;
    QVERIFY(parseLines(r.out, &objects));
    const auto database = [](const QString &file, bool loaded, const QJsonValue &version,
                             int entries, const QString &path) {
        return QJsonObject{{"type", "database"}, {"file", file},       {"loaded", loaded},
                           {"version", version}, {"entries", entries}, {"path", path}};
    };
    QCOMPARE(objects.size(), 4);
    QCOMPARE(objects.mid(0, 3),
             QList<QJsonObject>(
                 {database("cookdb.dat", true, "c1", 6, app.filePath("cookdb.dat")),
                  database("trojsig.dat", false, QJsonValue(), 0, app.filePath("trojsig.dat")),
                  database("regdb.dat", true, "r1", 2, app.filePath("regdb.dat"))}));
    QJsonObject summary = objects[3];
    checkSummary(summary, "info", r);
    QCOMPARE(summary.value("mode").toString(), "portable");
    QCOMPARE(summary.value("read_folder").toString(), app.path());
    QCOMPARE(summary.value("data_folder").toString(), app.path());
    QVERIFY(summary.value("last_update").isNull());
    // The helper staged beside the tool, which registry removals start.
    QCOMPARE(summary.value("hive_helper").toString(),
             QFileInfo(QFileInfo(TORVAKINE_CLI_PATH).dir(), "torvakine-hive-helper")
                 .canonicalFilePath());

    // Installed: the folder is read-only to the user, who gets a data folder
    // of its own; a database there takes the place of the installed one.
    TestAppFolder home;
    const QString data = home.filePath("data/torvakine");
    writeTestFile(data + "/regdb.dat", encodeDatabase("[[[r2\n"));
    writeTestFile(data + "/upd.dat", "06/12/2026 08:15:00\r\n");
    QVERIFY(QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    giveToUnprivilegedUser(home.path());
    openPathToEveryone(home.path());
    openPathToEveryone(app.path());
    QVERIFY(::chmod(QFile::encodeName(app.path()).constData(), 0755) == 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    r = runCli({"info", "--app-folder", app.path(), "--format", "json"}, true, env);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 4);
    QCOMPARE(objects[2], database("regdb.dat", true, "r2", 0, data + "/regdb.dat"));
    QCOMPARE(objects[0].value("path").toString(), app.filePath("cookdb.dat"));
    summary = objects[3];
    checkSummary(summary, "info", r);
    QCOMPARE(summary.value("mode").toString(), "installed");
    QCOMPARE(summary.value("read_folder").toString(), app.path());
    QCOMPARE(summary.value("data_folder").toString(), data);
    QCOMPARE(summary.value("last_update").toString(), "06/12/2026 08:15:00");

    // The same in text.
    r = runCli({"info", "--app-folder", app.path()}, true, env);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(
        r.out.split('\n').mid(2),
        QList<QByteArray>(
            {"regdb.dat\tloaded\tr2\t0",
             "application folder\t" + QFile::encodeName(app.path()) + "/",
             "data folder\t" + QFile::encodeName(data) + "/", "last update\t06/12/2026 08:15:00",
             "hive helper\t" + QFile::encodeName(summary.value("hive_helper").toString()), ""}));
}

void TestCliJson::updateOutcomes()
{
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
    site.writeFile("newupd/msg.txt", "Hello \x1b[2J from the server");
    LoopbackHttpServer server(site.path());
    QVERIFY(server.listen());
    server.setFault("/newupd/regdb.dat", LoopbackHttpServer::Fault::NotFound);
    app.writeFile("server.dat", server.baseUrl().toUtf8() + "\r\n");
    const QStringList update = {"update", "--format", "json", "--app-folder", app.path()};

    // One download fails, the other completes.
    Result r = runCli(update);
    QCOMPARE(r.exitCode, 1);
    QList<QJsonObject> objects;
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.mid(0, objects.size() - 1),
             QList<QJsonObject>({{{"type", "download"},
                                  {"file", "trojsig.dat"},
                                  {"text", "Trojan database"},
                                  {"status", "Completed"},
                                  {"ok", true},
                                  {"problem", QJsonValue()}},
                                 {{"type", "download"},
                                  {"file", "regdb.dat"},
                                  {"text", "Registry entries"},
                                  {"status", "Error"},
                                  {"ok", false},
                                  {"problem", "Download failed."}}}));
    QJsonObject summary = objects.last();
    checkSummary(summary, "update", r);
    QVERIFY(summary.value("error").isNull());
    QCOMPARE(summary.value("result").toString(), "download_failed");
    QCOMPARE(summary.value("downloads").toInt(), 2);
    QCOMPARE(summary.value("failed").toInt(), 1);
    QCOMPARE(summary.value("new_version").toBool(false), true);
    QCOMPARE(summary.value("message").toString(), "Hello \u001b[2J from the server");

    // Everything downloaded.
    server.clearFaults();
    r = runCli(update);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 2);
    QCOMPARE(objects[0].value("file").toString(), "regdb.dat");
    QCOMPARE(objects[1].value("result").toString(), "updated");
    QCOMPARE(objects[1].value("failed").toInt(-1), 0);

    // Nothing left to download.
    site.manifest().buildStamp = "18052007";
    site.writeFile("newupd/torvakine.ver", "18052007\r\n");
    site.writeFile("newupd/msg.txt", "");
    site.manifest().sequence = 101;
    site.signManifest();
    r = runCli(update);
    QCOMPARE(r.exitCode, 0);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 1);
    checkSummary(objects[0], "update", r);
    QCOMPARE(objects[0].value("result").toString(), "up_to_date");
    QCOMPARE(objects[0].value("downloads").toInt(-1), 0);
    QCOMPARE(objects[0].value("new_version").toBool(true), false);
    QCOMPARE(objects[0].value("message").toString("not empty"), "");

    // An older list is refused: why is the summary's error.
    site.manifest().sequence = 100;
    site.signManifest();
    r = runCli(update);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 1);
    QCOMPARE(objects[0].value("result").toString(), "refused");
    QCOMPARE(objects[0].value("error").toString(), "List older.");
    QCOMPARE(r.err, "torvakine-cli: List older.\n");

    // Nothing listens.
    app.writeFile("server.dat", "http://127.0.0.1:1\r\n");
    r = runCli(update);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(parseLines(r.out, &objects));
    QCOMPARE(objects.size(), 1);
    checkSummary(objects[0], "update", r);
    QCOMPARE(objects[0].value("result").toString(), "server_unreachable");
    QCOMPARE(objects[0].value("error").toString(), "Server unreachable.");
}

QTEST_GUILESS_MAIN(TestCliJson)
#include "tst_cli_json.moc"
