#include "scanner/CookieStoreSchema.h"

#include "platform/SqliteConnection.h"

#include <sqlite3.h>

#include <QList>

#include <optional>

namespace {

// Firefox stores expiries in milliseconds from this schema version on.
constexpr qint64 kFirefoxMillisecondsVersion = 16;

QByteArray tableOf(CookieStoreKind kind)
{
    return kind == CookieStoreKind::Firefox ? QByteArray("moz_cookies") : QByteArray("cookies");
}

QByteArray quoted(const QByteArray &identifier)
{
    return '"' + identifier + '"';
}

enum class TableLookup { Found, Absent, Failed };

TableLookup lookUpTable(const SqliteConnection &db, const QByteArray &table)
{
    // An ordinary table only: a virtual table would run a module's code over
    // the file's data.
    const SqliteStatement statement =
        db.prepare("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1 "
                   "COLLATE NOCASE AND sql NOT LIKE 'CREATE VIRTUAL%'");
    if (!statement || sqlite3_bind_text(statement.get(), 1, table.constData(), int(table.size()),
                                        SQLITE_TRANSIENT) != SQLITE_OK)
        return TableLookup::Failed;
    switch (sqlite3_step(statement.get())) {
    case SQLITE_ROW:
        return TableLookup::Found;
    case SQLITE_DONE:
        return TableLookup::Absent;
    default:
        return TableLookup::Failed;
    }
}

// The table's column names in lower case, or nullopt when they cannot be read.
std::optional<QList<QByteArray>> columnsOf(const SqliteConnection &db, const QByteArray &table)
{
    const SqliteStatement statement = db.prepare("SELECT name FROM pragma_table_info(?1)");
    if (!statement || sqlite3_bind_text(statement.get(), 1, table.constData(), int(table.size()),
                                        SQLITE_TRANSIENT) != SQLITE_OK)
        return std::nullopt;
    QList<QByteArray> names;
    int step;
    while ((step = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement.get(), 0));
        names.append(QByteArray(text, sqlite3_column_bytes(statement.get(), 0)).toLower());
    }
    if (step != SQLITE_DONE)
        return std::nullopt;
    return names;
}

std::optional<qint64> userVersion(const SqliteConnection &db)
{
    const SqliteStatement statement = db.prepare("PRAGMA user_version");
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(statement.get(), 0);
}

} // namespace

bool holdsCookieTable(const SqliteConnection &db, CookieStoreKind kind)
{
    return kind != CookieStoreKind::None && db.isOpen() &&
           lookUpTable(db, tableOf(kind)) == TableLookup::Found;
}

CookieStoreSchema cookieStoreSchema(const SqliteConnection &db, CookieStoreKind kind)
{
    CookieStoreSchema schema;
    if (!db.isOpen() || kind == CookieStoreKind::None)
        return schema;
    CookieStoreColumns &c = schema.columns;
    c.table = tableOf(kind);
    switch (lookUpTable(db, c.table)) {
    case TableLookup::Failed:
        return schema;
    case TableLookup::Absent:
        schema.outcome = CookieStoreSchemaOutcome::NoCookieTable;
        return schema;
    case TableLookup::Found:
        break;
    }
    const std::optional<QList<QByteArray>> names = columnsOf(db, c.table);
    const std::optional<qint64> version = userVersion(db);
    if (!names || !version)
        return schema;
    schema.outcome = CookieStoreSchemaOutcome::MissingColumns;
    // Rows are read in rowid order; a column that takes one of the rowid's
    // names would hide it.
    for (const char *rowidName : {"rowid", "_rowid_", "oid"}) {
        if (names->contains(rowidName))
            return schema;
    }
    const auto has = [&](const char *column) {
        return names->contains(QByteArray(column).toLower());
    };
    if (kind == CookieStoreKind::Firefox) {
        c.host = "host";
        c.secure = "isSecure";
        c.expiry = "expiry";
        c.expiryUnit = *version >= kFirefoxMillisecondsVersion ? CookieExpiryUnit::UnixMilliseconds
                                                               : CookieExpiryUnit::UnixSeconds;
    } else {
        c.host = "host_key";
        c.secure = has("is_secure") ? "is_secure" : "secure";
        c.expiry = "expires_utc";
        c.expiryUnit = CookieExpiryUnit::MicrosecondsSince1601;
    }
    c.path = "path";
    c.name = "name";
    c.value = "value";
    for (const QByteArray *column : {&c.host, &c.path, &c.secure, &c.expiry, &c.name, &c.value}) {
        if (!has(column->constData()))
            return schema;
    }
    // A table declared WITHOUT ROWID has no rowid to read in order.
    const QByteArray probe = "SELECT rowid FROM " + quoted(c.table) + " LIMIT 0";
    if (!db.prepare(probe))
        return schema;
    schema.outcome = CookieStoreSchemaOutcome::Found;
    return schema;
}
