#pragma once

#include "platform/FileHandle.h"

#include <QByteArray>
#include <QString>

#include <string>

// Pieces of native file access that the platform files share.

// Writes all size bytes of data to file, going on after a short write (and,
// on POSIX, after an interruption).  False when a write fails, as on a full
// disk.
bool writeAll(FileHandle::Native file, const char *data, qint64 size);

#ifdef Q_OS_WIN
// A path as the wide text the system calls take, with '\' separators; an
// absolute drive path gets the prefix that lifts the 260-character limit.
std::wstring widePath(const QString &path);
inline std::wstring widePath(const QByteArray &utf8)
{
    return widePath(QString::fromUtf8(utf8));
}
// folder and name with one separator between them.
QByteArray joinedPath(const QByteArray &folder, const QByteArray &name);
#endif
