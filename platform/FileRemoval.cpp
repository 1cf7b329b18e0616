#include "platform/FileRemoval.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN

bool removeFileWithoutForce(const QByteArray &nativePath)
{
    const QString path = QFile::decodeName(nativePath);
    const QFileInfo info(path);
    const bool writable = info.permissions() & QFileDevice::WriteOwner;
    return (info.isSymLink() || (info.isFile() && writable)) && QFile::remove(path);
}

#else

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Opens the folder part of path (everything up to its last "/").  A folder
// part too long for one call is opened from the root (or the working folder)
// down, one name at a time, links followed as the system would follow them.
int openFolderOf(const QByteArray &path)
{
    const QByteArray folder = path.left(path.lastIndexOf('/') + 1);
    if (folder.isEmpty())
        return ::open(".", kFolderFlags);
    if (folder.size() < PATH_MAX)
        return ::open(folder.constData(), kFolderFlags);
    int fd = ::open(folder.startsWith('/') ? "/" : ".", kFolderFlags);
    for (const QByteArray &name : folder.split('/')) {
        if (fd < 0 || name.isEmpty())
            continue;
        const int next = ::openat(fd, name.constData(), kFolderFlags);
        ::close(fd);
        fd = next;
    }
    return fd;
}

} // namespace

bool removeFileWithoutForce(const QByteArray &nativePath)
{
    const QByteArray name = nativePath.mid(nativePath.lastIndexOf('/') + 1);
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    const int folder = openFolderOf(nativePath);
    if (folder < 0)
        return false;
    struct stat st {
    };
    const bool removable = ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                           (S_ISLNK(st.st_mode) || (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR)));
    const bool removed = removable && ::unlinkat(folder, name.constData(), 0) == 0;
    ::close(folder);
    return removed;
}

#endif
