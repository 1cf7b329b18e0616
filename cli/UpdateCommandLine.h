#pragma once

#include <QStringList>

// torvakine-cli update [--app-folder DIR] [--format text|json]
int runUpdateCommandLine(const QStringList &args);
extern const char *const kUpdateHelp;
