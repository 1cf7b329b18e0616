#include "tests/support/TestTables.h"

void setTableEntries(QStringList &table, qint32 &count, const QStringList &entries)
{
    table = QStringList{QString()} + entries;
    count = qint32(entries.size());
}
