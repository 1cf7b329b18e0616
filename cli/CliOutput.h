#pragma once

#include <QByteArrayView>
#include <QString>

// Output of torvakine-cli: results on standard output, messages on standard
// error.  Nothing printed can drive the terminal: every control character
// but the tab and the line feed that ends a line, and every byte that is not
// valid UTF-8, is written as a visible escape (VisibleText).
namespace CliOutput {
// Prints text, one line per line of it; a CR before an LF is dropped.
void out(const QString &text);
void err(const QString &text);
// A text from outside (a file name, an object text, a threat name) as one
// field of one line: every control character, tab and line feed included, as
// \xHH, CR and LF as \r and \n, "\" as "\\", a byte that is not valid UTF-8
// as \xHH.  Each byte string prints differently.
QString field(const QString &text);
QString fieldBytes(QByteArrayView bytes);
bool stderrIsTerminal();
} // namespace CliOutput
