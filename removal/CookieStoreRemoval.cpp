#include "removal/CookieStoreRemoval.h"

#include "platform/SqliteCompanions.h"
#include "platform/SqliteConnection.h"
#include "platform/SqliteFileLock.h"
#include "platform/SqliteSnapshot.h"
#include "platform/SqliteStoreReplacement.h"
#include "platform/UniqueFd.h"
#include "scanner/CookieStoreRows.h"
#include "scanner/CookieStoreSchema.h"

#include <sqlite3.h>

#include <QHash>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

struct RowKey {
    QByteArray host;
    QByteArray path;
    QByteArray name;
    bool operator==(const RowKey &other) const = default;
};

// The fields of a line that splits into exactly seven at its tabs, LF last.
std::optional<RowKey> splitLine(const QByteArray &line)
{
    if (!line.endsWith('\n'))
        return std::nullopt;
    const QList<QByteArray> fields = line.chopped(1).split('\t');
    if (fields.size() != 7)
        return std::nullopt;
    return RowKey{fields.at(0), fields.at(2), fields.at(5)};
}

CookieStoreRemovalFailure openFailure(int error)
{
    switch (error) {
    case ENOENT:
    case ELOOP:
    case ENOTDIR:
    case EISDIR:
    case ENXIO:
        return CookieStoreRemovalFailure::Changed;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return CookieStoreRemovalFailure::ReadOnly;
    default:
        return CookieStoreRemovalFailure::Unusable;
    }
}

// A name as SQL quotes it.
QByteArray quoted(const QByteArray &name)
{
    return '"' + QByteArray(name).replace('"', "\"\"") + '"';
}

// The test that a column equals parameter; a column that holds NULL is read
// as the empty text, and is matched so.
QByteArray equals(const QByteArray &column, int parameter)
{
    const QByteArray p = '?' + QByteArray::number(parameter);
    return "(" + quoted(column) + " = " + p + " OR (" + p + " = '' AND " + quoted(column) +
           " IS NULL))";
}

QByteArray keyCondition(const CookieStoreColumns &columns)
{
    return equals(columns.host, 1) + " AND " + equals(columns.path, 2) + " AND " +
           equals(columns.name, 3);
}

bool bindKey(sqlite3_stmt *s, const RowKey &key)
{
    sqlite3_reset(s);
    int parameter = 0;
    for (const QByteArray *text : {&key.host, &key.path, &key.name}) {
        if (sqlite3_bind_text(s, ++parameter, text->constData(), int(text->size()),
                              SQLITE_TRANSIENT) != SQLITE_OK)
            return false;
    }
    return true;
}

CookieStoreCell cellOf(sqlite3_stmt *s, int i)
{
    CookieStoreCell cell;
    cell.column = sqlite3_column_name(s, i);
    switch (sqlite3_column_type(s, i)) {
    case SQLITE_INTEGER:
        cell.type = CookieStoreCell::Type::Integer;
        cell.integer = sqlite3_column_int64(s, i);
        break;
    case SQLITE_FLOAT:
        cell.type = CookieStoreCell::Type::Real;
        cell.real = sqlite3_column_double(s, i);
        break;
    case SQLITE_TEXT:
        cell.type = CookieStoreCell::Type::Text;
        cell.bytes = QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(s, i)),
                                sqlite3_column_bytes(s, i));
        break;
    case SQLITE_BLOB:
        cell.type = CookieStoreCell::Type::Blob;
        cell.bytes = QByteArray(static_cast<const char *>(sqlite3_column_blob(s, i)),
                                sqlite3_column_bytes(s, i));
        break;
    default:
        break;
    }
    return cell;
}

// Every row of the key, every column, or none when they cannot be read.
std::optional<QList<CookieStoreRowCopy>>
wholeRows(const SqliteConnection &db, const CookieStoreColumns &columns, const RowKey &key)
{
    const SqliteStatement select =
        db.prepare("SELECT * FROM " + quoted(columns.table) + " WHERE " + keyCondition(columns));
    if (!select || !bindKey(select.get(), key))
        return std::nullopt;
    QList<CookieStoreRowCopy> rows;
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
        CookieStoreRowCopy row;
        row.table = columns.table;
        for (int i = 0; i < sqlite3_column_count(select.get()); ++i)
            row.cells.append(cellOf(select.get(), i));
        rows.append(std::move(row));
    }
    if (step != SQLITE_DONE)
        return std::nullopt;
    return rows;
}

bool passesIntegrityCheck(const SqliteConnection &db)
{
    const SqliteStatement check = db.prepare("PRAGMA integrity_check");
    if (!check || sqlite3_step(check.get()) != SQLITE_ROW)
        return false;
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(check.get(), 0));
    return text && QByteArrayView(text) == "ok" && sqlite3_step(check.get()) == SQLITE_DONE;
}

// Deletes the rows of every key, in one transaction; the number of rows each
// key took, or nullopt when the transaction failed (and was rolled back).
std::optional<QList<qint64>>
deleteRows(const SqliteConnection &db, const CookieStoreColumns &columns, const QList<RowKey> &keys)
{
    const SqliteStatement remove =
        db.prepare("DELETE FROM " + quoted(columns.table) + " WHERE " + keyCondition(columns));
    if (!remove || !db.exec("BEGIN IMMEDIATE"))
        return std::nullopt;
    QList<qint64> taken;
    for (const RowKey &key : keys) {
        sqlite3_stmt *s = remove.get();
        if (!bindKey(s, key) || sqlite3_step(s) != SQLITE_DONE) {
            db.exec("ROLLBACK");
            return std::nullopt;
        }
        taken.append(sqlite3_changes64(db.get()));
    }
    if (!db.exec("COMMIT")) {
        db.exec("ROLLBACK");
        return std::nullopt;
    }
    return taken;
}

// Whether the private copy is whole in its database file once closed: no
// log or journal left beside it.
bool settledAlone(const QByteArray &path)
{
    for (const char *suffix : {"-wal", "-journal"}) {
        struct stat st {
        };
        if (::lstat((path + suffix).constData(), &st) == 0 && st.st_size > 0)
            return false;
    }
    return true;
}

// The host, path and name each line stands for: those of the rows that build
// it, else its own fields.  keyOfLine is -1 for a line that has neither.
struct LineKeys {
    QList<RowKey> keys;
    QList<qsizetype> keyOfLine;
};

std::optional<LineKeys> keysOfLines(const SqliteConnection &db, const CookieStoreColumns &columns,
                                    const QList<QByteArray> &lines)
{
    LineKeys k;
    k.keyOfLine = QList<qsizetype>(lines.size(), -1);
    const auto keyIndex = [&](const RowKey &key) {
        qsizetype at = k.keys.indexOf(key);
        if (at < 0) {
            k.keys.append(key);
            at = k.keys.size() - 1;
        }
        return at;
    };
    QHash<QByteArray, QList<qsizetype>> wanted;
    for (qsizetype i = 0; i < lines.size(); ++i)
        wanted[lines.at(i)].append(i);
    QByteArray line;
    const CookieStoreRowsResult rows =
        forEachCookieStoreRow(db, columns, [&](const CookieStoreRow &row) {
            buildCookieStoreLine(row, line);
            const auto found = wanted.constFind(line);
            if (found != wanted.constEnd()) {
                const qsizetype key = keyIndex(
                    RowKey{row.host.toByteArray(), row.path.toByteArray(), row.name.toByteArray()});
                for (const qsizetype i : *found) {
                    if (k.keyOfLine[i] < 0)
                        k.keyOfLine[i] = key;
                }
            }
            return true;
        });
    if (rows.outcome != CookieStoreRowsOutcome::Done)
        return std::nullopt;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (k.keyOfLine[i] >= 0)
            continue;
        if (const std::optional<RowKey> key = splitLine(lines.at(i)))
            k.keyOfLine[i] = keyIndex(*key);
    }
    return k;
}

// A change of the private copy's cookie table: true when it changed it
// and the copy is to replace the store, false when nothing needs to change,
// nullopt when the copy cannot be read or changed soundly.
using CopyChange = std::function<std::optional<bool>(const SqliteConnection &db,
                                                     const CookieStoreColumns &columns)>;

// Makes change in the private copy at path and leaves the copy whole in its
// one file, checked.
std::optional<bool> changePrivateCopy(const QByteArray &path, CookieStoreKind kind,
                                      const CopyChange &change)
{
    {
        const SqliteConnection db = SqliteConnection::openPrivateFile(path);
        const CookieStoreSchema schema = cookieStoreSchema(db, kind);
        if (schema.outcome != CookieStoreSchemaOutcome::Found ||
            !db.exec("PRAGMA secure_delete=ON"))
            return std::nullopt;
        const std::optional<bool> changed = change(db, schema.columns);
        if (!changed || !*changed)
            return changed;
        if (!passesIntegrityCheck(db) || !db.exec("PRAGMA wal_checkpoint(TRUNCATE)"))
            return std::nullopt;
    }
    if (!settledAlone(path))
        return std::nullopt;
    return true;
}

// Changes the store name of the open folder, which must still be the file
// identity names, through a private copy; beforeReplace, when given, may
// still refuse the change (NotKept) once the copy is ready.  None when the
// store was changed or needed no change (*changed tells which).
CookieStoreRemovalFailure changeStore(int folder, const QByteArray &name, CookieStoreKind kind,
                                      const CookieStoreIdentity &identity,
                                      const QString &scratchFolder, const CopyChange &change,
                                      const std::function<bool()> &beforeReplace, bool *changed)
{
    *changed = false;
    if (kind == CookieStoreKind::None || folder < 0 || name.isEmpty() || name.contains('/') ||
        name == "." || name == "..")
        return CookieStoreRemovalFailure::Changed;

    const UniqueFd file(
        ::openat(folder, name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        return openFailure(errno);
    struct stat original {
    };
    if (::fstat(file.get(), &original) != 0 || !S_ISREG(original.st_mode) ||
        quint64(original.st_dev) != identity.device || quint64(original.st_ino) != identity.inode)
        return CookieStoreRemovalFailure::Changed;
    if (!(original.st_mode & S_IWUSR))
        return CookieStoreRemovalFailure::ReadOnly;
    // A store with a second name would lose it when replaced.
    if (original.st_nlink != 1 || !hasSqliteHeader(file.get()))
        return CookieStoreRemovalFailure::Unusable;
    // Held to the end: no browser can open the store while it is changed.
    const SqliteFileLock lock =
        SqliteFileLock::tryLock(file.get(), SqliteFileLock::Mode::Exclusive);
    if (!lock.isHeld())
        return CookieStoreRemovalFailure::Locked;
    const SqliteCompanions companions = SqliteCompanions::open(folder, name, file.get());
    if (companions.walInUse())
        return CookieStoreRemovalFailure::Locked;
    if (companions.anyIrregular())
        return CookieStoreRemovalFailure::Unusable;
    const std::unique_ptr<SqliteSnapshot> snapshot =
        SqliteSnapshot::make(folder, name, file.get(), scratchFolder);
    if (!snapshot)
        return CookieStoreRemovalFailure::Unusable;

    const std::optional<bool> copyChanged =
        changePrivateCopy(snapshot->databasePath(), kind, change);
    if (!copyChanged)
        return CookieStoreRemovalFailure::Unusable;
    if (!*copyChanged)
        return CookieStoreRemovalFailure::None;
    if (beforeReplace && !beforeReplace())
        return CookieStoreRemovalFailure::NotKept;

    QList<QByteArray> stale;
    if (snapshot->tookWal())
        stale.append(SqliteCompanions::walName(name));
    if (snapshot->tookJournal())
        stale.append(SqliteCompanions::journalName(name));
    if (!replaceSqliteDatabase(folder, name, original, snapshot->databasePath(), stale))
        return CookieStoreRemovalFailure::NotReplaced;
    *changed = true;
    return CookieStoreRemovalFailure::None;
}

CookieStoreRemovalResult removeLines(int folder, const QByteArray &name, CookieStoreKind kind,
                                     const CookieStoreIdentity &scanned,
                                     const QList<QByteArray> &lines, const QString &scratchFolder,
                                     const CookieStoreRowKeeper &keep)
{
    CookieStoreRemovalResult result;
    result.lines = QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed);
    // The rows each line takes away, whole, for the keeper: a row that two
    // lines stand for goes with the first.
    QList<QList<CookieStoreRowCopy>> rowsOfLines(lines.size());
    const CopyChange removal = [&](const SqliteConnection &db,
                                   const CookieStoreColumns &columns) -> std::optional<bool> {
        const std::optional<LineKeys> k = keysOfLines(db, columns, lines);
        if (!k)
            return std::nullopt;
        QList<bool> keyKept(k->keys.size(), false);
        if (keep) {
            for (qsizetype i = 0; i < lines.size(); ++i) {
                const qsizetype key = k->keyOfLine.at(i);
                if (key < 0 || keyKept[key])
                    continue;
                const std::optional<QList<CookieStoreRowCopy>> rows =
                    wholeRows(db, columns, k->keys.at(key));
                if (!rows)
                    return std::nullopt;
                rowsOfLines[i] = *rows;
                keyKept[key] = true;
            }
        }
        const std::optional<QList<qint64>> taken =
            k->keys.isEmpty() ? QList<qint64>() : deleteRows(db, columns, k->keys);
        if (!taken)
            return std::nullopt;
        bool any = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const qsizetype key = k->keyOfLine.at(i);
            const bool removed = key >= 0 && taken->at(key) > 0;
            result.lines[i] = key < 0   ? CookieLineRemoval::Unrecognised
                              : removed ? CookieLineRemoval::Removed
                                        : CookieLineRemoval::NotFound;
            any = any || removed;
        }
        return any;
    };
    const std::function<bool()> beforeReplace = [&] { return !keep || keep(rowsOfLines); };
    bool changed = false;
    result.failure =
        changeStore(folder, name, kind, scanned, scratchFolder, removal, beforeReplace, &changed);
    if (result.failure != CookieStoreRemovalFailure::None)
        result.lines = QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed);
    return result;
}

// The columns of table in the order the table has them, and whether each is
// the table's rowid alias (its one INTEGER PRIMARY KEY).
struct TableColumn {
    QByteArray name;
    bool rowidAlias = false;
};

std::optional<QList<TableColumn>> tableColumns(const SqliteConnection &db, const QByteArray &table)
{
    const SqliteStatement info = db.prepare("SELECT name, type, pk FROM pragma_table_info(?1)");
    if (!info || sqlite3_bind_text(info.get(), 1, table.constData(), int(table.size()),
                                   SQLITE_TRANSIENT) != SQLITE_OK)
        return std::nullopt;
    QList<TableColumn> columns;
    int keyColumns = 0;
    int step;
    while ((step = sqlite3_step(info.get())) == SQLITE_ROW) {
        const QByteArray type =
            QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 1)))
                .toUpper();
        const bool key = sqlite3_column_int(info.get(), 2) > 0;
        keyColumns += key ? 1 : 0;
        columns.append(
            {QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(info.get(), 0))),
             key && type == "INTEGER"});
    }
    if (step != SQLITE_DONE)
        return std::nullopt;
    // A key of several columns is no rowid alias.
    if (keyColumns > 1) {
        for (TableColumn &c : columns)
            c.rowidAlias = false;
    }
    return columns;
}

bool bindCell(sqlite3_stmt *s, int parameter, const CookieStoreCell &cell)
{
    switch (cell.type) {
    case CookieStoreCell::Type::Null:
        return sqlite3_bind_null(s, parameter) == SQLITE_OK;
    case CookieStoreCell::Type::Integer:
        return sqlite3_bind_int64(s, parameter, cell.integer) == SQLITE_OK;
    case CookieStoreCell::Type::Real:
        return sqlite3_bind_double(s, parameter, cell.real) == SQLITE_OK;
    case CookieStoreCell::Type::Text:
        return sqlite3_bind_text(s, parameter, cell.bytes.constData(), int(cell.bytes.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    case CookieStoreCell::Type::Blob:
        return sqlite3_bind_blob(s, parameter, cell.bytes.constData(), int(cell.bytes.size()),
                                 SQLITE_TRANSIENT) == SQLITE_OK;
    }
    return false;
}

const CookieStoreCell *cellNamed(const CookieStoreRowCopy &row, const QByteArray &column)
{
    for (const CookieStoreCell &cell : row.cells) {
        if (cell.column.compare(column, Qt::CaseInsensitive) == 0)
            return &cell;
    }
    return nullptr;
}

// Inserts the row, with the columns both it and the table have; with or
// without its rowid.  SQLite's (extended) result of the insert.
int insertRow(const SqliteConnection &db, const QByteArray &table,
              const QList<TableColumn> &columns, const CookieStoreRowCopy &row, bool withRowid)
{
    QList<QByteArray> names;
    QList<const CookieStoreCell *> cells;
    for (const TableColumn &column : columns) {
        const CookieStoreCell *cell = cellNamed(row, column.name);
        if (cell && (withRowid || !column.rowidAlias)) {
            names.append(quoted(column.name));
            cells.append(cell);
        }
    }
    if (names.isEmpty())
        return SQLITE_ERROR;
    QList<QByteArray> parameters;
    for (qsizetype i = 0; i < names.size(); ++i)
        parameters.append('?' + QByteArray::number(i + 1));
    const SqliteStatement insert =
        db.prepare("INSERT INTO " + quoted(table) + " (" + names.join(", ") + ") VALUES (" +
                   parameters.join(", ") + ")");
    if (!insert)
        return SQLITE_ERROR;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (!bindCell(insert.get(), int(i + 1), *cells.at(i)))
            return SQLITE_ERROR;
    }
    return sqlite3_step(insert.get());
}

CookieStoreInsertionResult insertOne(int folder, const QByteArray &name, CookieStoreKind kind,
                                     const CookieStoreIdentity &current,
                                     const CookieStoreRowCopy &row, const QString &scratchFolder)
{
    CookieStoreInsertionResult result;
    bool exists = false;
    const CopyChange insertion = [&](const SqliteConnection &db,
                                     const CookieStoreColumns &columns) -> std::optional<bool> {
        if (row.table != columns.table)
            return std::nullopt;
        const std::optional<QList<TableColumn>> tableColumnList = tableColumns(db, columns.table);
        if (!tableColumnList || !db.exec("BEGIN IMMEDIATE"))
            return std::nullopt;
        // The row's own rowid, unless another row has taken it since; a row
        // that the table's own unique columns say is there already is not
        // put in twice.
        int result = insertRow(db, columns.table, *tableColumnList, row, true);
        if (result == SQLITE_CONSTRAINT_PRIMARYKEY || result == SQLITE_CONSTRAINT_ROWID)
            result = insertRow(db, columns.table, *tableColumnList, row, false);
        if (result != SQLITE_DONE) {
            db.exec("ROLLBACK");
            exists = result == SQLITE_CONSTRAINT_UNIQUE;
            return exists ? std::optional<bool>(false) : std::nullopt;
        }
        if (!db.exec("COMMIT")) {
            db.exec("ROLLBACK");
            return std::nullopt;
        }
        return true;
    };
    bool changed = false;
    result.failure =
        changeStore(folder, name, kind, current, scratchFolder, insertion, {}, &changed);
    result.outcome = changed  ? CookieStoreInsertion::Inserted
                     : exists ? CookieStoreInsertion::Exists
                              : CookieStoreInsertion::Failed;
    if (result.outcome == CookieStoreInsertion::Failed &&
        result.failure == CookieStoreRemovalFailure::None)
        result.failure = CookieStoreRemovalFailure::Unusable;
    return result;
}

} // namespace

CookieStoreRemovalResult
removeCookieStoreLines(int folder, const QByteArray &name, CookieStoreKind kind,
                       const CookieStoreIdentity &scanned, const QList<QByteArray> &lines,
                       const QString &scratchFolder, const CookieStoreRowKeeper &keep)
{
    try {
        return removeLines(folder, name, kind, scanned, lines, scratchFolder, keep);
    } catch (...) {
        // Out of memory: every file made on the way went with its owner
        // object, and the store is replaced only as the very last step.
        CookieStoreRemovalResult result;
        result.failure = CookieStoreRemovalFailure::Unusable;
        result.lines = QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed);
        return result;
    }
}

CookieStoreInsertionResult insertCookieStoreRow(int folder, const QByteArray &name,
                                                CookieStoreKind kind,
                                                const CookieStoreIdentity &current,
                                                const CookieStoreRowCopy &row,
                                                const QString &scratchFolder)
{
    try {
        return insertOne(folder, name, kind, current, row, scratchFolder);
    } catch (...) {
        return {CookieStoreInsertion::Failed, CookieStoreRemovalFailure::Unusable};
    }
}
