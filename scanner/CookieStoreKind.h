#pragma once

#include <QString>
#include <QStringView>

// The browsers' SQLite cookie stores: Firefox keeps its cookies in
// cookies.sqlite (table moz_cookies), Chrome, Chromium, Edge, Brave, Opera and
// Vivaldi in Cookies (table cookies), in the profile folder or its Network
// subfolder.
enum class CookieStoreKind {
    None,
    Firefox,
    Chromium,
};

// The kind a file's name alone suggests: Firefox for "cookies.sqlite",
// Chromium for "Cookies", in any letter case; None for every other name.
CookieStoreKind cookieStoreKindOfName(QStringView name);

// Whether the open regular file file, listed under name, is a cookie store:
// Firefox for every file named cookies.sqlite (a damaged one fails when it is
// read); Chromium for a file named Cookies only when it begins with the
// SQLite header and its schema holds a table "cookies".  Reads the file
// through the descriptor, without a lock and without looking at any other
// file; changes nothing.  None for a name of neither kind, a file that is not
// regular, or one that cannot be read.
CookieStoreKind recogniseCookieStore(QStringView name, int file);

// The start of a store detection's object text: "firefox:" or "chromium:".
QString cookieStorePrefix(CookieStoreKind kind);

// True when the open file begins with the 16-byte header of an SQLite 3
// database.
bool hasSqliteHeader(int file);
