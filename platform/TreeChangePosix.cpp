#include "platform/TreeChange.h"

#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/openat2.h>
#endif

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// Tries at creating a companion under a name nobody took before.
constexpr int kCompanionTries = 16;

bool isPlainName(const QByteArray &name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('\0');
}

bool isSameObject(const struct stat &st, const FileStatus &recorded)
{
    return quint64(st.st_dev) == recorded.device && quint64(st.st_ino) == recorded.inode;
}

bool isSameObject(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

FileStatus statusOf(const struct stat &st)
{
    FileStatus out;
    out.kind = S_ISDIR(st.st_mode)   ? FileStatus::Kind::Folder
               : S_ISREG(st.st_mode) ? FileStatus::Kind::Regular
               : S_ISLNK(st.st_mode) ? FileStatus::Kind::Link
                                     : FileStatus::Kind::Other;
    out.size = qint64(st.st_size);
    out.device = quint64(st.st_dev);
    out.inode = quint64(st.st_ino);
    return out;
}

// Opens the folder relative below the open folder top in one call, where the
// kernel resolves a path without links, beneath top and on top's file
// system.  -1 with errno set otherwise.
int openBeneath(int top, const QByteArray &relative)
{
#if defined(__linux__) && defined(SYS_openat2)
    open_how how{};
    how.flags = kFolderFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS | RESOLVE_BENEATH | RESOLVE_NO_XDEV;
    return int(::syscall(SYS_openat2, top, relative.constData(), &how, sizeof how));
#else
    Q_UNUSED(top);
    Q_UNUSED(relative);
    errno = ENOSYS;
    return -1;
#endif
}

// Errors of openat2 that say it could not try (an older kernel, a filter that
// refuses the call, a path too long for one call), not that the path is bad.
bool cannotResolveInOneCall(int error)
{
    return error == ENOSYS || error == EPERM || error == E2BIG || error == EINVAL ||
           error == ENAMETOOLONG;
}

// The same, one folder at a time: each name opened relative to the folder
// before it, never through a link, and staying on device.
int openStepByStep(int top, const QList<QByteArray> &names, dev_t device)
{
    int fd = ::fcntl(top, F_DUPFD_CLOEXEC, 0);
    for (const QByteArray &name : names) {
        if (fd < 0)
            break;
        const int next = ::openat(fd, name.constData(), kFolderFlags | O_NOFOLLOW);
        ::close(fd);
        fd = next;
        struct stat st = {};
        if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_dev != device)) {
            ::close(fd);
            fd = -1;
        }
    }
    return fd;
}

bool isAllZero(const char *data, qint64 size)
{
    for (qint64 i = 0; i < size; ++i) {
        if (data[i] != 0)
            return false;
    }
    return true;
}

} // namespace

TreeFolder TreeFolder::reach(const QByteArray &root, const QByteArray &path)
{
    TreeFolder folder;
    const QByteArray base = root.endsWith('/') ? root : root + '/';
    if (root.isEmpty() || !path.startsWith(base))
        return folder;
    QList<QByteArray> names = path.mid(base.size()).split('/');
    for (const QByteArray &name : names) {
        if (!isPlainName(name))
            return folder;
    }
    const int top = ::open(root.constData(), kFolderFlags);
    struct stat rootStatus = {};
    if (top < 0 || ::fstat(top, &rootStatus) != 0) {
        if (top >= 0)
            ::close(top);
        return folder;
    }
    const QByteArray name = names.takeLast();
    int fd = -1;
    if (names.isEmpty()) {
        fd = ::fcntl(top, F_DUPFD_CLOEXEC, 0);
    } else {
        fd = openBeneath(top, names.join('/'));
        if (fd < 0 && cannotResolveInOneCall(errno))
            fd = openStepByStep(top, names, rootStatus.st_dev);
    }
    ::close(top);
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_dev != rootStatus.st_dev) {
        if (fd >= 0)
            ::close(fd);
        return folder;
    }
    folder.m_folder = FileHandle::adopt(fd, path.left(path.size() - name.size() - 1));
    folder.m_status = statusOf(st);
    folder.m_name = name;
    return folder;
}

bool TreeFolder::entryStatus(FileStatus *st) const
{
    return isOpen() && m_folder.statusIn(m_name, st, false);
}

FileHandle TreeFolder::openEntry() const
{
    if (!isOpen())
        return {};
    FileHandle file = m_folder.openFileIn(m_name);
    FileStatus st;
    if (!file.status(&st) || st.kind != FileStatus::Kind::Regular)
        return {};
    return file;
}

bool TreeFolder::removeEntry(const FileStatus &file) const
{
    struct stat st = {};
    if (!isOpen() ||
        ::fstatat(m_folder.native(), m_name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !isSameObject(st, file))
        return false;
    const bool removable = S_ISLNK(st.st_mode) || (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR));
    return removable && ::unlinkat(m_folder.native(), m_name.constData(), 0) == 0;
}

std::optional<QByteArray> TreeFolder::linkTarget() const
{
    if (!isOpen())
        return std::nullopt;
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length =
        ::readlinkat(m_folder.native(), m_name.constData(), target.data(), size_t(target.size()));
    if (length < 0 || length >= target.size())
        return std::nullopt;
    target.truncate(qsizetype(length));
    return target;
}

FileRewrite::FileRewrite(const TreeFolder &folder, const FileStatus &original,
                         const QByteArray &stem)
    : m_folder(folder), m_original(original)
{
    if (!folder.isOpen())
        return;
    const int dir = folder.handle().native();
    struct stat st = {};
    struct stat dirStatus = {};
    if (::fstatat(dir, folder.entryName().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode) || !isSameObject(st, original) || !(st.st_mode & S_IWUSR) ||
        ::fstat(dir, &dirStatus) != 0 || !(dirStatus.st_mode & S_IWUSR))
        return;
    for (int i = 0; i < kCompanionTries && m_companion < 0; ++i) {
        const QByteArray name =
            stem + '.' + QByteArray::number(QRandomGenerator::system()->generate(), 16);
        m_companion = ::openat(dir, name.constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_companion >= 0)
            m_companionName = name;
        else if (errno != EEXIST)
            break;
    }
}

FileRewrite::~FileRewrite()
{
    discard();
}

bool FileRewrite::isOpen() const
{
    return m_companion >= 0;
}

bool FileRewrite::write(const char *data, qint64 size)
{
    // A run of zero bytes is passed over rather than written, so that a
    // sparse original stays sparse; replaceOriginal() sets the final size.
    if (!m_writeFailed && size > 0 && isAllZero(data, size)) {
        m_writeFailed = ::lseek(m_companion, off_t(size), SEEK_CUR) < 0;
        m_size += size;
        return !m_writeFailed;
    }
    m_size += size;
    while (!m_writeFailed && size > 0) {
        const ssize_t put = ::write(m_companion, data, size_t(size));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            m_writeFailed = true;
            break;
        }
        data += put;
        size -= put;
    }
    return !m_writeFailed;
}

bool FileRewrite::replaceOriginal()
{
    const int dir = m_folder.handle().native();
    const char *name = m_folder.entryName().constData();
    struct stat st = {};
    const auto stillTheOriginal = [&] {
        return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
               isSameObject(st, m_original);
    };
    // Zeros passed over at the end leave the companion short of its size
    // (a helper may have written it all itself).  The owner comes before the
    // permissions: a change of owner clears the set-user and set-group bits
    // that the permissions then put back.
    struct stat written = {};
    const bool replaced =
        isOpen() && !m_writeFailed && ::fstat(m_companion, &written) == 0 &&
        (written.st_size >= m_size || ::ftruncate(m_companion, off_t(m_size)) == 0) &&
        ::fsync(m_companion) == 0 && stillTheOriginal() &&
        ::fchown(m_companion, st.st_uid, st.st_gid) == 0 &&
        ::fchmod(m_companion, st.st_mode & 07777) == 0 && stillTheOriginal() &&
        ::renameat(dir, m_companionName.constData(), dir, name) == 0;
    if (!replaced) {
        discard();
        return false;
    }
    struct stat now = {};
    ::fstat(m_companion, &now);
    m_replacement = statusOf(now);
    ::close(m_companion);
    m_companion = -1;
    m_companionName.clear();
    // The rename itself made lasting; a folder that cannot be synced changes
    // nothing of the outcome.
    ::fsync(dir);
    return true;
}

void FileRewrite::discard()
{
    if (m_companion < 0)
        return;
    // The name goes only while it is still the companion this rewrite made.
    const int dir = m_folder.handle().native();
    struct stat mine = {};
    struct stat there = {};
    if (::fstat(m_companion, &mine) == 0 &&
        ::fstatat(dir, m_companionName.constData(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        isSameObject(mine, there))
        ::unlinkat(dir, m_companionName.constData(), 0);
    ::close(m_companion);
    m_companion = -1;
    m_companionName.clear();
}
