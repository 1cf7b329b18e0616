#include "scanner/CookieStoreReader.h"

#include "platform/SqliteCompanions.h"
#include "platform/SqliteConnection.h"
#include "platform/SqliteFileLock.h"
#include "platform/SqliteSnapshot.h"
#include "scanner/CookieScan.h"
#include "scanner/CookieStoreRows.h"
#include "scanner/CookieStoreSchema.h"

#include <sqlite3.h>

#include <sys/stat.h>

namespace {

// Whether the store file alone holds the whole committed database and no
// connection can change it behind a shared lock.
bool readableInPlace(const CookieStoreFile &store)
{
    const SqliteCompanions companions =
        SqliteCompanions::open(store.folder, store.name, store.file);
    return !companions.hasHotJournal(store.file) && !companions.hasWalContent() &&
           !companions.walInUse();
}

CookieStoreReadOutcome failureOf(const SqliteConnection &db)
{
    const int code = sqlite3_errcode(db.get()) & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB ? CookieStoreReadOutcome::NotADatabase
                                                           : CookieStoreReadOutcome::Unreadable;
}

void readRows(const SqliteConnection &db, CookieStoreKind kind, const CookieLineSink &sink,
              CookieStoreReadResult &result)
{
    const CookieStoreSchema schema = cookieStoreSchema(db, kind);
    switch (schema.outcome) {
    case CookieStoreSchemaOutcome::Found:
        break;
    case CookieStoreSchemaOutcome::NotADatabase:
        result.outcome = db.isOpen() ? failureOf(db) : CookieStoreReadOutcome::Unreadable;
        return;
    case CookieStoreSchemaOutcome::NoCookieTable:
        result.outcome = CookieStoreReadOutcome::NoCookieTable;
        return;
    case CookieStoreSchemaOutcome::MissingColumns:
        result.outcome = CookieStoreReadOutcome::MissingColumns;
        return;
    }
    QByteArray line;
    const CookieStoreRowsResult rows =
        forEachCookieStoreRow(db, schema.columns, [&](const CookieStoreRow &row) {
            buildCookieStoreLine(row, line);
            if (line.size() > kMaxCookieLineBytes) {
                ++result.rowsPassedOver;
                return true;
            }
            ++result.linesDelivered;
            return sink(line);
        });
    result.rowsPassedOver += rows.rowsPassedOver;
    switch (rows.outcome) {
    case CookieStoreRowsOutcome::Done:
        result.outcome = CookieStoreReadOutcome::Read;
        break;
    case CookieStoreRowsOutcome::Stopped:
        result.outcome = CookieStoreReadOutcome::Stopped;
        break;
    case CookieStoreRowsOutcome::Failed:
        result.outcome = failureOf(db);
        break;
    }
}

void readStore(const CookieStoreFile &store, CookieStoreKind kind, const CookieLineSink &sink,
               const QString &scratchFolder, CookieStoreReadResult &result)
{
    struct stat st {
    };
    if (kind == CookieStoreKind::None || store.file < 0 || ::fstat(store.file, &st) != 0 ||
        !S_ISREG(st.st_mode))
        return;
    if (!hasSqliteHeader(store.file)) {
        result.outcome = CookieStoreReadOutcome::NotADatabase;
        return;
    }
    // The companions are looked at again once the lock is held: a writer
    // may have been at work before.
    SqliteFileLock lock;
    if (readableInPlace(store))
        lock = SqliteFileLock::tryLock(store.file, SqliteFileLock::Mode::Shared);
    if (lock.isHeld() && readableInPlace(store)) {
        readRows(SqliteConnection::openDescriptor(store.file), kind, sink, result);
        return;
    }
    // Where it can be had, the shared lock keeps a rollback-journal writer
    // from committing while the copy is made.
    if (!lock.isHeld())
        lock = SqliteFileLock::tryLock(store.file, SqliteFileLock::Mode::Shared);
    const std::unique_ptr<SqliteSnapshot> snapshot =
        SqliteSnapshot::make(store.folder, store.name, store.file, scratchFolder);
    lock = SqliteFileLock();
    if (!snapshot)
        return;
    result.fromPrivateCopy = true;
    const SqliteConnection db = SqliteConnection::openPrivateFile(snapshot->databasePath());
    if (!db.exec("PRAGMA query_only=ON")) {
        result.outcome = failureOf(db);
        return;
    }
    readRows(db, kind, sink, result);
}

} // namespace

CookieStoreReadResult readCookieStore(const CookieStoreFile &store, CookieStoreKind kind,
                                      const CookieLineSink &sink, const QString &scratchFolder)
{
    CookieStoreReadResult result;
    try {
        readStore(store, kind, sink, scratchFolder, result);
    } catch (...) {
        // Out of memory, or thrown by the sink: the lines handed over stay.
        result.outcome = CookieStoreReadOutcome::Unreadable;
    }
    return result;
}
