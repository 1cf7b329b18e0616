#include "removal/RegistryRowRemoval.h"

#include "scanner/basRegistry.h"

RegistryRowRemoval::RegistryRowRemoval(std::unique_ptr<RegistryBackend> registry)
    : m_session(std::move(registry))
{
}

RegistryRowRemoval::~RegistryRowRemoval() = default;

bool RegistryRowRemoval::removeRow(const QString &location)
{
    const qsizetype slash = location.indexOf(QLatin1Char('\\'));
    if (slash < 0)
        return false;
    const std::optional<PredefinedKey> root =
        registryRootFromName(location.left(slash), Qt::CaseSensitive);
    if (!root)
        return false;
    QString keyPart = location.mid(slash + 1);
    QString name;
    if (keyPart.contains(QLatin1Char('"'))) {
        name = GetSubKey(keyPart);
        keyPart.remove(QLatin1Char('"') + name + QLatin1Char('"'));
    }
    if (!name.isEmpty()) {
        m_session.DeleteValue(*root, keyPart, name);
    } else {
        // A key deletion needs a key below the root: deleting the root itself
        // would empty a whole part of the registry.
        if (registryPathParts(keyPart).isEmpty())
            return false;
        m_session.DeleteKey(*root, keyPart);
    }
    // A key or value that is not there needs nothing; a change the registry
    // refused or could not make leaves the row to be recorded.
    const qint32 result = m_session.LastRegResult();
    return result == RegistryResult::Success || result == RegistryResult::FileNotFound;
}

QStringList RegistryRowRemoval::finish()
{
    return m_session.commit();
}
