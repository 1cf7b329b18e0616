#pragma once

#include <QStringList>

// torvakine-cli info [--app-folder DIR] [--format text|json]
int runInfoCommand(const QStringList &args);
extern const char *const kInfoHelp;
