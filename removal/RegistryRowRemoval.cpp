#include "removal/RegistryRowRemoval.h"

#include "removal/QuarantineKeeping.h"
#include "removal/QuarantineStore.h"
#include "scanner/basRegistry.h"

#include <algorithm>

RegistryRowRemoval::RegistryRowRemoval(std::unique_ptr<RegistryBackend> registry,
                                       QuarantineStore *quarantine,
                                       const QByteArray &installationRoot)
    : m_session(std::move(registry)), m_quarantine(quarantine), m_root(installationRoot)
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

bool RegistryRowRemoval::removeRow(const QString &location, const QString &threat)
{
    const std::optional<RegistryRow> row = parseRegistryRow(location);
    if (!row)
        return false;
    if (row->valueName.isEmpty() && registryPathParts(row->keyPath).isEmpty())
        return false;
    std::optional<QByteArray> kept;
    QStringList stores;
    if (m_quarantine) {
        QuarantineRecord record;
        record.threat = threat;
        record.object = location;
        record.root = m_root;
        kept = keepRegistryRow(*m_quarantine, record, *row, m_session.backend(), &stores);
        if (!kept)
            return false;
    }
    if (!row->valueName.isEmpty()) {
        m_session.DeleteValue(row->root, row->keyPath, row->valueName);
    } else {
        // A key deletion needs a key below the root (checked above): deleting
        // the root itself would empty a whole part of the registry.
        m_session.DeleteKey(row->root, row->keyPath);
    }
    // A key or value that is not there needs nothing; a change the registry
    // refused or could not make leaves the row to be recorded.
    const qint32 result = m_session.LastRegResult();
    const bool removed =
        result == RegistryResult::Success || result == RegistryResult::FileNotFound;
    if (kept && !kept->isEmpty()) {
        if (removed)
            m_kept.append({*kept, stores});
        else
            m_quarantine->remove({*kept});
    }
    return removed;
}

QStringList RegistryRowRemoval::finish()
{
    const QStringList failed = m_session.commit();
    if (!m_quarantine || failed.isEmpty())
        return failed;
    // A place is named by its path below the installation's root; a failed
    // hive by its whole path.
    const auto written = [&failed](const QString &store) {
        for (const QString &f : failed) {
            if (f == store || f.endsWith(QLatin1Char('/') + store) ||
                f.endsWith(QLatin1Char('\\') + store))
                return false;
        }
        return true;
    };
    QList<QByteArray> undone;
    for (const auto &[id, stores] : m_kept) {
        if (std::none_of(stores.begin(), stores.end(), written))
            undone.append(id);
    }
    m_quarantine->remove(undone);
    return failed;
}
