#include "platform/SqliteFileLock.h"

#include <cerrno>
#include <utility>

#include <fcntl.h>

namespace {

// SQLite's lock bytes of a database file (its unix file system): one byte
// that a connection takes on its way to a lock, one for the writer of a
// transaction, and a range that readers share and a writer takes whole.
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kReservedByte = kPendingByte + 1;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

// The lock bytes of a wal-index: eight locks from byte 120, then the byte
// every connection holds while it has the database open.
constexpr off_t kWalIndexLocks = 120;
constexpr off_t kWalIndexLockBytes = 9;

bool setLock(int fd, short type, off_t start, off_t length)
{
    struct flock lock {
    };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    int result;
    do {
        result = ::fcntl(fd, F_OFD_SETLK, &lock);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool lockedByOther(int fd, off_t start, off_t length)
{
    struct flock lock {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    // A file that cannot be asked counts as locked.
    return ::fcntl(fd, F_OFD_GETLK, &lock) != 0 || lock.l_type != F_UNLCK;
}

} // namespace

SqliteFileLock::~SqliteFileLock()
{
    release();
}

SqliteFileLock::SqliteFileLock(SqliteFileLock &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
{
}

SqliteFileLock &SqliteFileLock::operator=(SqliteFileLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

void SqliteFileLock::release()
{
    if (m_fd >= 0)
        setLock(m_fd, F_UNLCK, kPendingByte, kSharedFirst + kSharedSize - kPendingByte);
    m_fd = -1;
}

SqliteFileLock SqliteFileLock::tryLock(int fd, Mode mode)
{
    SqliteFileLock held;
    if (fd < 0)
        return held;
    // The pending byte first, as SQLite does: a writer waiting for readers
    // to leave holds it, and no new reader may start meanwhile.
    const short type = mode == Mode::Shared ? F_RDLCK : F_WRLCK;
    if (!setLock(fd, type, kPendingByte, 1))
        return held;
    held.m_fd = fd;
    if (mode == Mode::Exclusive && !setLock(fd, F_WRLCK, kReservedByte, 1))
        return {};
    if (!setLock(fd, type, kSharedFirst, kSharedSize))
        return {};
    if (mode == Mode::Shared && !setLock(fd, F_UNLCK, kPendingByte, 1))
        return {};
    return held;
}

bool SqliteFileLock::sharedMemoryInUse(int shmFd)
{
    return lockedByOther(shmFd, kWalIndexLocks, kWalIndexLockBytes);
}

bool SqliteFileLock::reservedByOther(int fd)
{
    return lockedByOther(fd, kReservedByte, 1);
}
