#include "platform/NativeFileIo.h"

#include <windows.h>

#include <algorithm>

bool writeAll(void *file, const char *data, qint64 size)
{
    while (size > 0) {
        DWORD put = 0;
        const DWORD piece = DWORD(std::min<qint64>(size, 1 << 30));
        if (!::WriteFile(file, data, piece, &put, nullptr) || put == 0)
            return false;
        data += put;
        size -= put;
    }
    return true;
}

std::wstring widePath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (p.size() > 2 && p.at(1) == QLatin1Char(':') && !p.startsWith(QLatin1String("\\\\")))
        p.prepend(QLatin1String("\\\\?\\"));
    return p.toStdWString();
}

QByteArray joinedPath(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('\\') || folder.endsWith('/') ? folder + name : folder + '\\' + name;
}
