#include "scanner/RegistryScan.h"

#include "scanner/RecordDetection.h"
#include "scanner/ScanSession.h"
#include "scanner/basRegistry.h"

#include <algorithm>

void ScanRegistry(ScanSession &session)
{
    const DatabaseTables &tables = session.engine().tables();
    ScanState &s = session.state();
    RegistrySession registry(session.openRegistry(RegistryAccess::ReadOnly));
    // Never beyond the entries stored, whatever the count says.
    const qint64 count = std::min<qint64>(tables.RegDbCount, tables.RegDbEntries.size() - 1);
    for (qint64 i = 1; i <= count; ++i) {
        const QString e = tables.RegDbEntries.at(i);
        if (e.startsWith(QLatin1String("***"))) {
            s.CurrentThreatName = e.mid(3);
            continue;
        }
        if (e.contains(QLatin1Char('*')))
            continue;
        // An entry without "\" or with an unknown root name names no key: it
        // is passed over and the scan goes on with the next entry.
        const qsizetype slash = e.indexOf(QLatin1Char('\\'));
        if (slash < 0)
            continue;
        const std::optional<PredefinedKey> root =
            registryRootFromName(e.left(slash), Qt::CaseInsensitive);
        if (!root)
            continue;
        QString rest = e.mid(slash + 1);
        s.CurrentRegistryEntry = e;
        QString name;
        if (rest.contains(QLatin1Char('"'))) {
            name = GetSubKey(rest);
            rest.remove(QLatin1Char('"') + name + QLatin1Char('"'));
        }
        s.ObjectsScanned += 1;
        const bool present = name.isEmpty()
                                 ? registry.KeyExists(*root, rest)
                                 : registryValueIsPresent(registry.QueryValue(*root, rest, name));
        if (present) {
            RecordDetection(session, s.CurrentThreatName, s.CurrentRegistryEntry);
            session.processEvents();
        }
    }
}
