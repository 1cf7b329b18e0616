#include "platform/TreeRestore.h"

#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace {

// Tries at a companion name nobody took before.
constexpr int kCompanionTries = 16;

bool entryExists(int folder, const QByteArray &name)
{
    struct stat st {
    };
    return ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

QByteArray companionName(const QByteArray &name)
{
    return '.' + name.left(200) + ".restore-" +
           QByteArray::number(QRandomGenerator::system()->generate64(), 16);
}

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

// Gives the companion the entry's name when nothing has taken it: in one
// step where the file system can, else by a second name and the removal of
// the first.  Exists when something has; WriteFailed when neither works.
RestorePlaceOutcome takeName(int folder, const QByteArray &companion, const QByteArray &name)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, folder, companion.constData(), folder, name.constData(),
                  RENAME_NOREPLACE) == 0)
        return RestorePlaceOutcome::Done;
    if (errno == EEXIST)
        return RestorePlaceOutcome::Exists;
    if (errno != ENOSYS && errno != EINVAL && errno != ENOTSUP)
        return RestorePlaceOutcome::WriteFailed;
#endif
    if (::linkat(folder, companion.constData(), folder, name.constData(), 0) != 0)
        return errno == EEXIST ? RestorePlaceOutcome::Exists : RestorePlaceOutcome::WriteFailed;
    ::unlinkat(folder, companion.constData(), 0);
    return RestorePlaceOutcome::Done;
}

// Gives the open file what it had.  Owner first: a change of owner clears
// the set-user and set-group bits that the permissions then put back.  Only
// the open file is ever changed, never a name that someone could swap.
bool giveAttributes(int fd, const RestoredAttributes &a)
{
    if (::geteuid() == 0 && a.owner && a.group &&
        ::fchown(fd, uid_t(*a.owner), gid_t(*a.group)) != 0)
        return false;
    if (a.mode && ::fchmod(fd, mode_t(*a.mode & 07777)) != 0)
        return false;
    if (a.mtimeSeconds) {
        const struct timespec times[2] = {{0, UTIME_OMIT},
                                          {time_t(*a.mtimeSeconds), long(a.mtimeNanoseconds)}};
        if (::futimens(fd, times) != 0)
            return false;
    }
    return true;
}

bool isStill(int folder, const QByteArray &name, const struct stat &made)
{
    struct stat st {
    };
    return ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           st.st_dev == made.st_dev && st.st_ino == made.st_ino;
}

} // namespace

std::optional<RestoredAttributes> attributesOf(const FileHandle &file)
{
    struct stat st {
    };
    if (!file.isOpen() || ::fstat(file.native(), &st) != 0)
        return std::nullopt;
    return RestoredAttributes{quint32(st.st_mode & 07777), quint32(st.st_uid), quint32(st.st_gid),
                              qint64(st.st_mtim.tv_sec), qint32(st.st_mtim.tv_nsec)};
}

RestorePlaceOutcome
RestorePlace::createFile(const RestoredAttributes &attributes,
                         const std::function<bool(const RestoreWriter &write)> &fill) const
{
    if (!isOpen())
        return RestorePlaceOutcome::Refused;
    const int dir = m_folder.handle().native();
    if (entryExists(dir, m_folder.entryName()))
        return RestorePlaceOutcome::Exists;
    QByteArray companion;
    int fd = -1;
    for (int i = 0; i < kCompanionTries && fd < 0; ++i) {
        companion = companionName(m_folder.entryName());
        fd = ::openat(dir, companion.constData(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            return errno == EACCES || errno == EPERM || errno == EROFS
                       ? RestorePlaceOutcome::Refused
                       : RestorePlaceOutcome::WriteFailed;
    }
    if (fd < 0)
        return RestorePlaceOutcome::WriteFailed;
    bool writeFailed = false;
    const bool filled = fill([&](const char *data, qint64 size) {
        writeFailed = writeFailed || !writeAll(fd, data, size);
        return !writeFailed;
    });
    RestorePlaceOutcome outcome = RestorePlaceOutcome::Done;
    struct stat made {
    };
    if (!filled)
        outcome =
            writeFailed ? RestorePlaceOutcome::WriteFailed : RestorePlaceOutcome::ContentRefused;
    else if (!giveAttributes(fd, attributes) || ::fsync(fd) != 0 || ::fstat(fd, &made) != 0)
        outcome = RestorePlaceOutcome::WriteFailed;
    // The name is taken only by the very file written here.
    if (outcome == RestorePlaceOutcome::Done)
        outcome = isStill(dir, companion, made) ? takeName(dir, companion, m_folder.entryName())
                                                : RestorePlaceOutcome::WriteFailed;
    if (outcome != RestorePlaceOutcome::Done) {
        struct stat mine {
        };
        if (::fstat(fd, &mine) == 0 && isStill(dir, companion, mine))
            ::unlinkat(dir, companion.constData(), 0);
        ::close(fd);
        return outcome;
    }
    ::close(fd);
    ::fsync(dir);
    return outcome;
}

RestorePlaceOutcome RestorePlace::createLink(const QByteArray &target) const
{
    if (!isOpen() || target.isEmpty() || target.contains('\0'))
        return RestorePlaceOutcome::Refused;
    const int dir = m_folder.handle().native();
    if (entryExists(dir, m_folder.entryName()))
        return RestorePlaceOutcome::Exists;
    QByteArray companion;
    bool made = false;
    for (int i = 0; i < kCompanionTries && !made; ++i) {
        companion = companionName(m_folder.entryName());
        made = ::symlinkat(target.constData(), dir, companion.constData()) == 0;
        if (!made && errno != EEXIST)
            return RestorePlaceOutcome::WriteFailed;
    }
    if (!made)
        return RestorePlaceOutcome::WriteFailed;
    const RestorePlaceOutcome outcome = takeName(dir, companion, m_folder.entryName());
    if (outcome != RestorePlaceOutcome::Done)
        ::unlinkat(dir, companion.constData(), 0);
    else
        ::fsync(dir);
    return outcome;
}

RestorePlaceOutcome RestorePlace::appendLine(const QByteArray &bytes) const
{
    if (!isOpen())
        return RestorePlaceOutcome::Refused;
    const int fd = ::openat(m_folder.handle().native(), m_folder.entryName().constData(),
                            O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? RestorePlaceOutcome::FolderMissing : RestorePlaceOutcome::Refused;
    struct stat st {
    };
    RestorePlaceOutcome outcome = RestorePlaceOutcome::Done;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IWUSR)) {
        outcome = RestorePlaceOutcome::Refused;
    } else {
        char last = '\n';
        if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) != 1)
            outcome = RestorePlaceOutcome::WriteFailed;
        const QByteArray put = last == '\n' ? bytes : '\n' + bytes;
        if (outcome == RestorePlaceOutcome::Done &&
            (!writeAll(fd, put.constData(), put.size()) || ::fsync(fd) != 0)) {
            // What was written in part goes again.
            outcome = RestorePlaceOutcome::WriteFailed;
            if (::ftruncate(fd, st.st_size) == 0)
                ::fsync(fd);
        }
    }
    ::close(fd);
    return outcome;
}
