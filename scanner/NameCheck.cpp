#include "scanner/NameCheck.h"

#include "databases/DatabaseTables.h"
#include "platform/EventPump.h"
#include "scanner/CookieScan.h"
#include "scanner/NameCheckIndex.h"
#include "scanner/ScanState.h"

QString nameCheckPath(const QString &Root, const QString &FileName)
{
    QString full = Root.toLower() + FileName.toLower();
    full.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return full;
}

bool Checkfile(const QString &Root, const QString &FileName)
{
    try {
        if (FileName.isEmpty())
            return false;
        if (FileName.size() == 11 && FileName.toLower() == QLatin1String("cookies.txt")) {
            ScanMozilla(Root, FileName);
            return false;
        }
        const NameCheckIndex &index = NameCheckIndex::forTables(databaseTables());
        const qint32 entry = index.firstMatch(nameCheckPath(Root, FileName));
        // Reading the table in order sets the threat name at every header it
        // passes: up to the matching entry, or through the whole table.
        const QString *name = entry != 0 ? index.threatNameAbove(entry) : index.lastThreatName();
        if (name)
            scanState().CurrentThreatName = *name;
        EventPump::processPendingEvents();
        return entry != 0;
    } catch (...) {
        return false;
    }
}
