#include "platform/SqliteStoreReplacement.h"
#include "platform/NativeFileIo.h"

#include "platform/SqliteFileLock.h"
#include "platform/UniqueFd.h"

#include <QRandomGenerator>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kPiece = size_t(1) << 20;
constexpr int kNameAttempts = 16;

bool copyAll(int from, int to)
{
    std::vector<char> piece(kPiece);
    for (;;) {
        const ssize_t got = ::read(from, piece.data(), piece.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!writeAll(to, piece.data(), got))
            return false;
    }
}

// A new file in a folder, removed again when the object goes unless it was
// renamed into place.
class NewFile
{
public:
    explicit NewFile(int folder) : m_folder(folder) {}
    ~NewFile()
    {
        if (!m_name.isEmpty())
            ::unlinkat(m_folder, m_name.constData(), 0);
    }
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    // Creates the file under a fresh name beside name.
    bool create(const QByteArray &name)
    {
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            const quint64 random = QRandomGenerator::system()->generate64();
            const QByteArray candidate =
                '.' + name + ".torvakine-" + QByteArray::number(random, 16) + ".new";
            m_file = UniqueFd(::openat(m_folder, candidate.constData(),
                                       O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (m_file.isOpen()) {
                m_name = candidate;
                return true;
            }
            if (errno != EEXIST)
                break;
        }
        return false;
    }
    int get() const { return m_file.get(); }
    bool renameTo(const QByteArray &name)
    {
        if (::renameat(m_folder, m_name.constData(), m_folder, name.constData()) != 0)
            return false;
        m_name.clear();
        return true;
    }

private:
    int m_folder;
    UniqueFd m_file;
    QByteArray m_name;
};

// Gives the new file the original's owner, group and permission bits: the
// owner first, since changing it clears set-user and set-group bits.
bool takeOwnerAndMode(int file, const struct stat &original)
{
    struct stat now {
    };
    if (::fstat(file, &now) != 0)
        return false;
    if ((now.st_uid != original.st_uid || now.st_gid != original.st_gid) &&
        ::fchown(file, original.st_uid, original.st_gid) != 0)
        return false;
    const mode_t bits = original.st_mode & 07777;
    if ((now.st_mode & 07777) != bits && ::fchmod(file, bits) != 0)
        return false;
    return ::fstat(file, &now) == 0 && now.st_uid == original.st_uid &&
           now.st_gid == original.st_gid && (now.st_mode & 07777) == bits;
}

bool stillTheOriginal(int folder, const QByteArray &name, const struct stat &original)
{
    struct stat st {
    };
    return ::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(st.st_mode) && st.st_dev == original.st_dev && st.st_ino == original.st_ino;
}

} // namespace

bool replaceSqliteDatabase(int folder, const QByteArray &name, const struct stat &original,
                           const QByteArray &replacement, const QList<QByteArray> &staleCompanions)
{
    UniqueFd source(::open(replacement.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!source.isOpen())
        return false;
    NewFile target(folder);
    if (!target.create(name))
        return false;
    const SqliteFileLock lock =
        SqliteFileLock::tryLock(target.get(), SqliteFileLock::Mode::Exclusive);
    if (!lock.isHeld() || !copyAll(source.get(), target.get()) ||
        !takeOwnerAndMode(target.get(), original) || ::fsync(target.get()) != 0 ||
        !stillTheOriginal(folder, name, original))
        return false;
    for (const QByteArray &stale : staleCompanions) {
        if (::unlinkat(folder, stale.constData(), 0) != 0 && errno != ENOENT)
            return false;
    }
    if (!target.renameTo(name))
        return false;
    ::fsync(folder);
    return true;
}
