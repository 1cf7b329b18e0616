#pragma once

#include <QString>

// The name check of one file: FileName (as listed) in the folder Root (ending
// with the native separator).  A file named cookies.txt, in any letter case,
// goes to the cookie scan instead and gives false.  Otherwise the path, in
// lower case with every "/" written as "\", is matched against the path
// patterns of CookDbEntries; true on a match, CurrentThreatName then holding
// the name of the header above the matching pattern.  Any failure gives false.
bool Checkfile(const QString &Root, const QString &FileName);

// The text the patterns are matched against: Root and FileName in lower case,
// every "/" written as "\".
QString nameCheckPath(const QString &Root, const QString &FileName);
