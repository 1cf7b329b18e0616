#pragma once

#include <QByteArray>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

struct SqliteStatementFinalizer {
    void operator()(sqlite3_stmt *statement) const;
};
// A prepared statement, finalized when it goes.
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteStatementFinalizer>;

// One connection to a database that may come from anyone: the schema is not
// trusted (no triggers, no views, no functions with side effects in it),
// nothing can be attached, no extension loaded, temporary data stays in
// memory and a damaged page is noticed early.  Closed when the object goes.
class SqliteConnection
{
public:
    SqliteConnection() = default;
    ~SqliteConnection();
    SqliteConnection(SqliteConnection &&other) noexcept;
    SqliteConnection &operator=(SqliteConnection &&other) noexcept;

    // Reads the database in the open file fd as it stands, through
    // SqliteDescriptorVfs: no path is looked up, no lock taken, no journal
    // or -wal looked at, nothing written.
    static SqliteConnection openDescriptor(int fd);
    // Opens the database file at path for reading and writing.  Only for a
    // copy in a folder of this process's own: SQLite creates its journal,
    // -wal and -shm beside it, and rolls back or replays what it finds there.
    static SqliteConnection openPrivateFile(const QByteArray &path);

    bool isOpen() const { return m_db != nullptr; }
    sqlite3 *get() const { return m_db; }

    // Runs statements that return no rows; false on any error.
    bool exec(const char *sql) const;
    // A prepared statement, or null on error.
    SqliteStatement prepare(const QByteArray &sql) const;

private:
    explicit SqliteConnection(sqlite3 *db) : m_db(db) {}
    static SqliteConnection harden(sqlite3 *db, int openResult);
    sqlite3 *m_db = nullptr;
};
