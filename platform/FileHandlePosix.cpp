#include "platform/FileHandle.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

void fill(const struct stat &st, FileStatus *out)
{
    if (S_ISREG(st.st_mode))
        out->kind = FileStatus::Kind::Regular;
    else if (S_ISDIR(st.st_mode))
        out->kind = FileStatus::Kind::Folder;
    else if (S_ISLNK(st.st_mode))
        out->kind = FileStatus::Kind::Link;
    else
        out->kind = FileStatus::Kind::Other;
    out->size = qint64(st.st_size);
    out->device = quint64(st.st_dev);
    out->inode = quint64(st.st_ino);
}

FolderEntry::Hint hintOf(unsigned char type)
{
    switch (type) {
    case DT_REG:
        return FolderEntry::Hint::Regular;
    case DT_DIR:
        return FolderEntry::Hint::Folder;
    default:
        return FolderEntry::Hint::Unknown;
    }
}

} // namespace

FileHandle::~FileHandle()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

FileHandle::FileHandle(FileHandle &&other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    if (this != &other) {
        if (m_handle >= 0)
            ::close(m_handle);
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

FileHandle FileHandle::adopt(Native handle, const QByteArray &path)
{
    Q_UNUSED(path);
    return FileHandle(handle);
}

FileHandle FileHandle::openFolder(const QByteArray &path)
{
    return FileHandle(::open(path.constData(), kFolderFlags));
}

FileHandle FileHandle::openRegularFile(const QByteArray &path)
{
    struct stat st {
    };
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    FileHandle file(::open(path.constData(), kFileFlags));
    if (!file.isOpen() || ::fstat(file.m_handle, &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return file;
}

FileHandle FileHandle::openFolderIn(const QByteArray &name) const
{
    return FileHandle(::openat(m_handle, name.constData(), kFolderFlags | O_NOFOLLOW));
}

FileHandle FileHandle::openFileIn(const QByteArray &name) const
{
    return FileHandle(::openat(m_handle, name.constData(), kFileFlags));
}

FileHandle FileHandle::openParent() const
{
    return FileHandle(::openat(m_handle, "..", kFolderFlags));
}

bool FileHandle::isOpen() const
{
    return m_handle >= 0;
}

bool FileHandle::status(FileStatus *st) const
{
    struct stat s {
    };
    if (m_handle < 0 || ::fstat(m_handle, &s) != 0)
        return false;
    fill(s, st);
    return true;
}

bool FileHandle::statusIn(const QByteArray &name, FileStatus *st, bool followLink) const
{
    struct stat s {
    };
    if (::fstatat(m_handle, name.constData(), &s, followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    fill(s, st);
    return true;
}

bool FileHandle::list(std::vector<FolderEntry> *entries) const
{
    // The listing gets a descriptor of its own: closing the listing closes it.
    const int copy = m_handle < 0 ? -1 : ::fcntl(m_handle, F_DUPFD_CLOEXEC, 0);
    DIR *dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!dir) {
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    ::rewinddir(dir);
    while (const dirent *d = ::readdir(dir))
        entries->push_back({QByteArray(d->d_name), hintOf(d->d_type)});
    ::closedir(dir);
    return true;
}

qint64 FileHandle::read(char *buffer, qint64 size) const
{
    for (;;) {
        const ssize_t got = ::read(m_handle, buffer, size_t(size));
        if (got >= 0 || errno != EINTR)
            return qint64(got);
    }
}
