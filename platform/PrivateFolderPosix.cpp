#include "platform/PrivateFolder.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

bool isPlainName(const QByteArray &name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\0');
}

// Writes all of data, going on after an interruption.
bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size_t(size));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= put;
    }
    return true;
}

} // namespace

PrivateFolder::~PrivateFolder()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock with it
}

PrivateFolder::PrivateFolder(PrivateFolder &&other) noexcept
    : m_path(std::move(other.m_path)), m_fd(std::exchange(other.m_fd, -1))
{
}

PrivateFolder &PrivateFolder::operator=(PrivateFolder &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_path = std::move(other.m_path);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

PrivateFolder PrivateFolder::openPath(const QString &path, bool create, QString *error)
{
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return PrivateFolder();
    };
    const QByteArray native = QFile::encodeName(path);
    if (create && ::mkdir(native.constData(), kFolderMode) != 0 && errno != EEXIST)
        return fail(QStringLiteral("%1 cannot be created").arg(path));
    const int fd = ::open(native.constData(), kFolderFlags);
    if (fd < 0) {
        if (!create && errno == ENOENT)
            return PrivateFolder();
        return fail(errno == ELOOP || errno == ENOTDIR
                        ? QStringLiteral("%1 is not a folder").arg(path)
                        : QStringLiteral("%1 cannot be opened").arg(path));
    }
    PrivateFolder folder;
    folder.m_path = path;
    folder.m_fd = fd;
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode))
        return fail(QStringLiteral("%1 is not a folder").arg(path));
    if (st.st_uid != ::geteuid())
        return fail(QStringLiteral("%1 belongs to another user").arg(path));
    if ((st.st_mode & 07777) != kFolderMode && ::fchmod(fd, kFolderMode) != 0)
        return fail(QStringLiteral("%1 cannot be made private").arg(path));
    return folder;
}

PrivateFolder PrivateFolder::open(const QString &path, QString *error)
{
    return openPath(path, true, error);
}

PrivateFolder PrivateFolder::openExisting(const QString &path, QString *error)
{
    return openPath(path, false, error);
}

bool PrivateFolder::isOpen() const
{
    return m_fd >= 0;
}

bool PrivateFolder::lock()
{
    if (m_fd < 0)
        return false;
    int result;
    do {
        result = ::flock(m_fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool PrivateFolder::tryLock()
{
    if (m_fd < 0)
        return false;
    int result;
    do {
        result = ::flock(m_fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

PrivateFolder::NewFile PrivateFolder::create(const QByteArray &name) const
{
    NewFile file;
    if (m_fd < 0 || !isPlainName(name))
        return file;
    file.m_fd = ::openat(m_fd, name.constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (file.m_fd >= 0) {
        file.m_folder = this;
        file.m_name = name;
        // The mode asked for goes through the process's umask; a file only
        // its owner may read and write is what is wanted, whatever the umask.
        ::fchmod(file.m_fd, kFileMode);
    }
    return file;
}

PrivateFolder::NewFile::~NewFile()
{
    discard();
}

PrivateFolder::NewFile::NewFile(NewFile &&other) noexcept
    : m_folder(std::exchange(other.m_folder, nullptr)), m_name(std::move(other.m_name)),
      m_fd(std::exchange(other.m_fd, -1)), m_failed(other.m_failed)
{
}

PrivateFolder::NewFile &PrivateFolder::NewFile::operator=(NewFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_folder = std::exchange(other.m_folder, nullptr);
        m_name = std::move(other.m_name);
        m_fd = std::exchange(other.m_fd, -1);
        m_failed = other.m_failed;
    }
    return *this;
}

bool PrivateFolder::NewFile::isOpen() const
{
    return m_fd >= 0;
}

bool PrivateFolder::NewFile::write(const char *data, qint64 size)
{
    if (m_fd < 0 || m_failed)
        return false;
    m_failed = !writeAll(m_fd, data, size);
    return !m_failed;
}

bool PrivateFolder::NewFile::finish()
{
    if (m_fd < 0)
        return false;
    if (m_failed || ::fsync(m_fd) != 0) {
        discard();
        return false;
    }
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!closed) {
        m_folder->remove(m_name);
        return false;
    }
    m_folder = nullptr;
    return true;
}

void PrivateFolder::NewFile::discard()
{
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    if (m_folder)
        m_folder->remove(m_name);
    m_folder = nullptr;
}

qintptr PrivateFolder::openForReading(const QByteArray &name) const
{
    if (m_fd < 0 || !isPlainName(name))
        return -1;
    const int fd = ::openat(m_fd, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {
    };
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

qint64 PrivateFolder::readSome(qintptr handle, char *buffer, qint64 size)
{
    for (;;) {
        const ssize_t got = ::read(int(handle), buffer, size_t(size));
        if (got < 0 && errno == EINTR)
            continue;
        return qint64(got);
    }
}

void PrivateFolder::closeHandle(qintptr handle)
{
    ::close(int(handle));
}

std::optional<QByteArray> PrivateFolder::read(const QByteArray &name, qint64 maxBytes) const
{
    QByteArray content;
    const bool read = readInPieces(name, [&](const char *data, qint64 size) {
        if (content.size() + size > maxBytes)
            return false;
        content.append(data, qsizetype(size));
        return true;
    });
    if (!read)
        return std::nullopt;
    return content;
}

bool PrivateFolder::replace(const QByteArray &name, const QByteArray &bytes) const
{
    if (m_fd < 0 || !isPlainName(name))
        return false;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray temporary =
            name + ".new-" + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
        NewFile file = create(temporary);
        if (!file.isOpen()) {
            if (errno == EEXIST)
                continue;
            return false;
        }
        if (!file.write(bytes.constData(), bytes.size()) || !file.finish())
            return false;
        if (::renameat(m_fd, temporary.constData(), m_fd, name.constData()) != 0) {
            remove(temporary);
            return false;
        }
        return sync();
    }
    return false;
}

bool PrivateFolder::remove(const QByteArray &name) const
{
    if (m_fd < 0 || !isPlainName(name))
        return false;
    return ::unlinkat(m_fd, name.constData(), 0) == 0 || errno == ENOENT;
}

bool PrivateFolder::sync() const
{
    return m_fd >= 0 && ::fsync(m_fd) == 0;
}

std::vector<PrivateFolder::Entry> PrivateFolder::list() const
{
    std::vector<Entry> entries;
    if (m_fd < 0)
        return entries;
    const int fd = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return entries;
    }
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        Entry entry;
        entry.name = name;
        struct stat st {
        };
        if (::fstatat(m_fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            entry.size = qint64(st.st_size);
            entry.regular = S_ISREG(st.st_mode);
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return entries;
}
