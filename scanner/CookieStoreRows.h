#pragma once

#include "scanner/CookieStoreLine.h"

#include <functional>

class SqliteConnection;
struct CookieStoreColumns;

// Rows larger than this (all columns together) are passed over: a browser
// keeps a cookie to a few kilobytes, and no row of a hostile store is ever
// loaded whole into memory past this size.
constexpr int kMaxCookieStoreRowBytes = 1 << 20;

enum class CookieStoreRowsOutcome {
    Done,    // every row was handed over (or passed over for its size)
    Stopped, // the visitor asked to stop
    Failed,  // the database could not be read on (damaged, I/O error)
};

struct CookieStoreRowsResult {
    CookieStoreRowsOutcome outcome = CookieStoreRowsOutcome::Failed;
    qint64 rowsPassedOver = 0;
};

// Hands every row of the store's cookie table to visit, in rowid order, one
// at a time: memory stays bounded whatever the number of rows.  visit returns
// false to stop.  The row's texts are valid only during the call.
CookieStoreRowsResult
forEachCookieStoreRow(const SqliteConnection &db, const CookieStoreColumns &columns,
                      const std::function<bool(const CookieStoreRow &)> &visit);
