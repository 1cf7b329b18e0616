#pragma once

#include <QStringList>

// torvakine-cli update [--app-folder DIR]
int runUpdateCommandLine(const QStringList &args);
extern const char *const kUpdateHelp;
