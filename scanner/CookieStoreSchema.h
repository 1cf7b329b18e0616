#pragma once

#include "scanner/CookieStoreKind.h"
#include "scanner/CookieStoreLine.h"

#include <QByteArray>

class SqliteConnection;

// Where a store keeps what a cookie line needs.  Every schema these browsers
// used since 2008 has these columns, under these names:
//   Firefox  moz_cookies: host, path, isSecure, expiry, name, value (with or
//            without baseDomain, appId, inBrowserElement, originAttributes and
//            the later columns);
//   Chromium cookies: host_key, path, is_secure (secure before 2015),
//            expires_utc, name, value (empty when the value is enciphered in
//            encrypted_value).
struct CookieStoreColumns {
    QByteArray table;
    QByteArray host;
    QByteArray path;
    QByteArray secure;
    QByteArray expiry;
    QByteArray name;
    QByteArray value;
    CookieExpiryUnit expiryUnit = CookieExpiryUnit::UnixSeconds;
};

enum class CookieStoreSchemaOutcome {
    Found,
    NotADatabase,   // not an SQLite database, or one whose schema cannot be read
    NoCookieTable,  // no ordinary table of the browser's name
    MissingColumns, // the table lacks a column the line needs, or is not a rowid table
};

struct CookieStoreSchema {
    CookieStoreSchemaOutcome outcome = CookieStoreSchemaOutcome::NotADatabase;
    CookieStoreColumns columns;
};

// Looks up the cookie table of a store of the given kind and its columns.
CookieStoreSchema cookieStoreSchema(const SqliteConnection &db, CookieStoreKind kind);

// True when the database holds the cookie table of the kind's browser.
bool holdsCookieTable(const SqliteConnection &db, CookieStoreKind kind);
