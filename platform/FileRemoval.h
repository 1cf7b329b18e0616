#pragma once

#include <QByteArray>

// Deletes one file without force, given its path in the file system's own
// bytes, so that a name that is not valid text is still reached exactly.  A
// symbolic link is removed itself, never its target; a folder, a read-only
// file or a missing entry is left alone and false returned.  Paths longer
// than one system call accepts are followed one folder at a time.
bool removeFileWithoutForce(const QByteArray &nativePath);
