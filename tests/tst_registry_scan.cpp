// The registry scan over the registry database: which entries are tested,
// under which key and name, what counts as present and what is recorded; and
// the removal of those rows through the same registry.
#include "removal/Removal.h"
#include "scanner/RegistryScan.h"
#include "scanner/ScanSession.h"
#include "tests/support/BorrowedRegistry.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QTest>

namespace {

// A registry that notes each question and change.  Keys and values with
// "Missing" in their names are absent; every other value is the number 0.
class RecordingRegistry final : public RegistryBackend
{
public:
    QStringList questions;
    QStringList changes;

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
    qint32 deleteValue(PredefinedKey root, const QString &subkey, const QString &name) override
    {
        changes << QString("delete value %1 %2 %3").arg(quint32(root), 0, 16).arg(subkey, name);
        return 0;
    }
    qint32 deleteKey(PredefinedKey root, const QString &subkey) override
    {
        changes << QString("delete key %1 %2").arg(quint32(root), 0, 16).arg(subkey);
        return 0;
    }
    QStringList commit() override
    {
        changes << "commit";
        return {};
    }
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
    RecordingRegistry registry;
    // The one registry of every scan and removal, and how each opened it.
    QStringList opened;
    ScanCallbacks callbacks;
    callbacks.openRegistry = [&](const QString &root, RegistryAccess access) {
        opened << root + (access == RegistryAccess::ReadOnly ? " read" : " write");
        return std::make_unique<BorrowedRegistry>(registry);
    };
    DatabaseTables tables;
    setTableEntries(
        tables.RegDbEntries, tables.RegDbCount,
        {"***Trojan.Sample", "hkey_local_machine\\Software\\Sample",
         "HKEY_LOCAL_MACHINE\\Software\\Sam*", "HKEY_LOCAL_MACHINE\\Software\\Sample\\\"Zero\"",
         "HKEY_LOCAL_MACHINE\\Software\\\"Missing\"", "HKEY_LOCAL_MACHINE\\Missing\\\"\"",
         "HKEY_LOCAL_MACHINE\\", "***Adware.Other", "HKEY_PERFORMANCE_DATA\\Counters",
         "hkey_dyn_data\\Config\\\"Value\"", "Hkey_Classes_Root\\CLSID\\",
         "HKEY_USERS\\.DEFAULT\\Software\\\"\"", "HKEY_CURRENT_CONFIG\\Software\\\"a\"\"b\"",
         // Text after the last quote is part of the name; a lone quote is dropped.
         "HKEY_CURRENT_USER\\Run\\\"Tool\"x", "HKEY_CURRENT_USER\\Run\\To\"ol",
         // No key: passed over.
         "NoRoot", "HKEY_NOWHERE\\Counters", "HKEY_LOCAL_MACHINEX\\Counters", "\\Counters",
         "HKEY_USERS\\Missing"});
    const std::unique_ptr<ScanSession> session = app.newSession(makeEngine(tables), callbacks);
    session->state().ScanRoot = app.filePath("drive/");
    ScanRegistry(*session);

    QCOMPARE(registry.questions,
             QStringList({"key 80000002 Software\\Sample", "value 80000002 Software\\Sample\\ Zero",
                          "value 80000002 Software\\ Missing", "key 80000002 Missing\\",
                          "key 80000002 ", "key 80000004 Counters", "value 80000006 Config\\ Value",
                          "key 80000000 CLSID\\", "key 80000003 .DEFAULT\\Software\\",
                          "value 80000005 Software\\\"a\" b", "value 80000001 Run\\\"Tool\"x Toolx",
                          "value 80000001 Run\\To\"ol Run\\Tool", "key 80000003 Missing"}));
    const ResultListModel &rows = session->results();
    QCOMPARE(session->state().ObjectsScanned, 13);
    QCOMPARE(rows.count(), 10);
    QCOMPARE(rows.row(2).location, tables.RegDbEntries[4]);
    QCOMPARE(rows.row(3).name, QString("Trojan.Sample"));
    QCOMPARE(rows.row(4).name, QString("Adware.Other"));

    // The removal changes the registry the scan read, opened for changes,
    // and commits once.  Rows whose root is not written in capitals are file
    // rows to the removal; "HKEY_LOCAL_MACHINE\" names no key below its root.
    RemoveListedDetections(*session);
    QCOMPARE(opened,
             QStringList({app.filePath("drive/") + " read", app.filePath("drive/") + " write"}));
    QCOMPARE(
        registry.changes,
        QStringList({"delete value 80000002 Software\\Sample\\ Zero",
                     "delete key 80000004 Counters", "delete key 80000003 .DEFAULT\\Software\\",
                     "delete value 80000005 Software\\\"a\" b",
                     "delete value 80000001 Run\\\"Tool\"x Toolx",
                     "delete value 80000001 Run\\To\"ol Run\\Tool", "commit"}));
    QCOMPARE(rows.count(), 0);

    // The count is kept to, but never reaches beyond the entries stored.
    for (const qint32 count : {3, 50}) {
        registry.questions.clear();
        tables.RegDbCount = count;
        ScanRegistry(*app.newSession(makeEngine(tables), callbacks));
        QCOMPARE(registry.questions.size(), count == 3 ? 1 : 13);
    }
}

QTEST_GUILESS_MAIN(RegistryScanTest)
#include "tst_registry_scan.moc"
