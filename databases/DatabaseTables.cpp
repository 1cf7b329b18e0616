#include "databases/DatabaseTables.h"

DatabaseTables &databaseTables()
{
    static DatabaseTables tables;
    return tables;
}

void resetDatabaseTables()
{
    databaseTables() = DatabaseTables{};
}
