#pragma once

#include <QByteArray>
#include <QString>

// Small file helpers shared by the engine.
namespace TextFiles {
// The first line of a file: the bytes up to the first CR or LF.  ok is false
// when the file cannot be read.
QByteArray readFirstLine(const QString &path, bool *ok = nullptr);

// Writes bytes to a temporary file in the same folder, flushes it and then
// renames it over path, so path is either the old or the whole new content.
bool writeAtomically(const QString &path, const QByteArray &bytes);

// Renames from over to in one step, replacing to when it exists.
bool replaceFile(const QString &from, const QString &to);

// Text of a file about the local machine (reports, upd.dat): the local 8-bit
// encoding, UTF-8 on Linux.
QByteArray toLocal8Bit(const QString &text);
QString fromLocal8Bit(const QByteArray &bytes);
} // namespace TextFiles
