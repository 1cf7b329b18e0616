#include "platform/FileHandle.h"
#include "platform/NativeFileIo.h"

#include <QString>

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

namespace {

HANDLE invalid()
{
    return INVALID_HANDLE_VALUE;
}

// Opens path for reading; without following a link (reparse point) unless
// followLink.
HANDLE openPath(const QByteArray &path, bool folder, bool followLink)
{
    DWORD flags = folder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_FLAG_SEQUENTIAL_SCAN;
    if (!followLink)
        flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    return ::CreateFileW(widePath(path).c_str(), folder ? FILE_LIST_DIRECTORY : GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
}

bool statusOf(HANDLE h, FileStatus *st)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (h == invalid() || !::GetFileInformationByHandle(h, &info))
        return false;
    const DWORD attributes = info.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        st->kind = FileStatus::Kind::Link;
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        st->kind = FileStatus::Kind::Folder;
    else if (::GetFileType(h) == FILE_TYPE_DISK)
        st->kind = FileStatus::Kind::Regular;
    else
        st->kind = FileStatus::Kind::Other;
    st->size = (qint64(info.nFileSizeHigh) << 32) | qint64(info.nFileSizeLow);
    st->device = info.dwVolumeSerialNumber;
    st->inode = (quint64(info.nFileIndexHigh) << 32) | quint64(info.nFileIndexLow);
    return true;
}

} // namespace

FileHandle::~FileHandle()
{
    if (m_handle != invalid())
        ::CloseHandle(m_handle);
}

FileHandle::FileHandle(FileHandle &&other) noexcept
    : m_handle(std::exchange(other.m_handle, invalid())), m_path(std::move(other.m_path))
{
}

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    if (this != &other) {
        if (m_handle != invalid())
            ::CloseHandle(m_handle);
        m_handle = std::exchange(other.m_handle, invalid());
        m_path = std::move(other.m_path);
    }
    return *this;
}

FileHandle FileHandle::adopt(Native handle, const QByteArray &path)
{
    return FileHandle(handle, path);
}

FileHandle FileHandle::openFolder(const QByteArray &path)
{
    FileHandle folder(openPath(path, true, true), path);
    FileStatus st;
    if (!folder.status(&st) || st.kind != FileStatus::Kind::Folder)
        return {};
    return folder;
}

FileHandle FileHandle::openRegularFile(const QByteArray &path)
{
    FileHandle file(openPath(path, false, false), path);
    FileStatus st;
    if (!file.status(&st) || st.kind != FileStatus::Kind::Regular)
        return {};
    return file;
}

FileHandle FileHandle::openFolderIn(const QByteArray &name) const
{
    const QByteArray path = joinedPath(m_path, name);
    FileHandle folder(openPath(path, true, false), path);
    FileStatus st;
    if (!folder.status(&st) || st.kind != FileStatus::Kind::Folder)
        return {};
    return folder;
}

FileHandle FileHandle::openFileIn(const QByteArray &name) const
{
    const QByteArray path = joinedPath(m_path, name);
    FileHandle file(openPath(path, false, false), path);
    FileStatus st;
    if (!file.status(&st) || st.kind == FileStatus::Kind::Link)
        return {};
    return file;
}

FileHandle FileHandle::openParent() const
{
    QByteArray path = m_path;
    while (path.endsWith('\\') || path.endsWith('/'))
        path.chop(1);
    const qsizetype cut = std::max(path.lastIndexOf('\\'), path.lastIndexOf('/'));
    return cut < 0 ? FileHandle() : openFolder(path.left(cut + 1));
}

bool FileHandle::isOpen() const
{
    return m_handle != invalid();
}

bool FileHandle::status(FileStatus *st) const
{
    return statusOf(m_handle, st);
}

bool FileHandle::statusIn(const QByteArray &name, FileStatus *st, bool followLink) const
{
    const QByteArray path = joinedPath(m_path, name);
    // A folder needs the backup flag to be opened at all; trying it first
    // works for files too.
    const HANDLE h = openPath(path, true, followLink);
    const bool ok = statusOf(h, st);
    if (h != invalid())
        ::CloseHandle(h);
    return ok;
}

bool FileHandle::list(std::vector<FolderEntry> *entries) const
{
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        ::FindFirstFileExW(widePath(joinedPath(m_path, "*")).c_str(), FindExInfoBasic, &found,
                           FindExSearchNameMatch, nullptr, 0);
    if (search == invalid())
        return false;
    do {
        FolderEntry entry;
        entry.name = QString::fromWCharArray(found.cFileName).toUtf8();
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            entry.hint = FolderEntry::Hint::Unknown;
        else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            entry.hint = FolderEntry::Hint::Folder;
        else
            entry.hint = FolderEntry::Hint::Regular;
        entries->push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return true;
}

qint64 FileHandle::read(char *buffer, qint64 size) const
{
    DWORD got = 0;
    const DWORD wanted = DWORD(std::min<qint64>(size, 1 << 30));
    if (!::ReadFile(m_handle, buffer, wanted, &got, nullptr))
        return -1;
    return qint64(got);
}
