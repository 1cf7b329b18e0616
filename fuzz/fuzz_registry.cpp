// The registry scan on fuzzed registry database entries (one per input line)
// against an in-memory registry, and GetSubKey on the whole input.  The
// detections are compared with the entry rules applied here on their own:
// headers name the threat, entries with "*" or without a known root are
// passed over, a quoted name asks for a value, anything else for a key.
#include "databases/DatabaseTables.h"
#include "fuzz/FuzzEnvironment.h"
#include "platform/Cp1252.h"
#include "platform/RegistryBackend.h"
#include "scanner/RegistryScan.h"
#include "scanner/ScanSession.h"
#include "scanner/basRegistry.h"
#include "tests/support/BorrowedRegistry.h"

#include <map>
#include <set>

namespace {

QString keyId(PredefinedKey root, const QString &subkey)
{
    return QString::number(quint32(root)) + QLatin1Char('|') +
           registryPathParts(subkey).join(QLatin1Char('\\')).toLower();
}

// A small registry held in memory; it never changes.
class MemoryRegistry final : public RegistryBackend
{
public:
    MemoryRegistry()
    {
        addValue(PredefinedKey::LocalMachine, QStringLiteral("Software\\Bad\\Key"),
                 QStringLiteral("Run"), QStringLiteral("evil.exe"));
        addValue(PredefinedKey::LocalMachine, QStringLiteral("Software\\Bad\\Key"),
                 QStringLiteral("Zero"), qint32(0));
        addValue(PredefinedKey::LocalMachine, QStringLiteral("Software\\Bad\\Key"),
                 QStringLiteral("Empty"), QString());
        addValue(PredefinedKey::LocalMachine, QStringLiteral("Software\\Bad\\Key"), QString(),
                 QStringLiteral("default"));
        addValue(PredefinedKey::CurrentUser, QStringLiteral("Software\\Tracker"),
                 QStringLiteral("Id \"x\""), qint32(5));
        addKey(PredefinedKey::Users, QStringLiteral(".DEFAULT\\Software\\Spy"));
        addKey(PredefinedKey::ClassesRoot, QStringLiteral("CLSID\\{0000}"));
    }

    bool keyExists(PredefinedKey root, const QString &subkey) override
    {
        return m_keys.count(keyId(root, subkey)) != 0;
    }
    QVariant queryValue(PredefinedKey root, const QString &subkey, const QString &name) override
    {
        const auto it = m_values.find(keyId(root, subkey) + QLatin1Char('|') + name.toLower());
        return it == m_values.end() ? QVariant(QString()) : it->second;
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

private:
    void addKey(PredefinedKey root, const QString &subkey)
    {
        QString path;
        m_keys.insert(keyId(root, path));
        for (const QString &part : registryPathParts(subkey)) {
            path += QLatin1Char('\\') + part;
            m_keys.insert(keyId(root, path));
        }
    }
    void addValue(PredefinedKey root, const QString &subkey, const QString &name,
                  const QVariant &value)
    {
        addKey(root, subkey);
        m_values[keyId(root, subkey) + QLatin1Char('|') + name.toLower()] = value;
    }

    std::set<QString> m_keys;
    std::map<QString, QVariant> m_values;
};

// The value name of an entry: what lies between the last two double quotes
// and, after the last one, up to the end.
QString referenceSubKey(const QString &text)
{
    const qsizetype last = text.lastIndexOf(QLatin1Char('"'));
    if (last < 0)
        return text;
    const qsizetype before = last > 0 ? text.lastIndexOf(QLatin1Char('"'), last - 1) : -1;
    if (before < 0)
        return text.left(last) + text.mid(last + 1);
    return text.mid(before + 1, last - before - 1) + text.mid(last + 1);
}

std::optional<PredefinedKey> referenceRoot(const QString &name)
{
    static const std::pair<const char *, PredefinedKey> roots[] = {
        {"hkey_classes_root", PredefinedKey::ClassesRoot},
        {"hkey_current_user", PredefinedKey::CurrentUser},
        {"hkey_local_machine", PredefinedKey::LocalMachine},
        {"hkey_users", PredefinedKey::Users},
        {"hkey_performance_data", PredefinedKey::PerformanceData},
        {"hkey_current_config", PredefinedKey::CurrentConfig},
        {"hkey_dyn_data", PredefinedKey::DynData},
    };
    for (const auto &[text, key] : roots) {
        if (name.toLower() == QLatin1String(text))
            return key;
    }
    return std::nullopt;
}

// The registry of every scan, and the one the expected detections are read
// from.
MemoryRegistry *memoryRegistry = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    memoryRegistry = new MemoryRegistry;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString input = Cp1252::toUnicode(fuzzBytes(data, size));
    const QString subKey = GetSubKey(input);
    FUZZ_CHECK(subKey == referenceSubKey(input));
    FUZZ_CHECK(!subKey.contains(QLatin1Char('"')));

    // The entries are the database: the engine is made for them.
    DatabaseTables tables;
    tables.RegDbEntries.append(input.split(QLatin1Char('\n')));
    tables.RegDbCount = qint32(tables.RegDbEntries.size() - 1);
    ScanCallbacks callbacks;
    callbacks.openRegistry = [](const QString &, RegistryAccess) {
        return std::make_unique<BorrowedRegistry>(*memoryRegistry);
    };
    ScanSession session(makeEngine(std::move(tables)), fuzzPaths(), LanguageTexts(),
                        std::move(callbacks));
    const DatabaseTables &t = session.engine().tables();
    ScanRegistry(session);

    QList<ResultListModel::Row> expected;
    QString threat;
    qint32 checked = 0;
    for (qsizetype i = 1; i < t.RegDbEntries.size(); ++i) {
        const QString &entry = t.RegDbEntries.at(i);
        if (entry.startsWith(QLatin1String("***"))) {
            threat = entry.mid(3);
            continue;
        }
        const qsizetype slash = entry.indexOf(QLatin1Char('\\'));
        if (entry.contains(QLatin1Char('*')) || slash < 0)
            continue;
        const std::optional<PredefinedKey> root = referenceRoot(entry.left(slash));
        if (!root)
            continue;
        ++checked;
        QString path = entry.mid(slash + 1);
        bool present = false;
        QString name;
        if (path.contains(QLatin1Char('"'))) {
            name = referenceSubKey(path);
            path.remove(QLatin1Char('"') + name + QLatin1Char('"'));
        }
        // An empty value name ("") asks for the key.
        if (name.isEmpty())
            present = memoryRegistry->keyExists(*root, path);
        else
            present = registryValueIsPresent(memoryRegistry->queryValue(*root, path, name));
        if (present)
            expected.append({threat, entry, {}, {}});
    }
    const ResultListModel &list = session.results();
    FUZZ_CHECK(session.state().ObjectsScanned == checked);
    FUZZ_CHECK(list.count() == expected.size());
    for (qsizetype i = 1; i <= list.count(); ++i) {
        FUZZ_CHECK(list.row(i).name == expected.at(i - 1).name);
        FUZZ_CHECK(list.row(i).location == expected.at(i - 1).location);
    }
    return 0;
}
