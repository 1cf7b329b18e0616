#include "platform/PrivateFolder.h"

#include <QRandomGenerator>

#include <windows.h>

#include <string>
#include <utility>

// On Windows the folder lies in the user's local application data folder,
// which the system already keeps to the user; the program adds no access
// rules of its own.

namespace {

HANDLE invalid()
{
    return INVALID_HANDLE_VALUE;
}

bool isPlainName(const QByteArray &name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\\') && !name.contains(':') && !name.contains('\0');
}

std::wstring wide(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (p.size() > 2 && p.at(1) == QLatin1Char(':') && !p.startsWith(QLatin1String("\\\\")))
        p.prepend(QLatin1String("\\\\?\\"));
    return p.toStdWString();
}

bool writeAll(HANDLE h, const char *data, qint64 size)
{
    while (size > 0) {
        DWORD put = 0;
        const DWORD piece = DWORD(std::min<qint64>(size, 1 << 30));
        if (!::WriteFile(h, data, piece, &put, nullptr) || put == 0)
            return false;
        data += put;
        size -= put;
    }
    return true;
}

} // namespace

PrivateFolder::~PrivateFolder()
{
    if (m_lock != invalid())
        ::CloseHandle(m_lock);
}

PrivateFolder::PrivateFolder(PrivateFolder &&other) noexcept
    : m_path(std::move(other.m_path)), m_lock(std::exchange(other.m_lock, invalid()))
{
}

PrivateFolder &PrivateFolder::operator=(PrivateFolder &&other) noexcept
{
    if (this != &other) {
        if (m_lock != invalid())
            ::CloseHandle(m_lock);
        m_path = std::move(other.m_path);
        m_lock = std::exchange(other.m_lock, invalid());
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
    if (create && !::CreateDirectoryW(wide(path).c_str(), nullptr) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
        return fail(QStringLiteral("%1 cannot be created").arg(path));
    const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (!create)
            return PrivateFolder();
        return fail(QStringLiteral("%1 cannot be opened").arg(path));
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return fail(QStringLiteral("%1 is not a folder").arg(path));
    PrivateFolder folder;
    folder.m_path = path;
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
    return !m_path.isEmpty();
}

bool PrivateFolder::tryLock()
{
    if (!isOpen())
        return false;
    if (m_lock == invalid()) {
        m_lock = ::CreateFileW(wide(m_path + QStringLiteral("\\lock")).c_str(),
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
    OVERLAPPED at{};
    return m_lock != invalid() &&
           ::LockFileEx(m_lock, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
}

bool PrivateFolder::lock()
{
    if (!isOpen())
        return false;
    if (m_lock == invalid()) {
        m_lock = ::CreateFileW(wide(m_path + QStringLiteral("\\lock")).c_str(),
                               GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    }
    OVERLAPPED at{};
    return m_lock != invalid() && ::LockFileEx(m_lock, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
}

PrivateFolder::NewFile PrivateFolder::create(const QByteArray &name) const
{
    NewFile file;
    if (!isOpen() || !isPlainName(name))
        return file;
    const QString path = m_path + QLatin1Char('\\') + QString::fromUtf8(name);
    file.m_handle = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file.m_handle != invalid()) {
        file.m_folder = this;
        file.m_name = name;
    }
    return file;
}

PrivateFolder::NewFile::~NewFile()
{
    discard();
}

PrivateFolder::NewFile::NewFile(NewFile &&other) noexcept
    : m_folder(std::exchange(other.m_folder, nullptr)), m_name(std::move(other.m_name)),
      m_handle(std::exchange(other.m_handle, invalid())), m_failed(other.m_failed)
{
}

PrivateFolder::NewFile &PrivateFolder::NewFile::operator=(NewFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_folder = std::exchange(other.m_folder, nullptr);
        m_name = std::move(other.m_name);
        m_handle = std::exchange(other.m_handle, invalid());
        m_failed = other.m_failed;
    }
    return *this;
}

bool PrivateFolder::NewFile::isOpen() const
{
    return m_handle != invalid();
}

bool PrivateFolder::NewFile::write(const char *data, qint64 size)
{
    if (!isOpen() || m_failed)
        return false;
    m_failed = !writeAll(m_handle, data, size);
    return !m_failed;
}

bool PrivateFolder::NewFile::finish()
{
    if (!isOpen())
        return false;
    if (m_failed || !::FlushFileBuffers(m_handle)) {
        discard();
        return false;
    }
    ::CloseHandle(m_handle);
    m_handle = invalid();
    m_folder = nullptr;
    return true;
}

void PrivateFolder::NewFile::discard()
{
    if (!isOpen())
        return;
    ::CloseHandle(m_handle);
    m_handle = invalid();
    if (m_folder)
        m_folder->remove(m_name);
    m_folder = nullptr;
}

qintptr PrivateFolder::openForReading(const QByteArray &name) const
{
    if (!isOpen() || !isPlainName(name))
        return -1;
    const QString path = m_path + QLatin1Char('\\') + QString::fromUtf8(name);
    HANDLE h =
        ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == invalid())
        return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        ::CloseHandle(h);
        return -1;
    }
    return reinterpret_cast<qintptr>(h);
}

qint64 PrivateFolder::readSome(qintptr handle, char *buffer, qint64 size)
{
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle), buffer,
                    DWORD(std::min<qint64>(size, 1 << 30)), &got, nullptr))
        return -1;
    return qint64(got);
}

void PrivateFolder::closeHandle(qintptr handle)
{
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
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
    if (!isOpen() || !isPlainName(name))
        return false;
    const QByteArray temporary =
        name + ".new-" + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    NewFile file = create(temporary);
    if (!file.write(bytes.constData(), bytes.size()) || !file.finish())
        return false;
    const QString from = m_path + QLatin1Char('\\') + QString::fromUtf8(temporary);
    const QString to = m_path + QLatin1Char('\\') + QString::fromUtf8(name);
    if (!::MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        remove(temporary);
        return false;
    }
    return true;
}

bool PrivateFolder::remove(const QByteArray &name) const
{
    if (!isOpen() || !isPlainName(name))
        return false;
    const QString path = m_path + QLatin1Char('\\') + QString::fromUtf8(name);
    return ::DeleteFileW(wide(path).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool PrivateFolder::sync() const
{
    // MOVEFILE_WRITE_THROUGH has made each rename lasting.
    return isOpen();
}

std::vector<PrivateFolder::Entry> PrivateFolder::list() const
{
    std::vector<Entry> entries;
    if (!isOpen())
        return entries;
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW(wide(m_path + QStringLiteral("\\*")).c_str(), &data);
    if (find == invalid())
        return entries;
    do {
        const QByteArray name = QString::fromWCharArray(data.cFileName).toUtf8();
        if (name == "." || name == "..")
            continue;
        Entry entry;
        entry.name = name;
        entry.size = (qint64(data.nFileSizeHigh) << 32) | qint64(data.nFileSizeLow);
        entry.regular =
            !(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
        entries.push_back(std::move(entry));
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    return entries;
}
