#include "platform/TextFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {
// Temporary files are named after the file they replace, with a random
// suffix, so that two writers never share one.
QString temporaryNameFor(const QString &path)
{
    const QFileInfo info(path);
    return info.dir().filePath(QStringLiteral(".") + info.fileName() + QStringLiteral(".") +
                               QString::number(QRandomGenerator::global()->generate64(), 36) +
                               QStringLiteral(".tmp"));
}

QByteArray sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

// The file read back whole must be the bytes written: same size, same
// SHA-256.
bool holdsExactly(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 total = 0;
    while (!file.atEnd()) {
        const QByteArray block = file.read(1 << 16);
        if (block.isEmpty())
            return false;
        total += block.size();
        hash.addData(block);
    }
    return file.error() == QFileDevice::NoError && total == bytes.size() &&
           hash.result() == sha256(bytes);
}

#ifdef Q_OS_WIN
std::wstring nativeOf(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// Creates the temporary file, writes every byte and flushes it to disk.
bool writeNewFile(const QString &path, const QByteArray &bytes)
{
    HANDLE file = CreateFileW(nativeOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    qint64 done = 0;
    while (ok && done < bytes.size()) {
        const DWORD chunk = DWORD(qMin<qint64>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        ok =
            WriteFile(file, bytes.constData() + done, chunk, &written, nullptr) != 0 && written > 0;
        done += written;
    }
    ok = ok && FlushFileBuffers(file) != 0;
    return CloseHandle(file) != 0 && ok;
}

bool renameDurably(const QString &from, const QString &to)
{
    return MoveFileExW(nativeOf(from).c_str(), nativeOf(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// The rename is written through already; a folder cannot be flushed.
bool flushFolderOf(const QString &)
{
    return true;
}
#else
// Creates the temporary file, writes every byte and flushes it to disk.  A
// short write, ENOSPC, EIO or a failing fsync or close fails the whole.
bool writeNewFile(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return false;
    bool ok = true;
    qint64 done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += n;
    }
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool renameDurably(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Flushes the folder holding path, so that a rename in it is on disk.
bool flushFolderOf(const QString &path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}
#endif
} // namespace

QByteArray TextFiles::readFirstLine(const QString &path, bool *ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return {};
    }
    QByteArray line;
    char c = 0;
    while (file.getChar(&c) && c != '\r' && c != '\n')
        line.append(c);
    if (ok)
        *ok = true;
    return line;
}

bool TextFiles::writeAtomically(const QString &path, const QByteArray &bytes)
{
    const QString temporary = temporaryNameFor(path);
    if (!writeNewFile(temporary, bytes) || !holdsExactly(temporary, bytes) ||
        !renameDurably(temporary, path)) {
        QFile::remove(temporary);
        return false;
    }
    return flushFolderOf(path);
}

bool TextFiles::replaceFile(const QString &from, const QString &to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                       reinterpret_cast<const wchar_t *>(to.utf16()),
                       MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

QByteArray TextFiles::toLocal8Bit(const QString &text)
{
    return text.toLocal8Bit();
}

QString TextFiles::fromLocal8Bit(const QByteArray &bytes)
{
    return QString::fromLocal8Bit(bytes);
}
