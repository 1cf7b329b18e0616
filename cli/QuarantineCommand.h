#pragma once

#include <QStringList>

// torvakine-cli quarantine list|restore ID...|--all|purge ID...|--all|--older-than DAYS
int runQuarantineCommand(const QStringList &args);
extern const char *const kQuarantineHelp;
