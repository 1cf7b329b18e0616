#pragma once

#include "scanner/NameCheckIndex.h"

#include <QString>

#include <optional>

class Engine;

// What the name check of one file found.
struct NameVerdict {
    bool matched = false;
    // The threat name the check leaves behind (the header above the matching
    // pattern, or the table's last header when nothing matched); none when no
    // header stands above, which leaves the previous name in place.
    std::optional<QString> threatName;
};

// The name check of one file: FileName (as listed) in the folder Root (ending
// with the native separator), lower-cased with every "/" written as "\",
// matched against the path patterns of CookDbEntries.  An empty name matches
// nothing and leaves the threat name alone.  Reads only the engine and the
// lookup's scratch space.  The walk hands a cookie file to the cookie scan
// instead (isCookieFileName).
NameVerdict Checkfile(const Engine &engine, const QString &Root, const QString &FileName,
                      NameCheckIndex::Lookup &lookup);

// True for the name of a cookie file, cookies.txt in any letter case.
bool isCookieFileName(const QString &FileName);

// The text the patterns are matched against: Root and FileName in lower case,
// every "/" written as "\".
QString nameCheckPath(const QString &Root, const QString &FileName);
