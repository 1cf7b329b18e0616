#include "platform/TreeRestore.h"

#include <QRandomGenerator>
#include <QString>

#include <windows.h>

#include <string>

namespace {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01.
constexpr qint64 kEpochDifference = 116444736000000000LL;

std::wstring widePath(const QByteArray &utf8)
{
    QString path = QString::fromUtf8(utf8);
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (path.size() > 2 && path.at(1) == QLatin1Char(':') &&
        !path.startsWith(QLatin1String("\\\\")))
        path.prepend(QLatin1String("\\\\?\\"));
    return path.toStdWString();
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('\\') || folder.endsWith('/') ? folder + name : folder + '\\' + name;
}

bool writeAll(HANDLE h, const char *data, qint64 size)
{
    while (size > 0) {
        DWORD put = 0;
        if (!::WriteFile(h, data, DWORD(std::min<qint64>(size, 1 << 30)), &put, nullptr) ||
            put == 0)
            return false;
        data += put;
        size -= put;
    }
    return true;
}

DWORD attributesAt(const QByteArray &path)
{
    return ::GetFileAttributesW(widePath(path).c_str());
}

} // namespace

std::optional<RestoredAttributes> attributesOf(const FileHandle &file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.isOpen() || !::GetFileInformationByHandle(file.native(), &info))
        return std::nullopt;
    const qint64 ticks = (qint64(info.ftLastWriteTime.dwHighDateTime) << 32 |
                          qint64(info.ftLastWriteTime.dwLowDateTime)) -
                         kEpochDifference;
    RestoredAttributes a;
    a.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    a.mtimeSeconds = ticks / 10000000;
    a.mtimeNanoseconds = qint32(ticks % 10000000) * 100;
    return a;
}

RestorePlaceOutcome
RestorePlace::createFile(const RestoredAttributes &attributes,
                         const std::function<bool(const RestoreWriter &write)> &fill) const
{
    if (!isOpen())
        return RestorePlaceOutcome::Refused;
    const QByteArray target = joined(m_folder.m_path, m_folder.entryName());
    if (attributesAt(target) != INVALID_FILE_ATTRIBUTES)
        return RestorePlaceOutcome::Exists;
    const QByteArray companion = joined(
        m_folder.m_path, "." + m_folder.entryName().left(200) + ".restore-" +
                             QByteArray::number(QRandomGenerator::system()->generate64(), 16));
    HANDLE h = ::CreateFileW(widePath(companion).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return RestorePlaceOutcome::WriteFailed;
    bool writeFailed = false;
    const bool filled = fill([&](const char *data, qint64 size) {
        writeFailed = writeFailed || !writeAll(h, data, size);
        return !writeFailed;
    });
    RestorePlaceOutcome outcome = RestorePlaceOutcome::Done;
    if (!filled) {
        outcome =
            writeFailed ? RestorePlaceOutcome::WriteFailed : RestorePlaceOutcome::ContentRefused;
    } else {
        if (attributes.mtimeSeconds) {
            const qint64 ticks = *attributes.mtimeSeconds * 10000000LL +
                                 attributes.mtimeNanoseconds / 100 + kEpochDifference;
            FILETIME time{DWORD(ticks & 0xffffffff), DWORD(quint64(ticks) >> 32)};
            if (!::SetFileTime(h, nullptr, nullptr, &time))
                outcome = RestorePlaceOutcome::WriteFailed;
        }
        if (!::FlushFileBuffers(h))
            outcome = RestorePlaceOutcome::WriteFailed;
    }
    ::CloseHandle(h);
    if (outcome == RestorePlaceOutcome::Done && attributes.mode && !(*attributes.mode & 0200))
        ::SetFileAttributesW(widePath(companion).c_str(), FILE_ATTRIBUTE_READONLY);
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken.
    if (outcome == RestorePlaceOutcome::Done &&
        !::MoveFileExW(widePath(companion).c_str(), widePath(target).c_str(),
                       MOVEFILE_WRITE_THROUGH))
        outcome = ::GetLastError() == ERROR_ALREADY_EXISTS ? RestorePlaceOutcome::Exists
                                                           : RestorePlaceOutcome::WriteFailed;
    if (outcome != RestorePlaceOutcome::Done) {
        ::SetFileAttributesW(widePath(companion).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(widePath(companion).c_str());
    }
    return outcome;
}

RestorePlaceOutcome RestorePlace::createLink(const QByteArray &target) const
{
    if (!isOpen() || target.isEmpty())
        return RestorePlaceOutcome::Refused;
    const QByteArray entry = joined(m_folder.m_path, m_folder.entryName());
    if (attributesAt(entry) != INVALID_FILE_ATTRIBUTES)
        return RestorePlaceOutcome::Exists;
    if (!::CreateSymbolicLinkW(widePath(entry).c_str(), widePath(target).c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE))
        return ::GetLastError() == ERROR_ALREADY_EXISTS ? RestorePlaceOutcome::Exists
                                                        : RestorePlaceOutcome::Refused;
    return RestorePlaceOutcome::Done;
}

RestorePlaceOutcome RestorePlace::appendLine(const QByteArray &bytes) const
{
    if (!isOpen())
        return RestorePlaceOutcome::Refused;
    const QByteArray entry = joined(m_folder.m_path, m_folder.entryName());
    HANDLE h = ::CreateFileW(widePath(entry).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? RestorePlaceOutcome::FolderMissing
                                                        : RestorePlaceOutcome::Refused;
    BY_HANDLE_FILE_INFORMATION info{};
    LARGE_INTEGER size{};
    RestorePlaceOutcome outcome = RestorePlaceOutcome::Done;
    if (!::GetFileInformationByHandle(h, &info) || !::GetFileSizeEx(h, &size) ||
        (info.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY))) {
        outcome = RestorePlaceOutcome::Refused;
    } else {
        char last = '\n';
        DWORD got = 0;
        LARGE_INTEGER at{};
        at.QuadPart = size.QuadPart - 1;
        if (size.QuadPart > 0 && (!::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) ||
                                  !::ReadFile(h, &last, 1, &got, nullptr) || got != 1))
            outcome = RestorePlaceOutcome::WriteFailed;
        const QByteArray put = last == '\n' ? bytes : '\n' + bytes;
        LARGE_INTEGER end{};
        if (outcome == RestorePlaceOutcome::Done &&
            (!::SetFilePointerEx(h, end, nullptr, FILE_END) ||
             !writeAll(h, put.constData(), put.size()) || !::FlushFileBuffers(h))) {
            outcome = RestorePlaceOutcome::WriteFailed;
            if (::SetFilePointerEx(h, size, nullptr, FILE_BEGIN))
                ::SetEndOfFile(h);
        }
    }
    ::CloseHandle(h);
    return outcome;
}
