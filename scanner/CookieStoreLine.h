#pragma once

#include <QByteArray>
#include <QByteArrayView>

// How a store keeps a cookie's expiry.
enum class CookieExpiryUnit {
    UnixSeconds,           // Firefox up to schema version 15
    UnixMilliseconds,      // Firefox from schema version 16 (Firefox 142)
    MicrosecondsSince1601, // Chromium, 0 for a session cookie
};

// The expiry in Unix seconds of a stored expiry, rounded down; a Chromium
// session cookie (0) gives 0.
qint64 unixExpiry(qint64 stored, CookieExpiryUnit unit);

// One row of a store, as the line needs it.  The texts point into the
// store's row and are valid only while the row is handed over.
struct CookieStoreRow {
    QByteArrayView host;
    QByteArrayView path;
    QByteArrayView name;
    QByteArrayView value;
    bool secure = false;
    qint64 expiry = 0; // Unix seconds
};

// Builds into line (replacing its content) the line the browser's old text
// format would hold for row: the host, TAB, "TRUE" when the host begins with
// "." and "FALSE" otherwise, TAB, the path, TAB, "TRUE" or "FALSE" for
// secure, TAB, the expiry in decimal Unix seconds, TAB, the name, TAB, the
// value, LF.  The texts are carried byte for byte.
void buildCookieStoreLine(const CookieStoreRow &row, QByteArray &line);
