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
    // A column that holds NULL is read as the empty text; it is matched so.
    const auto equals = [](const QByteArray &column, int parameter) {
        const QByteArray p = '?' + QByteArray::number(parameter);
        return "(\"" + column + "\" = " + p + " OR (" + p + " = '' AND \"" + column +
               "\" IS NULL))";
    };
    const SqliteStatement remove =
        db.prepare("DELETE FROM \"" + columns.table + "\" WHERE " + equals(columns.host, 1) +
                   " AND " + equals(columns.path, 2) + " AND " + equals(columns.name, 3));
    if (!remove || !db.exec("BEGIN IMMEDIATE"))
        return std::nullopt;
    QList<qint64> taken;
    for (const RowKey &key : keys) {
        sqlite3_stmt *s = remove.get();
        sqlite3_reset(s);
        int bound = SQLITE_OK;
        int parameter = 0;
        for (const QByteArray *text : {&key.host, &key.path, &key.name}) {
            if (bound == SQLITE_OK)
                bound = sqlite3_bind_text(s, ++parameter, text->constData(), int(text->size()),
                                          SQLITE_TRANSIENT);
        }
        if (bound != SQLITE_OK || sqlite3_step(s) != SQLITE_DONE) {
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

// Deletes the rows of lines from the private copy at path and leaves the
// copy whole in its one file, setting each line's outcome.  True when rows
// went and the copy is to replace the store, false when no line found a row,
// nullopt when the copy cannot be read or changed soundly.
std::optional<bool> changePrivateCopy(const QByteArray &path, CookieStoreKind kind,
                                      const QList<QByteArray> &lines,
                                      CookieStoreRemovalResult &result)
{
    {
        const SqliteConnection db = SqliteConnection::openPrivateFile(path);
        const CookieStoreSchema schema = cookieStoreSchema(db, kind);
        if (schema.outcome != CookieStoreSchemaOutcome::Found ||
            !db.exec("PRAGMA secure_delete=ON"))
            return std::nullopt;
        const std::optional<LineKeys> k = keysOfLines(db, schema.columns, lines);
        if (!k)
            return std::nullopt;
        const std::optional<QList<qint64>> taken =
            k->keys.isEmpty() ? QList<qint64>() : deleteRows(db, schema.columns, k->keys);
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
        if (!any)
            return false;
        if (!passesIntegrityCheck(db) || !db.exec("PRAGMA wal_checkpoint(TRUNCATE)"))
            return std::nullopt;
    }
    if (!settledAlone(path))
        return std::nullopt;
    return true;
}

CookieStoreRemovalResult removeLines(int folder, const QByteArray &name, CookieStoreKind kind,
                                     const CookieStoreIdentity &scanned,
                                     const QList<QByteArray> &lines, const QString &scratchFolder)
{
    CookieStoreRemovalResult result;
    const auto fail = [&](CookieStoreRemovalFailure failure) {
        result.failure = failure;
        result.lines = QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed);
        return result;
    };
    if (kind == CookieStoreKind::None || folder < 0 || name.isEmpty() || name.contains('/') ||
        name == "." || name == "..")
        return fail(CookieStoreRemovalFailure::Changed);

    const UniqueFd file(
        ::openat(folder, name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen())
        return fail(openFailure(errno));
    struct stat original {
    };
    if (::fstat(file.get(), &original) != 0 || !S_ISREG(original.st_mode) ||
        quint64(original.st_dev) != scanned.device || quint64(original.st_ino) != scanned.inode)
        return fail(CookieStoreRemovalFailure::Changed);
    if (!(original.st_mode & S_IWUSR))
        return fail(CookieStoreRemovalFailure::ReadOnly);
    // A store with a second name would lose it when replaced.
    if (original.st_nlink != 1 || !hasSqliteHeader(file.get()))
        return fail(CookieStoreRemovalFailure::Unusable);
    // Held to the end: no browser can open the store while it is changed.
    const SqliteFileLock lock =
        SqliteFileLock::tryLock(file.get(), SqliteFileLock::Mode::Exclusive);
    if (!lock.isHeld())
        return fail(CookieStoreRemovalFailure::Locked);
    const SqliteCompanions companions = SqliteCompanions::open(folder, name, file.get());
    if (companions.walInUse())
        return fail(CookieStoreRemovalFailure::Locked);
    if (companions.anyIrregular())
        return fail(CookieStoreRemovalFailure::Unusable);
    const std::unique_ptr<SqliteSnapshot> snapshot =
        SqliteSnapshot::make(folder, name, file.get(), scratchFolder);
    if (!snapshot)
        return fail(CookieStoreRemovalFailure::Unusable);

    result.lines = QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed);
    const std::optional<bool> changed =
        changePrivateCopy(snapshot->databasePath(), kind, lines, result);
    if (!changed)
        return fail(CookieStoreRemovalFailure::Unusable);
    if (!*changed)
        return result;

    QList<QByteArray> stale;
    if (snapshot->tookWal())
        stale.append(SqliteCompanions::walName(name));
    if (snapshot->tookJournal())
        stale.append(SqliteCompanions::journalName(name));
    if (!replaceSqliteDatabase(folder, name, original, snapshot->databasePath(), stale))
        return fail(CookieStoreRemovalFailure::NotReplaced);
    return result;
}

} // namespace

CookieStoreRemovalResult removeCookieStoreLines(int folder, const QByteArray &name,
                                                CookieStoreKind kind,
                                                const CookieStoreIdentity &scanned,
                                                const QList<QByteArray> &lines,
                                                const QString &scratchFolder)
{
    try {
        return removeLines(folder, name, kind, scanned, lines, scratchFolder);
    } catch (...) {
        // Out of memory: every file made on the way went with its owner
        // object, and the store is replaced only as the very last step.
        CookieStoreRemovalResult result;
        result.failure = CookieStoreRemovalFailure::Unusable;
        result.lines = QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed);
        return result;
    }
}
