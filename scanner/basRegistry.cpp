#include "scanner/basRegistry.h"

#include <array>

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

RegistrySession::RegistrySession(std::unique_ptr<RegistryBackend> registry)
    : m_registry(std::move(registry))
{
}

bool RegistrySession::KeyExists(PredefinedKey root, const QString &subkey)
{
    const bool exists = m_registry->keyExists(root, subkey);
    // Closing a key that could not be opened fails with an invalid handle.
    m_lastRegResult = exists ? RegistryResult::Success : RegistryResult::InvalidHandle;
    return exists;
}

QVariant RegistrySession::QueryValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    const QVariant value = m_registry->queryValue(root, subkey, name);
    m_lastRegResult =
        registryValueIsPresent(value) ? RegistryResult::Success : RegistryResult::FileNotFound;
    return value;
}

void RegistrySession::DeleteValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    if (!KeyExists(root, subkey)) {
        m_lastRegResult = RegistryResult::FileNotFound;
        return;
    }
    m_lastRegResult = m_registry->deleteValue(root, subkey, name);
}

void RegistrySession::DeleteKey(PredefinedKey root, const QString &subkey)
{
    m_lastRegResult = m_registry->deleteKey(root, subkey);
}

QStringList RegistrySession::commit()
{
    return m_registry->commit();
}
