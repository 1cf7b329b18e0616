#pragma once

#include <QByteArray>

#include <sys/stat.h>

// An open file of the scan, closed when the object goes.  The scan opens
// files for reading only, never through a link (O_NOFOLLOW) and never
// waiting (O_NONBLOCK), so that a path swapped for a link or a FIFO is
// refused or returns at once instead of hanging the walk.
class FileDescriptor
{
public:
    FileDescriptor() = default;
    ~FileDescriptor();
    FileDescriptor(FileDescriptor &&other) noexcept;
    FileDescriptor &operator=(FileDescriptor &&other) noexcept;

    // Opens path as it is (closed on failure).
    static FileDescriptor open(const QByteArray &path);
    // Opens the entry name of the open folder the same way.
    static FileDescriptor openIn(const FileDescriptor &folder, const QByteArray &name);
    // Opens a folder for listing and for opening its entries: the one at path
    // (links followed), or the entry name of the open folder (never a link).
    static FileDescriptor openFolder(const QByteArray &path);
    static FileDescriptor openFolderIn(const FileDescriptor &folder, const QByteArray &name);
    // Opens path only when it is a regular file: looked at before opening,
    // so that a FIFO or device is never opened, and checked again once open.
    static FileDescriptor openRegularFile(const QByteArray &path);

    bool isOpen() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    // Status of the open file; false when closed or the call fails.
    bool status(struct stat *st) const;

private:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    int m_fd = -1;
};
