// The registry scan over the registry database: which entries are tested,
// under which key and name, what counts as present and what is recorded.
#include "databases/DatabaseTables.h"
#include "scanner/RegistryScan.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "scanner/basRegistry.h"
#include "tests/support/TestAppFolder.h"

#include <QTest>

namespace {

// A registry that notes each question.  Keys and values with "Missing" in
// their names are absent; every other value is the number 0.
class RecordingRegistry final : public RegistryBackend
{
public:
    QStringList questions;

    bool keyExists(PredefinedKey root, const QString &subkey) override
    {
        questions << QString("key %1 %2").arg(quint32(root), 0, 16).arg(subkey);
        return !subkey.contains("Missing");
    }
    QVariant queryValue(PredefinedKey root, const QString &subkey, const QString &name) override
    {
        questions << QString("value %1 %2 %3").arg(quint32(root), 0, 16).arg(subkey, name);
        return name.contains("Missing") ? QVariant(QString()) : QVariant(qint32(0));
    }
    qint32 deleteValue(PredefinedKey, const QString &, const QString &) override { return 0; }
    qint32 deleteKey(PredefinedKey, const QString &) override { return 0; }
    QStringList commit() override { return {}; }
};

} // namespace

class RegistryScanTest : public QObject
{
    Q_OBJECT

private slots:
    void entriesReachTheirKeysAndDetections();
};

void RegistryScanTest::entriesReachTheirKeysAndDetections()
{
    TestAppFolder app;
    resetScanState();
    resultList().clear();
    RecordingRegistry registry;
    setRegistryBackendForTesting(&registry);
    DatabaseTables &tables = databaseTables();
    tables.RegDbEntries = QStringList{
        QString(), "***Trojan.Sample", "hkey_local_machine\\Software\\Sample",
        "HKEY_LOCAL_MACHINE\\Software\\Sam*", "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Zero\"",
        "HKEY_LOCAL_MACHINE\\Software\\\"Missing\"", "HKEY_LOCAL_MACHINE\\Missing\\\"\"",
        "HKEY_LOCAL_MACHINE\\", "***Adware.Other", "HKEY_PERFORMANCE_DATA\\Counters",
        "hkey_dyn_data\\Config\\\"Value\"", "Hkey_Classes_Root\\CLSID\\",
        "HKEY_USERS\\.DEFAULT\\Software\\\"\"", "HKEY_CURRENT_CONFIG\\Software\\\"a\"\"b\"",
        // Text after the last quote is part of the name; a lone quote is dropped.
        "HKEY_CURRENT_USER\\Run\\\"Tool\"x", "HKEY_CURRENT_USER\\Run\\To\"ol",
        // No key: passed over.
        "NoRoot", "HKEY_NOWHERE\\Counters", "HKEY_LOCAL_MACHINEX\\Counters", "\\Counters",
        "HKEY_USERS\\Missing"};
    tables.RegDbCount = 21;
    ScanRegistry();

    QCOMPARE(registry.questions,
             QStringList({"key 80000002 Software\\Sample", "value 80000002 Software\\Sample\\ Zero",
                          "value 80000002 Software\\ Missing", "key 80000002 Missing\\",
                          "key 80000002 ", "key 80000004 Counters", "value 80000006 Config\\ Value",
                          "key 80000000 CLSID\\", "key 80000003 .DEFAULT\\Software\\",
                          "value 80000005 Software\\\"a\" b", "value 80000001 Run\\\"Tool\"x Toolx",
                          "value 80000001 Run\\To\"ol Run\\Tool", "key 80000003 Missing"}));
    QCOMPARE(scanState().ObjectsScanned, 13);
    QCOMPARE(resultList().count(), 10);
    QCOMPARE(resultList().row(2).location, tables.RegDbEntries[4]);
    QCOMPARE(resultList().row(3).name, QString("Trojan.Sample"));
    QCOMPARE(resultList().row(4).name, QString("Adware.Other"));

    // The count is kept to, but never reaches beyond the entries stored.
    for (const qint32 count : {3, 50}) {
        registry.questions.clear();
        tables.RegDbCount = count;
        ScanRegistry();
        QCOMPARE(registry.questions.size(), count == 3 ? 1 : 13);
    }
    setRegistryBackendForTesting(nullptr);
}

QTEST_GUILESS_MAIN(RegistryScanTest)
#include "tst_registry_scan.moc"
