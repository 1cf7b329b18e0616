#pragma once

#include <QByteArray>
#include <QString>

class FileDescriptor;

// Files above this size get the name check only.
constexpr qint64 kContentCheckLimit = 2500000;

// The content check of the file at FILE: its MD5 digest (and, where a
// signature entry asks for it, its SHA-1 digest) searched for in
// TrojSigEntries.  True on a match, CurrentThreatName then holding the
// entry's threat name.  Only regular files are read: a link, FIFO, device or
// socket, a file that cannot be opened or read, an empty file and a file that
// has grown above kContentCheckLimit by the time it is read all give false.
bool FileScan(const QString &FILE);
// The same for a file the caller has opened (the walk opens each regular file
// once for its size and content); read from its current position.
bool FileScan(const FileDescriptor &file);
