#include "cli/CliSession.h"

#include "cli/CliOutput.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"

#include <QFileInfo>

std::optional<CliSession> CliSession::start(const QString &appFolder)
{
    if (!appFolder.isEmpty() && !QFileInfo(appFolder).isDir()) {
        CliOutput::err(
            QStringLiteral("torvakine-cli: application folder %1 not found").arg(appFolder));
        return std::nullopt;
    }
    CliSession s;
    s.paths = AppPaths::forFolder(appFolder.isEmpty() ? AppPaths::executableFolder() : appFolder);
    readCurrentLanguage(s.paths, s.texts);
    SilentProgress bar;
    DatabaseTables tables;
    LoadDatabases(s.paths, tables, bar);
    prepareLoadedTables(tables);
    s.engine = makeEngine(std::move(tables));
    return s;
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
