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
    void valuesByType();
    void namesMatchWithoutCase();
    void keyWithManySubkeys();
    void currentControlSetAndConfig();
    void classesRoot();
    void usersAndProfiles();
    void emptyRegistry();
    void damagedHivesReadAsAbsent();
    void deleteValueOnMissingKeyDoesNothing();
    void deleteValueOutsideSession();
    void deleteKeyRemovesTree();
    void rootsAreNeverDeleted();
    void sessionsTakeTurns();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString root() const { return m_dir->path(); }
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
    QTest::newRow("value at the end") << "Software\\Run\\\"Tool\""
                                      << "Tool";
    QTest::newRow("empty name") << "Software\\Run\\\"\""
                                << "";
    QTest::newRow("characters after the last quote") << "Run\\\"Tool\"x"
                                                     << "Toolx";
    QTest::newRow("only the last two quotes") << "\"a\"\\\"b c\""
                                              << "b c";
    QTest::newRow("one quote: every other character") << "Run\\To\"ol"
                                                      << "Run\\Tool";
    QTest::newRow("no quote") << "Run"
                              << "Run";
    QTest::newRow("empty text") << ""
                                << "";
}

void RegistryAccessTest::GetSubKey()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QCOMPARE(::GetSubKey(text), name);
}

void RegistryAccessTest::rootNames()
{
    const QList<QPair<QString, PredefinedKey>> names{
        {"HKEY_CLASSES_ROOT", PredefinedKey::ClassesRoot},
        {"HKEY_CURRENT_USER", PredefinedKey::CurrentUser},
        {"HKEY_LOCAL_MACHINE", PredefinedKey::LocalMachine},
        {"HKEY_USERS", PredefinedKey::Users},
        {"HKEY_PERFORMANCE_DATA", PredefinedKey::PerformanceData},
        {"HKEY_CURRENT_CONFIG", PredefinedKey::CurrentConfig},
        {"HKEY_DYN_DATA", PredefinedKey::DynData},
    };
    for (const auto &[name, key] : names) {
        QCOMPARE(registryRootFromName(name, Qt::CaseSensitive), key);
        QCOMPARE(registryRootFromName(name.toLower(), Qt::CaseInsensitive), key);
        QVERIFY(!registryRootFromName(name.toLower(), Qt::CaseSensitive));
    }
    QCOMPARE(quint32(PredefinedKey::ClassesRoot), 0x80000000u);
    QCOMPARE(quint32(PredefinedKey::DynData), 0x80000006u);
    QVERIFY(!registryRootFromName("HKLM", Qt::CaseInsensitive));
    QVERIFY(!registryRootFromName("HKEY_LOCAL_MACHINEX", Qt::CaseInsensitive));
    QVERIFY(!registryRootFromName("", Qt::CaseInsensitive));
}

void RegistryAccessTest::valuesByType()
{
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    const QString key = "Sample\\Values";
    software.setText(key, "Text", "c:\\bad.exe");
    software.setRaw(key, "TextWithNul", hive_t_REG_SZ,
                    registryText("first") + registryText("second"));
    software.setRaw(key, "TextWithoutNul", hive_t_REG_SZ, QByteArray("a\0b\0", 4));
    software.setText(key, "EmptyText", "");
    software.setText(key, "Unicode", QString::fromUtf8("\xC3\x9C\x62\x65l \xE2\x82\xAC"));
    software.setDword(key, "Zero", 0);
    software.setDword(key, "AllOnes", 0xFFFFFFFF);
    software.setRaw(key, "BigEndian", hive_t_REG_DWORD_BIG_ENDIAN, QByteArray("\0\0\0\1", 4));
    software.setRaw(key, "Binary", hive_t_REG_BINARY, QByteArray("\1\2\3", 3));
    software.setText(key, "Expandable", "%windir%\\x", hive_t_REG_EXPAND_SZ);
    software.setRaw(key, "LongNumber", hive_t_REG_DWORD, QByteArray(8, '\1'));
    software.commit();

    const auto query = [&](const QString &name) {
        return QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\" + key, name);
    };
    QCOMPARE(query("Text"), QVariant(QString("c:\\bad.exe")));
    QCOMPARE(LastRegResult(), 0);
    QCOMPARE(query("TextWithNul"), QVariant(QString("first")));
    QCOMPARE(query("TextWithoutNul"), QVariant(QString("ab")));
    QCOMPARE(query("Unicode"), QVariant(QString::fromUtf8("\xC3\x9C\x62\x65l \xE2\x82\xAC")));
    QCOMPARE(query("Zero"), QVariant(qint32(0)));
    QVERIFY(registryValueIsPresent(query("Zero")));
    QCOMPARE(query("AllOnes"), QVariant(qint32(-1)));
    for (const char *absent :
         {"EmptyText", "BigEndian", "Binary", "Expandable", "LongNumber", "Missing"}) {
        const QVariant value = query(absent);
        QCOMPARE(value, QVariant(QString()));
        QVERIFY2(!registryValueIsPresent(value), absent);
    }
    QVERIFY(LastRegResult() != 0);
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Missing", "Text"),
             QVariant(QString()));
}

void RegistryAccessTest::namesMatchWithoutCase()
{
    // Folder and file names in another letter case than Windows writes them.
    HiveBuilder software(root() + "/windows/SYSTEM32/Config/software");
    software.setText(QString::fromUtf8("Sample\\\xC3\x84rger"), "ToOl", "x");
    software.commit();

    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample"));
    QCOMPARE(LastRegResult(), 0);
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "software\\SAMPLE\\"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine,
                      QString::fromUtf8("Software\\sample\\\xC3\xA4RGER")));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine,
                        QString::fromUtf8("SOFTWARE\\Sample\\\xC3\x84rger\\"), "tool"),
             QVariant(QString("x")));
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sampl"));
    QVERIFY(LastRegResult() != 0);
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Other"));
}

void RegistryAccessTest::keyWithManySubkeys()
{
    const int count = 500;
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    for (int i = 0; i < count; ++i)
        software.addKey(QString("Classes\\CLSID\\{%1-Abc}").arg(i, 8, 10, QLatin1Char('0')));
    software.commit();

    // As in a scan, the hive is opened once for all lookups.
    RegistrySession session(RegistryAccess::ReadOnly);
    int found = 0;
    for (int i = 0; i < count; ++i) {
        const QString clsid = QString("CLSID\\{%1-aBC}").arg(i, 8, 10, QLatin1Char('0'));
        found += KeyExists(PredefinedKey::ClassesRoot, clsid) ? 1 : 0;
    }
    QCOMPARE(found, count);
    QVERIFY(!KeyExists(PredefinedKey::ClassesRoot, "CLSID\\{00000500-ABC}"));
}

void RegistryAccessTest::currentControlSetAndConfig()
{
    HiveBuilder system(machineHivePath(root(), "SYSTEM"));
    system.setDword("Select", "Current", 2);
    system.addKey("ControlSet001\\Services\\OldService");
    system.addKey("ControlSet002\\Services\\BadService");
    system.setText("ControlSet002\\Hardware Profiles\\0001\\Software\\Fonts", "LogPixels", "96");
    // Windows stores Hardware Profiles\Current as a link to the profile.
    system.setRaw(
        "ControlSet002\\Hardware Profiles\\Current", "SymbolicLinkValue", hive_t_REG_LINK,
        registryText("\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet002\\Hardware Profiles\\0001")
            .chopped(2));
    system.commit();

    QVERIFY(
        KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\BadService"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "system\\currentcontrolset\\services"));
    QVERIFY(
        !KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\OldService"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\ControlSet001\\Services\\OldService"));
    QVERIFY(KeyExists(PredefinedKey::CurrentConfig, "Software\\Fonts"));
    QVERIFY(KeyExists(PredefinedKey::CurrentConfig, ""));
    QCOMPARE(QueryValue(PredefinedKey::CurrentConfig, "Software\\Fonts", "LogPixels"),
             QVariant(QString("96")));
    QVERIFY(!KeyExists(PredefinedKey::CurrentConfig, "Software\\Other"));
}

void RegistryAccessTest::classesRoot()
{
    QVERIFY(!KeyExists(PredefinedKey::ClassesRoot, ""));
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.setText("Classes\\CLSID\\{0000-BAD}", "", "Bad helper");
    software.setText("Classes\\CLSID\\{0000-BAD}", "ThreadingModel", "Apartment");
    software.commit();

    QVERIFY(KeyExists(PredefinedKey::ClassesRoot, ""));
    QVERIFY(KeyExists(PredefinedKey::ClassesRoot, "CLSID\\{0000-bad}"));
    QCOMPARE(QueryValue(PredefinedKey::ClassesRoot, "CLSID\\{0000-BAD}\\", "ThreadingModel"),
             QVariant(QString("Apartment")));
    QVERIFY(!KeyExists(PredefinedKey::ClassesRoot, "Classes\\CLSID"));
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
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.setText(profiles + "S-1-5-21-1-1001", "ProfileImagePath",
                     "%SystemDrive%\\Users\\Alice", hive_t_REG_EXPAND_SZ);
    software.setText(profiles + "S-1-5-21-1-1002", "ProfileImagePath",
                     "C:\\Documents and Settings\\bob");
    software.setText(profiles + "S-1-5-21-1-1003", "ProfileImagePath", "C:\\Users\\gone");
    software.commit();

    // The current user is every profile.
    QCOMPARE(QueryValue(PredefinedKey::CurrentUser,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "AliceTool"),
             QVariant(QString("a.exe")));
    QCOMPARE(QueryValue(PredefinedKey::CurrentUser, "Software\\Sample", "Installed"),
             QVariant(qint32(0)));
    QVERIFY(KeyExists(PredefinedKey::CurrentUser, "Software\\Sample"));
    QVERIFY(!KeyExists(PredefinedKey::CurrentUser, "Software\\DefaultOnly"));

    QVERIFY(KeyExists(PredefinedKey::Users, ".DEFAULT\\Software\\DefaultOnly"));
    QVERIFY(KeyExists(PredefinedKey::Users, "S-1-5-18\\Software\\DefaultOnly"));
    QVERIFY(KeyExists(PredefinedKey::Users, "S-1-5-21-1-1001\\Software\\Microsoft"));
    QVERIFY(!KeyExists(PredefinedKey::Users, "S-1-5-21-1-1001\\Software\\Sample"));
    QVERIFY(KeyExists(PredefinedKey::Users, "s-1-5-21-1-1002\\Software\\Sample"));
    QVERIFY(!KeyExists(PredefinedKey::Users, "S-1-5-21-1-1003"));
    QVERIFY(!KeyExists(PredefinedKey::Users, "S-1-5-21-1-1004"));
    QVERIFY(KeyExists(PredefinedKey::Users, ""));
}

void RegistryAccessTest::emptyRegistry()
{
    const QList<PredefinedKey> roots{PredefinedKey::ClassesRoot,     PredefinedKey::CurrentUser,
                                     PredefinedKey::LocalMachine,    PredefinedKey::Users,
                                     PredefinedKey::PerformanceData, PredefinedKey::CurrentConfig,
                                     PredefinedKey::DynData};
    // A folder without Windows, and no folder at all.
    writeTestFile(root() + "/readme.txt", "not windows");
    for (const QString &scanRoot : {root(), root() + "/missing", QString()}) {
        scanState().ScanRoot = scanRoot;
        for (const PredefinedKey key : roots) {
            QVERIFY(!KeyExists(key, ""));
            QVERIFY(!KeyExists(key, "Software"));
            QCOMPARE(QueryValue(key, "Software", "x"), QVariant(QString()));
        }
    }
    // With an installation, the two keys without an offline form stay empty.
    scanState().ScanRoot = root();
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.addKey("Global");
    software.commit();
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, ""));
    QVERIFY(!KeyExists(PredefinedKey::PerformanceData, ""));
    QVERIFY(!KeyExists(PredefinedKey::PerformanceData, "Global"));
    QVERIFY(!KeyExists(PredefinedKey::DynData, ""));
}

void RegistryAccessTest::damagedHivesReadAsAbsent()
{
    {
        HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
        software.addKey("Sample");
        software.commit();
    }
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample"));
    const QByteArray sound = readTestFile(machineHivePath(root(), "SOFTWARE"));

    QByteArray badChecksum = sound;
    badChecksum[0x1FC] = char(badChecksum[0x1FC] ^ 0x5A);
    QByteArray truncated = sound.left(0x1100);
    QByteArray badCell = sound;
    // The root key's cell claims to run far past the end of its bin.
    badCell[0x1020] = 0x10;
    badCell[0x1021] = 0x00;
    badCell[0x1022] = 0xFF;
    badCell[0x1023] = char(0x8F);
    const QList<QByteArray> damaged{
        badChecksum, truncated, badCell, QByteArray("regf"), QByteArray(8192, '\xFF'),
        QByteArray()};
    for (const QByteArray &bytes : damaged) {
        writeTestFile(machineHivePath(root(), "SOFTWARE"), bytes);
        QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Sample"));
        QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample", "x"),
                 QVariant(QString()));
        DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\Sample");
        QVERIFY(LastRegResult() != 0);
        QCOMPARE(readTestFile(machineHivePath(root(), "SOFTWARE")), bytes);
    }
}

void RegistryAccessTest::deleteValueOnMissingKeyDoesNothing()
{
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.setText("Sample", "Tool", "x");
    software.commit();
    const QByteArray before = readTestFile(machineHivePath(root(), "SOFTWARE"));

    DeleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Missing\\", "Tool");
    QVERIFY(LastRegResult() != 0);
    DeleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\", "MissingValue");
    QVERIFY(LastRegResult() != 0);
    DeleteValue(PredefinedKey::PerformanceData, "Sample", "Tool");
    QVERIFY(LastRegResult() != 0);
    QCOMPARE(readTestFile(machineHivePath(root(), "SOFTWARE")), before);
    QCOMPARE(QDir(root() + "/Windows/System32/config").entryList(QDir::Files),
             QStringList{"SOFTWARE"});
}

void RegistryAccessTest::deleteValueOutsideSession()
{
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.setText("Sample\\Run", "Tool", "x");
    software.setDword("Sample\\Run", "Keep", 7);
    software.setRaw("Sample\\Run", "KeepBinary", hive_t_REG_BINARY, QByteArray("\0\1\2", 3));
    software.commit();

    DeleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run\\", "tool");
    QCOMPARE(LastRegResult(), 0);
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run", "Tool"),
             QVariant(QString()));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Sample\\Run", "Keep"),
             QVariant(qint32(7)));
    HiveFile::ValueData kept;
    {
        const std::unique_ptr<HiveFile> hive =
            HiveFile::open(machineHivePath(root(), "SOFTWARE"), false);
        QVERIFY(hive);
        const hive_node_h run = hive->child(hive->child(hive->root(), "Sample"), "Run");
        QVERIFY(run);
        const std::optional<HiveFile::ValueData> data =
            hive->valueData(hive->value(run, "KeepBinary"));
        QVERIFY(data);
        kept = *data;
    }
    QCOMPARE(kept.type, qint32(hive_t_REG_BINARY));
    QCOMPARE(kept.bytes, QByteArray("\0\1\2", 3));
    // Nothing is left beside the hive.
    QCOMPARE(QDir(root() + "/Windows/System32/config").entryList(QDir::Files),
             QStringList{"SOFTWARE"});
}

void RegistryAccessTest::deleteKeyRemovesTree()
{
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.setText("Vendor\\Bad", "Path", "x");
    software.setText("Vendor\\Bad\\Sub\\Deeper", "Other", "y");
    software.setDword("Vendor\\Bad\\Sub", "N", 1);
    software.setText("Vendor\\Good", "Path", "z");
    software.setText("Vendor", "Kept", "k");
    software.commit();

    {
        RegistrySession session(RegistryAccess::ReadWrite);
        DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\vendor\\BAD");
        QCOMPARE(LastRegResult(), 0);
        // Inside the session the change is seen before it is committed.
        QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        QCOMPARE(session.commit(), QStringList());
    }
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad\\Sub\\Deeper"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Good"));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Good", "Path"),
             QVariant(QString("z")));
    QCOMPARE(QueryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor", "Kept"),
             QVariant(QString("k")));

    DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad");
    QCOMPARE(LastRegResult(), RegistryResult::FileNotFound);
}

void RegistryAccessTest::rootsAreNeverDeleted()
{
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.addKey("Classes\\CLSID");
    software.commit();
    HiveBuilder system(machineHivePath(root(), "SYSTEM"));
    system.setDword("Select", "Current", 1);
    system.addKey("ControlSet001\\Hardware Profiles\\Current\\Software");
    system.commit();
    HiveBuilder user(root() + "/Users/alice/NTUSER.DAT");
    user.addKey("Software");
    user.commit();
    const QByteArray softwareBefore = readTestFile(machineHivePath(root(), "SOFTWARE"));
    const QByteArray systemBefore = readTestFile(machineHivePath(root(), "SYSTEM"));

    const QList<QPair<PredefinedKey, QString>> roots{
        {PredefinedKey::LocalMachine, ""},
        {PredefinedKey::LocalMachine, "SOFTWARE"},
        {PredefinedKey::LocalMachine, "\\SYSTEM\\"},
        {PredefinedKey::LocalMachine, "SYSTEM\\CurrentControlSet"},
        {PredefinedKey::ClassesRoot, ""},
        {PredefinedKey::CurrentConfig, ""},
        {PredefinedKey::CurrentUser, ""},
        {PredefinedKey::Users, ""},
    };
    for (const auto &[key, path] : roots) {
        DeleteKey(key, path);
        QCOMPARE(LastRegResult(), RegistryResult::AccessDenied);
    }
    QCOMPARE(readTestFile(machineHivePath(root(), "SOFTWARE")), softwareBefore);
    QCOMPARE(readTestFile(machineHivePath(root(), "SYSTEM")), systemBefore);
    QVERIFY(KeyExists(PredefinedKey::CurrentUser, "Software"));
    QVERIFY(KeyExists(PredefinedKey::ClassesRoot, "CLSID"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SYSTEM\\ControlSet001\\Hardware Profiles"));
}

void RegistryAccessTest::sessionsTakeTurns()
{
    HiveBuilder software(machineHivePath(root(), "SOFTWARE"));
    software.addKey("Vendor\\Bad");
    software.commit();

    RegistrySession removal(RegistryAccess::ReadWrite);
    DeleteKey(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad");
    QCOMPARE(LastRegResult(), 0);
    {
        // A scan in between reads the installation as it is on disk.
        RegistrySession scan(RegistryAccess::ReadOnly);
        QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    }
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QCOMPARE(removal.commit(), QStringList());
    RegistrySession later(RegistryAccess::ReadOnly);
    QVERIFY(!KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor\\Bad"));
    QVERIFY(KeyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Vendor"));
}

QTEST_GUILESS_MAIN(RegistryAccessTest)
#include "tst_registry_access.moc"
