// The database update against the loopback HTTP server as an attacker or a
// broken server would run it: the signed update list and everything wrong
// with it, databases swapped, rolled back, cut short, dripped or too long, a
// server that is down, a disk that is full; then the Updates panel and the
// maintainers' tool.
#include "app/Form1.h"
#include "platform/Ed25519Signature.h"
#include "platform/ProgressIndicator.h"
#include "tests/support/FailingFileWriter.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/UpdateRepository.h"
#include "tests/support/UpdateTexts.h"
#include "tools/dbtool/LoopbackHttpServer.h"
#include "update/AcceptedSequence.h"
#include "update/BuildStamp.h"
#include "update/DatabaseReload.h"
#include "update/ProgressText.h"
#include "update/UpdateCommand.h"
#include "update/VersionLine.h"
#include "update/widgets/frmNewversion.h"

#include <QTcpServer>
#include <QtTest>
#include <QtWidgets>

#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {
// A self-signed certificate for 127.0.0.1, then its key (PEM), made afresh for each run.
QByteArray selfSignedCertificateAndKey()
{
    EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509 *cert = X509_new();
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, X509_get_subject_name(cert));
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_sign(cert, key, EVP_sha256());
    BIO *bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QByteArray pem(data, size);
    BIO_free(bio);
    X509_free(cert);
    EVP_PKEY_free(key);
    return pem;
}

const QByteArray cookBody = "***Spy.Sample\n%windir%\\bad.ini\n--ME-\n<<<>>\n";
const QByteArray trojBody = "44d88612fea8a8f36de82e1278abb02f EICAR\n";

// A port on the loopback address where nothing listens.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

using Fault = LoopbackHttpServer::Fault;
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void checkDownloadAndReload();
    void reloadKeepsWhatFails();
    void refusedUpdateList_data();
    void refusedUpdateList();
    void downloadNotAsListed_data();
    void downloadNotAsListed();
    void serverUnreachable_data();
    void serverUnreachable();
    void deadlineEndsADrippingServer();
    void fullDisk();
    void httpsServer();
    void updatesPanel();
    void windowWaitsForTheServer();
    void maintainersTool();

private:
    // An update of the application folder that trusts the repository's key.
    std::unique_ptr<UpdateCommand> newCommand(UpdateSettings settings = {})
    {
        settings.publicKey = m_repo->publicKey();
        return std::make_unique<UpdateCommand>(m_app->paths(), m_files, std::move(settings));
    }
    UpdateCommand::Outcome check(UpdateCommand &c) { return c.check(m_engine->tables()); }
    // Waits for the downloads, then runs the step after them, which reloads
    // the databases as the window does; returns whether it reloaded.
    bool finish(UpdateCommand &c, FileWriter *files = nullptr)
    {
        return QTest::qWaitFor([&] { return c.downloadQueue().QueuedFiles().isEmpty(); }, 30000) &&
               c.installWhenDownloaded([&] {
                   ReloadResult reloaded =
                       reloadDatabases(m_app->paths(), m_engine->tables(),
                                       c.flags().UpdateInstalled, files ? *files : m_files, m_bar);
                   m_engine = std::move(reloaded.engine);
                   if (reloaded.LastUpdateText)
                       m_lastUpdateText = *reloaded.LastUpdateText;
                   return reloaded.updDatSaved;
               });
    }
    // The statuses of the rows, "text=status" each.
    static QStringList statuses(UpdateCommand &c)
    {
        QStringList out;
        for (const DownloadListModel::Row &row : c.downloadList().rows())
            out << row.text + '=' + row.status;
        return out;
    }
    const DatabaseTables &tables() const { return m_engine->tables(); }

    // Each test's own; emplace() ends the previous one first.
    std::optional<TestAppFolder> m_app;
    std::optional<UpdateRepository> m_repo;
    std::optional<LoopbackHttpServer> m_server;
    DiskFileWriter m_files;
    SilentProgress m_bar;
    // The loaded databases and the last update's date, as the window keeps them.
    EngineHandle m_engine;
    QString m_lastUpdateText;
};

void TestUpdateCheck::init()
{
    m_app.emplace();
    m_repo.emplace();
    m_server.emplace(m_repo->path());
    QVERIFY(m_server->listen());
    m_app->writeFile("server.dat", m_server->baseUrl().toUtf8() + "\r\n");
    m_app->writeFile("lang.dat", updateTestLanguageFile());
    m_app->writeDatabase("cookdb.dat", "[[[COOK-1\r\n" + cookBody);
    m_app->writeDatabase("trojsig.dat", "[[[TROJ-1\r\n");
    m_app->writeDatabase("regdb.dat", "[[[REG-1\r\n");
    m_engine = m_app->loadEngine();
    m_lastUpdateText.clear();
    // The server publishes what is installed: nothing to download.
    m_repo->publishDatabase("cookdb", "COOK-1", cookBody);
    m_repo->publishDatabase("trojsig", "TROJ-1");
    m_repo->publishDatabase("regdb", "REG-1");
    m_repo->signManifest();
}

void TestUpdateCheck::checkDownloadAndReload()
{
    // A row's progress: the bytes still to come, in KB below 1 MB, and the
    // share already read.
    QCOMPARE(downloadProgressText(0, 1048575), "1024.0 KB (0.0%)");
    QCOMPARE(downloadProgressText(0, 1048576), "1.00 MB (0.0%)");
    QCOMPARE(downloadProgressText(100, 612), "0.5 KB (16.3%)");
    // A version is the first line up to its CR; a lone LF stays in it.
    QCOMPARE(versionLine("COOK-1\r\nCOOK-9\r\n"), "COOK-1");
    QCOMPARE(versionLine("COOK-1\nCOOK-9"), "COOK-1\nCOOK-9");
    QCOMPARE(versionLine("Caf\xe9 \x80"), "Caf\u00e9 \u20ac");

    m_repo->writeFile("newupd/cookdb.ver", "COOK-1\r\nCOOK-9\r\nnotes\r\n");
    m_repo->writeFile("newupd/msg.txt", "First line\r\n\r\nCaf\xe9 \x80 5\r\n");
    m_app->writeFile("upd.dat", "an earlier date\r\n");
    const auto owned = newCommand();
    UpdateCommand &command = *owned;
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QCOMPARE(command.message(), QStringLiteral("First line\r\n\r\nCaf\u00e9 \u20ac 5\r\n"));
    QVERIFY(command.downloadList().rowCount() == 0 && !command.newVersionAvailable());
    QVERIFY(command.notes().isEmpty());
    // The accepted list's number is kept for the next update.
    QCOMPARE(readAcceptedSequence(m_app->paths()), 100u);
    // Nothing to download: the step after it reloads but keeps the last update's date.
    QVERIFY(finish(command));
    QCOMPARE(m_app->readFile("upd.dat"), "an earlier date\r\n");
    QCOMPARE(m_lastUpdateText, "an earlier date");
    QVERIFY(!QFile::exists(command.sdrPath()));

    // A newer publication: two databases and the program.  Compared
    // exactly, a trailing blank is another version.
    m_repo->publishDatabase("cookdb", "COOK-2", cookBody);
    m_repo->publishDatabase("trojsig", "TROJ-1 ", trojBody);
    m_repo->manifest().sequence = 101;
    m_repo->manifest().buildStamp = "20112008";
    m_repo->writeFile("newupd/torvakine.ver", "20112008\r\n");
    m_repo->signManifest();
    QFile::remove(m_repo->filePath("newupd/msg.txt"));
    QSignalSpy notice(&command, &UpdateCommand::newVersionFound);
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QVERIFY(command.message().isEmpty() && command.newVersionAvailable());
    QCOMPARE(notice.size(), 1);
    QCOMPARE(readAcceptedSequence(m_app->paths()), 101u);
    const auto now = [] {
        return QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    };
    const QString before = now();
    QVERIFY(finish(command));
    QCOMPARE(statuses(command),
             QStringList({"Main spyware database=Completed", "Trojan database=Completed"}));
    QVERIFY(command.notes().isEmpty());
    QCOMPARE(m_app->readFile("cookdb.dat"), m_repo->readFile("newupd/cookdb.dat"));
    QVERIFY(tables().CookDbVersion == "COOK-2" && tables().TrojSigVersion == "TROJ-1 ");
    QCOMPARE(tables().TrojSigCount, 1);
    // The reload expands the folder tokens of the new database.
    QVERIFY(tables().CookDbEntries.contains("\\windows\\bad.ini"));
    const QString written = QString::fromLocal8Bit(m_app->readFile("upd.dat"));
    QVERIFY2(written == before + "\r\n" || written == now() + "\r\n", qPrintable(written));
    QCOMPARE(m_lastUpdateText + "\r\n", written);
    // Every write went through a temporary file that is gone again.
    QCOMPARE(QDir(m_app->path()).entryList({".*.tmp"}, QDir::Files | QDir::Hidden), QStringList());

    // A program version file that disagrees with the signed list shows no
    // notice, and the update says why.
    m_repo->writeFile("newupd/torvakine.ver", "30000000\r\n");
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QVERIFY(!command.newVersionAvailable() && notice.size() == 1);
    QCOMPARE(command.notes(), QList<UpdateNote>({{"torvakine.ver", UpdateProblem::NotAsListed}}));
}

void TestUpdateCheck::reloadKeepsWhatFails()
{
    // A database that no longer loads keeps the version of the tables
    // reloaded, so that the next update fetches it again; upd.dat is written
    // only for an installed update.
    m_app->writeFile("trojsig.dat", "bm90IGEgZGF0YWJhc2U=\r\n");
    QStringList steps;
    DatabaseReloadHooks hooks;
    hooks.reloadStarted = [&steps] { steps << "started"; };
    hooks.databasesLoaded = [&steps](const DatabaseTables &t) {
        steps << "loaded " + t.CookDbVersion + " " + t.TrojSigVersion;
    };
    ReloadResult reloaded = reloadDatabases(m_app->paths(), tables(), false, m_files, m_bar, hooks);
    QCOMPARE(steps, QStringList({"started", "loaded COOK-1 TROJ-1"}));
    const DatabaseTables &t = reloaded.engine->tables();
    QVERIFY(!t.TrojSigLoaded && t.TrojSigCount == 0 && t.TrojSigVersion == "TROJ-1");
    QVERIFY(t.CookDbLoaded && t.CookDbEntries.contains("\\windows\\bad.ini"));
    QVERIFY(!reloaded.LastUpdateText && !QFile::exists(m_app->filePath("upd.dat")));
    QVERIFY(reloaded.updDatSaved);
    // The engine reloaded from stays as it was.
    QVERIFY(tables().TrojSigLoaded);
    reloaded = reloadDatabases(m_app->paths(), t, true, m_files, m_bar);
    QVERIFY(reloaded.LastUpdateText && !reloaded.LastUpdateText->isEmpty());
    QCOMPARE(*reloaded.LastUpdateText + "\r\n", QString::fromLocal8Bit(m_app->readFile("upd.dat")));
    QCOMPARE(reloaded.engine->tables().TrojSigVersion, "TROJ-1");
    // upd.dat that cannot be written is reported and keeps its date.
    m_app->writeFile("upd.dat", "before\r\n");
    FailingFileWriter full;
    full.failWritesTo("upd.dat");
    reloaded = reloadDatabases(m_app->paths(), tables(), true, full, m_bar);
    QVERIFY(!reloaded.updDatSaved);
    QCOMPARE(reloaded.LastUpdateText, "before");
}

void TestUpdateCheck::refusedUpdateList_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<UpdateProblem>("problem");
    const UpdateProblem invalid = UpdateProblem::ListInvalid;
    QTest::newRow("no signature") << "no signature" << invalid;
    QTest::newRow("signed with another key") << "signed with another key" << invalid;
    QTest::newRow("list changed after signing") << "list changed after signing" << invalid;
    QTest::newRow("signature of another list") << "signature of another list" << invalid;
    QTest::newRow("truncated signature") << "truncated signature" << invalid;
    QTest::newRow("malformed list, signed") << "malformed list, signed" << invalid;
    QTest::newRow("expired") << "expired" << UpdateProblem::ListExpired;
    QTest::newRow("rolled back") << "rolled back" << UpdateProblem::ListOlder;
}

void TestUpdateCheck::refusedUpdateList()
{
    QFETCH(QString, fault);
    QFETCH(UpdateProblem, problem);
    // Everything is newer on the server, but the list is not to be trusted.
    m_repo->publishDatabase("cookdb", "COOK-2", cookBody);
    m_repo->publishDatabase("trojsig", "TROJ-2", trojBody);
    m_repo->writeFile("newupd/torvakine.ver", "20112008\r\n");
    m_repo->manifest().buildStamp = "20112008";
    m_repo->signManifest();
    const QString sig = "newupd/manifest.sig";
    const QByteArray list = m_repo->readFile("newupd/manifest");
    QByteArray otherKey, otherPublic;
    QVERIFY(Ed25519Signature::generateKeyPair(&otherKey, &otherPublic));
    if (fault == "no signature") {
        QVERIFY(QFile::remove(m_repo->filePath(sig)));
    } else if (fault == "signed with another key") {
        m_repo->signManifest(otherKey);
    } else if (fault == "list changed after signing") {
        m_repo->writeFile("newupd/manifest",
                          QByteArray(list).replace("sequence 100", "sequence 900"));
    } else if (fault == "signature of another list") {
        const QByteArray signature = m_repo->readFile(sig);
        m_repo->manifest().sequence = 5;
        m_repo->signManifest();
        m_repo->writeFile(sig, signature);
    } else if (fault == "truncated signature") {
        m_repo->writeFile(sig, m_repo->readFile(sig).left(60));
    } else if (fault == "malformed list, signed") {
        const QByteArray lfOnly = QByteArray(list).replace("\r\n", "\n");
        m_repo->writeFile("newupd/manifest", lfOnly);
        m_repo->writeFile(sig, Ed25519Signature::sign(m_repo->privateKey(), lfOnly).toBase64());
    } else if (fault == "expired") {
        m_repo->manifest().expires = QDateTime::currentDateTimeUtc().addSecs(-1);
        m_repo->signManifest();
    } else if (fault == "rolled back") {
        // This folder accepted number 100 before; the server now offers 99.
        m_repo->manifest().sequence = 99;
        m_repo->signManifest();
        QVERIFY(storeAcceptedSequence(m_app->paths(), 100, m_files));
    }
    const QByteArray cookdb = m_app->readFile("cookdb.dat");
    const QByteArray sequence = m_app->readFile("upd.seq");
    const auto owned = newCommand();
    UpdateCommand &command = *owned;
    QSignalSpy notice(&command, &UpdateCommand::newVersionFound);
    QCOMPARE(check(command), UpdateCommand::Outcome::Refused);
    QCOMPARE(command.notes(), QList<UpdateNote>({{QString(), problem}}));
    // Nothing else was asked of the server, nothing changed here.
    QCOMPARE(m_server->requestCount("/newupd/cookdb.ver"), 0);
    QCOMPARE(m_server->requestCount("/newupd/cookdb.dat"), 0);
    QVERIFY(notice.isEmpty() && command.downloadList().rowCount() == 0);
    QCOMPARE(m_app->readFile("cookdb.dat"), cookdb);
    QCOMPARE(m_app->readFile("upd.seq"), sequence);
    QVERIFY(!QFile::exists(command.sdrPath()));
    QCOMPARE(updateNoteText(m_app->texts(), command.notes().first()),
             problem == UpdateProblem::ListInvalid   ? "List invalid."
             : problem == UpdateProblem::ListExpired ? "List expired."
                                                     : "List older.");
}

void TestUpdateCheck::downloadNotAsListed_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<UpdateProblem>("problem");
    QTest::addColumn<int>("requests"); // of the database file
    const UpdateProblem notAsListed = UpdateProblem::NotAsListed;
    const UpdateProblem failed = UpdateProblem::DownloadFailed;
    QTest::newRow("another database served") << "another database served" << notAsListed << 1;
    QTest::newRow("older database served") << "older database served" << notAsListed << 1;
    QTest::newRow("one byte changed") << "one byte changed" << notAsListed << 1;
    QTest::newRow("version file disagrees") << "version file disagrees" << notAsListed << 0;
    QTest::newRow("not listed") << "not listed" << notAsListed << 0;
    QTest::newRow("longer than listed") << "longer than listed" << failed << 1;
    QTest::newRow("shorter than listed") << "shorter than listed" << notAsListed << 1;
    QTest::newRow("404") << "404" << failed << 1;
    QTest::newRow("connection reset") << "connection reset" << failed << 1;
}

void TestUpdateCheck::downloadNotAsListed()
{
    QFETCH(QString, fault);
    QFETCH(UpdateProblem, problem);
    QFETCH(int, requests);
    // A new spyware database is listed and published; the trojan database
    // is updated too and must install whatever happens to the other.
    const QByteArray oldCookdb = m_repo->readFile("newupd/cookdb.dat");
    m_repo->publishDatabase("cookdb", "COOK-2", cookBody + "***More\nmore.exe\n");
    m_repo->publishDatabase("trojsig", "TROJ-2", trojBody);
    const QString served = "newupd/cookdb.dat";
    const QByteArray listed = m_repo->readFile(served);
    if (fault == "another database served") {
        // The trojan database, correctly listed under its own name.
        m_repo->writeFile(served, m_repo->readFile("newupd/trojsig.dat"));
    } else if (fault == "older database served") {
        m_repo->writeFile(served, oldCookdb);
    } else if (fault == "one byte changed") {
        QByteArray changed = listed;
        changed[10] = changed[10] == 'A' ? 'B' : 'A';
        m_repo->writeFile(served, changed);
    } else if (fault == "version file disagrees") {
        m_repo->writeFile("newupd/cookdb.ver", "COOK-3\r\n");
    } else if (fault == "not listed") {
        m_repo->manifest().databases.removeIf(
            [](const ManifestDatabase &db) { return db.fileName == "cookdb.dat"; });
    } else if (fault == "longer than listed") {
        m_repo->writeFile(served, listed + QByteArray(100000, 'A'));
    } else if (fault == "shorter than listed") {
        m_repo->writeFile(served, listed.chopped(10));
    } else {
        m_server->setFault("/" + served, fault == "404" ? Fault::NotFound : Fault::ResetConnection);
    }
    m_repo->signManifest();
    const QByteArray installed = m_app->readFile("cookdb.dat");
    m_app->writeFile("upd.dat", "before\r\n");
    const auto owned = newCommand();
    UpdateCommand &command = *owned;
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QVERIFY(!finish(command)); // one download is still wanting: no reload
    QCOMPARE(statuses(command),
             QStringList({"Main spyware database=Error", "Trojan database=Completed"}));
    QCOMPARE(command.downloadList().rows().first().problem, problem);
    QCOMPARE(command.notes(), QList<UpdateNote>({{"Main spyware database", problem}}));
    QCOMPARE(m_server->requestCount("/" + served), requests);
    QCOMPARE(m_app->readFile("cookdb.dat"), installed);
    QCOMPARE(m_app->readFile("trojsig.dat"), m_repo->readFile("newupd/trojsig.dat"));
    QCOMPARE(m_app->readFile("upd.dat"), "before\r\n");
    QCOMPARE(tables().CookDbVersion, "COOK-1");
    QCOMPARE(updateNoteText(m_app->texts(), command.notes().first()),
             "Main spyware database: " + QString(problem == UpdateProblem::NotAsListed
                                                     ? "Not as listed."
                                                     : "Download failed."));

    // The next update starts afresh: with the server mended it installs.
    m_server->clearFaults();
    m_repo->writeFile("newupd/cookdb.ver", "COOK-2\r\n");
    m_repo->writeFile(served, listed);
    m_repo->publishDatabase("cookdb", "COOK-2", cookBody + "***More\nmore.exe\n");
    m_repo->signManifest();
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QVERIFY(finish(command));
    QVERIFY(command.notes().isEmpty());
    QCOMPARE(tables().CookDbVersion, "COOK-2");
}

void TestUpdateCheck::serverUnreachable_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("timedOut");
    for (const char *fault :
         {"nothing listens", "no list", "server error on the list", "version file missing",
          "program version missing", "list stalls", "version file stalls"})
        QTest::newRow(fault) << QString::fromLatin1(fault) << QString(fault).contains("stalls");
}

void TestUpdateCheck::serverUnreachable()
{
    QFETCH(QString, fault);
    QFETCH(bool, timedOut);
    // The server would offer a new program: with a failed fetch no notice
    // may appear, nor any download.
    m_repo->publishDatabase("regdb", "REG-2");
    m_repo->writeFile("newupd/torvakine.ver", "20112008\r\n");
    m_repo->manifest().buildStamp = "20112008";
    m_repo->signManifest();
    if (fault == "nothing listens")
        m_app->writeFile("server.dat", "http://127.0.0.1:" + QByteArray::number(closedPort()));
    else if (fault == "no list")
        QVERIFY(QFile::remove(m_repo->filePath("newupd/manifest")));
    else if (fault == "server error on the list")
        m_server->setFault("/newupd/manifest", Fault::ServerError);
    else if (fault == "version file missing")
        QVERIFY(QFile::remove(m_repo->filePath("newupd/trojsig.ver")));
    else if (fault == "program version missing")
        m_server->setFault("/newupd/torvakine.ver", Fault::NotFound);
    else if (fault == "list stalls")
        m_server->setFault("/newupd/manifest", Fault::Stall);
    else
        m_server->setFault("/newupd/regdb.ver", Fault::Stall);
    UpdateSettings quick;
    quick.stallTimeoutMs = 300;
    const auto owned = newCommand(quick);
    UpdateCommand &command = *owned;
    QSignalSpy timeout(&command, &UpdateCommand::serverTimedOut);
    QSignalSpy notice(&command, &UpdateCommand::newVersionFound);
    QCOMPARE(check(command), UpdateCommand::Outcome::ServerUnreachable);
    QCOMPARE(command.notes(), QList<UpdateNote>({{QString(), UpdateProblem::ServerUnreachable}}));
    QCOMPARE(timeout.size(), timedOut ? 1 : 0);
    QCOMPARE(command.flags().ServerReachable, !timedOut);
    QVERIFY(notice.isEmpty() && !command.newVersionAvailable());
    QCOMPARE(command.downloadList().rowCount(), 0);
    QCOMPARE(m_server->requestCount("/newupd/regdb.dat"), 0);
    QVERIFY(!QFile::exists(command.sdrPath()));
    QCOMPARE(updateNoteText(m_app->texts(), command.notes().first()), "Server unreachable.");
}

void TestUpdateCheck::deadlineEndsADrippingServer()
{
    // A server that sends one byte every 50 ms never trips the stall time-out
    // (here a minute); only the deadline, here 400 ms plus a second per 16
    // KiB, ends the transfer.  Left alone, the download would take minutes.
    m_repo->publishDatabase("regdb", "REG-2", QByteArray(2000, 'r'));
    m_repo->signManifest();
    m_server->setSlowBody(1, 50);
    m_server->setFault("/newupd/regdb.dat", Fault::SlowBody);
    UpdateSettings dripping;
    dripping.stallTimeoutMs = 60000;
    dripping.deadline.graceMs = 400;
    const auto owned = newCommand(dripping);
    UpdateCommand &command = *owned;
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QVERIFY(
        QTest::qWaitFor([&] { return command.downloadQueue().QueuedFiles().isEmpty(); }, 30000));
    QCOMPARE(statuses(command), QStringList{"Registry entries=Error"});
    QCOMPARE(command.downloadList().rows().first().problem, UpdateProblem::DownloadFailed);
    QCOMPARE(tables().RegDbVersion, "REG-1");

    // The same deadline ends a fetch that drips: a time-out.
    m_server->setFault("/newupd/manifest", Fault::SlowBody);
    QSignalSpy timeout(&command, &UpdateCommand::serverTimedOut);
    QCOMPARE(check(command), UpdateCommand::Outcome::ServerUnreachable);
    QCOMPARE(timeout.size(), 1);
}

void TestUpdateCheck::fullDisk()
{
    // Every file the update writes, one at a time, on a disk that takes no
    // more: the old file stays and the update says so.
    m_repo->publishDatabase("cookdb", "COOK-2", cookBody);
    m_repo->signManifest();
    const QByteArray installed = m_app->readFile("cookdb.dat");
    for (const QString name : {"SDR", "upd.seq", "cookdb.dat", "upd.dat"}) {
        m_app->writeFile("upd.dat", "before\r\n");
        QFile::remove(m_app->filePath("upd.seq"));
        FailingFileWriter full;
        full.failWritesTo(name);
        UpdateSettings settings;
        settings.publicKey = m_repo->publicKey();
        UpdateCommand command(m_app->paths(), full, settings);
        const UpdateCommand::Outcome outcome = command.check(m_engine->tables());
        finish(command, &full);
        QCOMPARE(full.failed().value(0), name);
        const QList<UpdateNote> expected = {
            {name == "cookdb.dat" ? "Main spyware database" : name, UpdateProblem::WriteFailed}};
        QCOMPARE(command.notes(), expected);
        QCOMPARE(m_app->readFile("upd.dat"), "before\r\n");
        if (name == "SDR" || name == "upd.seq") {
            // The check stops before it downloads anything.
            QCOMPARE(outcome, UpdateCommand::Outcome::Refused);
            QCOMPARE(command.downloadList().rowCount(), 0);
            QCOMPARE(m_app->readFile("cookdb.dat"), installed);
        } else if (name == "cookdb.dat") {
            QCOMPARE(statuses(command), QStringList{"Main spyware database=Error"});
            QCOMPARE(m_app->readFile("cookdb.dat"), installed);
            QCOMPARE(tables().CookDbVersion, "COOK-1");
        } else {
            // The database is in; the date of the update could not be kept.
            QCOMPARE(statuses(command), QStringList{"Main spyware database=Completed"});
            QCOMPARE(tables().CookDbVersion, "COOK-2");
            m_app->writeDatabase("cookdb.dat", "[[[COOK-1\r\n" + cookBody);
            m_engine = m_app->loadEngine();
        }
        QCOMPARE(QDir(m_app->path()).entryList({".*.tmp"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }
}

void TestUpdateCheck::httpsServer()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("this Qt has no TLS backend");
    const QByteArray pem = selfSignedCertificateAndKey();
    const QSslCertificate certificate(pem);
    LoopbackHttpServer tlsServer(m_repo->path());
    tlsServer.useTls(certificate, QSslKey(pem, QSsl::Ec));
    QVERIFY(!certificate.isNull() && tlsServer.listen());
    m_app->writeFile("server.dat", tlsServer.baseUrl().toUtf8() + "\r\n");
    m_repo->publishDatabase("trojsig", "TROJ-2", trojBody);
    m_repo->signManifest();
    const QByteArray installed = m_app->readFile("trojsig.dat");
    // A certificate the system does not trust fails every fetch and installs
    // nothing; once trusted, the same server updates.
    const auto untrusted = newCommand();
    QCOMPARE(check(*untrusted), UpdateCommand::Outcome::ServerUnreachable);
    QCOMPARE(m_app->readFile("trojsig.dat"), installed);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    const auto guard = qScopeGuard([c = config] { QSslConfiguration::setDefaultConfiguration(c); });
    config.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(config);
    const auto trusted = newCommand();
    QCOMPARE(check(*trusted), UpdateCommand::Outcome::Checked);
    QVERIFY(finish(*trusted));
    QCOMPARE(tables().TrojSigVersion, "TROJ-2");
}

void TestUpdateCheck::updatesPanel()
{
    UpdateSettings settings;
    settings.publicKey = m_repo->publicKey();
    settings.stallTimeoutMs = 400;
    m_app->writeFile("SDR", "left from before\r\n");
    Form1 w(m_app->paths(), m_app->loadTables(), settings);
    w.Form_Load();
    w.show();
    w.Image4_Click();
    QVERIFY(w.Frame2->isVisible());
    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes.append(box->windowTitle() + '|' + box->text());
            box->accept();
        }
    });
    closer.start(50);
    const auto noticeShown = [&w] {
        const auto *notice = w.findChild<frmNewversion *>();
        return notice && notice->isVisible();
    };

    // Up to date: the panel says so, and nothing is downloaded.
    m_repo->writeFile("newupd/msg.txt", "Line one\r\nLine two\r\n");
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QCOMPARE(w.UpdateStatus->toPlainText(), "Up to date.");
    QCOMPARE(w.Text2->toPlainText(), "Line one\nLine two\n");
    QVERIFY(w.Timer3->isActive() && w.LstDownload->model()->rowCount() == 0 && !noticeShown());
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 10000);
    QVERIFY(!QFile::exists(w.updateCommand().sdrPath()));

    // The server is down, though it would offer a new program: the panel
    // stays open and says the server could not be reached; no notice.
    m_repo->writeFile("newupd/torvakine.ver", "20112008\r\n");
    m_repo->manifest().buildStamp = "20112008";
    m_repo->signManifest();
    m_app->writeFile("server.dat", "http://127.0.0.1:" + QByteArray::number(closedPort()));
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QCOMPARE(w.UpdateStatus->toPlainText(), "Server unreachable.");
    QVERIFY(w.Frame2->isVisible() && w.Text1->isHidden() && !w.Timer3->isActive());
    QVERIFY(!noticeShown() && boxes.isEmpty());
    QCOMPARE(w.ActivePanel, 2);

    // A server that does not answer in time: the box, then the same line.
    m_app->writeFile("server.dat", m_server->baseUrl().toUtf8() + "\r\n");
    m_server->setFault("/newupd/cookdb.ver", Fault::Stall);
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QCOMPARE(boxes, QStringList({"Update|The update server does not answer."}));
    QCOMPARE(w.UpdateStatus->toPlainText(), "Server unreachable.");
    QVERIFY(w.Frame2->isVisible() && !noticeShown());

    // A new program, one database to install and one refused: the reason
    // shows on the panel, the other database is installed.
    m_server->clearFaults();
    m_repo->publishDatabase("regdb", "REG-2");
    m_repo->publishDatabase("trojsig", "TROJ-2", trojBody);
    m_repo->signManifest();
    m_repo->writeFile("newupd/trojsig.dat", m_repo->readFile("newupd/regdb.dat"));
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(noticeShown());
    QCOMPARE(w.newVersionWindow().Label1->text(), "A new version is out.");
    QTRY_COMPARE_WITH_TIMEOUT(w.UpdateStatus->toPlainText(), "Trojan database: Not as listed.",
                              10000);
    const QAbstractItemModel *rows = w.LstDownload->model();
    QTRY_COMPARE_WITH_TIMEOUT(rows->index(1, 1).data().toString(), "Completed", 10000);
    QCOMPARE(rows->index(0, 1).data().toString(), "Error");
    // A download that failed keeps the databases from being reloaded.
    QVERIFY(w.Timer3->isActive());
    QCOMPARE(w.engine().tables().RegDbVersion, "REG-1");

    // Mended: everything is installed and reloaded.
    m_repo->publishDatabase("trojsig", "TROJ-2", trojBody);
    m_repo->signManifest();
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 10000);
    QCOMPARE(w.UpdateStatus->toPlainText(), "");
    QCOMPARE(w.engine().tables().TrojSigVersion, "TROJ-2");
    QVERIFY(!w.LastUpdateText.isEmpty());
    QCOMPARE(w.lblMessages->text(), "Last update: " + w.LastUpdateText);
}

void TestUpdateCheck::windowWaitsForTheServer()
{
    // The list comes only after a pause.  Meanwhile the window shows a busy
    // cursor, is repainted, and drops the clicks of an impatient user: a
    // second update, a language button.
    m_server->setSlowBody(1, 300);
    m_server->setFault("/newupd/manifest", Fault::Delayed);
    UpdateSettings settings;
    settings.publicKey = m_repo->publicKey();
    Form1 w(m_app->paths(), m_app->loadTables(), settings);
    w.Form_Load();
    w.show();
    w.Image4_Click();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    int paints = 0, paintsWhileWaiting = -1;
    struct PaintCounter : QObject {
        int &count;
        explicit PaintCounter(int &c) : count(c) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            count += e->type() == QEvent::Paint;
            return false;
        }
    } counter(paints);
    w.UpdateStatus->viewport()->installEventFilter(&counter);
    const QByteArray language = m_app->readFile("lang.dat");
    Qt::CursorShape cursor = Qt::ArrowCursor;
    bool probed = false;
    // Both probes are due long before the server answers.
    QTimer::singleShot(0, this, [&] {
        probed = true;
        cursor = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape()
                                                : Qt::ArrowCursor;
        QTest::mouseClick(w.Command7, Qt::LeftButton);
        QTest::mouseClick(w.Command8[1], Qt::LeftButton);
        paints = 0;
        w.UpdateStatus->viewport()->update();
    });
    QTimer::singleShot(150, this, [&] { paintsWhileWaiting = paints; });
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(probed);
    QCOMPARE(cursor, Qt::WaitCursor);
    QVERIFY2(paintsWhileWaiting > 0, qPrintable(QString::number(paintsWhileWaiting)));
    QCOMPARE(m_server->requestCount("/newupd/manifest"), 1);
    QCOMPARE(m_app->readFile("lang.dat"), language);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(w.UpdateStatus->toPlainText(), "Up to date.");
}

void TestUpdateCheck::maintainersTool()
{
    const auto dbtool = [](const QStringList &a) { return QProcess::execute(TORVAKINE_DBTOOL, a); };
    // A new key is private to its owner and never replaces an existing one.
    QTemporaryDir plain;
    const QString key = plain.filePath("new.key"), pub = plain.filePath("new.pub");
    QCOMPARE(dbtool({"keygen", key, pub}), 0);
    QCOMPARE(QFile::permissions(key) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    const QByteArray privatePem = readTestFile(key);
    QCOMPARE(dbtool({"keygen", key, plain.filePath("x.pub")}), 1);
    QCOMPARE(readTestFile(key), privatePem);

    // Publish writes a repository with a signed list, which the update
    // installs; a faulty database leaves the repository as it was.
    writeTestFile(plain.filePath("cookdb.txt"), "[[[COOK-1\r\n" + cookBody);
    writeTestFile(plain.filePath("trojsig.txt"), "[[[TROJ-1\r\n");
    writeTestFile(plain.filePath("regdb.txt"), "[[[REG-1\r\n");
    const QStringList publish = {"publish", plain.path(), m_repo->path(), "--sign-key", key};
    QCOMPARE(dbtool(publish + QStringList({"--version-regdb", "REG 7", "--sequence", "200"})), 0);
    UpdateSettings settings;
    settings.publicKey = readTestFile(pub);
    UpdateCommand command(m_app->paths(), m_files, settings);
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QVERIFY(finish(command));
    QCOMPARE(tables().RegDbVersion, "REG 7");
    writeTestFile(plain.filePath("cookdb.txt"), "[[[COOK-9\r\nno group header\n--ME-\n<<<>>\n");
    QCOMPARE(dbtool(publish), 1);
    QCOMPARE(m_repo->readFile("newupd/cookdb.ver"), "COOK-1\r\n");
    // A publication with a lower number than the one installed is refused.
    writeTestFile(plain.filePath("cookdb.txt"), "[[[COOK-3\r\n" + cookBody);
    QCOMPARE(dbtool(publish + QStringList({"--sequence", "150"})), 0);
    QCOMPARE(check(command), UpdateCommand::Outcome::Refused);
    QCOMPARE(tables().CookDbVersion, "COOK-1");

    // verify tells the signed list from a changed one.
    const QString list = m_repo->filePath("newupd/manifest");
    QCOMPARE(dbtool({"verify", list, list + ".sig", pub}), 0);
    writeTestFile(list, readTestFile(list).replace("150", "250"));
    QCOMPARE(dbtool({"verify", list, list + ".sig", pub}), 1);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
