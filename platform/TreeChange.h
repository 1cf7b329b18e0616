#pragma once

#include "platform/FileHandle.h"

#include <QByteArray>

#include <optional>

// Every change the program makes to a file system (deleting a listed file,
// rewriting a cookie file, rewriting a registry hive) goes through the two
// classes below, so that a user who owns a folder inside the scanned tree
// cannot turn a change against a file outside it:
//  - the object is reached from the root of the scan down, one folder at a
//    time relative to the open folder above, never through a symbolic link
//    (or reparse point), never through "." or "..", never onto another file
//    system;
//  - a file is changed only while it is still the very file (device and
//    inode) that the scan recorded, in the very folder it recorded;
//  - a rewritten file is written into a new file created beside it that
//    nobody could have planted, which then takes the original's place in one
//    rename, with the original's owner, group and permissions;
//  - nothing is forced: a file (or, for a rewrite, a folder) whose owner may
//    not write to it is left alone.
// When anything differs, nothing changes and the caller records a failure.

// An open folder of the scanned tree and the name of one entry in it.
class TreeFolder
{
public:
    TreeFolder() = default;

    // Reaches the folder that holds the entry path names.  path is root (as
    // the scan was given it, links in it followed) followed by the names of
    // the folders below root and the entry's own name, separated by the
    // native separator.  Closed when path does not begin with root or any
    // folder on the way cannot be reached by the rule above.
    static TreeFolder reach(const QByteArray &root, const QByteArray &path);

    bool isOpen() const { return m_folder.isOpen(); }
    // The folder's identity.
    const FileStatus &status() const { return m_status; }
    const FileHandle &handle() const { return m_folder; }
    // The entry's name in the folder.
    const QByteArray &entryName() const { return m_name; }

    // Status of the entry itself (of a link, not of what it leads to).
    bool entryStatus(FileStatus *st) const;
    // The entry opened for reading when it is a regular file, not through a
    // link; closed otherwise.
    FileHandle openEntry() const;
    // Deletes the entry without force, when it is still file: a regular file
    // its owner may write to, or a link (removed itself, never its target).
    bool removeEntry(const FileStatus &file) const;
    // The target of the entry when it is a symbolic link (what the link
    // holds, never followed); none otherwise.
    std::optional<QByteArray> linkTarget() const;

private:
#ifdef Q_OS_WIN
    friend class FileRewrite;
    friend class RestorePlace;
    QByteArray m_path; // the folder's path, UTF-8, for the calls that take paths
#endif
    FileHandle m_folder;
    FileStatus m_status;
    QByteArray m_name;
};

// The rewrite of one file of a TreeFolder through a companion file: a new
// file created beside it under a name of its own that did not exist before
// (never through a link), written, then put in the original's place.  The
// folder must stay alive while the rewrite runs.  A rewrite that does not
// end in replaceOriginal() removes its companion again.
class FileRewrite
{
public:
    // Starts the rewrite of the folder's entry, which must be the regular
    // file original (as the caller opened or recorded it) and writable by its
    // owner, in a folder writable by its owner.  The companion's name is stem
    // followed by a random suffix.  Not isOpen() when any of this fails.
    FileRewrite(const TreeFolder &folder, const FileStatus &original, const QByteArray &stem);
    ~FileRewrite();
    FileRewrite(const FileRewrite &) = delete;
    FileRewrite &operator=(const FileRewrite &) = delete;

    bool isOpen() const;
    // The companion, open for writing, for a helper that writes it itself.
    FileHandle::Native companion() const { return m_companion; }
    // Appends bytes to the companion; false (and every later call false) when
    // a write fails.
    bool write(const char *data, qint64 size);

    // Flushes the companion to disk, gives it the original's owner, group
    // and permissions and renames it over the original, when the folder's
    // entry is still the original.  False when any step fails: the original
    // is then untouched and the companion removed.
    bool replaceOriginal();
    // After replaceOriginal(): the identity of the file that now stands in
    // the original's place, so that a later change of the same file can
    // know it for the one this rewrite made.
    const FileStatus &replacement() const { return m_replacement; }

private:
    void discard();

    const TreeFolder &m_folder;
    FileStatus m_original;
    FileStatus m_replacement;
    QByteArray m_companionName;
#ifdef Q_OS_WIN
    FileHandle::Native m_companion = reinterpret_cast<FileHandle::Native>(-1);
#else
    FileHandle::Native m_companion = -1;
#endif
    qint64 m_size = 0; // the bytes written so far
    bool m_writeFailed = false;
};
