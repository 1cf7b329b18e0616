#pragma once

#include <QStringList>

// Fills one table of DatabaseTables as the loader leaves it: an empty slot 0,
// then entries, with count set to their number.
void setTableEntries(QStringList &table, qint32 &count, const QStringList &entries);
