#pragma once

#include <QString>
#include <QStringList>

// The threat database tables as loaded.  Every list keeps an empty slot 0, so entry i of
// a table is list[i] for i from 1 to the count; the count never exceeds the
// entries stored.
struct DatabaseTables {
    QStringList CookDbEntries{QString()};
    qint32 CookDbCount = 0;
    QStringList MemDbEntries{QString()};
    qint32 MemDbCount = 0;
    QStringList TrojSigEntries{QString()};
    qint32 TrojSigCount = 0;
    QStringList RegDbEntries{QString()};
    qint32 RegDbCount = 0;

    QString CookDbVersion;
    QString TrojSigVersion;
    QString RegDbVersion;

    bool CookDbLoaded = false;
    bool TrojSigLoaded = false;
    bool RegDbLoaded = false;

    bool anyLoaded() const { return CookDbLoaded || TrojSigLoaded || RegDbLoaded; }
};
