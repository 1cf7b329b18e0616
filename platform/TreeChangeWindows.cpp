#include "platform/TreeChange.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// On Windows the folders are reached one at a time as on other systems
// (FileHandle refuses a reparse point at every step), and the entry is
// deleted or replaced through a handle whose identity was checked first.
// What lies between the check of a folder and the path-based opening of its
// entry is not pinned as an open folder pins it elsewhere.

namespace {

constexpr int kCompanionTries = 16;
const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring widePath(const QByteArray &utf8)
{
    QString path = QString::fromUtf8(utf8);
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (path.size() > 2 && path.at(1) == QLatin1Char(':') &&
        !path.startsWith(QLatin1String("\\\\")))
        path.prepend(QLatin1String("\\\\?\\"));
    return path.toStdWString();
}

bool isPlainName(const QByteArray &name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('\0');
}

bool isSameObject(const BY_HANDLE_FILE_INFORMATION &info, const FileStatus &recorded)
{
    const quint64 index = (quint64(info.nFileIndexHigh) << 32) | quint64(info.nFileIndexLow);
    return info.dwVolumeSerialNumber == recorded.device && index == recorded.inode;
}

// The entry at path itself (a reparse point is not followed), opened with
// access, and what the system says of it.
HANDLE openEntryAt(const QByteArray &path, DWORD access, BY_HANDLE_FILE_INFORMATION *info)
{
    const HANDLE h =
        ::CreateFileW(widePath(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE && !::GetFileInformationByHandle(h, info)) {
        ::CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

bool isPlainFile(const BY_HANDLE_FILE_INFORMATION &info)
{
    return !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
}

bool markForDeletion(HANDLE h)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) !=
           0;
}

} // namespace

TreeFolder TreeFolder::reach(const QByteArray &root, const QByteArray &path)
{
    TreeFolder folder;
    QByteArray base = root;
    base.replace('/', '\\');
    if (!base.endsWith('\\'))
        base += '\\';
    QByteArray full = path;
    full.replace('/', '\\');
    if (root.isEmpty() || !full.startsWith(base))
        return folder;
    QList<QByteArray> names = full.mid(base.size()).split('\\');
    for (const QByteArray &name : names) {
        if (!isPlainName(name))
            return folder;
    }
    const QByteArray name = names.takeLast();
    FileHandle here = FileHandle::openFolder(base);
    FileStatus rootStatus;
    if (!here.status(&rootStatus))
        return folder;
    QByteArray at = base;
    FileStatus st = rootStatus;
    for (const QByteArray &step : names) {
        here = here.openFolderIn(step);
        at += step + '\\';
        if (!here.status(&st) || st.kind != FileStatus::Kind::Folder ||
            st.device != rootStatus.device)
            return folder;
    }
    folder.m_folder = std::move(here);
    folder.m_path = at;
    folder.m_status = st;
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
    if (!isOpen())
        return false;
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE h = openEntryAt(m_path + m_name, DELETE | FILE_READ_ATTRIBUTES, &info);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool isLink = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    const bool writable = isPlainFile(info) && !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    const bool removed = isSameObject(info, file) && (isLink || writable) && markForDeletion(h);
    ::CloseHandle(h);
    return removed;
}

std::optional<QByteArray> TreeFolder::linkTarget() const
{
    // What a reparse point holds is not read here: a removal that must keep
    // a link first does not remove it.
    return std::nullopt;
}

FileRewrite::FileRewrite(const TreeFolder &folder, const FileStatus &original,
                         const QByteArray &stem)
    : m_folder(folder), m_original(original)
{
    if (!folder.isOpen())
        return;
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE h = openEntryAt(folder.m_path + folder.entryName(), FILE_READ_ATTRIBUTES, &info);
    if (h == INVALID_HANDLE_VALUE)
        return;
    ::CloseHandle(h);
    if (!isSameObject(info, original) || !isPlainFile(info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return;
    for (int i = 0; i < kCompanionTries && !isOpen(); ++i) {
        const QByteArray name =
            stem + '.' + QByteArray::number(QRandomGenerator::system()->generate(), 16);
        // CREATE_NEW fails on any existing entry of that name, a link included.
        m_companion = ::CreateFileW(widePath(folder.m_path + name).c_str(), GENERIC_WRITE | DELETE,
                                    0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (isOpen())
            m_companionName = name;
        else if (::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
}

FileRewrite::~FileRewrite()
{
    discard();
}

bool FileRewrite::isOpen() const
{
    return m_companion != INVALID_HANDLE_VALUE;
}

bool FileRewrite::write(const char *data, qint64 size)
{
    while (!m_writeFailed && size > 0) {
        DWORD put = 0;
        const DWORD piece = DWORD(std::min<qint64>(size, 1 << 30));
        if (!::WriteFile(m_companion, data, piece, &put, nullptr) || put == 0) {
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
    const QByteArray target = m_folder.m_path + m_folder.entryName();
    BY_HANDLE_FILE_INFORMATION info{};
    bool replaced = isOpen() && !m_writeFailed && ::FlushFileBuffers(m_companion);
    if (replaced) {
        const HANDLE h = openEntryAt(target, FILE_READ_ATTRIBUTES, &info);
        replaced = h != INVALID_HANDLE_VALUE && isSameObject(info, m_original) && isPlainFile(info);
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
    if (replaced) {
        // The companion is renamed through its own handle, over the original.
        const std::wstring wide = widePath(target);
        const size_t nameBytes = wide.size() * sizeof(wchar_t);
        std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto *rename = reinterpret_cast<FILE_RENAME_INFO *>(buffer.data());
        rename->ReplaceIfExists = TRUE;
        rename->RootDirectory = nullptr;
        rename->FileNameLength = DWORD(nameBytes);
        std::memcpy(rename->FileName, wide.data(), nameBytes);
        replaced = ::SetFileInformationByHandle(m_companion, FileRenameInfo, rename,
                                                DWORD(buffer.size())) != 0;
    }
    if (!replaced) {
        discard();
        return false;
    }
    BY_HANDLE_FILE_INFORMATION now{};
    if (::GetFileInformationByHandle(m_companion, &now)) {
        m_replacement.kind = FileStatus::Kind::Regular;
        m_replacement.size = (qint64(now.nFileSizeHigh) << 32) | qint64(now.nFileSizeLow);
        m_replacement.device = now.dwVolumeSerialNumber;
        m_replacement.inode = (quint64(now.nFileIndexHigh) << 32) | quint64(now.nFileIndexLow);
    }
    ::CloseHandle(m_companion);
    m_companion = INVALID_HANDLE_VALUE;
    m_companionName.clear();
    return true;
}

void FileRewrite::discard()
{
    if (!isOpen())
        return;
    markForDeletion(m_companion);
    ::CloseHandle(m_companion);
    m_companion = INVALID_HANDLE_VALUE;
    m_companionName.clear();
}
