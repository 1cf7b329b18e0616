#pragma once

#include <QStringList>

// torvakine-cli scan [--app-folder DIR] [--no-registry] [--remove] [--jobs N]
//                    [--notify] [--format text|json] PATH
int runScanCommand(const QStringList &args);
extern const char *const kScanHelp;
