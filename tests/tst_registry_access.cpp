// The registry operations over the hive files of an installation folder:
// root names, value types, name matching, the mapped keys and the changes.
#include "platform/HiveFile.h"
#include "scanner/ScanState.h"
#include "scanner/basRegistry.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class RegistryAccessTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void GetSubKey_data();
    void GetSubKey();
    void rootNames();
    void valuesByTypeAndNamesWithoutCase();
    void classesRootWithManySubkeys();
    void currentControlSetAndConfig();
    void usersAndProfiles();
    void emptyRegistry();
    void damagedHivesReadAsAbsent();
    void deleteValue();
    void deleteKeyRemovesTreeInItsSession();
    void rootsAreNeverDeleted();

private:
    QString root() const { return m_dir->path(); }
    QString software() const { return machineHivePath(root(), "SOFTWARE"); }
    QStringList configFiles() const { return QDir(root() + "/Windows/System32/config").entryList(QDir::Files); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void RegistryAccessTest::init()
{
    resetScanState();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    scanState().ScanRoot = root();
}

void RegistryAccessTest::GetSubKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("name");
    QTest::newRow("value at the end") << "Software\\Run\\\"Tool\"" << "Tool";
    QTest::newRow("empty name") << "Software\\Run\\\"\"" << "";
    QTest::newRow("characters after the last quote") << "Run\\\"Tool\"x" << "Toolx";
    QTest::newRow("only the last two quotes") << "\"a\"\\\"b c\"" << "b c";
    QTest::newRow("one quote: every other character") << "Run\\To\"ol" << "Run\\Tool";
    QTest::newRow("no quote") << "Run" << "Run";
}

void RegistryAccessTest::GetSubKey()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(::GetSubKey(text), name);
}

void RegistryAccessTest::rootNames()
{
    QCOMPARE(registryRootFromName("HKEY_LOCAL_MACHINE", Qt::CaseSensitive), PredefinedKey::LocalMachine);
    QCOMPARE(registryRootFromName("hkey_current_config", Qt::CaseInsensitive), PredefinedKey::CurrentConfig);
    QCOMPARE(registryRootFromName("HKEY_DYN_DATA", Qt::CaseSensitive), PredefinedKey::DynData);
    QVERIFY(!registryRootFromName("hkey_users", Qt::CaseSensitive));
    for (const char *bad : {"HKLM", "HKEY_LOCAL_MACHINEX", ""})
        QVERIFY2(!registryRootFromName(bad, Qt::CaseInsensitive), bad);
}

void RegistryAccessTest::valuesByTypeAndNamesWithoutCase()
{
    // Folder and file names in another letter case than Windows writes them.
    HiveBuilder hive(root() + "/windows/SYSTEM32/Config/software");
    const QString key = QString::fromUtf8("Sample\\\xC3\x84rger");
    hive.setText(key, "Text", "c:\\bad.exe");
    hive.setRaw(key, "TextWithNul", hive_t_REG_SZ, registryText("first") + registryText("second"));
    hive.setRaw(key, "TextWithoutNul", hive_t_REG_SZ, QByteArray("a\0b\0", 4));
    hive.setText(key, "EmptyText", "");
    hive.setText(key, "Unicode", QString::fromUtf8("\xC3\x9C\x62\x65l \xE2\x82\xAC"));
    hive.setDword(key, "Zero", 0);
    hive.setDword(key, "AllOnes", 0xFFFFFFFF);
    hive.setRaw(key, "BigEndian", hive_t_REG_DWORD_BIG_ENDIAN, QByteArray("\0\0\0\1", 4));
    hive.setRaw(key, "Binary", hive_t_REG_BINARY, QByteArray("\1\2\3", 3));
    hive.setText(key, "Expandable", "%windir%\\x", hive_t_REG_EXPAND_SZ);
    hive.setRaw(key, "LongNumber", hive_t_REG_DWORD, QByteArray(8, '\1'));
    hive.commit();

    const auto query = [&](const QString &name) {
        return QueryValue(PredefinedKey::LocalMachine, QString::fromUtf8("software\\SAMPLE\\\xC3\xA4RGER\\"), name);
    };
    QCOMPARE(query("tEXT"), QVariant(QString("c:\\bad.exe")));
    QCOMPARE(LastRegResult(), 0);
    QCOMPARE(query("TextWithNul"), QVariant(QString("first")));
    QCOMPARE(query("TextWithoutNul"), QVariant(QString("ab")));
    QCOMPARE(query("Unicode"), QVariant(QString::fromUtf8("\xC3\x9C\x62\x65l \xE2\x82\xAC")));
    QCOMPARE(query("Zero"), QVariant(qint32(0)));
    QVERIFY(registryValueIsPresent(query("Zero")));
    QCOMPARE(query("AllOnes"), QVariant(qint32(-1)));
    for (const char *absent : {"EmptyText", "BigEndian", "Binary", "Expandable", "LongNumber", "Missing"}) {
        const QVariant value = query(absent);
        QCOMPARE(value, QVariant(QString()));
        QVERIFY2(!registryValueIsPresent(value), absent);
    }
    QVERIFY(LastRegResult() != 0);
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample"));
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sampl"));
    QVERIFY(LastRegResult() != 0);
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Missing", "Text"), QVariant(QString()));
}

void RegistryAccessTest::classesRootWithManySubkeys()
{
    QVERIFY(!KeyExists(PredefinedKey::ClassesRoot, ""));
    const int count = 500;
    HiveBuilder hive(software());
    for (int i = 0; i < count; ++i)
        hive.addKey(QString("Classes\\CLSID\\{%1-Abc}").arg(i, 8, 10, QLatin1Char('0')));
    hive.setText("Classes\\CLSID\\{0000-BAD}", "ThreadingModel", "Apartment");
    hive.commit();

    // As in a scan, the hive is opened once for all lookups.
    RegistrySession session(RegistryAccess::ReadOnly);
    int found = 0;
    for (int i = 0; i < count; ++i)
        found += KeyExists(PredefinedKey::ClassesRoot, QString("CLSID\\{%1-aBC}").arg(i, 8, 10, QLatin1Char('0')));
    QCOMPARE(found, count);
    QVERIFY(!KeyExists(PredefinedKey::ClassesRoot, "CLSID\\{00000500-ABC}"));
    QVERIFY(KeyExists(PredefinedKey::ClassesRoot, ""));
    QCOMPARE(QueryValue(PredefinedKey::ClassesRoot, "CLSID\\{0000-bad}\\", "ThreadingModel"),
             QVariant(QString("Apartment")));
    QVERIFY(!KeyExists(PredefinedKey::ClassesRoot, "Classes\\CLSID"));
}

void RegistryAccessTest::currentControlSetAndConfig()
{
    HiveBuilder system(machineHivePath(root(), "SYSTEM"));
    system.setDword("Select", "Current", 2);
    system.addKey("ControlSet001\\Services\\OldService");
    system.addKey("ControlSet002\\Services\\BadService");
    system.setText("ControlSet002\\Hardware Profiles\\0001\\Software\\Fonts", "LogPixels", "96");
    // Windows stores Hardware Profiles\Current as a link to the profile.
    system.setRaw("ControlSet002\\Hardware Profiles\\Current", "SymbolicLinkValue", hive_t_REG_LINK,
                  registryText("\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet002\\Hardware Profiles\\0001").chopped(2));
    system.commit();

    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "system\\currentcontrolset\\services\\BadService"));
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\OldService"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\ControlSet001\\Services\\OldService"));
    QVERIFY(KeyExists(PredefinedKey::CurrentConfig, ""));
    QCOMPARE(QueryValue(PredefinedKey::CurrentConfig, "Software\\Fonts", "LogPixels"), QVariant(QString("96")));
    QVERIFY(!KeyExists(PredefinedKey::CurrentConfig, "Software\\Other"));
}

void RegistryAccessTest::usersAndProfiles()
{
    HiveBuilder alice(root() + "/Users/alice/NTUSER.DAT");
    alice.setText("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "AliceTool", "a.exe");
    alice.commit();
    HiveBuilder bob(root() + "/documents and settings/Bob/ntuser.dat");
    bob.setDword("Software\\Sample", "Installed", 0);
    bob.commit();
    HiveBuilder defaults(machineHivePath(root(), "DEFAULT"));
    defaults.addKey("Software\\DefaultOnly");
    defaults.commit();
    const QString profiles = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    HiveBuilder hive(software());
    hive.setText(profiles + "S-1-5-21-1-1001", "ProfileImagePath", "%SystemDrive%\\Users\\Alice",
                 hive_t_REG_EXPAND_SZ);
    hive.setText(profiles + "S-1-5-21-1-1002", "ProfileImagePath", "C:\\Documents and Settings\\bob");
    hive.setText(profiles + "S-1-5-21-1-1003", "ProfileImagePath", "C:\\Users\\gone");
    hive.commit();

    // The current user is every profile.
    QCOMPARE(QueryValue(PredefinedKey::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "AliceTool"),
             QVariant(QString("a.exe")));
    QCOMPARE(QueryValue(PredefinedKey::CurrentUser, "Software\\Sample", "Installed"), QVariant(qint32(0)));
    QVERIFY(!KeyExists(PredefinedKey::CurrentUser, "Software\\DefaultOnly"));

    QVERIFY(KeyExists(PredefinedKey::Users, ".DEFAULT\\Software\\DefaultOnly"));
    QVERIFY(KeyExists(PredefinedKey::Users, "S-1-5-18\\Software\\DefaultOnly"));
    QVERIFY(KeyExists(PredefinedKey::Users, "S-1-5-21-1-1001\\Software\\Microsoft"));
    QVERIFY(!KeyExists(PredefinedKey::Users, "S-1-5-21-1-1001\\Software\\Sample"));
    QVERIFY(KeyExists(PredefinedKey::Users, "s-1-5-21-1-1002\\Software\\Sample"));
    QVERIFY(!KeyExists(PredefinedKey::Users, "S-1-5-21-1-1003"));
    QVERIFY(KeyExists(PredefinedKey::Users, ""));
}

void RegistryAccessTest::emptyRegistry()
{
    // A folder without Windows, and no folder at all.
    writeTestFile(root() + "/readme.txt", "not windows");
    for (const QString &scanRoot : {root(), root() + "/missing", QString()}) {
        scanState().ScanRoot = scanRoot;
        for (quint32 key = quint32(PredefinedKey::ClassesRoot); key <= quint32(PredefinedKey::DynData); ++key) {
            QVERIFY(!KeyExists(PredefinedKey(key), ""));
            QCOMPARE(QueryValue(PredefinedKey(key), "Software", "x"), QVariant(QString()));
        }
    }
    // With an installation, the two keys without an offline form stay empty.
    scanState().ScanRoot = root();
    HiveBuilder hive(software());
    hive.addKey("Global");
    hive.commit();
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, ""));
    QVERIFY(!KeyExists(PredefinedKey::PerformanceData, "Global"));
    QVERIFY(!KeyExists(PredefinedKey::DynData, ""));
}

void RegistryAccessTest::damagedHivesReadAsAbsent()
{
    {
        HiveBuilder hive(software());
        hive.addKey("Sample");
        hive.commit();
    }
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample"));
    const QByteArray sound = readTestFile(software());
    QByteArray badChecksum = sound;
    badChecksum[0x1FC] = char(badChecksum[0x1FC] ^ 0x5A);
    // The root key's cell claims to run far past the end of its bin.
    QByteArray badCell = sound;
    badCell.replace(0x1020, 4, QByteArray("\x10\x00\xFF\x8F", 4));
    for (const QByteArray &bytes : {badChecksum, sound.left(0x1100), badCell, QByteArray("regf"),
                                    QByteArray(8192, '\xFF'), QByteArray()}) {
        writeTestFile(software(), bytes);
        QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample"));
        QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample", "x"), QVariant(QString()));
        DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\Sample");
        QVERIFY(LastRegResult() != 0);
        QCOMPARE(readTestFile(software()), bytes);
    }
}

void RegistryAccessTest::deleteValue()
{
    HiveBuilder hive(software());
    hive.setText("Sample\\Run", "Tool", "x");
    hive.setDword("Sample\\Run", "Keep", 7);
    hive.setRaw("Sample\\Run", "KeepBinary", hive_t_REG_BINARY, QByteArray("\0\1\2", 3));
    hive.commit();
    const QByteArray before = readTestFile(software());

    // A missing key or value, or a root without an offline form, changes nothing.
    DeleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Missing\\", "Tool");
    QVERIFY(LastRegResult() != 0);
    DeleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run\\", "MissingValue");
    QVERIFY(LastRegResult() != 0);
    DeleteValue(PredefinedKey::PerformanceData, "Sample\\Run", "Tool");
    QVERIFY(LastRegResult() != 0);
    QCOMPARE(readTestFile(software()), before);

    // Outside a session the deletion is written at once, and only it.
    DeleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run\\", "tool");
    QCOMPARE(LastRegResult(), 0);
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run", "Tool"), QVariant(QString()));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run", "Keep"), QVariant(qint32(7)));
    const std::unique_ptr<HiveFile> file = HiveFile::open(software(), false);
    QVERIFY(file);
    const hive_node_h run = file->child(file->child(file->root(), "Sample"), "Run");
    QVERIFY(run);
    const std::optional<HiveFile::ValueData> kept = file->valueData(file->value(run, "KeepBinary"));
    QVERIFY(kept);
    QCOMPARE(kept->type, qint32(hive_t_REG_BINARY));
    QCOMPARE(kept->bytes, QByteArray("\0\1\2", 3));
    QCOMPARE(configFiles(), QStringList{"SOFTWARE"});
}

void RegistryAccessTest::deleteKeyRemovesTreeInItsSession()
{
    HiveBuilder hive(software());
    hive.setText("Vendor\\Bad", "Path", "x");
    hive.setText("Vendor\\Bad\\Sub\\Deeper", "Other", "y");
    hive.setDword("Vendor\\Bad\\Sub", "N", 1);
    hive.setText("Vendor\\Good", "Path", "z");
    hive.setText("Vendor", "Kept", "k");
    hive.commit();

    {
        RegistrySession removal(RegistryAccess::ReadWrite);
        DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\vendor\\BAD");
        QCOMPARE(LastRegResult(), 0);
        {
            // A scan in between reads the installation as it is on disk.
            RegistrySession scan(RegistryAccess::ReadOnly);
            QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        }
        // Inside the session the change is seen before it is committed.
        QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        QCOMPARE(removal.commit(), QStringList());
    }
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub\\Deeper"));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Good", "Path"), QVariant(QString("z")));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor", "Kept"), QVariant(QString("k")));
    DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad");
    QCOMPARE(LastRegResult(), RegistryResult::FileNotFound);
}

void RegistryAccessTest::rootsAreNeverDeleted()
{
    HiveBuilder hive(software());
    hive.addKey("Classes\\CLSID");
    hive.commit();
    HiveBuilder system(machineHivePath(root(), "SYSTEM"));
    system.setDword("Select", "Current", 1);
    system.addKey("ControlSet001\\Hardware Profiles\\Current\\Software");
    system.commit();
    HiveBuilder user(root() + "/Users/alice/NTUSER.DAT");
    user.addKey("Software");
    user.commit();
    const QByteArray softwareBefore = readTestFile(software());
    const QByteArray systemBefore = readTestFile(machineHivePath(root(), "SYSTEM"));

    const QList<QPair<PredefinedKey, QString>> roots{
        {PredefinedKey::LocalMachine, ""},          {PredefinedKey::LocalMachine, "SOFTWARE"},
        {PredefinedKey::LocalMachine, "\\SYSTEM\\"}, {PredefinedKey::LocalMachine, "SYSTEM\\CurrentControlSet"},
        {PredefinedKey::ClassesRoot, ""},           {PredefinedKey::CurrentConfig, ""},
        {PredefinedKey::CurrentUser, ""},           {PredefinedKey::Users, ""},
    };
    for (const auto &[key, path] : roots) {
        DeleteKey(key, path);
        QCOMPARE(LastRegResult(), RegistryResult::AccessDenied);
    }
    QCOMPARE(readTestFile(software()), softwareBefore);
    QCOMPARE(readTestFile(machineHivePath(root(), "SYSTEM")), systemBefore);
    QVERIFY(KeyExists(PredefinedKey::CurrentUser, "Software"));
}

QTEST_GUILESS_MAIN(RegistryAccessTest)
#include "tst_registry_access.moc"
