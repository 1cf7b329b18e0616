// Removing registry rows from the hive files of an installation folder:
// values, whole keys, rows that name no usable key, and hives that cannot be
// changed.
#include "platform/HiveFile.h"
#include "platform/StartupState.h"
#include "removal/RegistryRowRemoval.h"
#include "removal/Removal.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "scanner/basRegistry.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QFileDevice::Permissions kReadOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                           QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                           QFileDevice::ReadOther | QFileDevice::ExeOther;

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class RegistryRemovalTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void valueRowsAcrossProfiles();
    void keyRowsRemoveTrees();
    void unusableRowsArePassedOver_data();
    void unusableRowsArePassedOver();
    void missingKeysNeedNothing();
    void writeProtectedHives_data();
    void writeProtectedHives();
    void damagedHiveIsReported();
    void damagedCellsCannotEndTheProgram();
    void linkedHiveIsNotReplaced();
    void removalRecordsFailures();

private:
    QString softwarePath() const { return machineHivePath(m_install->path(), "SOFTWARE"); }
    QString configFolder() const { return m_install->path() + "/Windows/System32/config"; }
    void buildSoftware();

    std::unique_ptr<TestAppFolder> m_app;
    std::unique_ptr<QTemporaryDir> m_install;
};

void RegistryRemovalTest::init()
{
    m_app = std::make_unique<TestAppFolder>();
    resetScanState();
    resultList().clear();
    m_install = std::make_unique<QTemporaryDir>();
    QVERIFY(m_install->isValid());
    scanState().ScanRoot = m_install->path();
}

void RegistryRemovalTest::cleanup()
{
    // Let the temporary folders go even after a failed check.
    QFile::setPermissions(configFolder(),
                          QFile::permissions(configFolder()) | QFileDevice::WriteOwner);
    QFile::setPermissions(softwarePath(),
                          QFile::permissions(softwarePath()) | QFileDevice::WriteOwner);
    m_install.reset();
    m_app.reset();
}

void RegistryRemovalTest::buildSoftware()
{
    HiveBuilder software(softwarePath());
    software.setText("Vendor\\Bad", "Path", "bad.exe");
    software.setDword("Vendor\\Bad\\Sub", "N", 1);
    software.addKey("Vendor\\Bad\\Sub\\Deeper");
    software.setText("Vendor\\Good", "Path", "good.exe");
    software.setText("Microsoft\\Windows\\CurrentVersion\\Run", "BadTool", "bad.exe");
    software.setText("Microsoft\\Windows\\CurrentVersion\\Run", "GoodTool", "good.exe");
    software.commit();
}

void RegistryRemovalTest::valueRowsAcrossProfiles()
{
    const QString run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    for (const QString &profile :
         {QString("/Users/alice/NTUSER.DAT"), QString("/Users/bob/NTUSER.DAT"),
          QString("/Documents and Settings/carol/NTUSER.DAT")}) {
        HiveBuilder user(m_install->path() + profile);
        user.setText(run, "Spy", "spy.exe");
        user.setText(run, "Mail", "mail.exe");
        user.commit();
    }
    // A damaged hive that no row needs is not reported.
    writeTestFile(machineHivePath(m_install->path(), "SYSTEM"), "not a hive");
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_CURRENT_USER\\" + run + "\\\"Spy\""));
        QCOMPARE(removal.finish(), QStringList());
    }
    QCOMPARE(QueryValue(PredefinedKey::CurrentUser, run, "Spy"), QVariant(QString()));
    for (const QString &profile :
         {QString("/Users/alice/NTUSER.DAT"), QString("/Users/bob/NTUSER.DAT"),
          QString("/Documents and Settings/carol/NTUSER.DAT")}) {
        const std::unique_ptr<HiveFile> hive = HiveFile::open(m_install->path() + profile, false);
        QVERIFY(hive);
        hive_node_h node = hive->root();
        for (const QString &part : run.split('\\'))
            node = hive->child(node, part);
        QVERIFY2(node, qPrintable(profile));
        QVERIFY(!hive->value(node, "Spy"));
        QVERIFY(hive->value(node, "Mail"));
    }
}

void RegistryRemovalTest::keyRowsRemoveTrees()
{
    buildSoftware();
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad"));
        QVERIFY(removal.removeRow(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\\"BadTool\""));
        QCOMPARE(removal.finish(), QStringList());
    }
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub\\Deeper"));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Good", "Path"),
             QVariant(QString("good.exe")));
    const QString run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, run, "BadTool"), QVariant(QString()));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, run, "GoodTool"),
             QVariant(QString("good.exe")));
    QCOMPARE(filesIn(configFolder()), QStringList{"SOFTWARE"});

    // An empty quoted name stands for the whole key.
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Good\\\"\""));
        QCOMPARE(removal.finish(), QStringList());
    }
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Good"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor"));
}

void RegistryRemovalTest::unusableRowsArePassedOver_data()
{
    QTest::addColumn<QString>("location");
    QTest::newRow("no backslash") << "HKEY_LOCAL_MACHINE";
    QTest::newRow("nothing after the root") << "HKEY_LOCAL_MACHINE\\";
    QTest::newRow("only backslashes after the root") << "HKEY_LOCAL_MACHINE\\\\\\";
    QTest::newRow("empty quoted name at the root") << "HKEY_LOCAL_MACHINE\\\"\"";
    QTest::newRow("unknown root") << "HKEY_SOMEWHERE\\SOFTWARE\\Vendor\\Bad";
    QTest::newRow("root in another case") << "HKEY_Local_Machine\\SOFTWARE\\Vendor\\Bad";
    QTest::newRow("a whole hive") << "HKEY_LOCAL_MACHINE\\SOFTWARE";
    QTest::newRow("the classes root") << "HKEY_CLASSES_ROOT\\";
    QTest::newRow("a user's whole hive") << "HKEY_USERS\\.DEFAULT";
}

void RegistryRemovalTest::unusableRowsArePassedOver()
{
    QFETCH(QString, location);
    buildSoftware();
    HiveBuilder defaults(machineHivePath(m_install->path(), "DEFAULT"));
    defaults.addKey("Software");
    defaults.commit();
    const QByteArray before = readTestFile(softwarePath());
    {
        RegistryRowRemoval removal;
        QVERIFY(!removal.removeRow(location));
        QCOMPARE(removal.finish(), QStringList());
    }
    QCOMPARE(readTestFile(softwarePath()), before);
    QVERIFY(KeyExists(PredefinedKey::Users, ".DEFAULT\\Software"));
}

void RegistryRemovalTest::missingKeysNeedNothing()
{
    buildSoftware();
    const QByteArray before = readTestFile(softwarePath());
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Missing"));
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Missing\\\"Path\""));
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Good\\\"Missing\""));
        QVERIFY(removal.removeRow("HKEY_CURRENT_USER\\Software\\Vendor"));
        QVERIFY(removal.removeRow("HKEY_DYN_DATA\\Config\\Vendor"));
        QCOMPARE(removal.finish(), QStringList());
    }
    QCOMPARE(readTestFile(softwarePath()), before);
    QCOMPARE(filesIn(configFolder()), QStringList{"SOFTWARE"});
}

void RegistryRemovalTest::writeProtectedHives_data()
{
    QTest::addColumn<bool>("protectFolder");
    QTest::newRow("read-only hive file") << false;
    QTest::newRow("read-only folder") << true;
}

void RegistryRemovalTest::writeProtectedHives()
{
    QFETCH(bool, protectFolder);
    buildSoftware();
    const QByteArray before = readTestFile(softwarePath());
    QVERIFY(QFile::setPermissions(protectFolder ? configFolder() : softwarePath(), kReadOnly));
    QStringList failed;
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad"));
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Good\\\"Path\""));
        failed = removal.finish();
    }
    QCOMPARE(failed, QStringList{softwarePath()});
    QCOMPARE(readTestFile(softwarePath()), before);
    QCOMPARE(filesIn(configFolder()), QStringList{"SOFTWARE"});
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub"));
}

void RegistryRemovalTest::damagedHiveIsReported()
{
    buildSoftware();
    QByteArray damaged = readTestFile(softwarePath());
    damaged[0x1FC] = char(damaged[0x1FC] ^ 0x01);
    writeTestFile(softwarePath(), damaged);
    HiveBuilder system(machineHivePath(m_install->path(), "SYSTEM"));
    system.addKey("Vendor\\Bad");
    system.commit();

    QStringList failed;
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad"));
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Good\\\"Path\""));
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor\\Bad"));
        failed = removal.finish();
    }
    // The damaged hive is named once and left as it was; the sound one changed.
    QCOMPARE(failed, QStringList{softwarePath()});
    QCOMPARE(readTestFile(softwarePath()), damaged);
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\Vendor\\Bad"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\Vendor"));
}

void RegistryRemovalTest::damagedCellsCannotEndTheProgram()
{
    buildSoftware();
    const QString run = "Microsoft\\Windows\\CurrentVersion\\Run";
    hive_value_h badTool = 0;
    {
        const std::unique_ptr<HiveFile> hive = HiveFile::open(softwarePath(), false);
        QVERIFY(hive);
        hive_node_h node = hive->root();
        for (const QString &part : run.split('\\'))
            node = hive->child(node, part);
        badTool = hive->value(node, "BadTool");
        QVERIFY(badTool);
    }
    // The data offset of the value to delete (byte 12 of its value cell)
    // points far beyond the file: the hive library aborts the process when it
    // frees such a value.  The removal survives it and leaves the hive as it
    // was.
    QByteArray damaged = readTestFile(softwarePath());
    damaged[qsizetype(badTool) + 15] = char(0xff);
    writeTestFile(softwarePath(), damaged);
    {
        RegistryRowRemoval removal;
        removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\" + run + "\\\"BadTool\"");
        QCOMPARE(removal.finish(), QStringList());
    }
    QCOMPARE(readTestFile(softwarePath()), damaged);
}

void RegistryRemovalTest::linkedHiveIsNotReplaced()
{
    const QString elsewhere = m_install->path() + "/elsewhere/SOFTWARE";
    {
        HiveBuilder software(elsewhere);
        software.addKey("Vendor\\Bad");
        software.commit();
    }
    QVERIFY(QDir().mkpath(configFolder()));
    QVERIFY(QFile::link(elsewhere, softwarePath()));
    const QByteArray before = readTestFile(elsewhere);
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QStringList failed;
    {
        RegistryRowRemoval removal;
        QVERIFY(removal.removeRow("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad"));
        failed = removal.finish();
    }
    QCOMPARE(failed, QStringList{softwarePath()});
    QVERIFY(QFileInfo(softwarePath()).isSymLink());
    QCOMPARE(readTestFile(elsewhere), before);
}

void RegistryRemovalTest::removalRecordsFailures()
{
    buildSoftware();
    HiveBuilder user(m_install->path() + "/Users/alice/NTUSER.DAT");
    user.setText("Software\\Spy", "Run", "spy.exe");
    user.commit();
    QVERIFY(QFile::setPermissions(softwarePath(), kReadOnly));
    scanState().ReportBaseName = "scan";
    QVERIFY(QDir().mkpath(startupState().ReportFolder));
    const QString reportPath = startupState().ReportFolder + "scan.txt";
    writeTestFile(reportPath, "header\r\n");

    resultList().addRow("Spy", "HKEY_CURRENT_USER\\Software\\Spy\\\"Run\"");
    resultList().addRow("Bad", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Bad");
    resultList().addRow("Odd", "HKEY_UNKNOWN\\Software\\Spy");
    resultList().addRow("Root", "HKEY_CURRENT_USER\\");
    RemoveListedDetections();

    QCOMPARE(resultList().count(), 0);
    QCOMPARE(QueryValue(PredefinedKey::CurrentUser, "Software\\Spy", "Run"), QVariant(QString()));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    const QString report = QString::fromUtf8(readTestFile(reportPath));
    QVERIFY(report.startsWith("header\r\n"));
    QVERIFY(report.contains(" HKEY_UNKNOWN\\Software\\Spy\r\n---------------------------\r\n"));
    QVERIFY(report.contains(" HKEY_CURRENT_USER\\\r\n"));
    QVERIFY(report.contains(" " + softwarePath() + "\r\n"));
    QVERIFY(!report.contains("NTUSER.DAT"));
    QCOMPARE(report.count("---------------------------"), 3);
}

QTEST_GUILESS_MAIN(RegistryRemovalTest)
#include "tst_registry_removal.moc"
