#include "scanner/CookieStoreRows.h"

#include "platform/SqliteConnection.h"
#include "scanner/CookieStoreSchema.h"

#include <sqlite3.h>

#include <limits>
#include <optional>

namespace {

QByteArray quoted(const QByteArray &identifier)
{
    return '"' + identifier + '"';
}

QByteArrayView textOf(sqlite3_stmt *statement, int column)
{
    // The text form: UTF-8 for text, the bytes of a blob as they are.
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return QByteArrayView(text, text ? sqlite3_column_bytes(statement, column) : 0);
}

// The rowid of the first row after `after`, or nullopt when there is none
// or it cannot be read.  Reads no column, so a row too large to load is
// still stepped over.
std::optional<qint64> nextRowid(const SqliteConnection &db, const QByteArray &table, qint64 after)
{
    const SqliteStatement statement = db.prepare("SELECT rowid FROM " + quoted(table) +
                                                 " NOT INDEXED WHERE rowid > ?1 ORDER BY rowid "
                                                 "LIMIT 1");
    if (!statement || sqlite3_bind_int64(statement.get(), 1, after) != SQLITE_OK ||
        sqlite3_step(statement.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(statement.get(), 0);
}

// Sets the connection's largest string or blob for the object's lifetime.
class LengthLimit
{
public:
    LengthLimit(sqlite3 *db, int limit)
        : m_db(db), m_old(sqlite3_limit(db, SQLITE_LIMIT_LENGTH, limit))
    {
    }
    ~LengthLimit() { sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, m_old); }
    LengthLimit(const LengthLimit &) = delete;
    LengthLimit &operator=(const LengthLimit &) = delete;

private:
    sqlite3 *m_db;
    int m_old;
};

} // namespace

CookieStoreRowsResult
forEachCookieStoreRow(const SqliteConnection &db, const CookieStoreColumns &columns,
                      const std::function<bool(const CookieStoreRow &)> &visit)
{
    CookieStoreRowsResult result;
    if (!db.isOpen())
        return result;
    const LengthLimit limit(db.get(), kMaxCookieStoreRowBytes);
    const SqliteStatement statement =
        db.prepare("SELECT rowid, " + quoted(columns.host) + ", " + quoted(columns.path) + ", " +
                   quoted(columns.secure) + ", " + quoted(columns.expiry) + ", " +
                   quoted(columns.name) + ", " + quoted(columns.value) + " FROM " +
                   quoted(columns.table) + " NOT INDEXED WHERE rowid > ?1 ORDER BY rowid");
    if (!statement)
        return result;
    sqlite3_stmt *s = statement.get();
    qint64 after = std::numeric_limits<qint64>::min();
    for (;;) {
        sqlite3_reset(s);
        if (sqlite3_bind_int64(s, 1, after) != SQLITE_OK)
            return result;
        int step;
        while ((step = sqlite3_step(s)) == SQLITE_ROW) {
            after = sqlite3_column_int64(s, 0);
            CookieStoreRow row;
            row.host = textOf(s, 1);
            row.path = textOf(s, 2);
            row.secure = sqlite3_column_int64(s, 3) != 0;
            row.expiry = unixExpiry(sqlite3_column_int64(s, 4), columns.expiryUnit);
            row.name = textOf(s, 5);
            row.value = textOf(s, 6);
            if (!visit(row)) {
                result.outcome = CookieStoreRowsOutcome::Stopped;
                return result;
            }
        }
        if (step == SQLITE_DONE) {
            result.outcome = CookieStoreRowsOutcome::Done;
            return result;
        }
        if (step != SQLITE_TOOBIG)
            return result;
        // The row after `after` is too large: step over it and go on.
        const std::optional<qint64> large = nextRowid(db, columns.table, after);
        if (!large || *large <= after)
            return result;
        after = *large;
        ++result.rowsPassedOver;
    }
}
