#include "platform/AppPaths.h"

#include <QDir>

namespace {
QString withSeparator(const QString &folder)
{
    const QString sep = QDir::separator();
    return folder.endsWith(sep) ? folder : folder + sep;
}
} // namespace

AppPaths AppPaths::forFolder(const QString &folder)
{
    DataFolders portable;
    portable.readFolder = QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
    portable.writeFolder = portable.readFolder;
    return forFolders(portable);
}

AppPaths AppPaths::forFolders(const DataFolders &folders)
{
    const QString sep = QDir::separator();
    AppPaths p;
    p.folders = folders;
    p.AppFolder = withSeparator(folders.readFolder);
    p.DataFolder = withSeparator(folders.writeFolder);
    p.LanguageFolder = p.AppFolder + QStringLiteral("Language") + sep;
    p.ReportFolder = p.DataFolder + QStringLiteral("Report") + sep;
    p.UpdDatPath = p.DataFolder + QStringLiteral("upd.dat");
    return p;
}
