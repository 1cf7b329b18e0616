#include "tests/support/CookieStoreBuilder.h"

#include <QFile>

#include <sqlite3.h>

namespace {

struct Layout {
    const char *schema;
    const char *insert; // parameters: 1 host, 2 path, 3 name, 4 value, 5 secure,
                        // 6 expiry, 7 partitionKey, 8 encryptedValue, 9 creation
    int userVersion;
};

Layout layoutOf(CookieStoreLayout layout)
{
    switch (layout) {
    case CookieStoreLayout::Firefox2008:
        return {"CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, name TEXT, value TEXT, "
                "host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, isSecure INTEGER, "
                "isHttpOnly INTEGER);",
                "INSERT INTO moz_cookies (name, value, host, path, expiry, lastAccessed, "
                "isSecure, isHttpOnly) VALUES (?3, ?4, ?1, ?2, ?6, ?9, ?5, 0)",
                2};
    case CookieStoreLayout::Firefox2012:
        return {"CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, baseDomain TEXT, appId "
                "INTEGER DEFAULT 0, inBrowserElement INTEGER DEFAULT 0, name TEXT, value TEXT, "
                "host TEXT, path TEXT, expiry INTEGER, lastAccessed INTEGER, creationTime "
                "INTEGER, isSecure INTEGER, isHttpOnly INTEGER, CONSTRAINT moz_uniqueid UNIQUE "
                "(name, host, path, appId, inBrowserElement));"
                "CREATE INDEX moz_basedomain ON moz_cookies (baseDomain, appId, "
                "inBrowserElement);",
                "INSERT INTO moz_cookies (baseDomain, name, value, host, path, expiry, "
                "lastAccessed, creationTime, isSecure, isHttpOnly) VALUES (ltrim(?1, '.'), ?3, "
                "?4, ?1, ?2, ?6, ?9, ?9, ?5, 0)",
                5};
    case CookieStoreLayout::Firefox2020:
    case CookieStoreLayout::Firefox2025:
        return {"CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, originAttributes TEXT NOT "
                "NULL DEFAULT '', name TEXT, value TEXT, host TEXT, path TEXT, expiry INTEGER, "
                "lastAccessed INTEGER, creationTime INTEGER, isSecure INTEGER, isHttpOnly "
                "INTEGER, inBrowserElement INTEGER DEFAULT 0, sameSite INTEGER DEFAULT 0, "
                "rawSameSite INTEGER DEFAULT 0, schemeMap INTEGER DEFAULT 0, "
                "isPartitionedAttributeSet INTEGER DEFAULT 0, CONSTRAINT moz_uniqueid UNIQUE "
                "(name, host, path, originAttributes));",
                "INSERT INTO moz_cookies (originAttributes, name, value, host, path, expiry, "
                "lastAccessed, creationTime, isSecure, isHttpOnly) VALUES (?7, ?3, ?4, ?1, ?2, "
                "?6, ?9, ?9, ?5, 0)",
                layout == CookieStoreLayout::Firefox2020 ? 12 : 16};
    case CookieStoreLayout::Chromium2009:
        return {"CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value "
                "LONGVARCHAR); INSERT INTO meta VALUES ('version', '3');"
                "CREATE TABLE cookies (creation_utc INTEGER NOT NULL UNIQUE PRIMARY KEY, "
                "host_key TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, path TEXT NOT "
                "NULL, expires_utc INTEGER NOT NULL, secure INTEGER NOT NULL, httponly INTEGER "
                "NOT NULL, last_access_utc INTEGER NOT NULL);"
                "CREATE INDEX cookie_times ON cookies (creation_utc);",
                "INSERT INTO cookies (creation_utc, host_key, name, value, path, expires_utc, "
                "secure, httponly, last_access_utc) VALUES (?9, ?1, ?3, ?4, ?2, ?6, ?5, 0, ?9)",
                0};
    case CookieStoreLayout::Chromium2015:
        return {"CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value "
                "LONGVARCHAR); INSERT INTO meta VALUES ('version', '9');"
                "CREATE TABLE cookies (creation_utc INTEGER NOT NULL UNIQUE PRIMARY KEY, "
                "host_key TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, path TEXT NOT "
                "NULL, expires_utc INTEGER NOT NULL, secure INTEGER NOT NULL, httponly INTEGER "
                "NOT NULL, last_access_utc INTEGER NOT NULL, has_expires INTEGER NOT NULL "
                "DEFAULT 1, persistent INTEGER NOT NULL DEFAULT 1, priority INTEGER NOT NULL "
                "DEFAULT 1, encrypted_value BLOB DEFAULT '', firstpartyonly INTEGER NOT NULL "
                "DEFAULT 0);"
                "CREATE INDEX domain ON cookies (host_key);",
                "INSERT INTO cookies (creation_utc, host_key, name, value, path, expires_utc, "
                "secure, httponly, last_access_utc, has_expires, persistent, encrypted_value) "
                "VALUES (?9, ?1, ?3, ?4, ?2, ?6, ?5, 0, ?9, ?6 != 0, ?6 != 0, ?8)",
                0};
    case CookieStoreLayout::Chromium2024:
        return {"CREATE TABLE meta (key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY, value "
                "LONGVARCHAR); INSERT INTO meta VALUES ('version', '23');"
                "CREATE TABLE cookies (creation_utc INTEGER NOT NULL, host_key TEXT NOT NULL, "
                "top_frame_site_key TEXT NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL, "
                "encrypted_value BLOB NOT NULL, path TEXT NOT NULL, expires_utc INTEGER NOT "
                "NULL, is_secure INTEGER NOT NULL, is_httponly INTEGER NOT NULL, "
                "last_access_utc INTEGER NOT NULL, has_expires INTEGER NOT NULL, is_persistent "
                "INTEGER NOT NULL, priority INTEGER NOT NULL, samesite INTEGER NOT NULL, "
                "source_scheme INTEGER NOT NULL, source_port INTEGER NOT NULL, last_update_utc "
                "INTEGER NOT NULL, source_type INTEGER NOT NULL, has_cross_site_ancestor "
                "INTEGER NOT NULL);"
                "CREATE UNIQUE INDEX cookies_unique_index ON cookies(host_key, "
                "top_frame_site_key, has_cross_site_ancestor, name, path, source_scheme, "
                "source_port);",
                "INSERT INTO cookies VALUES (?9, ?1, ?7, ?3, ?4, ?8, ?2, ?6, ?5, 0, ?9, ?6 != 0, "
                "?6 != 0, 1, -1, 2, 443, ?9, 0, 0)",
                0};
    }
    return {"", "", 0};
}

bool bindText(sqlite3_stmt *s, int parameter, const QByteArray &text)
{
    return sqlite3_bind_text(s, parameter, text.constData(), int(text.size()), SQLITE_TRANSIENT) ==
           SQLITE_OK;
}

} // namespace

bool isFirefoxLayout(CookieStoreLayout layout)
{
    return layout == CookieStoreLayout::Firefox2008 || layout == CookieStoreLayout::Firefox2012 ||
           layout == CookieStoreLayout::Firefox2020 || layout == CookieStoreLayout::Firefox2025;
}

qint64 chromiumTime(qint64 unixSeconds)
{
    return (unixSeconds + 11644473600) * 1000000;
}

bool writeCookieStore(const QString &path, CookieStoreLayout layout, qint64 count,
                      const std::function<TestCookie(qint64)> &cookieAt,
                      const CookieStoreOptions &options, QString *error)
{
    if (QFile::exists(path)) {
        if (error)
            *error = QStringLiteral("exists already");
        return false;
    }
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const Layout l = layoutOf(layout);
    const QByteArray setup = "PRAGMA page_size=" + QByteArray::number(options.pageSize) +
                             "; PRAGMA journal_mode=" + (options.wal ? "WAL" : "DELETE") +
                             "; PRAGMA user_version=" + QByteArray::number(l.userVersion) + ";" +
                             l.schema + "BEGIN;";
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, setup.constData(), nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db, l.insert, -1, &insert, nullptr);
    for (qint64 i = 0; rc == SQLITE_OK && i < count; ++i) {
        const TestCookie c = cookieAt(i);
        sqlite3_reset(insert);
        const bool bound =
            bindText(insert, 1, c.host) && bindText(insert, 2, c.path) &&
            bindText(insert, 3, c.name) && bindText(insert, 4, c.value) &&
            sqlite3_bind_int(insert, 5, c.secure) == SQLITE_OK &&
            sqlite3_bind_int64(insert, 6, c.expiry) == SQLITE_OK &&
            bindText(insert, 7, c.partitionKey) &&
            sqlite3_bind_blob(insert, 8, c.encryptedValue.constData(), int(c.encryptedValue.size()),
                              SQLITE_TRANSIENT) == SQLITE_OK &&
            sqlite3_bind_int64(insert, 9, 13300000000000000 + i) == SQLITE_OK;
        rc = bound ? sqlite3_step(insert) : SQLITE_ERROR;
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(insert);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK && error)
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    const bool closed = sqlite3_close(db) == SQLITE_OK;
    return rc == SQLITE_OK && closed;
}

bool writeCookieStore(const QString &path, CookieStoreLayout layout,
                      const QList<TestCookie> &cookies, const CookieStoreOptions &options,
                      QString *error)
{
    return writeCookieStore(
        path, layout, cookies.size(), [&](qint64 i) { return cookies.at(i); }, options, error);
}
