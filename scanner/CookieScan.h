#pragma once

#include "scanner/CookiePatterns.h"

#include <QByteArray>
#include <QString>

#include <functional>

class FileHandle;
class ScanSession;

// Cookie lines longer than this many bytes (line feed included) are passed
// over unread: a browser keeps a cookie to a few kilobytes, and a cookie file
// is read in pieces so that a huge or broken file never sits in memory whole.
constexpr qsizetype kMaxCookieLineBytes = 65536;

// The browser prefix of a cookie detection from the cookie file's folder:
// "netscape:" when its path holds "netscape", else "mozilla:" when it holds
// "mozilla", else empty (letter case ignored).
QString cookiePrefix(const QString &Directory);

// Reads the open cookie file from its current position and calls onMatch with
// every line, up to and including its line feed, that is no comment, has at
// least 3 characters and fits a tracking-cookie pattern, exactly as read.
// Bytes after the last line feed are not tested.
void scanCookieLines(const CookiePatterns &patterns, const FileHandle &file,
                     const std::function<void(const QByteArray &line)> &onMatch);

// The object text of a cookie detection: the prefix, the file path, "+" and
// the line.
QString cookieObjectText(const QString &Directory, const QString &FileName, const QByteArray &line);

// Scans the cookie file FileName in the folder Directory (ending with the
// native separator) within a scan: every matching line is recorded as a
// "Tracking Cookie" detection.  Only a regular file opened without following
// a link is read.  Any failure ends the scan of this file quietly; the
// detections recorded so far stay.
void ScanMozilla(ScanSession &session, const QString &Directory, const QString &FileName);
