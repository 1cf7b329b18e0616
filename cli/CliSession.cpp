#include "cli/CliSession.h"

#include "cli/CliOutput.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"

std::optional<CliSession> CliSession::start(const QString &appFolder, bool loadDatabases)
{
    const DataFolderResult folders = resolveDataFolders(DataFolderInputs::fromProcess(appFolder));
    if (!folders.ok()) {
        CliOutput::err(QStringLiteral("torvakine-cli: ") + folders.error);
        return std::nullopt;
    }
    CliSession s;
    s.paths = AppPaths::forFolders(folders.folders);
    readCurrentLanguage(s.paths, s.texts);
    SilentProgress bar;
    DatabaseTables tables;
    if (loadDatabases)
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
