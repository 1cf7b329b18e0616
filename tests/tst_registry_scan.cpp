// The registry scan over the registry database: which entries are tested,
// under which key, what counts as present and what the detections hold.
#include "databases/DatabaseTables.h"
#include "scanner/RegistryScan.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanReport.h"
#include "scanner/ScanState.h"
#include "scanner/basRegistry.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"

#include <QTemporaryDir>
#include <QTest>

namespace
{

// A registry in which every key and value exists; it notes each question.
class RecordingRegistry final : public RegistryBackend
{
public:
    QStringList questions;

    bool keyExists(PredefinedKey root, const QString &subkey) override
    {
        questions << QStringLiteral("key %1 %2").arg(quint32(root), 0, 16).arg(subkey);
        return true;
    }
    QVariant queryValue(PredefinedKey root, const QString &subkey, const QString &name) override
    {
        questions << QStringLiteral("value %1 %2 %3").arg(quint32(root), 0, 16).arg(subkey, name);
        return qint32(1);
    }
    qint32 deleteValue(PredefinedKey, const QString &, const QString &) override
    {
        return RegistryResult::AccessDenied;
    }
    qint32 deleteKey(PredefinedKey, const QString &) override
    {
        return RegistryResult::AccessDenied;
    }
    QStringList commit() override { return {}; }
};

void setRegistryDatabase(const QStringList &entries)
{
    DatabaseTables &tables = databaseTables();
    tables.RegDbEntries = QStringList{QString()} + entries;
    tables.RegDbCount = qint32(entries.size());
}

QStringList listedLocations()
{
    QStringList locations;
    for (qsizetype i = 1; i <= resultList().count(); ++i)
        locations << resultList().row(i).location;
    return locations;
}

} // namespace

class RegistryScanTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void entriesOnHives();
    void reportKeepsEntryText();
    void rootsReachTheirKeys();
    void countBeyondTheTable();

private:
    std::unique_ptr<TestAppFolder> m_app;
    std::unique_ptr<QTemporaryDir> m_install;
};

void RegistryScanTest::init()
{
    m_app = std::make_unique<TestAppFolder>();
    resetScanState();
    resultList().clear();
    m_install = std::make_unique<QTemporaryDir>();
    QVERIFY(m_install->isValid());
    scanState().ScanRoot = m_install->path();
}

void RegistryScanTest::cleanup()
{
    setRegistryBackendForTesting(nullptr);
    m_app.reset();
}

void RegistryScanTest::entriesOnHives()
{
    const QString root = m_install->path();
    HiveBuilder software(machineHivePath(root, "SOFTWARE"));
    software.setDword("Sample", "Zero", 0);
    software.setText("Sample", "Empty", "");
    software.setText("Sample", "Text", "bad.exe");
    software.setRaw("Sample", "Binary", hive_t_REG_BINARY, QByteArray("\1\2\3\4", 4));
    software.commit();
    HiveBuilder system(machineHivePath(root, "SYSTEM"));
    system.setDword("Select", "Current", 3);
    system.addKey("ControlSet003\\Services\\BadService");
    system.commit();
    HiveBuilder alice(root + "/Users/Alice/NTUSER.DAT");
    alice.addKey("Software\\AliceTool");
    alice.commit();
    HiveBuilder bob(root + "/Documents and Settings/Bob/NTUSER.DAT");
    bob.setText("Software\\BobTool", "Run", "bob.exe");
    bob.commit();

    setRegistryDatabase({
        "***Trojan.Sample",
        "hkey_local_machine\\Software\\Sample",
        "HKEY_LOCAL_MACHINE\\Software\\Sam*",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Zero\"",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Empty\"",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Binary\"",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Missing\"",
        "HKEY_LOCAL_MACHINE\\",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"\"",
        "HKEY_LOCAL_MACHINE\\Software\\Missing\\\"\"",
        "***Adware.Other",
        "HKEY_CURRENT_USER\\Software\\AliceTool",
        "HKEY_CURRENT_USER\\Software\\BobTool\\\"Run\"",
        "HKEY_CURRENT_USER\\Software\\BobTool\\\"Other\"",
        "EntryWithoutBackslash",
        "HKEY_UNKNOWN\\Software\\Sample",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\BadService",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Other",
    });
    ScanRegistry();

    const QStringList expected{
        "hkey_local_machine\\Software\\Sample",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Zero\"",
        "HKEY_LOCAL_MACHINE\\",
        "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"\"",
        "HKEY_CURRENT_USER\\Software\\AliceTool",
        "HKEY_CURRENT_USER\\Software\\BobTool\\\"Run\"",
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\BadService",
    };
    QCOMPARE(listedLocations(), expected);
    QCOMPARE(scanState().DetectionCount, qint32(expected.size()));
    // Every entry but the header, the "*" entries and the two without a key.
    QCOMPARE(scanState().ObjectsScanned, 13);
    QCOMPARE(resultList().row(1).name, QString("Trojan.Sample"));
    QCOMPARE(resultList().row(4).name, QString("Trojan.Sample"));
    QCOMPARE(resultList().row(5).name, QString("Adware.Other"));
    QCOMPARE(scanState().CurrentThreatName, QString("Adware.Other"));
    QCOMPARE(scanState().CurrentRegistryEntry,
             QString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Other"));
}

void RegistryScanTest::reportKeepsEntryText()
{
    HiveBuilder software(machineHivePath(m_install->path(), "SOFTWARE"));
    software.setText("Microsoft\\Windows\\CurrentVersion\\Run", "Bad Tool", "c:\\bad.exe");
    software.commit();
    const QString entry =
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\"Bad Tool\"";
    setRegistryDatabase({"***Spy.Run", entry});

    const QString reportPath = m_app->filePath("report.txt");
    QVERIFY(scanReport().open(reportPath));
    ScanRegistry();
    scanReport().close();

    QCOMPARE(resultList().count(), 1);
    QCOMPARE(resultList().row(1).location, entry);
    const QList<QByteArray> lines = readTestFile(reportPath).split('\n');
    QVERIFY(lines.size() >= 3);
    QVERIFY(lines[0].endsWith("SPY.RUN\r"));
    QCOMPARE(lines[1], entry.toUtf8() + "\r");
    QCOMPARE(lines[2], QByteArray(27, '-') + "\r");
}

void RegistryScanTest::rootsReachTheirKeys()
{
    RecordingRegistry registry;
    setRegistryBackendForTesting(&registry);
    setRegistryDatabase({
        "HKEY_PERFORMANCE_DATA\\Counters",
        "hkey_dyn_data\\Config\\\"Value\"",
        "Hkey_Classes_Root\\CLSID\\",
        "HKEY_USERS\\.DEFAULT\\Software\\\"\"",
        "HKEY_CURRENT_CONFIG\\Software\\\"a\"\"b\"",
        "NoRoot",
        "HKEY_NOWHERE\\Counters",
        "\\Counters",
        "HKEY_CURRENT_USER\\Software\\\"Run\"",
    });
    ScanRegistry();

    QCOMPARE(registry.questions, QStringList({
                                     "key 80000004 Counters",
                                     "value 80000006 Config\\ Value",
                                     "key 80000000 CLSID\\",
                                     "key 80000003 .DEFAULT\\Software\\",
                                     "value 80000005 Software\\\"a\" b",
                                     "value 80000001 Software\\ Run",
                                 }));
    QCOMPARE(scanState().ObjectsScanned, 6);
    QCOMPARE(scanState().DetectionCount, 6);
    QCOMPARE(resultList().count(), 6);
}

void RegistryScanTest::countBeyondTheTable()
{
    RecordingRegistry registry;
    setRegistryBackendForTesting(&registry);
    setRegistryDatabase({"HKEY_USERS\\A", "HKEY_USERS\\B", "HKEY_USERS\\C"});
    databaseTables().RegDbCount = 2;
    ScanRegistry();
    QCOMPARE(registry.questions, QStringList({"key 80000003 A", "key 80000003 B"}));

    registry.questions.clear();
    databaseTables().RegDbCount = 50;
    ScanRegistry();
    QCOMPARE(registry.questions.size(), 3);

    registry.questions.clear();
    databaseTables().RegDbCount = 0;
    ScanRegistry();
    QVERIFY(registry.questions.isEmpty());
}

QTEST_GUILESS_MAIN(RegistryScanTest)
#include "tst_registry_scan.moc"
