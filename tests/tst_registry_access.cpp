// The registry operations over the hive files of an installation folder:
// value types, name matching, the mapped keys and the changes.
#include "scanner/ScanState.h"
#include "scanner/basRegistry.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"

#include <QTemporaryDir>
#include <QTest>

using enum PredefinedKey;

class RegistryAccessTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void keysAndValuesAcrossHives();
    void missingOrDamagedHivesReadAsEmpty();
    void deletions();

private:
    QString hive(const QString &name) const { return m_config + name.toLower(); }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_config; // in another letter case than Windows writes it
};

void RegistryAccessTest::init()
{
    resetScanState();
    m_dir = std::make_unique<QTemporaryDir>();
    scanState().ScanRoot = m_dir->path();
    m_config = m_dir->path() + "/windows/SYSTEM32/Config/";
}

void RegistryAccessTest::keysAndValuesAcrossHives()
{
    const QString unicode = QString::fromUtf8("\xC3\x9C\x62\x65l \xE2\x82\xAC");
    const std::tuple<QString, hive_type, QByteArray, QVariant> values[] = {
        {"TextWithNul", hive_t_REG_SZ, registryText("first") + registryText("x"), QString("first")},
        {"Unicode" + unicode, hive_t_REG_SZ, registryText(unicode), unicode},
        {"Zero", hive_t_REG_DWORD, QByteArray(4, '\0'), qint32(0)},
        {"AllOnes", hive_t_REG_DWORD, QByteArray(4, '\xFF'), qint32(-1)},
        // Not read as data.
        {"EmptyText", hive_t_REG_SZ, registryText(""), QString()},
        {"Expandable", hive_t_REG_EXPAND_SZ, registryText("%windir%\\x"), QString()},
        {"LongNumber", hive_t_REG_DWORD, QByteArray(8, '\1'), QString()}};
    const QString profile = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-100";
    HiveBuilder software(hive("SOFTWARE"));
    for (const auto &[name, type, data, read] : values)
        software.setRaw(QString::fromUtf8("Sample\\\xC3\x84rger"), name, type, data);
    software.setText("Classes\\CLSID\\{0000-BAD}", "Model", "Both");
    software.setText(profile + "1", "ProfileImagePath", "%SystemDrive%\\Users\\Alice",
                     hive_t_REG_EXPAND_SZ);
    software.setText(profile + "2", "ProfileImagePath", "C:\\Documents and Settings\\bob");
    software.setText(profile + "3", "ProfileImagePath", "C:\\Users\\gone");
    software.commit();
    HiveBuilder system(hive("SYSTEM"));
    system.setDword("Select", "Current", 2);
    system.addKey("ControlSet001\\Services\\Old");
    system.addKey("ControlSet002\\Services\\Bad");
    system.setText("ControlSet002\\Hardware Profiles\\0001\\Software", "LogPixels", "96");
    // Windows stores Hardware Profiles\Current as a link to the profile.
    const QString link = "\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet002\\Hardware Profiles\\0001";
    system.setRaw("ControlSet002\\Hardware Profiles\\Current", "SymbolicLinkValue", hive_t_REG_LINK,
                  registryText(link).chopped(2));
    system.commit();
    HiveBuilder alice(m_dir->path() + "/Users/alice/NTUSER.DAT");
    alice.setText("Software\\Run", "AliceTool", "a");
    alice.commit();
    HiveBuilder bob(m_dir->path() + "/documents and settings/Bob/ntuser.dat");
    bob.setDword("Software\\Sample", "Installed", 0);
    bob.commit();
    HiveBuilder defaults(hive("DEFAULT"));
    defaults.addKey("Software\\DefaultOnly");
    defaults.commit();

    // Key and value names match in any letter case, outside ASCII too.
    const QString key = QString::fromUtf8("software\\SAMPLE\\\xC3\xA4RGER\\");
    for (const auto &[name, type, data, read] : values)
        QCOMPARE(QueryValue(LocalMachine, key, name.toUpper()), read);
    QCOMPARE(QueryValue(LocalMachine, key, "Missing"), QVariant(QString()));
    QVERIFY(!KeyExists(LocalMachine, "SOFTWARE\\Sampl"));
    QVERIFY(!KeyExists(ClassesRoot, "Classes\\CLSID"));
    QCOMPARE(QueryValue(ClassesRoot, "CLSID\\{0000-bad}\\", "Model"), QVariant(QString("Both")));
    QVERIFY(KeyExists(LocalMachine, "system\\currentcontrolset\\services\\Bad"));
    QVERIFY(!KeyExists(LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Old"));
    QCOMPARE(QueryValue(CurrentConfig, "Software", "LogPixels"), QVariant(QString("96")));
    // The current user is every profile; a SID is the profile its ProfileList names.
    QCOMPARE(QueryValue(CurrentUser, "Software\\Run", "AliceTool"), QVariant(QString("a")));
    QCOMPARE(QueryValue(CurrentUser, "Software\\Sample", "Installed"), QVariant(qint32(0)));
    QVERIFY(KeyExists(Users, ".DEFAULT\\Software\\DefaultOnly"));
    QVERIFY(KeyExists(Users, "S-1-5-18\\Software\\DefaultOnly"));
    QVERIFY(KeyExists(Users, "S-1-5-21-1001\\Software\\Run"));
    QVERIFY(KeyExists(Users, "s-1-5-21-1002\\Software\\Sample"));
    QVERIFY(!KeyExists(Users, "S-1-5-21-1003"));

    // Predefined keys, and keys that stand for a hive or another predefined
    // key, are never deleted.
    const std::pair<PredefinedKey, QString> roots[] = {
        {LocalMachine, ""},
        {LocalMachine, "SOFTWARE"},
        {LocalMachine, "\\SYSTEM\\"},
        {ClassesRoot, ""},
        {CurrentConfig, ""},
        {CurrentUser, ""},
        {Users, ""},
        {Users, ".DEFAULT"},
        {LocalMachine, "SYSTEM\\CurrentControlSet"},
        {LocalMachine, "SYSTEM\\ControlSet002\\Hardware Profiles\\Current"}};
    for (const auto &[key, path] : roots) {
        DeleteKey(key, path);
        QCOMPARE(LastRegResult(), RegistryResult::AccessDenied);
    }
}

void RegistryAccessTest::missingOrDamagedHivesReadAsEmpty()
{
    // A folder without Windows has an empty registry.
    writeTestFile(m_dir->path() + "/readme.txt", "not windows");
    for (quint32 key = quint32(ClassesRoot); key <= quint32(DynData); ++key)
        QVERIFY(!KeyExists(PredefinedKey(key), ""));
    // With an installation, the two keys without an offline form stay empty.
    HiveBuilder software(hive("SOFTWARE"));
    software.addKey("Sample");
    software.commit();
    QVERIFY(KeyExists(LocalMachine, "SOFTWARE\\Sample"));
    QVERIFY(!KeyExists(PerformanceData, "Sample"));

    const QByteArray sound = readTestFile(hive("SOFTWARE"));
    QByteArray badChecksum = sound;
    badChecksum[0x1FC] = char(badChecksum[0x1FC] ^ 0x5A);
    // The root key's cell claims to run far past the end of its bin.
    QByteArray badCell = sound;
    badCell.replace(0x1020, 4, QByteArray("\x10\x00\xFF\x8F", 4));
    for (const QByteArray &bytes : {badChecksum, sound.left(0x1100), badCell, QByteArray("regf"),
                                    QByteArray(8192, '\xFF'), QByteArray()}) {
        writeTestFile(hive("SOFTWARE"), bytes);
        QVERIFY(!KeyExists(LocalMachine, "SOFTWARE\\Sample"));
        DeleteKey(LocalMachine, "SOFTWARE\\Sample");
        QVERIFY(LastRegResult() != 0);
        QCOMPARE(readTestFile(hive("SOFTWARE")), bytes);
    }
}

void RegistryAccessTest::deletions()
{
    HiveBuilder software(hive("SOFTWARE"));
    software.addKey("Vendor\\Bad\\Sub\\Deeper");
    software.setDword("Vendor\\Good", "Keep", 7);
    software.commit();

    {
        RegistrySession removal(RegistryAccess::ReadWrite);
        DeleteKey(LocalMachine, "SOFTWARE\\vendor\\BAD");
        QCOMPARE(LastRegResult(), 0);
        {
            // A scan in between reads the installation as it is on disk.
            RegistrySession scan(RegistryAccess::ReadOnly);
            QVERIFY(KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        }
        // Inside the session the change is seen before it is committed.
        QVERIFY(!KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        QCOMPARE(removal.commit(), QStringList());
    }
    QVERIFY(!KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub\\Deeper"));
    QCOMPARE(QueryValue(LocalMachine, "SOFTWARE\\Vendor\\Good", "Keep"), QVariant(qint32(7)));
}

QTEST_GUILESS_MAIN(RegistryAccessTest)
#include "tst_registry_access.moc"
