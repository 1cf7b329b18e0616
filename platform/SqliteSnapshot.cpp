#include "platform/SqliteSnapshot.h"
#include "platform/NativeFileIo.h"

#include "platform/SqliteCompanions.h"
#include "platform/UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kAttempts = 4;
constexpr size_t kPiece = size_t(1) << 20;

// Copies the open file from into a new file at path, at most limit bytes;
// false when it is longer, or on any error.
bool copyToNewFile(int from, const QByteArray &path, qint64 limit)
{
    UniqueFd to(
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!to.isOpen())
        return false;
    std::vector<char> piece(kPiece);
    qint64 offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, piece.data(), piece.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (offset + got > limit)
            return false;
        if (!writeAll(to.get(), piece.data(), got))
            return false;
        offset += got;
    }
}

} // namespace

std::unique_ptr<SqliteSnapshot> SqliteSnapshot::make(int folder, const QByteArray &name, int file,
                                                     const QString &scratchFolder)
{
    const QString parent = scratchFolder.isEmpty() ? QDir::tempPath() : scratchFolder;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0)
            QThread::msleep(50 * attempt);
        auto dir =
            std::make_unique<QTemporaryDir>(parent + QStringLiteral("/torvakine-store-XXXXXX"));
        if (!dir->isValid())
            return nullptr;
        std::unique_ptr<SqliteSnapshot> snapshot(new SqliteSnapshot(std::move(dir)));
        if (snapshot->copyOnce(folder, name, file))
            return snapshot;
    }
    return nullptr;
}

SqliteSnapshot::SqliteSnapshot(std::unique_ptr<QTemporaryDir> dir) : m_dir(std::move(dir)) {}

SqliteSnapshot::~SqliteSnapshot() = default;

QByteArray SqliteSnapshot::databasePath() const
{
    return QFile::encodeName(m_dir->filePath(QStringLiteral("store")));
}

bool SqliteSnapshot::copyOnce(int folder, const QByteArray &name, int file)
{
    struct stat before {
    };
    if (::fstat(file, &before) != 0 || !S_ISREG(before.st_mode))
        return false;
    const SqliteCompanions companions = SqliteCompanions::open(folder, name, file);
    // A journal goes with the copy whether or not its writer still runs:
    // rolled back in the copy, it gives the last committed state even when
    // the writer has already changed pages of the file.
    m_tookJournal = companions.hasJournalContent();
    m_tookWal = companions.hasWalContent();
    const qint64 journalSize = m_tookJournal ? companions.journal().status.st_size : 0;
    const qint64 walSize = m_tookWal ? companions.wal().status.st_size : 0;
    if (before.st_size + journalSize + walSize > kMaxBytes)
        return false;
    // Each file may grow while it is copied; then the check below fails.
    const QByteArray target = databasePath();
    if (!copyToNewFile(file, target, kMaxBytes))
        return false;
    if (m_tookJournal &&
        !copyToNewFile(companions.journal().file.get(), target + "-journal", kMaxBytes))
        return false;
    if (m_tookWal && !copyToNewFile(companions.wal().file.get(), target + "-wal", kMaxBytes))
        return false;

    struct stat after {
    };
    return ::fstat(file, &after) == 0 && sameFileUnchanged(before, after) &&
           companions.sameAs(SqliteCompanions::open(folder, name, file));
}
