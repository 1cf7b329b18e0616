#include "platform/SqliteCompanions.h"

#include "platform/SqliteFileLock.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

SqliteCompanions::Companion openCompanion(int folder, const QByteArray &name, uid_t owner)
{
    SqliteCompanions::Companion companion;
    if (folder < 0)
        return companion;
    UniqueFd file(
        ::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isOpen()) {
        // Absent is the usual case; a link (ELOOP) or a name that cannot be
        // opened is something SQLite would still trip over.
        companion.irregular = errno != ENOENT && errno != ENOTDIR;
        return companion;
    }
    if (::fstat(file.get(), &companion.status) != 0 || !S_ISREG(companion.status.st_mode) ||
        companion.status.st_uid != owner || companion.status.st_nlink != 1) {
        companion.irregular = true;
        return companion;
    }
    companion.file = std::move(file);
    return companion;
}

bool sameCompanion(const SqliteCompanions::Companion &a, const SqliteCompanions::Companion &b)
{
    if (a.file.isOpen() != b.file.isOpen() || a.irregular != b.irregular)
        return false;
    return !a.file.isOpen() || sameFileUnchanged(a.status, b.status);
}

} // namespace

bool sameFileUnchanged(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

SqliteCompanions SqliteCompanions::open(int folder, const QByteArray &name, int database)
{
    SqliteCompanions companions;
    struct stat st {
    };
    if (::fstat(database, &st) != 0)
        folder = -1; // nothing to compare owners with: none is looked at
    companions.m_journal = openCompanion(folder, journalName(name), st.st_uid);
    companions.m_wal = openCompanion(folder, walName(name), st.st_uid);
    companions.m_shm = openCompanion(folder, name + "-shm", st.st_uid);
    return companions;
}

bool SqliteCompanions::hasJournalContent() const
{
    if (!m_journal.file.isOpen() || m_journal.status.st_size <= 0)
        return false;
    char first = 0;
    return ::pread(m_journal.file.get(), &first, 1, 0) == 1 && first != 0;
}

bool SqliteCompanions::hasHotJournal(int database) const
{
    return hasJournalContent() && !SqliteFileLock::reservedByOther(database);
}

bool SqliteCompanions::hasWalContent() const
{
    return m_wal.file.isOpen() && m_wal.status.st_size > 0;
}

bool SqliteCompanions::walInUse() const
{
    return m_shm.file.isOpen() && SqliteFileLock::sharedMemoryInUse(m_shm.file.get());
}

bool SqliteCompanions::anyIrregular() const
{
    return m_journal.irregular || m_wal.irregular || m_shm.irregular;
}

bool SqliteCompanions::sameAs(const SqliteCompanions &other) const
{
    return sameCompanion(m_journal, other.m_journal) && sameCompanion(m_wal, other.m_wal);
}
