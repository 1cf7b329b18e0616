#include "scanner/basRegistry.h"

#include "scanner/ScanState.h"

#include <array>

namespace {

struct RegistryModuleState {
    qint32 LastRegResult = RegistryResult::Success;
    // The registry of the open session, if any.
    RegistryBackend *session = nullptr;
    RegistryBackend *testBackend = nullptr;
};

RegistryModuleState &moduleState()
{
    static RegistryModuleState state;
    return state;
}

// The registry one operation works on: the session's, the test's, or one
// opened for this call alone (kept in oneCall).
RegistryBackend &registryFor(RegistryAccess access, std::unique_ptr<RegistryBackend> &oneCall)
{
    RegistryModuleState &state = moduleState();
    if (state.session)
        return *state.session;
    if (state.testBackend)
        return *state.testBackend;
    oneCall = openInstallationRegistry(scanState().ScanRoot, access);
    return *oneCall;
}

// Outside a session a change is made lasting at once.
qint32 commitOutsideSession(RegistryBackend &registry, qint32 result)
{
    if (moduleState().session)
        return result;
    return registry.commit().isEmpty() ? result : RegistryResult::WriteFault;
}

} // namespace

std::optional<PredefinedKey> registryRootFromName(const QString &name, Qt::CaseSensitivity cs)
{
    static const std::array<std::pair<const char *, PredefinedKey>, 7> roots{{
        {"HKEY_CLASSES_ROOT", PredefinedKey::ClassesRoot},
        {"HKEY_CURRENT_USER", PredefinedKey::CurrentUser},
        {"HKEY_LOCAL_MACHINE", PredefinedKey::LocalMachine},
        {"HKEY_USERS", PredefinedKey::Users},
        {"HKEY_PERFORMANCE_DATA", PredefinedKey::PerformanceData},
        {"HKEY_CURRENT_CONFIG", PredefinedKey::CurrentConfig},
        {"HKEY_DYN_DATA", PredefinedKey::DynData},
    }};
    for (const auto &[rootName, key] : roots) {
        if (name.compare(QLatin1String(rootName), cs) == 0)
            return key;
    }
    return std::nullopt;
}

QString GetSubKey(QString stringa)
{
    QString result;
    int quotes = 0;
    for (qsizetype i = stringa.size() - 1; i >= 0 && quotes < 2; --i) {
        if (stringa[i] == QLatin1Char('"'))
            ++quotes;
        else
            result.prepend(stringa[i]);
    }
    return result;
}

bool KeyExists(PredefinedKey root, const QString &subkey)
{
    std::unique_ptr<RegistryBackend> oneCall;
    const bool exists = registryFor(RegistryAccess::ReadOnly, oneCall).keyExists(root, subkey);
    // Closing a key that could not be opened fails with an invalid handle.
    moduleState().LastRegResult = exists ? RegistryResult::Success : RegistryResult::InvalidHandle;
    return exists;
}

QVariant QueryValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    std::unique_ptr<RegistryBackend> oneCall;
    const QVariant value =
        registryFor(RegistryAccess::ReadOnly, oneCall).queryValue(root, subkey, name);
    moduleState().LastRegResult =
        registryValueIsPresent(value) ? RegistryResult::Success : RegistryResult::FileNotFound;
    return value;
}

void DeleteValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    if (!KeyExists(root, subkey)) {
        moduleState().LastRegResult = RegistryResult::FileNotFound;
        return;
    }
    std::unique_ptr<RegistryBackend> oneCall;
    RegistryBackend &registry = registryFor(RegistryAccess::ReadWrite, oneCall);
    moduleState().LastRegResult =
        commitOutsideSession(registry, registry.deleteValue(root, subkey, name));
}

void DeleteKey(PredefinedKey root, const QString &subkey)
{
    std::unique_ptr<RegistryBackend> oneCall;
    RegistryBackend &registry = registryFor(RegistryAccess::ReadWrite, oneCall);
    moduleState().LastRegResult = commitOutsideSession(registry, registry.deleteKey(root, subkey));
}

qint32 LastRegResult()
{
    return moduleState().LastRegResult;
}

RegistrySession::RegistrySession(RegistryAccess access) : m_previous(moduleState().session)
{
    RegistryModuleState &state = moduleState();
    if (!state.testBackend)
        m_owned = openInstallationRegistry(scanState().ScanRoot, access);
    m_registry = m_owned ? m_owned.get() : state.testBackend;
    state.session = m_registry;
}

RegistrySession::~RegistrySession()
{
    moduleState().session = m_previous;
}

QStringList RegistrySession::commit()
{
    return m_registry->commit();
}

void setRegistryBackendForTesting(RegistryBackend *backend)
{
    moduleState().testBackend = backend;
}
