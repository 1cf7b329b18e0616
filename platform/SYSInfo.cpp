#include "platform/SYSInfo.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#ifdef Q_OS_WIN
QString queryFolder(UINT (*query)(LPSTR, UINT))
{
    char buffer[1024];
    const UINT n = query(buffer, sizeof buffer);
    return n >= sizeof buffer ? QString() : QString::fromLocal8Bit(buffer, int(n));
}
QString windowsDirectory()
{
    return queryFolder(GetWindowsDirectoryA);
}
QString systemDirectory()
{
    return queryFolder(GetSystemDirectoryA);
}
#else
QString windowsDirectory()
{
    return QStringLiteral("\\Windows");
}
QString systemDirectory()
{
    return QStringLiteral("\\Windows\\System32");
}
#endif

QString withBackslash(QString folder)
{
    if (!folder.endsWith(QLatin1Char('\\')))
        folder += QLatin1Char('\\');
    return folder;
}

} // namespace

QString GetWindowsFolder()
{
    return withBackslash(windowsDirectory());
}

QString GetSystemFolder()
{
    return withBackslash(systemDirectory());
}
