#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <vector>

// What the file system says about one file or folder.
struct FileStatus {
    enum class Kind { Regular, Folder, Link, Other };
    Kind kind = Kind::Other;
    qint64 size = 0;
    // Together the identity of the object: the device (volume) and the inode
    // (file index) on it.
    quint64 device = 0;
    quint64 inode = 0;

    bool isSameObject(const FileStatus &other) const
    {
        return device == other.device && inode == other.inode;
    }
};

// One entry of a folder listing: its name in the file system's own bytes
// (UTF-8 on Windows) and what the listing tells of it without looking.
struct FolderEntry {
    enum class Hint { Regular, Folder, Unknown };
    QByteArray name;
    Hint hint = Hint::Unknown;
};

// An open file or folder of the scan, closed when the object goes.  Files
// are opened for reading only and never waiting (a FIFO or device returns at
// once instead of hanging the scan); an entry of an open folder is opened
// relative to that folder and never through a symbolic link, so that a path
// swapped for a link while the scan runs is refused.
class FileHandle
{
public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle &&other) noexcept;
    FileHandle &operator=(FileHandle &&other) noexcept;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    // Opens the folder at path (links on the way followed, as for a folder
    // the user names).
    static FileHandle openFolder(const QByteArray &path);
    // Opens path only when it is a regular file and not a link: looked at
    // before opening, so that a FIFO or device is never opened, and checked
    // again once open.
    static FileHandle openRegularFile(const QByteArray &path);

    // The entry name of this open folder, as a folder or as a file.
    FileHandle openFolderIn(const QByteArray &name) const;
    FileHandle openFileIn(const QByteArray &name) const;
    // The folder above this open folder.
    FileHandle openParent() const;

    bool isOpen() const;
    // Status of the open object; false when closed or the call fails.
    bool status(FileStatus *st) const;
    // Status of the entry name of this open folder: of a link itself, or,
    // with followLink, of what it leads to.
    bool statusIn(const QByteArray &name, FileStatus *st, bool followLink) const;
    // Every entry of this open folder, "." and ".." included where the file
    // system lists them.  False when the folder cannot be listed.
    bool list(std::vector<FolderEntry> *entries) const;
    // Reads up to size bytes from the current position: the number read, 0 at
    // the end, -1 on an error.
    qint64 read(char *buffer, qint64 size) const;

#ifdef Q_OS_WIN
    using Native = void *; // HANDLE
#else
    using Native = int;
#endif
    // The operating system's handle, for the platform code that works on it.
    Native native() const
    {
        return m_handle;
    }
    // Takes over a handle that the platform code opened itself; path is what
    // it was opened by (used on Windows, where entries are opened by path).
    static FileHandle adopt(Native handle, const QByteArray &path);

private:
#ifdef Q_OS_WIN
    FileHandle(Native handle, QByteArray path) : m_handle(handle), m_path(std::move(path)) {}
    Native m_handle = reinterpret_cast<Native>(-1);
    QByteArray m_path; // UTF-8, for opening entries and the folder above
#else
    explicit FileHandle(Native fd) : m_handle(fd) {}
    Native m_handle = -1;
#endif
};
