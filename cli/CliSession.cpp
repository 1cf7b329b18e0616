#include "cli/CliSession.h"

#include "cli/CliOutput.h"
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"
#include "platform/SYSInfo.h"
#include "platform/StartupState.h"

#include <QFileInfo>

bool CliSession::start(const QString &appFolder)
{
    if (!appFolder.isEmpty()) {
        if (!QFileInfo(appFolder).isDir()) {
            CliOutput::err(
                QStringLiteral("torvakine-cli: application folder %1 not found").arg(appFolder));
            return false;
        }
        setApplicationFolderOverride(appFolder);
    }
    deriveApplicationPaths();
    StartupState &s = startupState();
    readCurrentLanguage();
    SilentProgress bar;
    LoadDatabases(bar);
    s.SystemFolder = GetSystemFolder().toLower();
    s.WindowsFolder = GetWindowsFolder().toLower();
    PreparoVersioni();
    ExpandFolderTokens();
    return true;
}

bool CliSession::anyDatabaseLoaded()
{
    const DatabaseTables &t = databaseTables();
    return t.CookDbLoaded || t.TrojSigLoaded || t.RegDbLoaded;
}

bool CliSession::parseAppFolderOnly(const QStringList &args, const char *help, QString *appFolder)
{
    if (args.size() == 2 && args[0] == QLatin1String("--app-folder")) {
        *appFolder = args[1];
        return true;
    }
    if (args.isEmpty())
        return true;
    CliOutput::err(QString::fromLatin1(help));
    return false;
}
