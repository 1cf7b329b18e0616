// The update command: version comparison, downloads, the reload after them,
// the build stamp, the server's message and time-outs, against the loopback
// HTTP server; then the same through the main window's Updates panel.
#include "app/ActivePanel.h"
#include "app/Form1.h"
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "language/Lingua.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "tests/support/TestAppFolder.h"
#include "update/DatabaseReload.h"
#include "update/LoopbackHttpServer.h"
#include "update/ProgressText.h"
#include "update/UpdateCommand.h"
#include "update/UpdateFlags.h"
#include "update/UpdateRun.h"
#include "update/UpdateSignature.h"
#include "platform/Ed25519Signature.h"
#include "update/widgets/frmNewversion.h"

#include <QApplication>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QDateTime>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QTimer>
#include <QTest>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace {
// A self-signed certificate for 127.0.0.1 with its private key (PEM), made
// afresh for each run.
bool makeSelfSignedCertificate(QByteArray *certificatePem, QByteArray *keyPem)
{
    EVP_PKEY *key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    X509 *cert = X509_new();
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
        X509_EXTENSION *san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, "IP:127.0.0.1");
        ok = san && X509_add_ext(cert, san, -1) == 1 && X509_sign(cert, key, EVP_sha256()) > 0;
        X509_EXTENSION_free(san);
    }
    if (ok) {
        BIO *c = BIO_new(BIO_s_mem());
        BIO *k = BIO_new(BIO_s_mem());
        ok = PEM_write_bio_X509(c, cert) == 1 &&
             PEM_write_bio_PrivateKey(k, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
        char *data = nullptr;
        long size = BIO_get_mem_data(c, &data);
        *certificatePem = QByteArray(data, size);
        size = BIO_get_mem_data(k, &data);
        *keyPem = QByteArray(data, size);
        BIO_free(c);
        BIO_free(k);
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    return ok;
}

QByteArray cookPlain(const QByteArray &version)
{
    return "[[[" + version + "\r\n***Spy.Sample\r\nc:\\bad\\spy.exe\r\n%system%\\evil.dll\r\n"
           "%windir%\\bad.ini\r\n--ME-\r\nspyproc.exe\r\n<<<>>\r\n";
}
QByteArray trojPlain(const QByteArray &version)
{
    return "[[[" + version + "\r\n0123456789abcdef0123456789abcdef Trojan.Sample\r\n";
}
QByteArray regPlain(const QByteArray &version)
{
    return "[[[" + version + "\r\n***Reg.Sample\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\r\n";
}

QString dateNow()
{
    return QLocale::system().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}

int runTool(QProcess &tool, const QStringList &arguments)
{
    tool.start(QStringLiteral(TORVAKINE_DBTOOL), arguments);
    return tool.waitForFinished(30000) ? tool.exitCode() : -1;
}

// Closes the message box that the update command opens, remembering its text.
class MessageBoxCloser : public QObject
{
public:
    MessageBoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts.append(box->windowTitle() + QLatin1Char('|') + box->text());
                box->accept();
            }
        });
        m_timer.start(50);
    }
    QStringList texts;

private:
    QTimer m_timer;
};
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void progressText_data();
    void progressText();
    void allVersionsEqual();
    void oneDatabaseOutOfDate();
    void firstLineRules_data();
    void firstLineRules();
    void timeoutOnFirstFetchClosesPanel();
    void timeoutOnLaterFetch();
    void failedDownload_data();
    void failedDownload();
    void signatureRules_data();
    void signatureRules();
    void publishedRepositoryInstalls();
    void toolKeysAndCompiledInKey();
    void httpsServer_data();
    void httpsServer();
    void windowUpdatesPanel();

private:
    void publish(const QString &name, const QByteArray &bytes);
    // newupd/<name>.dat and its signature newupd/<name>.dat.sig.
    void publishDatabase(const QString &name, const QByteArray &plain);
    QByteArray signatureFile(const QByteArray &data) const;
    void publishVersions(const QByteArray &cook, const QByteArray &troj, const QByteArray &reg,
                         const QByteArray &stamp = "18052007\r\n");
    void waitForDownloads(UpdateCommand &command);
    // Runs one Timer3 tick with a reload that is counted; returns whether it reloaded.
    bool tick(UpdateCommand &command, int *reloads);

    std::unique_ptr<TestAppFolder> m_app;
    std::unique_ptr<QTemporaryDir> m_repo;
    std::unique_ptr<LoopbackHttpServer> m_server;
    SilentProgress m_bar;
    QByteArray m_privateKey;
    QByteArray m_publicKey;
};

void TestUpdateCheck::init()
{
    m_app = std::make_unique<TestAppFolder>();
    resetUpdateFlags();
    panelState().ActivePanel = 0;
    m_repo = std::make_unique<QTemporaryDir>();
    m_server = std::make_unique<LoopbackHttpServer>(m_repo->path());
    QVERIFY(m_server->listen());
    m_app->writeFile(QStringLiteral("server.dat"), m_server->baseUrl().toUtf8() + "\r\n");

    LanguageState &lang = languageState();
    lang.Lingua[20] = QStringLiteral("The update server does not answer.");
    lang.Lingua[23] = QStringLiteral("A new version is available.");
    lang.Lingua[33] = QStringLiteral("Last update");

    m_app->writeDatabase(QStringLiteral("cookdb.dat"), cookPlain("COOK-1"));
    m_app->writeDatabase(QStringLiteral("trojsig.dat"), trojPlain("TROJ-1"));
    m_app->writeDatabase(QStringLiteral("regdb.dat"), regPlain("REG-1"));
    LoadDatabases(m_bar);
    PreparoVersioni();
    QCOMPARE(databaseTables().TrojSigVersion, QStringLiteral("TROJ-1"));

    QVERIFY(Ed25519Signature::generateKeyPair(&m_privateKey, &m_publicKey));
    setUpdatePublicKeyOverride(m_publicKey);
    publishDatabase(QStringLiteral("cookdb"), cookPlain("COOK-2"));
    publishDatabase(QStringLiteral("trojsig"), trojPlain("TROJ-2"));
    publishDatabase(QStringLiteral("regdb"), regPlain("REG-2"));
    publish(QStringLiteral("newupd/msg.txt"), "Welcome\r\n");
}

void TestUpdateCheck::cleanup()
{
    setUpdatePublicKeyOverride(QByteArray());
    m_server.reset();
    m_repo.reset();
    m_app.reset();
}

void TestUpdateCheck::publish(const QString &name, const QByteArray &bytes)
{
    writeTestFile(m_repo->filePath(name), bytes);
}

QByteArray TestUpdateCheck::signatureFile(const QByteArray &data) const
{
    return Ed25519Signature::sign(m_privateKey, data).toBase64() + "\r\n";
}

void TestUpdateCheck::publishDatabase(const QString &name, const QByteArray &plain)
{
    const QByteArray data = encodeDatabase(plain);
    publish(QStringLiteral("newupd/") + name + QStringLiteral(".dat"), data);
    publish(QStringLiteral("newupd/") + name + QStringLiteral(".dat.sig"), signatureFile(data));
}

void TestUpdateCheck::publishVersions(const QByteArray &cook, const QByteArray &troj,
                                      const QByteArray &reg, const QByteArray &stamp)
{
    publish(QStringLiteral("newupd/cookdb.ver"), cook);
    publish(QStringLiteral("newupd/trojsig.ver"), troj);
    publish(QStringLiteral("newupd/regdb.ver"), reg);
    publish(QStringLiteral("newupd/torvakine.ver"), stamp);
}

void TestUpdateCheck::waitForDownloads(UpdateCommand &command)
{
    QTRY_VERIFY_WITH_TIMEOUT(command.Downloader1().QueuedFiles().isEmpty(), 10000);
}

bool TestUpdateCheck::tick(UpdateCommand &command, int *reloads)
{
    return command.Timer3_Timer([&] {
        ++*reloads;
        reloadDatabases(m_bar);
    });
}

void TestUpdateCheck::progressText_data()
{
    QTest::addColumn<qint32>("cur");
    QTest::addColumn<qint32>("max");
    QTest::addColumn<QString>("text");
    QTest::newRow("1,048,575 to go") << 0 << 1048575 << QStringLiteral("1024.0 KB (0.0%)");
    QTest::newRow("1,048,576 to go") << 0 << 1048576 << QStringLiteral("1.00 MB (0.0%)");
    QTest::newRow("half of 6 MB") << 3145728 << 6291456 << QStringLiteral("3.00 MB (50.0%)");
    QTest::newRow("small") << 100 << 612 << QStringLiteral("0.5 KB (16.3%)");
}

void TestUpdateCheck::progressText()
{
    QFETCH(qint32, cur);
    QFETCH(qint32, max);
    QFETCH(QString, text);
    QCOMPARE(downloadProgressText(cur, max), text);
}

void TestUpdateCheck::allVersionsEqual()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-1\r\n");
    publish(QStringLiteral("newupd/msg.txt"), "First line\r\nSecond line\r\n\r\nCaf\xe9 \x80 5\r\n");
    m_app->writeFile(QStringLiteral("upd.dat"), "an earlier date\r\n");
    UpdateCommand command;
    QSignalSpy notice(&command, &UpdateCommand::newVersionNotice);
    QCOMPARE(command.Command7(), UpdateCommand::Outcome::Checked);
    QCOMPARE(command.message(), QStringLiteral("First line\r\nSecond line\r\n\r\nCaf\u00e9 \u20ac 5\r\n"));
    QCOMPARE(command.downloadList().rowCount(), 0);
    QVERIFY(command.Downloader1().QueuedFiles().isEmpty());
    QVERIFY(!updateFlags().UpdateInstalled);
    QCOMPARE(notice.size(), 0);
    QVERIFY(QFile::exists(command.sdrPath()));

    int reloads = 0;
    QVERIFY(tick(command, &reloads));
    QCOMPARE(reloads, 1);
    QCOMPARE(m_app->readFile(QStringLiteral("upd.dat")), QByteArray("an earlier date\r\n"));
    QCOMPARE(startupState().LastUpdateText, QStringLiteral("an earlier date"));
    QVERIFY(!QFile::exists(command.sdrPath()));
    QVERIFY(databaseTables().CookDbLoaded && databaseTables().TrojSigLoaded && databaseTables().RegDbLoaded);

    // A missing message clears the earlier one.
    QFile::remove(m_repo->filePath(QStringLiteral("newupd/msg.txt")));
    command.Command7();
    QCOMPARE(command.message(), QString());
    QCOMPARE(m_server->requestCount(QStringLiteral("/newupd/msg.txt")), 2);
}

void TestUpdateCheck::oneDatabaseOutOfDate()
{
    startupState().SystemFolder = QStringLiteral("\\windows\\system32\\");
    startupState().WindowsFolder = QStringLiteral("\\windows\\");
    publishVersions("COOK-2\r\n", "TROJ-1\r\n", "REG-1\r\n");
    const QByteArray oldTroj = m_app->readFile(QStringLiteral("trojsig.dat"));
    UpdateCommand command;
    QCOMPARE(command.Command7(), UpdateCommand::Outcome::Checked);
    QVERIFY(updateFlags().UpdateInstalled);
    QCOMPARE(command.downloadList().rowCount(), 1);
    const DownloadListModel::Row row = command.downloadList().rows().first();
    QCOMPARE(row.key, startupState().AppFolder + QStringLiteral("cookdb.dat"));
    QCOMPARE(row.text, QStringLiteral("Main spyware database"));
    QCOMPARE(command.downloadList().headerData(1, Qt::Horizontal).toString(), QStringLiteral("Status"));

    waitForDownloads(command);
    QCOMPARE(command.downloadList().rows().first().status, QStringLiteral("Completed"));
    QCOMPARE(updateFlags().PendingDownloads, 0);
    QCOMPARE(m_app->readFile(QStringLiteral("cookdb.dat")), readTestFile(m_repo->filePath(QStringLiteral("newupd/cookdb.dat"))));
    QCOMPARE(m_app->readFile(QStringLiteral("trojsig.dat")), oldTroj);

    int reloads = 0;
    const QString before = dateNow();
    QVERIFY(tick(command, &reloads));
    const QString after = dateNow();
    QCOMPARE(reloads, 1);
    QCOMPARE(databaseTables().CookDbVersion, QStringLiteral("COOK-2"));
    QCOMPARE(databaseTables().TrojSigVersion, QStringLiteral("TROJ-1"));
    // The reload expands the folder tokens of the new database.
    QVERIFY(databaseTables().CookDbEntries.contains(QStringLiteral("\\windows\\system32\\evil.dll")));
    QVERIFY(databaseTables().CookDbEntries.contains(QStringLiteral("\\windows\\bad.ini")));
    const QString written = QString::fromLocal8Bit(m_app->readFile(QStringLiteral("upd.dat")));
    QVERIFY2(written == before + QStringLiteral("\r\n") || written == after + QStringLiteral("\r\n"),
             qPrintable(written));
    QCOMPARE(startupState().LastUpdateText + QStringLiteral("\r\n"), written);
    QVERIFY(!QFile::exists(command.sdrPath()));
}

void TestUpdateCheck::firstLineRules_data()
{
    // Only the first line of a version file counts, compared exactly; a line
    // ends at CR, so LF-only files never match.
    QTest::addColumn<QByteArray>("cookVer");
    QTest::addColumn<QByteArray>("stamp");
    QTest::addColumn<bool>("queued");
    QTest::addColumn<bool>("notice");
    const QByteArray same = "18052007\r\n";
    QTest::newRow("no line end") << QByteArray("COOK-1") << same << false << false;
    QTest::newRow("trailing space") << QByteArray("COOK-1 \r\n") << same << true << false;
    QTest::newRow("several lines") << QByteArray("COOK-1\r\nCOOK-9\r\nnotes\r\n") << same << false << false;
    QTest::newRow("lone CR") << QByteArray("COOK-1\rCOOK-9") << same << false << false;
    QTest::newRow("LF-only lines") << QByteArray("COOK-1\nCOOK-9\n") << same << true << false;
    QTest::newRow("other case") << QByteArray("cook-1\r\n") << same << true << false;
    QTest::newRow("empty file") << QByteArray() << same << true << false;
    QTest::newRow("same stamp, more lines") << QByteArray("COOK-1\r\n") << QByteArray("18052007\r\nx\r\n") << false << false;
    QTest::newRow("other stamp") << QByteArray("COOK-1\r\n") << QByteArray("20112008\r\n") << false << true;
    QTest::newRow("stamp on second line") << QByteArray("COOK-1\r\n") << QByteArray("\r\n18052007\r\n") << false << true;
    QTest::newRow("stamp with LF") << QByteArray("COOK-1\r\n") << QByteArray("18052007\n") << false << true;
}

void TestUpdateCheck::firstLineRules()
{
    QFETCH(QByteArray, cookVer);
    QFETCH(QByteArray, stamp);
    QFETCH(bool, queued);
    QFETCH(bool, notice);
    publishVersions(cookVer, "TROJ-1\r\n", "REG-1\r\n", stamp);
    UpdateCommand command;
    QSignalSpy spy(&command, &UpdateCommand::newVersionNotice);
    command.Command7();
    QCOMPARE(command.downloadList().rowCount(), queued ? 1 : 0);
    QCOMPARE(command.newVersionAvailable(), notice);
    QCOMPARE(spy.size(), notice ? 1 : 0);
    if (notice)
        QCOMPARE(spy.first().first().toString(), Lingua(23));
    waitForDownloads(command);
}

void TestUpdateCheck::timeoutOnFirstFetchClosesPanel()
{
    publishVersions("COOK-2\r\n", "TROJ-2\r\n", "REG-2\r\n");
    m_server->setFault(QStringLiteral("/newupd/cookdb.ver"), LoopbackHttpServer::Fault::Stall);
    m_app->writeFile(QStringLiteral("SDR"), "left from before\r\n");
    Form1 w;
    w.show();
    UpdateCommand &command = w.updateCommand();
    command.Inet1().setTimeout(400);
    QSignalSpy notice(&command, &UpdateCommand::newVersionNotice);
    w.Image4_Click();
    QCOMPARE(panelState().ActivePanel, quint8(2));
    MessageBoxCloser closer;
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(closer.texts, QStringList({QStringLiteral("Update|") + Lingua(20)}));
    QVERIFY(!updateFlags().ServerReachable);
    QCOMPARE(command.downloadList().rowCount(), 0);
    QCOMPARE(notice.size(), 0);
    QCOMPARE(m_server->requestCount(QStringLiteral("/newupd/trojsig.ver")), 0);
    QCOMPARE(panelState().ActivePanel, quint8(0));
    QVERIFY(w.Frame2->isHidden() && w.Text1->isHidden());
    QVERIFY(!w.Timer3->isActive());
    QVERIFY(!QFile::exists(command.sdrPath()));
}

void TestUpdateCheck::timeoutOnLaterFetch()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-1\r\n");
    m_server->setFault(QStringLiteral("/newupd/trojsig.ver"), LoopbackHttpServer::Fault::Stall);
    UpdateCommand command;
    command.Inet1().setTimeout(600);
    QSignalSpy timeout(&command, &UpdateCommand::timeoutMessage);
    QSignalSpy notice(&command, &UpdateCommand::newVersionNotice);
    // While the fetch waits, timers still fire: a Timer3 tick must not reload
    // and a second command must not start in the middle of the first.
    int reloads = 0;
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        ++ticks;
        command.Timer3_Timer([&] { ++reloads; });
        command.Command7();
    });
    timer.start(50);
    QCOMPARE(command.Command7(), UpdateCommand::Outcome::Checked);
    timer.stop();
    QVERIFY(ticks > 0);
    QCOMPARE(reloads, 0);
    QCOMPARE(m_server->requestCount(QStringLiteral("/newupd/cookdb.ver")), 1);
    QCOMPARE(m_server->requestCount(QStringLiteral("/newupd/msg.txt")), 1);
    QCOMPARE(timeout.size(), 1);
    // From the time-out on every version counts as changed, and later fetches are still made.
    QStringList texts;
    for (const auto &row : command.downloadList().rows())
        texts.append(row.text);
    QCOMPARE(texts, QStringList({QStringLiteral("Trojan database"), QStringLiteral("Registry entries")}));
    QCOMPARE(notice.size(), 1);
    QCOMPARE(command.message(), QStringLiteral("Welcome\r\n"));
    waitForDownloads(command);
    QVERIFY(tick(command, &reloads));
    QCOMPARE(reloads, 1);
    QCOMPARE(databaseTables().RegDbVersion, QStringLiteral("REG-2"));
}

void TestUpdateCheck::failedDownload_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("404") << int(LoopbackHttpServer::Fault::NotFound);
    QTest::newRow("connection reset") << int(LoopbackHttpServer::Fault::ResetConnection);
}

void TestUpdateCheck::failedDownload()
{
    QFETCH(int, fault);
    publishVersions("COOK-2\r\n", "TROJ-1\r\n", "REG-1\r\n");
    m_server->setFault(QStringLiteral("/newupd/cookdb.dat"), LoopbackHttpServer::Fault(fault));
    const QByteArray oldCook = m_app->readFile(QStringLiteral("cookdb.dat"));
    UpdateCommand command;
    command.Command7();
    waitForDownloads(command);
    QCOMPARE(command.downloadList().rows().first().status, QStringLiteral("Error"));
    QCOMPARE(updateFlags().PendingDownloads, 1);
    int reloads = 0;
    QVERIFY(!tick(command, &reloads));
    QVERIFY(!tick(command, &reloads));
    QCOMPARE(reloads, 0);
    QVERIFY(!QFile::exists(m_app->filePath(QStringLiteral("upd.dat"))));
    QCOMPARE(m_app->readFile(QStringLiteral("cookdb.dat")), oldCook);
    QCOMPARE(databaseTables().CookDbVersion, QStringLiteral("COOK-1"));

    // The next command starts afresh: with the server mended it installs.
    m_server->clearFaults();
    command.Command7();
    waitForDownloads(command);
    QVERIFY(tick(command, &reloads));
    QCOMPARE(databaseTables().CookDbVersion, QStringLiteral("COOK-2"));
    QVERIFY(QFile::exists(m_app->filePath(QStringLiteral("upd.dat"))));
}

void TestUpdateCheck::signatureRules_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("valid") << QStringLiteral("valid");
    QTest::newRow("missing") << QStringLiteral("missing");
    QTest::newRow("other key") << QStringLiteral("other key");
    QTest::newRow("truncated") << QStringLiteral("truncated");
    QTest::newRow("database changed after signing") << QStringLiteral("tampered");
}

void TestUpdateCheck::signatureRules()
{
    QFETCH(QString, kind);
    publishVersions("COOK-1\r\n", "TROJ-2\r\n", "REG-1\r\n");
    const QString sigPath = QStringLiteral("newupd/trojsig.dat.sig");
    const QByteArray data = readTestFile(m_repo->filePath(QStringLiteral("newupd/trojsig.dat")));
    const QByteArray good = signatureFile(data).trimmed();
    if (kind == QLatin1String("missing")) {
        QVERIFY(QFile::remove(m_repo->filePath(sigPath)));
    } else if (kind == QLatin1String("other key")) {
        QByteArray otherPrivate, otherPublic;
        QVERIFY(Ed25519Signature::generateKeyPair(&otherPrivate, &otherPublic));
        publish(sigPath, Ed25519Signature::sign(otherPrivate, data).toBase64());
    } else if (kind == QLatin1String("truncated")) {
        publish(sigPath, good.left(good.size() - 4));
    } else if (kind == QLatin1String("tampered")) {
        QByteArray changed = data;
        changed[changed.size() / 2] = changed[changed.size() / 2] == 'A' ? 'B' : 'A';
        publish(QStringLiteral("newupd/trojsig.dat"), changed);
    }
    const bool installs = kind == QLatin1String("valid");
    const QByteArray installed = m_app->readFile(QStringLiteral("trojsig.dat"));
    m_app->writeFile(QStringLiteral("upd.dat"), "before\r\n");

    UpdateCommand command;
    command.Command7();
    QCOMPARE(command.downloadList().rowCount(), 1);
    waitForDownloads(command);
    int reloads = 0;
    QCOMPARE(tick(command, &reloads), installs);
    QCOMPARE(reloads, installs ? 1 : 0);
    QCOMPARE(command.downloadList().rows().first().status, installs ? QStringLiteral("Completed") : QStringLiteral("Error"));
    QCOMPARE(databaseTables().TrojSigVersion, installs ? QStringLiteral("TROJ-2") : QStringLiteral("TROJ-1"));
    QCOMPARE(m_app->readFile(QStringLiteral("upd.dat")) == QByteArray("before\r\n"), !installs);
    if (!installs)
        QCOMPARE(m_app->readFile(QStringLiteral("trojsig.dat")), installed);
}

void TestUpdateCheck::publishedRepositoryInstalls()
{
    // The maintainers' tool writes a repository from plain databases; the
    // update check installs from it.
    QTemporaryDir plain;
    writeTestFile(plain.filePath(QStringLiteral("cookdb.txt")), cookPlain("COOK-1"));
    writeTestFile(plain.filePath(QStringLiteral("trojsig.txt")), trojPlain("TROJ-1"));
    writeTestFile(plain.filePath(QStringLiteral("regdb.txt")), regPlain("REG-1"));
    writeTestFile(plain.filePath(QStringLiteral("msg.txt")), "Published\r\nby the tool\r\n");
    writeTestFile(plain.filePath(QStringLiteral("signing.key")), m_privateKey);
    QProcess tool;
    QCOMPARE(runTool(tool, {QStringLiteral("publish"), plain.path(), m_repo->path(), QStringLiteral("--version-regdb"),
                            QStringLiteral("REG 7"), QStringLiteral("--build-stamp"), QStringLiteral("31122099"),
                            QStringLiteral("--sign-key"), plain.filePath(QStringLiteral("signing.key"))}),
             0);
    QCOMPARE(readTestFile(m_repo->filePath(QStringLiteral("newupd/cookdb.ver"))), QByteArray("COOK-1\r\n"));
    QVERIFY(QFile::exists(m_repo->filePath(QStringLiteral("files/Torvakine_Setup.exe"))));

    UpdateCommand command;
    QCOMPARE(runUpdateToEnd(command, m_bar), UpdateSucceeded);
    QCOMPARE(command.downloadList().rowCount(), 1);
    QCOMPARE(command.downloadList().rows().first().text, QStringLiteral("Registry entries"));
    QVERIFY(command.newVersionAvailable());
    QCOMPARE(command.message(), QStringLiteral("Published\r\nby the tool\r\n"));
    QCOMPARE(databaseTables().RegDbVersion, QStringLiteral("REG 7"));
    QCOMPARE(databaseTables().RegDbCount, 2);

    // A faulty database is refused and leaves the repository as it was.
    writeTestFile(plain.filePath(QStringLiteral("cookdb.txt")), "[[[COOK-9\r\nno group header\r\n--ME-\r\n<<<>>\r\n");
    QCOMPARE(runTool(tool, {QStringLiteral("publish"), plain.path(), m_repo->path()}), 1);
    QCOMPARE(readTestFile(m_repo->filePath(QStringLiteral("newupd/cookdb.ver"))), QByteArray("COOK-1\r\n"));
}

void TestUpdateCheck::toolKeysAndCompiledInKey()
{
    QTemporaryDir dir;
    const QString key = dir.filePath(QStringLiteral("pub.key"));
    const QString pub = dir.filePath(QStringLiteral("pub.pub"));
    QProcess tool;
    QCOMPARE(runTool(tool, {QStringLiteral("keygen"), key, pub}), 0);
    QCOMPARE(QFile::permissions(key) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    const QByteArray privatePem = readTestFile(key);
    // An existing key is never overwritten.
    QCOMPARE(runTool(tool, {QStringLiteral("keygen"), key, dir.filePath(QStringLiteral("x.pub"))}), 1);
    QCOMPARE(readTestFile(key), privatePem);

    const QByteArray data = "the exact bytes of a database";
    writeTestFile(dir.filePath(QStringLiteral("db.dat")), data);
    writeTestFile(dir.filePath(QStringLiteral("db.dat.sig")), Ed25519Signature::sign(privatePem, data).toBase64() + "\r\n");
    writeTestFile(dir.filePath(QStringLiteral("other.dat")), data + ' ');
    const auto verify = [&](const QString &file) {
        return runTool(tool, {QStringLiteral("verify"), dir.filePath(file), dir.filePath(QStringLiteral("db.dat.sig")), pub});
    };
    QCOMPARE(verify(QStringLiteral("db.dat")), 0);
    QCOMPARE(verify(QStringLiteral("other.dat")), 1);

    // Without the override the build's own key checks; a build with a
    // publisher's key has no private key at hand to sign with.
    setUpdatePublicKeyOverride(QByteArray());
    QVERIFY(updatePublicKey().startsWith("-----BEGIN PUBLIC KEY-----"));
    const QString demoKey = QStringLiteral(TORVAKINE_DEMO_SIGNING_KEY);
    if (demoKey.isEmpty())
        return;
    const QByteArray signed_ = encodeDatabase(regPlain("REG-5"));
    QVERIFY(verifyUpdateSignature(signed_, Ed25519Signature::sign(readTestFile(demoKey), signed_).toBase64()));
    QVERIFY(!verifyUpdateSignature(signed_, signatureFile(signed_)));
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
    QByteArray certificatePem;
    QByteArray keyPem;
    QVERIFY(makeSelfSignedCertificate(&certificatePem, &keyPem));
    const QSslCertificate certificate(certificatePem, QSsl::Pem);
    const QSslKey key(keyPem, QSsl::Ec, QSsl::Pem);
    QVERIFY(!certificate.isNull() && !key.isNull());

    LoopbackHttpServer tlsServer(m_repo->path());
    tlsServer.useTls(certificate, key);
    QVERIFY(tlsServer.listen());
    QVERIFY(tlsServer.baseUrl().startsWith(QLatin1String("https://")));
    m_app->writeFile(QStringLiteral("server.dat"), tlsServer.baseUrl().toUtf8() + "\r\n");
    publishVersions("COOK-1\r\n", "TROJ-2\r\n", "REG-1\r\n");

    const QSslConfiguration systemDefault = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        QSslConfiguration config = systemDefault;
        config.addCaCertificate(certificate);
        QSslConfiguration::setDefaultConfiguration(config);
    }
    const QByteArray installed = m_app->readFile(QStringLiteral("trojsig.dat"));
    UpdateCommand command;
    const UpdateRunResult result = runUpdateToEnd(command, m_bar);
    QSslConfiguration::setDefaultConfiguration(systemDefault);

    if (trusted) {
        QCOMPARE(result, UpdateSucceeded);
        QCOMPARE(command.message(), QStringLiteral("Welcome\r\n"));
        QCOMPARE(databaseTables().TrojSigVersion, QStringLiteral("TROJ-2"));
    } else {
        // A certificate error fails like a server that does not answer.
        QCOMPARE(result, UpdateServerUnreachable);
        QCOMPARE(command.answeredFetches(), 0);
        QCOMPARE(m_app->readFile(QStringLiteral("trojsig.dat")), installed);
        QCOMPARE(databaseTables().TrojSigVersion, QStringLiteral("TROJ-1"));
    }
}

void TestUpdateCheck::windowUpdatesPanel()
{
    publishVersions("COOK-1\r\n", "TROJ-1\r\n", "REG-2\r\n", "20112008\r\n");
    publish(QStringLiteral("newupd/msg.txt"), "Line one\r\nLine two\r\n");
    Form1 w;
    w.show();
    w.Image4_Click();
    QVERIFY(w.Frame2->isVisible());
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(w.Timer3->isActive());
    QVERIFY(!w.Text1->isHidden());
    QCOMPARE(w.LstDownload->model()->rowCount(), 1);
    QCOMPARE(w.LstDownload->model()->index(0, 0).data().toString(), QStringLiteral("Registry entries"));
    QCOMPARE(w.Text2->toPlainText(), QStringLiteral("Line one\nLine two\n"));
    QVERIFY(w.newVersionWindow().isVisible());
    QCOMPARE(w.newVersionWindow().Label1->text(), Lingua(23));

    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 10000);
    QCOMPARE(w.LstDownload->model()->index(0, 1).data().toString(), QStringLiteral("Completed"));
    QVERIFY(w.Text1->isHidden());
    QVERIFY(!w.Label2->isHidden() && w.Label4->isHidden());
    QVERIFY(!w.Label6->isHidden() && w.Label7->isHidden());
    QVERIFY(!w.Label8->isHidden() && w.Label9->isHidden());
    QVERIFY(!startupState().LastUpdateText.isEmpty());
    QCOMPARE(w.lblMessages->text(), Lingua(33) + QStringLiteral(": ") + startupState().LastUpdateText);
    QCOMPARE(databaseTables().RegDbVersion, QStringLiteral("REG-2"));

    // A database that no longer deciphers shows its "ERR" label after the reload.
    publishVersions("COOK-1\r\n", "TROJ-3\r\n", "REG-2\r\n");
    publish(QStringLiteral("newupd/trojsig.dat"), "not a database");
    publish(QStringLiteral("newupd/trojsig.dat.sig"), signatureFile("not a database"));
    w.newVersionWindow().Command2_Click();
    QTest::mouseClick(w.Command7, Qt::LeftButton);
    QVERIFY(w.newVersionWindow().isHidden());
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer3->isActive(), 10000);
    QVERIFY(w.Label6->isHidden() && !w.Label7->isHidden());
}

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
