#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Browser cookie stores built through SQLite with each browser's schema of
// one period, for tests, fuzz seeds, the demo folder and the benchmark.
enum class CookieStoreLayout {
    Firefox2008,  // Firefox 3: no baseDomain, no creationTime
    Firefox2012,  // baseDomain, appId and inBrowserElement, no originAttributes
    Firefox2020,  // originAttributes and sameSite; expiry in seconds
    Firefox2025,  // schema version 16: expiry in milliseconds
    Chromium2009, // "secure" and "httponly", no encrypted_value
    Chromium2015, // encrypted_value, still "secure"
    Chromium2024, // "is_secure", top_frame_site_key, source_scheme and later columns
};

struct TestCookie {
    QByteArray host;
    QByteArray path = "/";
    QByteArray name;
    QByteArray value;
    bool secure = false;
    // As the store keeps it: Unix seconds (milliseconds for Firefox2025),
    // microseconds since 1601 for Chromium.
    qint64 expiry = 0;
    // What keeps apart cookies of one host, path and name: originAttributes
    // (Firefox2020 and later), top_frame_site_key (Chromium2024).
    QByteArray partitionKey;
    QByteArray encryptedValue; // Chromium2015 and later
};

struct CookieStoreOptions {
    bool wal = false; // write-ahead log instead of a rollback journal
    int pageSize = 4096;
};

bool isFirefoxLayout(CookieStoreLayout layout);

// Creates the store at path (replacing nothing: the file must not exist) with
// count cookies, cookieAt(i) for i from 0, inserted in one transaction.  The
// store is closed cleanly: a WAL store has its log merged and removed.
// False on any error, with SQLite's message in *error when given.
bool writeCookieStore(const QString &path, CookieStoreLayout layout, qint64 count,
                      const std::function<TestCookie(qint64)> &cookieAt,
                      const CookieStoreOptions &options = {}, QString *error = nullptr);
bool writeCookieStore(const QString &path, CookieStoreLayout layout,
                      const QList<TestCookie> &cookies, const CookieStoreOptions &options = {},
                      QString *error = nullptr);

// The Chromium form (microseconds since 1601-01-01) of a Unix time.
qint64 chromiumTime(qint64 unixSeconds);
