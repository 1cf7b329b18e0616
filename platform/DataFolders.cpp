#include "platform/DataFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_WIN
#include <QStandardPaths>
#else
#include <unistd.h>
#endif

namespace {

const char *const kDatabaseNames[] = {"cookdb.dat", "trojsig.dat", "regdb.dat"};

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

QString clean(const QString &folder)
{
    return QDir::cleanPath(QDir(folder).absolutePath());
}

// folder/relative, with no doubled separator when folder is a root.
QString below(const QString &folder, const QString &relative)
{
    return QDir::cleanPath(QDir(clean(folder)).filePath(relative));
}

QString native(const QString &folder)
{
    return QDir::toNativeSeparators(folder);
}

bool holdsDatabase(const QString &folder)
{
    for (const char *name : kDatabaseNames)
        if (QFileInfo(QDir(folder).filePath(QLatin1String(name))).isFile())
            return true;
    return false;
}

// Whether this process can create files in folder.  A real file is tried:
// permission bits do not tell on a read-only mount, with ACLs or on Windows.
bool isWritableFolder(const QString &folder)
{
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".torvakine-probe-XXXXXX")));
    return probe.open();
}

// The user's data folder named by the environment, or an error text.
QString userDataFolder(const DataFolderInputs &in, QString *error)
{
    if (!in.appData.isEmpty())
        return below(in.appData, QStringLiteral("Torvakine"));
    // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
    if (!in.xdgDataHome.isEmpty() && QDir::isAbsolutePath(in.xdgDataHome))
        return below(in.xdgDataHome, QStringLiteral("torvakine"));
    if (in.home.isEmpty()) {
        *error = QStringLiteral("HOME is not set, so the per-user data folder cannot be found; "
                                "set HOME or XDG_DATA_HOME");
        return QString();
    }
    if (!QDir::isAbsolutePath(in.home)) {
        *error = QStringLiteral("HOME (%1) is not an absolute path, so the per-user data folder "
                                "cannot be found")
                     .arg(in.home);
        return QString();
    }
    // The home folder itself is never created: a missing one is a wrong
    // setting, not a place to make.
    if (!QFileInfo(in.home).isDir()) {
        *error = QStringLiteral("the home folder %1 does not exist, so the per-user data folder "
                                "cannot be created there")
                     .arg(native(in.home));
        return QString();
    }
    return below(in.home, QStringLiteral(".local/share/torvakine"));
}

// Creates folder and any missing folder above it, each for its owner only.
bool makeOwnerOnlyPath(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    if (parent == folder || !makeOwnerOnlyPath(parent))
        return false;
    // Another process may create it at the same moment.
    return QDir().mkdir(folder, kOwnerOnly) || QFileInfo(folder).isDir();
}

// Creates the user's data folder when it is missing and checks that this
// user alone can change it.  Returns an error text, empty when usable.
QString prepareUserDataFolder(const QString &folder)
{
    const QFileInfo existing(folder);
    if (existing.exists() && !existing.isDir())
        return QStringLiteral("the per-user data folder %1 exists but is not a folder")
            .arg(native(folder));
    if (!makeOwnerOnlyPath(folder))
        return QStringLiteral("cannot create the per-user data folder %1").arg(native(folder));
    const QFileInfo info(folder);
#ifndef Q_OS_WIN
    // Another user's folder (or one they can write into) could feed this
    // program databases and a language file of their own.
    if (info.ownerId() != ::geteuid())
        return QStringLiteral("the per-user data folder %1 belongs to another user")
            .arg(native(folder));
    if (info.permissions() & (QFile::WriteGroup | QFile::WriteOther)) {
        if (!QFile::setPermissions(folder, kOwnerOnly))
            return QStringLiteral("the per-user data folder %1 can be changed by other users")
                .arg(native(folder));
    }
#endif
    if (!isWritableFolder(folder))
        return QStringLiteral("the per-user data folder %1 is not writable").arg(native(folder));
    return QString();
}

DataFolderResult portable(const QString &folder)
{
    DataFolderResult r;
    r.folders.mode = DataFolders::Mode::Portable;
    r.folders.readFolder = native(folder);
    r.folders.writeFolder = native(folder);
    return r;
}

DataFolderResult installed(const QString &readFolder, const DataFolderInputs &in)
{
    DataFolderResult r;
    const QString userFolder = userDataFolder(in, &r.error);
    if (r.ok())
        r.error = prepareUserDataFolder(userFolder);
    if (!r.ok())
        return r;
    r.folders.mode = DataFolders::Mode::Installed;
    r.folders.readFolder = native(readFolder);
    r.folders.writeFolder = native(userFolder);
    return r;
}

} // namespace

QString DataFolders::readPath(const QString &name) const
{
    if (writeFolder != readFolder) {
        const QString own = writePath(name);
        if (QFileInfo(own).isFile())
            return own;
    }
    return readFolder + QDir::separator() + name;
}

QString DataFolders::writePath(const QString &name) const
{
    return writeFolder + QDir::separator() + name;
}

DataFolderInputs DataFolderInputs::fromProcess(const QString &appFolderOverride)
{
    DataFolderInputs in;
    in.executableFolder = QCoreApplication::applicationDirPath();
    in.appFolderOverride = appFolderOverride;
#ifdef Q_OS_WIN
    in.appData = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#else
    in.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    in.home = qEnvironmentVariable("HOME");
#endif
    return in;
}

DataFolderResult resolveDataFolders(const DataFolderInputs &inputs)
{
    if (!inputs.appFolderOverride.isEmpty()) {
        const QString folder = clean(inputs.appFolderOverride);
        if (!QFileInfo(folder).isDir()) {
            DataFolderResult r;
            r.error =
                QStringLiteral("application folder %1 not found").arg(inputs.appFolderOverride);
            return r;
        }
        return isWritableFolder(folder) ? portable(folder) : installed(folder, inputs);
    }
    const QString exeFolder = clean(inputs.executableFolder);
    if (holdsDatabase(exeFolder))
        return isWritableFolder(exeFolder) ? portable(exeFolder) : installed(exeFolder, inputs);
    const QString shared = below(exeFolder, QStringLiteral("../share/torvakine"));
    if (!QFileInfo(shared).isDir() && isWritableFolder(exeFolder))
        return portable(exeFolder);
    return installed(shared, inputs);
}
