#include "platform/SqliteConnection.h"

#include "platform/SqliteDescriptorVfs.h"

#include <sqlite3.h>

#include <utility>

void SqliteStatementFinalizer::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

SqliteConnection::~SqliteConnection()
{
    sqlite3_close_v2(m_db);
}

SqliteConnection::SqliteConnection(SqliteConnection &&other) noexcept
    : m_db(std::exchange(other.m_db, nullptr))
{
}

SqliteConnection &SqliteConnection::operator=(SqliteConnection &&other) noexcept
{
    if (this != &other) {
        sqlite3_close_v2(m_db);
        m_db = std::exchange(other.m_db, nullptr);
    }
    return *this;
}

SqliteConnection SqliteConnection::harden(sqlite3 *db, int openResult)
{
    SqliteConnection connection(db);
    if (openResult != SQLITE_OK)
        return {};
    sqlite3_extended_result_codes(db, 1);
    const int off[] = {SQLITE_DBCONFIG_TRUSTED_SCHEMA, SQLITE_DBCONFIG_ENABLE_TRIGGER,
#ifdef SQLITE_DBCONFIG_ENABLE_VIEW
                       SQLITE_DBCONFIG_ENABLE_VIEW,
#endif
                       SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION};
    for (const int option : off) {
        if (sqlite3_db_config(db, option, 0, nullptr) != SQLITE_OK)
            return {};
    }
    if (sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) != SQLITE_OK)
        return {};
    sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0);
    if (!connection.exec("PRAGMA temp_store=MEMORY; PRAGMA cell_size_check=ON;"))
        return {};
    return connection;
}

SqliteConnection SqliteConnection::openDescriptor(int fd)
{
    sqlite3 *db = nullptr;
    const int result = sqlite3_open_v2(SqliteDescriptorVfs::databaseName(fd).constData(), &db,
                                       SQLITE_OPEN_READONLY, SqliteDescriptorVfs::name());
    return harden(db, result);
}

SqliteConnection SqliteConnection::openPrivateFile(const QByteArray &path)
{
    sqlite3 *db = nullptr;
    const int result = sqlite3_open_v2(path.constData(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    return harden(db, result);
}

bool SqliteConnection::exec(const char *sql) const
{
    return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqliteStatement SqliteConnection::prepare(const QByteArray &sql) const
{
    sqlite3_stmt *statement = nullptr;
    if (!m_db || sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &statement, nullptr) !=
                     SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return SqliteStatement(statement);
}
