#pragma once

#include "scanner/CookiePatterns.h"

#include <QByteArray>
#include <QString>

#include <functional>

class FileHandle;

// Cookie lines longer than this many bytes (line feed included) are passed
// over unread: a browser keeps a cookie to a few kilobytes, and a cookie file
// is read in pieces so that a huge or broken file never sits in memory whole.
constexpr qsizetype kMaxCookieLineBytes = 65536;

// The browser prefix of a cookie detection from the cookie file's folder:
// "netscape:" when its path holds "netscape", else "mozilla:" when it holds
// "mozilla", else empty (letter case ignored).
QString cookiePrefix(const QString &Directory);

// The cookie scan of one cookie file: reads the open file from its current
// position and calls onMatch with every line, up to and including its line
// feed, that is a tracking cookie under patterns (cookieLineMatches), exactly
// as read.  Bytes after the last line feed are not tested; a read that fails
// ends the scan of the file quietly.
void ScanMozilla(const CookiePatterns &patterns, const FileHandle &file,
                 const std::function<void(const QByteArray &line)> &onMatch);

// The object text of a cookie detection: the prefix, the file path, "+" and
// the line.
QString cookieObjectText(const QString &Directory, const QString &FileName, const QByteArray &line);
