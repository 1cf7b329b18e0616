#include "removal/RegistryRowRemoval.h"

#include "scanner/basRegistry.h"

RegistryRowRemoval::RegistryRowRemoval(std::unique_ptr<RegistryBackend> registry)
    : m_session(std::move(registry))
{
}

RegistryRowRemoval::~RegistryRowRemoval() = default;

std::optional<RegistryRow> parseRegistryRow(const QString &location)
{
    const qsizetype slash = location.indexOf(QLatin1Char('\\'));
    if (slash < 0)
        return std::nullopt;
    RegistryRow row;
    row.rootName = location.left(slash);
    const std::optional<PredefinedKey> root = registryRootFromName(row.rootName, Qt::CaseSensitive);
    if (!root)
        return std::nullopt;
    row.root = *root;
    row.keyPath = location.mid(slash + 1);
    if (row.keyPath.contains(QLatin1Char('"'))) {
        row.valueName = GetSubKey(row.keyPath);
        row.keyPath.remove(QLatin1Char('"') + row.valueName + QLatin1Char('"'));
    }
    return row;
}

bool RegistryRowRemoval::removeRow(const QString &location)
{
    const std::optional<RegistryRow> row = parseRegistryRow(location);
    if (!row)
        return false;
    if (!row->valueName.isEmpty()) {
        m_session.DeleteValue(row->root, row->keyPath, row->valueName);
    } else {
        // A key deletion needs a key below the root: deleting the root itself
        // would empty a whole part of the registry.
        if (registryPathParts(row->keyPath).isEmpty())
            return false;
        m_session.DeleteKey(row->root, row->keyPath);
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
