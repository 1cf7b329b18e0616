#pragma once

#include "scanner/NameCheckIndex.h"

#include <QString>

#include <optional>

class Engine;
class ScanSession;

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
// matched against the path patterns of CookDbEntries.  Reads only the engine
// and the lookup's scratch space.
NameVerdict checkFileName(const Engine &engine, const QString &Root, const QString &FileName,
                          NameCheckIndex::Lookup &lookup);

// True for the name of a cookie file, cookies.txt in any letter case.
bool isCookieFileName(const QString &FileName);

// The name check within a scan: a file named cookies.txt goes to the cookie
// scan instead and gives false; any other file is checked by checkFileName,
// CurrentThreatName then holding the threat name the check leaves behind.
// Any failure gives false.
bool Checkfile(ScanSession &session, const QString &Root, const QString &FileName);

// The text the patterns are matched against: Root and FileName in lower case,
// every "/" written as "\".
QString nameCheckPath(const QString &Root, const QString &FileName);
