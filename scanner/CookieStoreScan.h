#pragma once

#include "scanner/CookiePatterns.h"
#include "scanner/CookieStoreKind.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class FileHandle;

// What the cookie-store check of one file the walk found gives.
struct CookieStoreScan {
    // The store's kind; None when the file is no browser cookie store (it then
    // gets the name check like any other file).
    CookieStoreKind kind = CookieStoreKind::None;
    // The start of its detections' object texts: "firefox:" or "chromium:".
    QString prefix;
    // The lines of its rows that are tracking cookies, in row order.
    QList<QByteArray> trackingLines;
};

// True when a file listed as listedName may be a browser cookie store
// (cookies.sqlite or Cookies, in any letter case): scanCookieStore tells.
bool mayBeCookieStore(const QString &listedName);

// Looks at the open regular file file, listed as name (its bytes) and
// listedName (as text) in the open folder folder: a Firefox or Chromium
// cookie store is read row by row, each row's line tested with the
// tracking-cookie patterns; a store that cannot be read gives no lines.
// Nothing is changed.  keepReading is asked now and then; false ends the
// reading early.  On systems where stores are not read, every file is None.
CookieStoreScan scanCookieStore(const FileHandle &folder, const QByteArray &name,
                                const QString &listedName, const FileHandle &file,
                                const CookiePatterns &patterns,
                                const std::function<bool()> &keepReading);
