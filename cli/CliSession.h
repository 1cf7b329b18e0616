#pragma once

#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "scanner/Engine.h"

#include <QString>
#include <QStringList>

#include <optional>

// What every command of torvakine-cli starts from: the application folder,
// its language and the engine of its databases, loaded exactly as the
// window's start-up loads them.
struct CliSession {
    AppPaths paths;
    LanguageTexts texts;
    EngineHandle engine;

    // appFolder empty: the folder of the executable.  None, with a message on
    // standard error, when the folder does not exist.
    static std::optional<CliSession> start(const QString &appFolder);
    // Reads the arguments of a command whose only option is --app-folder DIR.
    // False, with the command's help on standard error, for anything else.
    static bool parseAppFolderOnly(const QStringList &args, const char *help, QString *appFolder);
};
