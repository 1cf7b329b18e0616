#pragma once

#include <QString>

// Output of torvakine-cli: results on standard output, messages on standard
// error.
namespace CliOutput {
void out(const QString &line);
void err(const QString &line);
// An object text on one line: CR, LF and backslash written as \r, \n and \\.
QString escaped(const QString &text);
bool stderrIsTerminal();
} // namespace CliOutput
