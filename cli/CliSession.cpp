#include "cli/CliSession.h"

#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"

std::optional<CliSession> CliSession::start(const CommonOptions &options, const char *command,
                                            bool loadDatabases)
{
    const DataFolderResult folders =
        resolveDataFolders(DataFolderInputs::fromProcess(options.appFolder));
    if (!folders.ok()) {
        options.cannotRun(command, folders.error);
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
