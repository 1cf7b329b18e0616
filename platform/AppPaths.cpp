#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>

AppPaths AppPaths::forFolder(const QString &folder)
{
    const QString sep = QDir::separator();
    QString base = QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
    if (!base.endsWith(sep))
        base += sep;
    AppPaths p;
    p.AppFolder = base;
    p.LanguageFolder = base + QStringLiteral("Language") + sep;
    p.ReportFolder = base + QStringLiteral("Report") + sep;
    p.UpdDatPath = base + QStringLiteral("upd.dat");
    return p;
}

QString AppPaths::executableFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}
