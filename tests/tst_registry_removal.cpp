// Removing the registry rows of a scan from the hive files of an installation
// folder: values, keys, rows that name no usable key, hives that stay as they are.
#include "removal/Removal.h"
#include "scanner/ScanSession.h"
#include "scanner/basRegistry.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <algorithm>

using enum PredefinedKey;

class RegistryRemovalTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsOfEveryKind();
    void hivesThatCannotBeChanged();

private:
    QStringList removeRows(const QStringList &rows);
    QString root() const { return m_app->filePath("install"); }
    QString software() const { return machineHivePath(root(), "SOFTWARE"); }
    QString config() const { return QFileInfo(software()).path(); }
    QStringList configFiles() const { return QDir(config()).entryList(QDir::Files | QDir::Hidden); }
    // The installation's registry as it is on disk now.
    std::unique_ptr<RegistrySession> installed() const
    {
        return std::make_unique<RegistrySession>(
            openInstallationRegistry(root(), RegistryAccess::ReadOnly));
    }
    std::unique_ptr<TestAppFolder> m_app;
    // The scan of the installation whose rows are removed.
    std::unique_ptr<ScanSession> m_session;
};

void RegistryRemovalTest::init()
{
    m_app = std::make_unique<TestAppFolder>();
    m_session = m_app->newSession();
    m_session->state().ScanRoot = root();
    m_session->state().ReportBaseName = "scan";
    HiveBuilder hive(software());
    hive.setText("Vendor\\Bad", "Path", "bad.exe");
    hive.setText("Vendor\\Good", "Path", "good.exe");
    hive.setText("Run", "BadTool", "bad.exe");
    hive.setText("Run", "GoodTool", "good.exe");
    hive.commit();
}

void RegistryRemovalTest::cleanup()
{
    // Let the temporary folder go even after a failed check.
    for (const QString &path : {config(), software()})
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    m_session.reset();
    m_app.reset();
}

// Removes the rows as after a scan; returns what the report records as not removed.
QStringList RegistryRemovalTest::removeRows(const QStringList &rows)
{
    const QString report = m_session->reportPath();
    writeTestFile(report, "header\r\n");
    for (const QString &row : rows)
        m_session->results().addRow("Threat", row);
    const QList<RowRemoval> done = RemoveListedDetections(*m_session);
    // Each record ends with a separator; the report keeps what it held.
    const QStringList lines = QString::fromUtf8(readTestFile(report)).split("\r\n");
    QStringList failed;
    for (qsizetype i = 1; i + 1 < lines.size(); i += 2)
        failed << (lines[i + 1] == QString(27, '-') ? lines[i].trimmed() : "unended " + lines[i]);
    if (lines.first() != "header" || m_session->results().count() != 0)
        failed.prepend("header lost or rows kept");
    // A row recorded is refused; so is every row when a hive could not be
    // saved, since which rows it held is not known.
    const bool hiveUnsaved = std::any_of(failed.cbegin(), failed.cend(),
                                         [](const QString &f) { return f.startsWith('/'); });
    for (const RowRemoval &row : done) {
        const bool refused = hiveUnsaved || failed.contains(rows.at(row.row - 1));
        if (row.outcome != (refused ? RemovalOutcome::Refused : RemovalOutcome::Removed))
            failed.prepend("outcome of " + rows.at(row.row - 1));
    }
    if (done.size() != rows.size())
        failed.prepend("an outcome for each row");
    return failed;
}

void RegistryRemovalTest::rowsOfEveryKind()
{
    for (const QString user : {"/Users/alice", "/Documents and Settings/bob"}) {
        HiveBuilder hive(root() + user + "/NTUSER.DAT");
        hive.setText("Software\\Run", "Spy", "spy.exe");
        hive.setText("Software\\Run", "Mail" + user.section('/', -1), "mail.exe");
        hive.commit();
    }
    HiveBuilder defaults(machineHivePath(root(), "DEFAULT"));
    defaults.addKey("Software");
    defaults.commit();
    // A damaged hive that no row needs is not reported.
    writeTestFile(machineHivePath(root(), "SYSTEM"), "not a hive");
    // Rows that name no usable key, or a whole hive, are passed over.
    const QStringList refused{"HKEY_LOCAL_MACHINE",
                              "HKEY_LOCAL_MACHINE\\",
                              "HKEY_LOCAL_MACHINE\\\\\\",
                              "HKEY_LOCAL_MACHINE\\\"\"",
                              "HKEY_SOMEWHERE\\SOFTWARE\\Vendor\\Bad",
                              "HKEY_Local_Machine\\SOFTWARE\\Vendor\\Bad",
                              "HKEY_LOCAL_MACHINE\\SOFTWARE",
                              "HKEY_CLASSES_ROOT\\",
                              "HKEY_USERS\\.DEFAULT"};
    QCOMPARE(removeRows(refused + QStringList{"HKEY_CURRENT_USER\\Software\\Run\\\"Spy\"",
                                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad",
                                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\"BadTool\"",
                                              // Missing keys and values need nothing.
                                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Missing",
                                              "HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\"Missing\"",
                                              "HKEY_DYN_DATA\\Config\\Vendor"}),
             refused);
    // A value row applies to every profile.
    const auto registry = installed();
    QCOMPARE(registry->QueryValue(CurrentUser, "Software\\Run", "Spy"), QVariant(QString()));
    QCOMPARE(registry->QueryValue(CurrentUser, "Software\\Run", "Mailalice"),
             QVariant(QString("mail.exe")));
    QCOMPARE(registry->QueryValue(CurrentUser, "Software\\Run", "Mailbob"),
             QVariant(QString("mail.exe")));
    QVERIFY(!registry->KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QCOMPARE(registry->QueryValue(LocalMachine, "SOFTWARE\\Run", "BadTool"), QVariant(QString()));
    QCOMPARE(registry->QueryValue(LocalMachine, "SOFTWARE\\Run", "GoodTool"),
             QVariant(QString("good.exe")));
    QVERIFY(registry->KeyExists(Users, ".DEFAULT\\Software"));
    QCOMPARE(configFiles(), QStringList({"DEFAULT", "SOFTWARE", "SYSTEM"}));

    // An empty quoted name stands for the whole key.
    QCOMPARE(removeRows({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Good\\\"\""}), QStringList());
    QVERIFY(!installed()->KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Good"));
    QVERIFY(installed()->KeyExists(LocalMachine, "SOFTWARE\\Vendor"));
}

void RegistryRemovalTest::hivesThatCannotBeChanged()
{
    // A read-only hive, a hive in a read-only folder, a hive the library
    // aborts on and a hive that is a link are never replaced, and each is reported once.
    const QByteArray before = readTestFile(software());
    const QStringList rows{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad",
                           "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Good\\\"Path\""};
    for (const QString &path : {software(), config()}) {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        QCOMPARE(removeRows(rows), QStringList{software()});
        QCOMPARE(readTestFile(software()), before);
        QCOMPARE(configFiles(), QStringList{"SOFTWARE"});
        QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner));
    }
    // The data offset of the value to delete (bytes 8 to 11 of its record,
    // after the cell's size) points far beyond the file: the hive library
    // aborts the process when it frees such a value.  The removal survives
    // it, leaves the hive as it was and records the row.
    QVERIFY(patchHiveRecord(software(), "Run", "BadTool", 0x08, 0xFF000000));
    const QByteArray damaged = readTestFile(software());
    QCOMPARE(removeRows({"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\"BadTool\""}),
             QStringList{"HKEY_LOCAL_MACHINE\\SOFTWARE\\Run\\\"BadTool\""});
    QCOMPARE(readTestFile(software()), damaged);

    const QString elsewhere = m_app->filePath("elsewhere");
    writeTestFile(elsewhere, before);
    QVERIFY(QFile::remove(software()) && QFile::link(elsewhere, software()));
    QVERIFY(installed()->KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QCOMPARE(removeRows(rows), QStringList{software()});
    QVERIFY(QFileInfo(software()).isSymLink());
    QCOMPARE(readTestFile(elsewhere), before);
}

QTEST_GUILESS_MAIN(RegistryRemovalTest)
#include "tst_registry_removal.moc"
