#pragma once

#include <QString>
#include <QStringList>

// The threat name of every cookie detection.
QString trackingCookieName();

// Cookie lines longer than this many bytes (line feed included) are passed
// over unread: a browser keeps a cookie to a few kilobytes, and a cookie file
// is read in pieces so that a huge or broken file never sits in memory whole.
constexpr qsizetype kMaxCookieLineBytes = 65536;

// The tracking-cookie patterns of the present CookDbEntries in table order:
// the entries after the first one that holds "Tracking Cookie" up to the next
// header within the 20,000 entries that follow it, each without its first 12
// and last 4 characters and with "*" put in front when it lacks one.
// "*mb*", "*com*" and "*2006*" are left out, and so is any entry of fewer
// than 16 characters.  found is false (and the list empty) when the table
// has no such section.
QStringList cookiePatterns(bool *found);

// The browser prefix of a cookie detection from the cookie file's folder:
// "netscape:" when its path holds "netscape", else "mozilla:" when it holds
// "mozilla", else empty (letter case ignored).
QString cookiePrefix(const QString &Directory);

// Scans the cookie file FileName in the folder Directory (ending with the
// native separator): every line, up to and including its line feed, that is
// no comment, has at least 3 characters and fits a tracking-cookie pattern is
// recorded as a "Tracking Cookie" detection whose object text is the prefix,
// the file path, "+" and the line exactly as read.  Bytes after the last line
// feed are not tested.  Any failure ends the scan of this file quietly.
void ScanMozilla(const QString &Directory, const QString &FileName);
