// The update command against the loopback HTTP server: version comparison,
// signed downloads, the reload after them, the build stamp, the server's
// message and time-outs; then the same through the Updates panel.
#include "app/ActivePanel.h"
#include "app/Form1.h"
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "language/Lingua.h"
#include "platform/Ed25519Signature.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "tests/support/TestAppFolder.h"
#include "update/DatabaseReload.h"
#include "update/LoopbackHttpServer.h"
#include "update/ProgressText.h"
#include "update/UpdateCommand.h"
#include "update/UpdateFlags.h"
#include "update/UpdateSignature.h"
#include "update/widgets/frmNewversion.h"

#include <QtTest>
#include <QtWidgets>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace
{
// A self-signed certificate for 127.0.0.1 with its private key (PEM), made
// afresh for each run.
bool makeSelfSignedCertificate(QByteArray *certificatePem, QByteArray *keyPem)
{
    EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509 *cert = X509_new();
    X509_EXTENSION *san = nullptr;
    bool ok = key && cert;
    if (ok) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
        X509_set_pubkey(cert, key);
        X509_NAME *name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char *>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX ctx;
        X509V3_set_ctx_nodb(&ctx);
        X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
        san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1");
        ok = san && X509_add_ext(cert, san, -1) == 1 && X509_sign(cert, key, EVP_sha256()) > 0;
    }
    const auto pem = [](const auto &write) {
        BIO *bio = BIO_new(BIO_s_mem());
        char *data = nullptr;
        const QByteArray text =
            write(bio) == 1 ? QByteArray(data, BIO_get_mem_data(bio, &data)) : QByteArray();
        BIO_free(bio);
        return text;
    };
    if (ok) {
        *certificatePem = pem([&](BIO *b) { return PEM_write_bio_X509(b, cert); });
        *keyPem = pem([&](BIO *b) {
            return PEM_write_bio_PrivateKey(b, key, nullptr, nullptr, 0, nullptr, nullptr);
        });
    }
    X509_EXTENSION_free(san);
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok && !certificatePem->isEmpty() && !keyPem->isEmpty();
}

QByteArray cookPlain(const QByteArray &v)
{
    return "[[[" + v +
           "\r\n***Spy.Sample\r\nc:\\bad\\spy.exe\r\n%system%\\evil.dll\r\n%windir%\\bad.ini\r\n--"
           "ME-\r\nspyproc.exe\r\n<<<>>\r\n";
}
QByteArray trojPlain(const QByteArray &v)
{
    return "[[[" + v + "\r\n0123456789abcdef0123456789abcdef Trojan.Sample\r\n";
}
QByteArray regPlain(const QByteArray &v)
{
    return "[[[" + v + "\r\n***Reg.Sample\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\r\n";
}
QString dateNow()
{
    return QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void progressText();
    void checkDownloadAndReload();
    void firstLineRules();
    void timeoutOnLaterFetch();
    void downloadOutcome_data();
    void downloadOutcome();
    void httpsServer_data();
    void httpsServer();
    void updatesPanel();
    void maintainersToolPublishes();

private:
    void publish(const QString &name, const QByteArray &bytes)
    {
        writeTestFile(m_repo->filePath("newupd/" + name), bytes);
    }
    QByteArray signatureFile(const QByteArray &data) const
    {
        return Ed25519Signature::sign(m_privateKey, data).toBase64() + "\r\n";
    }
    // <name>.dat and its signature <name>.dat.sig.
    void publishDatabase(const QString &name, const QByteArray &plain)
    {
        const QByteArray data = encodeDatabase(plain);
        publish(name + ".dat", data);
        publish(name + ".dat.sig", signatureFile(data));
    }
    void publishVersions(const QByteArray &cook, const QByteArray &troj, const QByteArray &reg,
                         const QByteArray &stamp = "18052007\r\n")
    {
        publish("cookdb.ver", cook);
        publish("trojsig.ver", troj);
        publish("regdb.ver", reg);
        publish("torvakine.ver", stamp);
    }
    // Waits for the downloads, then runs one Timer3 tick with a counted reload; returns whether it
    // reloaded.
    bool finish(UpdateCommand &c, int *reloads)
    {
        if (!QTest::qWaitFor([&] { return c.Downloader1().QueuedFiles().isEmpty(); }, 10000))
            return false;
        return c.Timer3_Timer([&] {
            ++*reloads;
            reloadDatabases(m_bar);
        });
    }

    std::unique_ptr<TestAppFolder> m_app;
    std::unique_ptr<QTemporaryDir> m_repo;
    std::unique_ptr<LoopbackHttpServer> m_server;
    SilentProgress m_bar;
    QByteArray m_privateKey, m_publicKey;
};

void TestUpdateCheck::init()
{
    m_app = std::make_unique<TestAppFolder>();
    resetUpdateFlags();
    panelState().ActivePanel = 0;
    m_repo = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LoopbackHttpServer>(m_repo->path());
    QVERIFY(m_server->listen());
    m_app->writeFile("server.dat", m_server->baseUrl().toUtf8() + "\r\n");
    languageState().Lingua[20] = QStringLiteral("The update server does not answer.");
    languageState().Lingua[23] = QStringLiteral("A new version is available.");
    languageState().Lingua[33] = QStringLiteral("Last update");
    m_app->writeDatabase("cookdb.dat", cookPlain("COOK-1"));
    m_app->writeDatabase("trojsig.dat", trojPlain("TROJ-1"));
    m_app->writeDatabase("regdb.dat", regPlain("REG-1"));
    LoadDatabases(m_bar);
    PreparoVersioni();
    QVERIFY(Ed25519Signature::generateKeyPair(&m_privateKey, &m_publicKey));
    setUpdatePublicKeyOverride(m_publicKey);
    publishDatabase("cookdb", cookPlain("COOK-2"));
    publishDatabase("trojsig", trojPlain("TROJ-2"));
    publishDatabase("regdb", regPlain("REG-2"));
    publish("msg.txt", "Welcome\r\n");
}

void TestUpdateCheck::cleanup()
{
    setUpdatePublicKeyOverride(QByteArray());
    m_server.reset();
    m_repo.reset();
    m_app.reset();
}

void TestUpdateCheck::progressText()
{
    // The bytes still to come, in KB below 1 MB, and the share already read.
    QCOMPARE(downloadProgressText(0, 1048575), "1024.0 KB (0.0%)");
    QCOMPARE(downloadProgressText(0, 1048576), "1.00 MB (0.0%)");
    QCOMPARE(downloadProgressText(100, 612), "0.5 KB (16.3%)");
}

void TestUpdateCheck::checkDownloadAndReload()
{
    startupState().SystemFolder = QStringLiteral("\\windows\\system32\\");
    startupState().WindowsFolder = QStringLiteral("\\windows\\");
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-1\r\n");
    publish("msg.txt", "First line\r\n\r\nCaf\xe9 \x80 5\r\n");
    m_app->writeFile("upd.dat", "an earlier date\r\n");
    UpdateCommand command;
    QCOMPARE(command.Command7(), UpdateCommand::Outcome::Checked);
    QCOMPARE(command.message(), QStringLiteral("First line\r\n\r\nCaf\u00e9 \u20ac 5\r\n"));
    QVERIFY(command.downloadList().rowCount() == 0 &&
            command.Downloader1().QueuedFiles().isEmpty());
    QVERIFY(!updateFlags().UpdateInstalled && QFile::exists(command.sdrPath()));
    // Nothing to download: the tick reloads but keeps the last update's date.
    int reloads = 0;
    QVERIFY(finish(command, &reloads));
    QCOMPARE(m_app->readFile("upd.dat"), "an earlier date\r\n");
    QCOMPARE(startupState().LastUpdateText, "an earlier date");
    QVERIFY(!QFile::exists(command.sdrPath()));

    // One database out of date; a missing message clears the earlier one.
    publishVersions("COOK-2\r\n", "TROJ-1\r\n", "REG-1\r\n");
    QFile::remove(m_repo->filePath("newupd/msg.txt"));
    const QByteArray oldTroj = m_app->readFile("trojsig.dat");
    command.Command7();
    QVERIFY(command.message().isEmpty() && updateFlags().UpdateInstalled);
    QCOMPARE(command.downloadList().rowCount(), 1);
    QCOMPARE(command.downloadList().rows().first().key, startupState().AppFolder + "cookdb.dat");
    QCOMPARE(command.downloadList().rows().first().text, "Main spyware database");
    const QString before = dateNow();
    QVERIFY(finish(command, &reloads));
    QCOMPARE(command.downloadList().rows().first().status, "Completed");
    QCOMPARE(m_app->readFile("cookdb.dat"), readTestFile(m_repo->filePath("newupd/cookdb.dat")));
    QCOMPARE(m_app->readFile("trojsig.dat"), oldTroj);
    QVERIFY(databaseTables().CookDbVersion == "COOK-2" &&
            databaseTables().TrojSigVersion == "TROJ-1");
    // The reload expands the folder tokens of the new database.
    const QStringList &entries = databaseTables().CookDbEntries;
    QVERIFY(entries.contains("\\windows\\system32\\evil.dll") &&
            entries.contains("\\windows\\bad.ini"));
    const QString written = QString::fromLocal8Bit(m_app->readFile("upd.dat"));
    QVERIFY2(written == before + "\r\n" || written == dateNow() + "\r\n", qPrintable(written));
    QCOMPARE(startupState().LastUpdateText + "\r\n", written);
}

void TestUpdateCheck::firstLineRules()
{
    // Only the first line of a version file counts, compared exactly; a line
    // ends at CR, so an LF stays in the text and never matches.
    const struct {
        const char *cook, *stamp;
        bool queued, notice;
    } cases[] = {
        {"COOK-1", "18052007\r\n", false, false},
        {"COOK-1 \r\n", "18052007\r\n", true, false},
        {"COOK-1\r\nCOOK-9\r\nnotes\r\n", "18052007\r\nx\r\n", false, false},
        {"COOK-1\nCOOK-9\n", "18052007\r\n", true, false},
        {"cook-1\r\n", "18052007\r\n", true, false},
        {"", "18052007\n", true, true},
    };
    for (const auto &c : cases) {
        publishVersions(c.cook, "TROJ-1\r\n", "REG-1\r\n", c.stamp);
        UpdateCommand command;
        command.Command7();
        QVERIFY2(command.downloadList().rowCount() == (c.queued ? 1 : 0), c.cook);
        QVERIFY2(command.newVersionAvailable() == c.notice, c.stamp);
        QTRY_VERIFY(command.Downloader1().QueuedFiles().isEmpty());
    }
}

void TestUpdateCheck::timeoutOnLaterFetch()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-1\r\n");
    m_server->setFault("/newupd/trojsig.ver", LoopbackHttpServer::Fault::Stall);
    UpdateCommand command;
    command.Inet1().setTimeout(600);
    QSignalSpy timeout(&command, &UpdateCommand::timeoutMessage);
    // While the fetch waits, timers still fire: a Timer3 tick must not reload
    // and a second command must not start in the middle of the first.
    int reloads = 0, ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        ++ticks;
        command.Timer3_Timer([&] { ++reloads; });
        command.Command7();
    });
    timer.start(50);
    QCOMPARE(command.Command7(), UpdateCommand::Outcome::Checked);
    timer.stop();
    QVERIFY(ticks > 0 && reloads == 0);
    QCOMPARE(m_server->requestCount("/newupd/cookdb.ver"), 1);
    QCOMPARE(timeout.size(), 1);
    // From the time-out on every version counts as changed, and later fetches are still made.
    QCOMPARE(command.downloadList().rowCount(), 2);
    QVERIFY(command.newVersionAvailable());
    QCOMPARE(command.message(), "Welcome\r\n");
    QVERIFY(finish(command, &reloads));
    QCOMPARE(databaseTables().RegDbVersion, "REG-2");
}

void TestUpdateCheck::downloadOutcome_data()
{
    QTest::addColumn<QString>("fault");
    for (const char *fault :
         {"valid", "signature missing", "signed with another key", "truncated signature",
          "database changed after signing", "404", "connection reset"})
        QTest::newRow(fault) << QString::fromLatin1(fault);
}

void TestUpdateCheck::downloadOutcome()
{
    QFETCH(QString, fault);
    publishVersions("COOK-1\r\n", "TROJ-2\r\n", "REG-1\r\n");
    QByteArray data = readTestFile(m_repo->filePath("newupd/trojsig.dat")), otherPrivate,
               otherPublic;
    QVERIFY(Ed25519Signature::generateKeyPair(&otherPrivate, &otherPublic));
    if (fault == "signature missing")
        QVERIFY(QFile::remove(m_repo->filePath("newupd/trojsig.dat.sig")));
    else if (fault == "signed with another key")
        publish("trojsig.dat.sig", Ed25519Signature::sign(otherPrivate, data).toBase64());
    else if (fault == "truncated signature")
        publish("trojsig.dat.sig", signatureFile(data).left(84));
    else if (fault == "database changed after signing")
        publish("trojsig.dat",
                data.replace(data.size() / 2, 1, data.at(data.size() / 2) == 'A' ? "B" : "A"));
    else if (fault != "valid")
        m_server->setFault("/newupd/trojsig.dat", fault == "404"
                                                      ? LoopbackHttpServer::Fault::NotFound
                                                      : LoopbackHttpServer::Fault::ResetConnection);
    const bool installs = fault == "valid";
    const QByteArray installed = m_app->readFile("trojsig.dat");
    m_app->writeFile("upd.dat", "before\r\n");
    UpdateCommand command;
    command.Command7();
    QCOMPARE(command.downloadList().rowCount(), 1);
    int reloads = 0;
    QCOMPARE(finish(command, &reloads), installs);
    QCOMPARE(command.downloadList().rows().first().status, installs ? "Completed" : "Error");
    QCOMPARE(databaseTables().TrojSigVersion, installs ? "TROJ-2" : "TROJ-1");
    QCOMPARE(m_app->readFile("upd.dat") == "before\r\n", !installs);
    if (installs)
        return;
    QCOMPARE(m_app->readFile("trojsig.dat"), installed);
    // The next command starts afresh: with the server mended it installs.
    m_server->clearFaults();
    publishDatabase("trojsig", trojPlain("TROJ-2"));
    command.Command7();
    QVERIFY(finish(command, &reloads));
    QCOMPARE(databaseTables().TrojSigVersion, "TROJ-2");
}

void TestUpdateCheck::httpsServer_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("certificate trusted") << true;
    QTest::newRow("certificate not trusted") << false;
}

void TestUpdateCheck::httpsServer()
{
    QFETCH(bool, trusted);
    if (!QSslSocket::supportsSsl())
        QSKIP("this Qt has no TLS backend");
    QByteArray certificatePem, keyPem;
    QVERIFY(makeSelfSignedCertificate(&certificatePem, &keyPem));
    const QSslCertificate certificate(certificatePem, QSsl::Pem);
    LoopbackHttpServer tlsServer(m_repo->path());
    tlsServer.useTls(certificate, QSslKey(keyPem, QSsl::Ec, QSsl::Pem));
    QVERIFY(tlsServer.listen() && tlsServer.baseUrl().startsWith("https://"));
    m_app->writeFile("server.dat", tlsServer.baseUrl().toUtf8() + "\r\n");
    publishVersions("COOK-1\r\n", "TROJ-2\r\n", "REG-1\r\n");
    const QSslConfiguration systemDefault = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        QSslConfiguration config = systemDefault;
        config.addCaCertificate(certificate);
        QSslConfiguration::setDefaultConfiguration(config);
    }
    const QByteArray installed = m_app->readFile("trojsig.dat");
    UpdateCommand command;
    command.Command7();
    int reloads = 0;
    finish(command, &reloads);
    QSslConfiguration::setDefaultConfiguration(systemDefault);
    // A certificate the system does not trust fails every fetch: nothing is
    // read from that server and nothing installed.
    QCOMPARE(command.answeredFetches() > 0, trusted);
    QCOMPARE(databaseTables().TrojSigVersion, trusted ? "TROJ-2" : "TROJ-1");
    if (!trusted)
        QCOMPARE(m_app->readFile("trojsig.dat"), installed);
}

void TestUpdateCheck::updatesPanel()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-2\r\n", "20112008\r\n");
    publish("msg.txt", "Line one\r\nLine two\r\n");
    m_server->setFault("/newupd/cookdb.ver", LoopbackHttpServer::Fault::Stall);
    m_app->writeFile("SDR", "left from before\r\n");
    Form1 w;
    w.show();
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
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(boxes, QStringList({"Update|" + Lingua(20)}));
    QVERIFY(!updateFlags().ServerReachable && w.newVersionWindow().isHidden());
    QCOMPARE(w.LstDownload->model()->rowCount(), 0);
    QCOMPARE(m_server->requestCount("/newupd/trojsig.ver"), 0);
    QCOMPARE(panelState().ActivePanel, quint8(0));
    QVERIFY(w.Frame2->isHidden() && w.Text1->isHidden() && !w.Timer3->isActive());
    QVERIFY(!QFile::exists(w.updateCommand().sdrPath()));

    m_server->clearFaults();
    w.Image4_Click();
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(w.Timer3->isActive() && !w.Text1->isHidden());
    QCOMPARE(w.LstDownload->model()->index(0, 0).data().toString(), "Registry entries");
    QCOMPARE(w.Text2->toPlainText(), "Line one\nLine two\n");
    QVERIFY(w.newVersionWindow().isVisible());
    QCOMPARE(w.newVersionWindow().Label1->text(), Lingua(23));
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 10000);
    QCOMPARE(w.LstDownload->model()->index(0, 1).data().toString(), "Completed");
    QVERIFY(w.Text1->isHidden() && !w.Label8->isHidden() && w.Label9->isHidden());
    QVERIFY(!startupState().LastUpdateText.isEmpty());
    QCOMPARE(w.lblMessages->text(), Lingua(33) + ": " + startupState().LastUpdateText);
}

void TestUpdateCheck::maintainersToolPublishes()
{
    // The tool writes a signed repository from plain databases, which the
    // update check installs; a faulty database leaves the repository as it was.
    QTemporaryDir plain;
    writeTestFile(plain.filePath("signing.key"), m_privateKey);
    writeTestFile(plain.filePath("cookdb.txt"), cookPlain("COOK-1"));
    writeTestFile(plain.filePath("trojsig.txt"), trojPlain("TROJ-1"));
    writeTestFile(plain.filePath("regdb.txt"), regPlain("REG-1"));
    const auto publishRepository = [&](const QStringList &options) {
        QProcess tool;
        tool.start(QStringLiteral(TORVAKINE_DBTOOL),
                   QStringList({"publish", plain.path(), m_repo->path()}) + options);
        return tool.waitForFinished(30000) ? tool.exitCode() : -1;
    };
    QCOMPARE(publishRepository(
                 {"--version-regdb", "REG 7", "--sign-key", plain.filePath("signing.key")}),
             0);
    UpdateCommand command;
    command.Command7();
    int reloads = 0;
    QVERIFY(finish(command, &reloads));
    QCOMPARE(databaseTables().RegDbVersion, "REG 7");
    writeTestFile(plain.filePath("cookdb.txt"),
                  "[[[COOK-9\r\nno group header\r\n--ME-\r\n<<<>>\r\n");
    QCOMPARE(publishRepository({}), 1);
    QCOMPARE(readTestFile(m_repo->filePath("newupd/cookdb.ver")), "COOK-1\r\n");

    // A new key is private to its owner and never replaces an existing one;
    // verify tells a signed file from a changed one.
    const auto tool = [](const QStringList &arguments) {
        QProcess p;
        p.start(QStringLiteral(TORVAKINE_DBTOOL), arguments);
        return p.waitForFinished(30000) ? p.exitCode() : -1;
    };
    const QString key = plain.filePath("new.key"), pub = plain.filePath("new.pub");
    QCOMPARE(tool({"keygen", key, pub}), 0);
    QCOMPARE(QFile::permissions(key) & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
             QFileDevice::Permissions());
    const QByteArray privatePem = readTestFile(key);
    QCOMPARE(tool({"keygen", key, plain.filePath("x.pub")}), 1);
    QCOMPARE(readTestFile(key), privatePem);
    const QByteArray data = "the exact bytes of a database";
    writeTestFile(plain.filePath("db.dat"), data);
    writeTestFile(plain.filePath("db.sig"), Ed25519Signature::sign(privatePem, data).toBase64());
    writeTestFile(plain.filePath("other.dat"), data + ' ');
    QCOMPARE(tool({"verify", plain.filePath("db.dat"), plain.filePath("db.sig"), pub}), 0);
    QCOMPARE(tool({"verify", plain.filePath("other.dat"), plain.filePath("db.sig"), pub}), 1);
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
