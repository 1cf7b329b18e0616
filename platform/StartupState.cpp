#include "platform/StartupState.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString &folderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

StartupState &startupState()
{
    static StartupState state;
    return state;
}

void resetStartupState()
{
    startupState() = StartupState{};
}

QString applicationFolder()
{
    if (!folderOverride().isEmpty())
        return folderOverride();
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void setApplicationFolderOverride(const QString &folder)
{
    folderOverride() = folder.isEmpty()
                           ? QString()
                           : QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
}

void deriveApplicationPaths()
{
    StartupState &s = startupState();
    const QString sep = QDir::separator();
    QString base = applicationFolder();
    if (!base.endsWith(sep))
        base += sep;
    s.UpdDatPath = base + "upd.dat";
    s.ReportFolder = base + "Report" + sep;
    s.AppFolder = base;
    s.LanguageFolder = s.AppFolder + "Language" + sep;
}
