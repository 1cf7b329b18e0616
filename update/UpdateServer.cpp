#include "update/UpdateServer.h"

#include "platform/AppPaths.h"
#include "platform/TextFiles.h"

#ifndef TORVAKINE_UPDATE_URL
#error "TORVAKINE_UPDATE_URL must name the update server's base URL"
#endif

QString updateServerBaseUrl(const AppPaths &paths)
{
    const QString serverFile = paths.file(QStringLiteral("server.dat"));
    bool ok = false;
    QString base = QString::fromUtf8(TextFiles::readFirstLine(serverFile, &ok)).trimmed();
    if (!ok || base.isEmpty())
        base = QStringLiteral(TORVAKINE_UPDATE_URL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString updateServerUrl(const AppPaths &paths, const QString &path)
{
    return updateServerBaseUrl(paths) + path;
}
