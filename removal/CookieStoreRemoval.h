#pragma once

#include "scanner/CookieStoreKind.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// The store file the scan read: its device and inode then.
struct CookieStoreIdentity {
    quint64 device = 0;
    quint64 inode = 0;
};

// One column of a stored row, with the type SQLite keeps it as.
struct CookieStoreCell {
    enum class Type { Null, Integer, Real, Text, Blob };
    QByteArray column;
    Type type = Type::Null;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes; // text (as stored) or blob
    bool operator==(const CookieStoreCell &) const = default;
};

// A whole row of a store's cookie table, every column.
struct CookieStoreRowCopy {
    QByteArray table;
    QList<CookieStoreCell> cells;
    bool operator==(const CookieStoreRowCopy &) const = default;
};

// Given the rows about to go for each line asked (in the order of the lines;
// a row with every column) once they are gone from the private copy and
// before the store is replaced: the store is replaced only when it returns
// true (the quarantine has kept them).
using CookieStoreRowKeeper = std::function<bool(const QList<QList<CookieStoreRowCopy>> &rows)>;

enum class CookieStoreRemovalFailure {
    None,        // the store was changed as asked, or needed no change
    Changed,     // the name no longer leads to the scanned file: another file, a link, gone
    Locked,      // a browser has the store open
    ReadOnly,    // no owner write permission, or the store cannot be opened for writing
    Unusable,    // not a database, no cookie table or columns, damaged, more than one name
                 // (hard links), a -journal, -wal or -shm name that is not a regular file, or
                 // the changed copy failed its integrity check
    NotReplaced, // the changed copy could not be put in place (folder not writable, owner or
                 // mode not kept, the name changed meanwhile)
    NotKept,     // the keeper refused the rows: they were not taken away
};

enum class CookieLineRemoval {
    Removed,      // the rows with the line's host, path and name are gone
    NotFound,     // the store holds no row with the line's host, path and name
    Unrecognised, // no row builds this line and it does not split into its seven fields
    Failed,       // the store was not changed; the result's failure says why
};

struct CookieStoreRemovalResult {
    CookieStoreRemovalFailure failure = CookieStoreRemovalFailure::None;
    QList<CookieLineRemoval> lines; // one per line given, in the same order
};

// Deletes from the store name, in the open folder, every row whose host, path
// and name equal those of one of lines (built lines, LF included, as the
// reader handed them over), whatever its other columns; in one transaction.
//
// The store is changed only when it is still the scanned file (identity),
// has the owner's write permission, begins with the SQLite header and no
// browser has it open: SQLite's exclusive lock is held on it from the check
// to the end, and a WAL connection is looked for through its -shm.  The work
// is done in a private copy (below scratchFolder, the system's temporary
// folder when empty) that took in the store's -wal or unfinished journal;
// the copy must pass PRAGMA integrity_check.  It then replaces the store in
// its folder with the store's owner, group and mode, the consumed -wal or
// journal going with the old file; SQLite never creates a file in the
// store's folder and nothing there is opened through a link.
//
// A line's host, path and name are those of the rows whose built line equals
// it; when no row builds it (the cookie changed since the scan), the line's
// first, third and sixth field when it splits into exactly seven at its tabs.
//
// When the store is not changed for a reason of its own, every line is
// Failed and the failure says why; nothing in the folder has changed.  When
// no line finds a row, the store is left as it is.
//
// With keep, the rows about to go are handed to it before the store is
// replaced (see CookieStoreRowKeeper).
CookieStoreRemovalResult removeCookieStoreLines(int folder, const QByteArray &name,
                                                CookieStoreKind kind,
                                                const CookieStoreIdentity &scanned,
                                                const QList<QByteArray> &lines,
                                                const QString &scratchFolder = QString(),
                                                const CookieStoreRowKeeper &keep = {});

enum class CookieStoreInsertion {
    Inserted,
    Exists, // the table's unique columns say the store holds the row already
    Failed, // the store was not changed; the failure says why
};

struct CookieStoreInsertionResult {
    CookieStoreInsertion outcome = CookieStoreInsertion::Failed;
    CookieStoreRemovalFailure failure = CookieStoreRemovalFailure::None;
};

// Inserts row into the store name of the open folder (its file being
// current), under the same rules and through the same private copy as the
// removal: the columns the table still has are filled from the row; when its
// rowid is taken by now, the row gets a new one.  A table without unique
// columns (the oldest Firefox schema) may get the row twice.
CookieStoreInsertionResult insertCookieStoreRow(int folder, const QByteArray &name,
                                                CookieStoreKind kind,
                                                const CookieStoreIdentity &current,
                                                const CookieStoreRowCopy &row,
                                                const QString &scratchFolder = QString());
