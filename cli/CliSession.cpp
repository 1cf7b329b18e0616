#include "cli/CliSession.h"

#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "platform/SYSInfo.h"

#include <QFileInfo>

bool CliSession::start(const QString &appFolder)
{
    if (!appFolder.isEmpty()) {
        if (!QFileInfo(appFolder).isDir())
            return false;
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
