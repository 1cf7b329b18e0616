#pragma once

#include <QStringList>

// torvakine-cli allow list|add RULE|remove N [--app-folder DIR]
int runAllowCommand(const QStringList &args);
extern const char *const kAllowHelp;
