#pragma once

#include <QString>

// What every command of torvakine-cli does first: point the program at its
// application folder, read the language and load the databases exactly as
// the window's start-up does.
namespace CliSession {
// appFolder empty: the folder of the executable.  False when the folder does
// not exist.
bool start(const QString &appFolder);
bool anyDatabaseLoaded();
} // namespace CliSession
