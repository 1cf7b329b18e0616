// The registry operations over the hive files of an installation folder:
// value types, name matching, the mapped keys and the changes.
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
    // The registry of the installation in the temporary folder.
    std::unique_ptr<RegistryBackend> installation(RegistryAccess access) const
    {
        return openInstallationRegistry(m_dir->path(), access);
    }
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_config; // in another letter case than Windows writes it
};

void RegistryAccessTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
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
    RegistrySession registry(installation(RegistryAccess::ReadOnly));
    const QString key = QString::fromUtf8("software\\SAMPLE\\\xC3\xA4RGER\\");
    for (const auto &[name, type, data, read] : values)
        QCOMPARE(registry.QueryValue(LocalMachine, key, name.toUpper()), read);
    QCOMPARE(registry.QueryValue(LocalMachine, key, "Missing"), QVariant(QString()));
    QCOMPARE(registry.LastRegResult(), RegistryResult::FileNotFound);
    QVERIFY(!registry.KeyExists(LocalMachine, "SOFTWARE\\Sampl"));
    QVERIFY(!registry.KeyExists(ClassesRoot, "Classes\\CLSID"));
    QCOMPARE(registry.QueryValue(ClassesRoot, "CLSID\\{0000-bad}\\", "Model"),
             QVariant(QString("Both")));
    QCOMPARE(registry.LastRegResult(), RegistryResult::Success);
    QVERIFY(registry.KeyExists(LocalMachine, "system\\currentcontrolset\\services\\Bad"));
    QVERIFY(!registry.KeyExists(LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Old"));
    QCOMPARE(registry.QueryValue(CurrentConfig, "Software", "LogPixels"), QVariant(QString("96")));
    // The current user is every profile; a SID is the profile its ProfileList names.
    QCOMPARE(registry.QueryValue(CurrentUser, "Software\\Run", "AliceTool"),
             QVariant(QString("a")));
    QCOMPARE(registry.QueryValue(CurrentUser, "Software\\Sample", "Installed"),
             QVariant(qint32(0)));
    QVERIFY(registry.KeyExists(Users, ".DEFAULT\\Software\\DefaultOnly"));
    QVERIFY(registry.KeyExists(Users, "S-1-5-18\\Software\\DefaultOnly"));
    QVERIFY(registry.KeyExists(Users, "S-1-5-21-1001\\Software\\Run"));
    QVERIFY(registry.KeyExists(Users, "s-1-5-21-1002\\Software\\Sample"));
    QVERIFY(!registry.KeyExists(Users, "S-1-5-21-1003"));

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
    const QByteArray softwareBefore = readTestFile(hive("SOFTWARE"));
    RegistrySession writable(installation(RegistryAccess::ReadWrite));
    for (const auto &[key, path] : roots) {
        writable.DeleteKey(key, path);
        QCOMPARE(writable.LastRegResult(), RegistryResult::AccessDenied);
    }
    QCOMPARE(writable.commit(), QStringList());
    QCOMPARE(readTestFile(hive("SOFTWARE")), softwareBefore);
}

void RegistryAccessTest::missingOrDamagedHivesReadAsEmpty()
{
    // A folder without Windows has an empty registry.
    writeTestFile(m_dir->path() + "/readme.txt", "not windows");
    RegistrySession empty(installation(RegistryAccess::ReadOnly));
    for (quint32 key = quint32(ClassesRoot); key <= quint32(DynData); ++key)
        QVERIFY(!empty.KeyExists(PredefinedKey(key), ""));
    // With an installation, the two keys without an offline form stay empty.
    HiveBuilder software(hive("SOFTWARE"));
    software.addKey("Sample");
    software.commit();
    RegistrySession installed(installation(RegistryAccess::ReadOnly));
    QVERIFY(installed.KeyExists(LocalMachine, "SOFTWARE\\Sample"));
    QVERIFY(!installed.KeyExists(PerformanceData, "Sample"));

    const QByteArray sound = readTestFile(hive("SOFTWARE"));
    QByteArray badChecksum = sound;
    badChecksum[0x1FC] = char(badChecksum[0x1FC] ^ 0x5A);
    // The root key's cell claims to run far past the end of its bin.
    QByteArray badCell = sound;
    badCell.replace(0x1020, 4, QByteArray("\x10\x00\xFF\x8F", 4));
    for (const QByteArray &bytes : {badChecksum, sound.left(0x1100), badCell, QByteArray("regf"),
                                    QByteArray(8192, '\xFF'), QByteArray()}) {
        writeTestFile(hive("SOFTWARE"), bytes);
        RegistrySession damaged(installation(RegistryAccess::ReadWrite));
        QVERIFY(!damaged.KeyExists(LocalMachine, "SOFTWARE\\Sample"));
        damaged.DeleteKey(LocalMachine, "SOFTWARE\\Sample");
        QVERIFY(damaged.LastRegResult() != 0);
        // The hive that could not be opened for the change is reported.
        QCOMPARE(damaged.commit(), QStringList{hive("SOFTWARE")});
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
        // A change that is never committed is lost with its session.
        RegistrySession abandoned(installation(RegistryAccess::ReadWrite));
        abandoned.DeleteKey(LocalMachine, "SOFTWARE\\Vendor\\Good");
        QCOMPARE(abandoned.LastRegResult(), 0);
        QVERIFY(!abandoned.KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Good"));
    }
    {
        RegistrySession removal(installation(RegistryAccess::ReadWrite));
        removal.DeleteKey(LocalMachine, "SOFTWARE\\vendor\\BAD");
        QCOMPARE(removal.LastRegResult(), 0);
        {
            // A scan in between reads the installation as it is on disk.
            RegistrySession scan(installation(RegistryAccess::ReadOnly));
            QVERIFY(scan.KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        }
        // Inside the session the change is seen before it is committed.
        QVERIFY(!removal.KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        // A value of a key that is gone needs nothing.
        removal.DeleteValue(LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub", "Any");
        QCOMPARE(removal.LastRegResult(), RegistryResult::FileNotFound);
        QCOMPARE(removal.commit(), QStringList());
    }
    RegistrySession after(installation(RegistryAccess::ReadOnly));
    QVERIFY(!after.KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub\\Deeper"));
    QVERIFY(after.KeyExists(LocalMachine, "SOFTWARE\\Vendor\\Good"));
    QCOMPARE(after.QueryValue(LocalMachine, "SOFTWARE\\Vendor\\Good", "Keep"), QVariant(qint32(7)));
}

QTEST_GUILESS_MAIN(RegistryAccessTest)
#include "tst_registry_access.moc"
