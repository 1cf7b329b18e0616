#include "scanner/FileDescriptor.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileDescriptor::FileDescriptor(FileDescriptor &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

FileDescriptor &FileDescriptor::operator=(FileDescriptor &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

namespace {

constexpr int kFileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

} // namespace

FileDescriptor FileDescriptor::open(const QByteArray &path)
{
    return FileDescriptor(::open(path.constData(), kFileFlags));
}

FileDescriptor FileDescriptor::openIn(const FileDescriptor &folder, const QByteArray &name)
{
    return FileDescriptor(::openat(folder.m_fd, name.constData(), kFileFlags));
}

FileDescriptor FileDescriptor::openFolder(const QByteArray &path)
{
    return FileDescriptor(::open(path.constData(), kFolderFlags));
}

FileDescriptor FileDescriptor::openFolderIn(const FileDescriptor &folder, const QByteArray &name)
{
    return FileDescriptor(::openat(folder.m_fd, name.constData(), kFolderFlags | O_NOFOLLOW));
}

FileDescriptor FileDescriptor::openRegularFile(const QByteArray &path)
{
    struct stat st {
    };
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    FileDescriptor file = open(path);
    if (!file.status(&st) || !S_ISREG(st.st_mode))
        return {};
    return file;
}

bool FileDescriptor::status(struct stat *st) const
{
    return m_fd >= 0 && ::fstat(m_fd, st) == 0;
}
