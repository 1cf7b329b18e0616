#pragma once

#include <QByteArray>
#include <QList>

#include <sys/stat.h>

// Puts the database file at replacement (a private copy this process made
// and changed) in place of the database name in the open folder, which must
// still be the file original describes.
//
// The new content goes into a file created afresh in that folder under a
// name nobody can have planted (O_CREAT | O_EXCL | O_NOFOLLOW, a random
// part), gets the original's owner, group and permission bits, is flushed,
// and holds SQLite's exclusive lock while it is renamed over the original,
// so that a browser starting meanwhile waits instead of reading a file in
// between.  Just before the rename, the companion names staleCompanions
// (a journal or log whose content the copy already took in) are removed from
// the folder, so that SQLite never applies them to the new file.  Nothing is
// ever opened through a symbolic link and no path is looked up from the root.
//
// False, with the folder as it was, when the name no longer leads to the
// original file, or when anything fails before the rename.
bool replaceSqliteDatabase(int folder, const QByteArray &name, const struct stat &original,
                           const QByteArray &replacement, const QList<QByteArray> &staleCompanions);
