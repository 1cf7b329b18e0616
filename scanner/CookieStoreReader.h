#pragma once

#include "scanner/CookieStoreKind.h"

#include <QByteArray>
#include <QString>

#include <functional>

// A store as the walk holds it.  The descriptors are only borrowed: the
// reader does not close them, and what it locks it unlocks before returning.
struct CookieStoreFile {
    // The open folder the store lies in, where its -journal, -wal and -shm
    // files are looked for (never through a link); -1 to read the store file
    // alone.
    int folder = -1;
    // The store's name in that folder, in the file system's bytes.
    QByteArray name;
    // The store itself, opened for reading without following a link.
    int file = -1;
};

enum class CookieStoreReadOutcome {
    Read,           // every row was read (rows too large for a line passed over)
    Stopped,        // the sink asked to stop
    NotADatabase,   // not an SQLite database, or damaged where it was read
    NoCookieTable,  // a database without the browser's cookie table
    MissingColumns, // the cookie table lacks a column the line needs
    Unreadable,     // could not be read, nor a consistent copy of it made
};

struct CookieStoreReadResult {
    CookieStoreReadOutcome outcome = CookieStoreReadOutcome::Unreadable;
    qint64 linesDelivered = 0;
    // Rows whose line would be longer than kMaxCookieLineBytes, or whose
    // columns together exceed kMaxCookieStoreRowBytes: not handed over.
    qint64 rowsPassedOver = 0;
    // The rows came from a private copy, not from the store file itself.
    bool fromPrivateCopy = false;
};

// Receives one built line (see buildCookieStoreLine); returns false to stop
// the reading.  The line may be kept: it is an implicitly shared copy.
using CookieLineSink = std::function<bool(const QByteArray &line)>;

// Reads every row of a store of the given kind and hands the line built from
// it to sink, row after row in rowid order; memory stays bounded whatever
// the number of rows.
//
// The store is never changed and nothing is created beside it.  It is read
// in place, through the open descriptor, while it holds SQLite's shared lock
// (no writer can commit meanwhile), when no journal left by a crashed writer,
// no write-ahead log content and no WAL connection is found beside it.
// Otherwise (a browser holding the store locked or open in WAL mode, a log
// not yet merged, an unfinished transaction) it is read from a consistent
// private copy of the store with its -wal (or journal) made in a new folder
// below scratchFolder (the system's temporary folder when empty), which
// SQLite then completes there and which is removed afterwards.
//
// Every failure is a result, never an exception (one thrown by the sink ends
// the reading as Unreadable); lines handed over before a failure stay handed
// over.
CookieStoreReadResult readCookieStore(const CookieStoreFile &store, CookieStoreKind kind,
                                      const CookieLineSink &sink,
                                      const QString &scratchFolder = QString());
