#pragma once

#include <QString>
#include <QStringList>

// What every command of torvakine-cli does first: point the program at its
// application folder, read the language and load the databases exactly as
// the window's start-up does.
namespace CliSession {
// appFolder empty: the folder of the executable.  False, with a message on
// standard error, when the folder does not exist.
bool start(const QString &appFolder);
// Reads the arguments of a command whose only option is --app-folder DIR.
// False, with the command's help on standard error, for anything else.
bool parseAppFolderOnly(const QStringList &args, const char *help, QString *appFolder);
bool anyDatabaseLoaded();
} // namespace CliSession
