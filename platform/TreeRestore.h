#pragma once

#include "platform/FileHandle.h"
#include "platform/TreeChange.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Putting a removed file, link or cookie line back into the scanned tree.
// The place is reached as every change reaches its object (TreeFolder): from
// the root of the scan that found it, one folder at a time, never through a
// symbolic link, never onto another file system.  Nothing is ever put over
// an entry that is there, and nothing is forced: a file its owner may not
// write to is not appended to.

// What a file or link had, to be given back.  Owner and group are given back
// only when the program runs as root (the only user allowed to).
struct RestoredAttributes {
    std::optional<quint32> mode; // permission bits
    std::optional<quint32> owner;
    std::optional<quint32> group;
    std::optional<qint64> mtimeSeconds;
    qint32 mtimeNanoseconds = 0;
};

// What the open file has now (permission bits, owner, group, time of last
// change), to be given back to it later; none when it cannot be read.
std::optional<RestoredAttributes> attributesOf(const FileHandle &file);

enum class RestorePlaceOutcome {
    Done,
    Exists,         // something is at the entry's name
    FolderMissing,  // a folder on the way (or, for an append, the file) is missing
    Refused,        // a link, a non-folder or another file system on the way; no permission;
                    // a file its owner may not write to
    WriteFailed,    // writing, flushing or renaming failed (a full disk): nothing is left
    ContentRefused, // the content writer gave up (its bytes failed their check)
};

// Hands bytes on to where they are written; false when that failed.
using RestoreWriter = std::function<bool(const char *data, qint64 size)>;

// The folder of the scanned tree that holds an entry, and the entry's name.
class RestorePlace
{
public:
    RestorePlace() = default;

    // Reaches the folder of path (root, the names of the folders below it,
    // the entry's name, separated by the native separator).  Closed, with
    // the reason in *why, when path does not begin with root or the folder
    // cannot be reached by the rule above.
    static RestorePlace reach(const QByteArray &root, const QByteArray &path,
                              RestorePlaceOutcome *why);

    bool isOpen() const { return m_folder.isOpen(); }
    const TreeFolder &folder() const { return m_folder; }

    // Creates the entry as a new file: fill writes its content through the
    // writer and returns true only when all of it was written and checked.
    // The file is written under a name of its own beside the entry, given
    // its attributes through the open file, flushed, and only then given the
    // entry's name, so the entry never holds part of a file.
    RestorePlaceOutcome
    createFile(const RestoredAttributes &attributes,
               const std::function<bool(const RestoreWriter &write)> &fill) const;
    // Creates the entry as a symbolic link to target.  A link's owner and
    // time are those of its making: they are set through its name, which
    // someone who may write to the folder could swap for another file.
    RestorePlaceOutcome createLink(const QByteArray &target) const;
    // Appends bytes to the entry, an existing regular file its owner may
    // write to, after a line feed when the file does not end with one; a
    // failed append leaves the file as it was.
    RestorePlaceOutcome appendLine(const QByteArray &bytes) const;

private:
    TreeFolder m_folder;
};
