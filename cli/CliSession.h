#pragma once

#include "cli/CommonOptions.h"
#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "scanner/Engine.h"

#include <optional>

// What every command of torvakine-cli starts from: the application folder,
// its language and the engine of its databases, loaded exactly as the
// window's start-up loads them.
struct CliSession {
    AppPaths paths;
    LanguageTexts texts;
    EngineHandle engine;

    // The data folders of options.appFolder or, when it is empty, of the
    // executable (portable, or installed with the user's data folder).
    // None, after options.cannotRun for command, when the folder does not
    // exist or the user's data folder cannot be used.  Without loadDatabases
    // the engine is an empty one (commands that only look after the data
    // folder).
    static std::optional<CliSession> start(const CommonOptions &options, const char *command,
                                           bool loadDatabases = true);
};
