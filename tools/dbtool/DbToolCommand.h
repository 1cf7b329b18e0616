#pragma once

#include <QStringList>

// One command of torvakine-dbtool: its name, a one-line usage text and the
// function that runs it with the remaining arguments.  run returns the exit
// code.
struct DbToolCommand {
    const char *name;
    const char *usage;
    int (*run)(const QStringList &args);
};

// Messages of the tool: results to standard output, errors to standard error.
void printOut(const QString &text);
void printError(const QString &text);
