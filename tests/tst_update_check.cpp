// The update command against the loopback HTTP server: version comparison,
// signed downloads, the reload after them, the build stamp, the server's
// message and time-outs; then the Updates panel and the maintainers' tool.
#include "app/Form1.h"
#include "databases/DatabaseEncoder.h"
#include "platform/Ed25519Signature.h"
#include "platform/ProgressIndicator.h"
#include "tests/support/TestAppFolder.h"
#include "update/DatabaseReload.h"
#include "update/LoopbackHttpServer.h"
#include "update/ProgressText.h"
#include "update/UpdateCommand.h"
#include "update/UpdateSignature.h"
#include "update/widgets/frmNewversion.h"

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

// A plain database: its version line, then its entries.
const auto db = [](QByteArray v, QByteArray e = {}) { return "[[[" + v + "\r\n" + e; };
const QByteArray cookBody = "***Spy.Sample\n%windir%\\bad.ini\n--ME-\n<<<>>\n";
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void checkDownloadAndReload();
    void reloadKeepsWhatFails();
    void timeoutOnLaterFetch();
    void downloadOutcome_data();
    void downloadOutcome();
    void httpsServer();
    void updatesPanel();
    void maintainersTool();

private:
    void publish(const QString &name, const QByteArray &bytes)
    {
        writeTestFile(m_repo->filePath("newupd/" + name), bytes);
    }
    // <name>.dat and its signature <name>.dat.sig.
    void publishDatabase(const QString &name, const QByteArray &plain)
    {
        const QByteArray data = encodeDatabase(plain);
        publish(name + ".dat", data);
        publish(name + ".dat.sig", Ed25519Signature::sign(m_privateKey, data).toBase64() + "\r\n");
    }
    void publishVersions(const QByteArray &cook, const QByteArray &troj, const QByteArray &reg,
                         const QByteArray &stamp = "18052007\r\n")
    {
        publish("cookdb.ver", cook);
        publish("trojsig.ver", troj);
        publish("regdb.ver", reg);
        publish("torvakine.ver", stamp);
    }
    // An update command of the application folder that trusts publicKey.
    std::unique_ptr<UpdateCommand> newCommand(const QByteArray &publicKey = {}) const
    {
        auto command = std::make_unique<UpdateCommand>(m_app->paths());
        command->setPublicKey(publicKey.isEmpty() ? m_publicKey : publicKey);
        return command;
    }
    // The command against the versions of the loaded databases.
    UpdateCommand::Outcome check(UpdateCommand &c) const { return c.Command7(m_engine->tables()); }
    // Waits for the downloads, then runs one Timer3 tick, which reloads the
    // databases as the window does; returns whether it reloaded.
    bool finish(UpdateCommand &c)
    {
        return QTest::qWaitFor([&] { return c.Downloader1().QueuedFiles().isEmpty(); }, 10000) &&
               c.Timer3_Timer([&] {
                   ReloadResult reloaded = reloadDatabases(m_app->paths(), m_engine->tables(),
                                                           c.flags().UpdateInstalled, m_bar);
                   m_engine = std::move(reloaded.engine);
                   if (reloaded.LastUpdateText)
                       m_lastUpdateText = *reloaded.LastUpdateText;
               });
    }
    const DatabaseTables &tables() const { return m_engine->tables(); }

    // Each test's own; emplace() ends the previous one first.
    std::optional<TestAppFolder> m_app;
    std::optional<QTemporaryDir> m_repo;
    std::optional<LoopbackHttpServer> m_server;
    SilentProgress m_bar;
    QByteArray m_privateKey, m_publicKey;
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
    // The texts of the time-out box, the notice and the last-update line.
    QByteArray language;
    for (int n = 1; n <= 34; ++n)
        language += n == 20   ? "The update server does not answer.\r\n"
                    : n == 23 ? "A new version is out.\r\n"
                    : n == 33 ? "Last update\r\n"
                              : QByteArray::number(n) + "\r\n";
    m_app->writeFile("lang.dat", language);
    m_app->writeDatabase("cookdb.dat", db("COOK-1", cookBody));
    m_app->writeDatabase("trojsig.dat", db("TROJ-1"));
    m_app->writeDatabase("regdb.dat", db("REG-1"));
    m_engine = m_app->loadEngine();
    m_lastUpdateText.clear();
    QVERIFY(Ed25519Signature::generateKeyPair(&m_privateKey, &m_publicKey));
    publishDatabase("cookdb", db("COOK-2", cookBody));
    publishDatabase("trojsig", db("TROJ-2"));
    publishDatabase("regdb", db("REG-2"));
    publish("msg.txt", "Welcome\r\n");
}

void TestUpdateCheck::checkDownloadAndReload()
{
    // A row's progress: the bytes still to come, in KB below 1 MB, and the
    // share already read.
    QCOMPARE(downloadProgressText(0, 1048575), "1024.0 KB (0.0%)");
    QCOMPARE(downloadProgressText(0, 1048576), "1.00 MB (0.0%)");
    QCOMPARE(downloadProgressText(100, 612), "0.5 KB (16.3%)");
    // Only the first line of a version file counts, up to its CR or the end of the file.
    publishVersions("COOK-1\r\nCOOK-9\r\nnotes\r\n", "TROJ-1", "REG-1\r\n", "18052007\r\nx\r\n");
    publish("msg.txt", "First line\r\n\r\nCaf\xe9 \x80 5\r\n");
    m_app->writeFile("upd.dat", "an earlier date\r\n");
    const auto owned = newCommand();
    UpdateCommand &command = *owned;
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    QCOMPARE(command.message(), QStringLiteral("First line\r\n\r\nCaf\u00e9 \u20ac 5\r\n"));
    QVERIFY(command.downloadList().rowCount() == 0 && !command.newVersionAvailable());
    // Nothing to download: the tick reloads but keeps the last update's date.
    QVERIFY(finish(command));
    QCOMPARE(m_app->readFile("upd.dat"), "an earlier date\r\n");
    QCOMPARE(m_lastUpdateText, "an earlier date");

    // Compared exactly: a trailing blank differs, an LF stays in the text.
    publishVersions("COOK-2\r\n", "TROJ-1 \r\n", "REG-1\r\n", "18052007\n");
    QFile::remove(m_repo->filePath("newupd/msg.txt"));
    check(command);
    QVERIFY(command.message().isEmpty() && command.newVersionAvailable());
    QCOMPARE(command.downloadList().rowCount(), 2);
    const auto now = [] {
        return QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
    };
    const QString before = now();
    QVERIFY(finish(command));
    QCOMPARE(command.downloadList().rows().first().status, "Completed");
    QVERIFY(tables().CookDbVersion == "COOK-2" && tables().TrojSigVersion == "TROJ-2");
    // The reload expands the folder tokens of the new database.
    QVERIFY(tables().CookDbEntries.contains("\\windows\\bad.ini"));
    const QString written = QString::fromLocal8Bit(m_app->readFile("upd.dat"));
    QVERIFY2(written == before + "\r\n" || written == now() + "\r\n", qPrintable(written));
    QCOMPARE(m_lastUpdateText + "\r\n", written);
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
    ReloadResult reloaded = reloadDatabases(m_app->paths(), tables(), false, m_bar, hooks);
    QCOMPARE(steps, QStringList({"started", "loaded COOK-1 TROJ-1"}));
    const DatabaseTables &t = reloaded.engine->tables();
    QVERIFY(!t.TrojSigLoaded && t.TrojSigCount == 0 && t.TrojSigVersion == "TROJ-1");
    QVERIFY(t.CookDbLoaded && t.CookDbEntries.contains("\\windows\\bad.ini"));
    QVERIFY(!reloaded.LastUpdateText && !QFile::exists(m_app->filePath("upd.dat")));
    // The engine reloaded from stays as it was.
    QVERIFY(tables().TrojSigLoaded);
    reloaded = reloadDatabases(m_app->paths(), t, true, m_bar);
    QVERIFY(reloaded.LastUpdateText && !reloaded.LastUpdateText->isEmpty());
    QCOMPARE(*reloaded.LastUpdateText + "\r\n", QString::fromLocal8Bit(m_app->readFile("upd.dat")));
    QCOMPARE(reloaded.engine->tables().TrojSigVersion, "TROJ-1");
}

void TestUpdateCheck::timeoutOnLaterFetch()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-1\r\n");
    m_server->setFault("/newupd/trojsig.ver", LoopbackHttpServer::Fault::Stall);
    const auto owned = newCommand();
    UpdateCommand &command = *owned;
    command.Inet1().setTimeout(600);
    QSignalSpy timeout(&command, &UpdateCommand::serverTimedOut);
    // While the fetch waits, timers still fire: a Timer3 tick must not reload
    // and a second command must not start in the middle of the first.
    int reloads = 0;
    QTimer timer;
    QSignalSpy ticks(&timer, &QTimer::timeout);
    connect(&timer, &QTimer::timeout, this, [&] {
        command.Timer3_Timer([&] { ++reloads; });
        check(command);
    });
    timer.start(50);
    QCOMPARE(check(command), UpdateCommand::Outcome::Checked);
    timer.stop();
    QVERIFY(!ticks.isEmpty() && reloads == 0);
    QCOMPARE(m_server->requestCount("/newupd/cookdb.ver"), 1);
    QCOMPARE(timeout.size(), 1);
    QVERIFY(!command.flags().ServerReachable);
    // From the time-out on every version counts as changed, and later fetches are still made.
    QCOMPARE(command.downloadList().rowCount(), 2);
    QCOMPARE(command.message(), "Welcome\r\n");
}

void TestUpdateCheck::downloadOutcome_data()
{
    QTest::addColumn<QString>("fault");
    for (const char *fault : {"signature missing", "signed with another key", "truncated signature",
                              "database changed after signing", "404", "connection reset"})
        QTest::newRow(fault) << QString::fromLatin1(fault);
}

void TestUpdateCheck::downloadOutcome()
{
    QFETCH(QString, fault);
    publishVersions("COOK-1\r\n", "TROJ-2\r\n", "REG-1\r\n");
    const QString sig = m_repo->filePath("newupd/trojsig.dat.sig");
    QByteArray data = readTestFile(m_repo->filePath("newupd/trojsig.dat")), otherKey, otherPublic;
    QVERIFY(Ed25519Signature::generateKeyPair(&otherKey, &otherPublic));
    if (fault == "signature missing")
        QVERIFY(QFile::remove(sig));
    else if (fault == "signed with another key")
        writeTestFile(sig, Ed25519Signature::sign(otherKey, data).toBase64());
    else if (fault == "truncated signature")
        writeTestFile(sig, readTestFile(sig).left(84));
    else if (fault == "database changed after signing")
        publish("trojsig.dat",
                data.replace(data.size() / 2, 1, data.at(data.size() / 2) == 'A' ? "B" : "A"));
    else
        m_server->setFault("/newupd/trojsig.dat", fault == "404"
                                                      ? LoopbackHttpServer::Fault::NotFound
                                                      : LoopbackHttpServer::Fault::ResetConnection);
    const QByteArray installed = m_app->readFile("trojsig.dat");
    m_app->writeFile("upd.dat", "before\r\n");
    const auto owned = newCommand();
    UpdateCommand &command = *owned;
    check(command);
    finish(command);
    QCOMPARE(command.downloadList().rows().value(0).status, "Error");
    QCOMPARE(tables().TrojSigVersion, "TROJ-1");
    QCOMPARE(m_app->readFile("trojsig.dat"), installed);
    QCOMPARE(m_app->readFile("upd.dat"), "before\r\n");
    // The next command starts afresh: with the server mended it installs.
    m_server->clearFaults();
    publishDatabase("trojsig", db("TROJ-2"));
    check(command);
    QVERIFY(finish(command));
    QCOMPARE(tables().TrojSigVersion, "TROJ-2");
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
    publishVersions("COOK-1\r\n", "TROJ-2\r\n", "REG-1\r\n");
    const QByteArray installed = m_app->readFile("trojsig.dat");
    // A certificate the system does not trust fails every fetch and installs
    // nothing; once trusted, the same server updates.
    const auto untrusted = newCommand();
    check(*untrusted);
    finish(*untrusted);
    QCOMPARE(untrusted->answeredFetches(), 0);
    QCOMPARE(m_app->readFile("trojsig.dat"), installed);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    const auto guard = qScopeGuard([c = config] { QSslConfiguration::setDefaultConfiguration(c); });
    config.addCaCertificate(certificate);
    QSslConfiguration::setDefaultConfiguration(config);
    const auto trusted = newCommand();
    check(*trusted);
    QVERIFY(finish(*trusted));
    QCOMPARE(tables().TrojSigVersion, "TROJ-2");
}

void TestUpdateCheck::updatesPanel()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-2\r\n", "20112008\r\n");
    publish("msg.txt", "Line one\r\nLine two\r\n");
    m_server->setFault("/newupd/cookdb.ver", LoopbackHttpServer::Fault::Stall);
    m_app->writeFile("SDR", "left from before\r\n");
    Form1 w(m_app->paths(), m_app->loadTables());
    w.Form_Load();
    w.show();
    w.updateCommand().setPublicKey(m_publicKey);
    w.updateCommand().Inet1().setTimeout(400);
    w.Image4_Click();
    QVERIFY(w.Frame2->isVisible());
    // A time-out on the first fetch is reported, checks nothing more and closes the panel.
    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes.append(box->windowTitle() + '|' + box->text());
            box->accept();
        }
    });
    closer.start(50);
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QCOMPARE(boxes, QStringList({"Update|The update server does not answer."}));
    QCOMPARE(m_server->requestCount("/newupd/trojsig.ver"), 0);
    QVERIFY(w.Frame2->isHidden() && w.Text1->isHidden() && !w.Timer3->isActive());
    QVERIFY(!QFile::exists(w.updateCommand().sdrPath()));

    m_server->clearFaults();
    w.Image4_Click();
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(w.Timer3->isActive() && !w.Text1->isHidden() && w.newVersionWindow().isVisible());
    QCOMPARE(w.newVersionWindow().Label1->text(), "A new version is out.");
    QCOMPARE(w.Text2->toPlainText(), "Line one\nLine two\n");
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 10000);
    QCOMPARE(w.LstDownload->model()->index(0, 1).data().toString(), "Completed");
    // The window works with the reloaded databases from now on.
    QCOMPARE(w.engine().tables().RegDbVersion, "REG-2");
    QVERIFY(!w.LastUpdateText.isEmpty());
    QCOMPARE(w.lblMessages->text(), "Last update: " + w.LastUpdateText);
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

    // Publish writes a signed repository from plain databases, which the
    // update check installs; a faulty database leaves the repository as it was.
    writeTestFile(plain.filePath("cookdb.txt"), db("COOK-1", cookBody));
    writeTestFile(plain.filePath("trojsig.txt"), db("TROJ-1"));
    writeTestFile(plain.filePath("regdb.txt"), db("REG-1"));
    const QStringList publish = {"publish", plain.path(), m_repo->path(), "--sign-key", key};
    QCOMPARE(dbtool(publish + QStringList({"--version-regdb", "REG 7"})), 0);
    const auto command = newCommand(readTestFile(pub));
    check(*command);
    QVERIFY(finish(*command));
    QCOMPARE(tables().RegDbVersion, "REG 7");
    writeTestFile(plain.filePath("cookdb.txt"), db("COOK-9", "no group header\n--ME-\n<<<>>\n"));
    QCOMPARE(dbtool(publish), 1);
    QCOMPARE(readTestFile(m_repo->filePath("newupd/cookdb.ver")), "COOK-1\r\n");

    // verify tells a signed file from a changed one.
    const QString signedDb = m_repo->filePath("newupd/regdb.dat");
    QCOMPARE(dbtool({"verify", signedDb, signedDb + ".sig", pub}), 0);
    writeTestFile(signedDb, readTestFile(signedDb) + ' ');
    QCOMPARE(dbtool({"verify", signedDb, signedDb + ".sig", pub}), 1);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
