#pragma once

#include <QStringList>

// torvakine-cli info [--app-folder DIR]
int runInfoCommand(const QStringList &args);
extern const char *const kInfoHelp;
