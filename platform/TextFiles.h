#pragma once

#include <QByteArray>
#include <QString>

// Small file helpers shared by the engine.
namespace TextFiles {
// The first line of a file: the bytes up to the first CR or LF.  ok is false
// when the file cannot be read.
QByteArray readFirstLine(const QString &path, bool *ok = nullptr);

// Replaces path with bytes so that it holds either its old content or the
// whole new one, also after a crash or a power cut: the bytes go to a new
// temporary file in the same folder (permissions as for a new file), every
// write is checked, the file is flushed to disk (fsync) and closed, read back
// and compared by size and SHA-256 with bytes, and renamed over path; last the
// folder itself is flushed, so that the rename is on disk too.  On a full
// disk or any other failure the temporary file is removed, path keeps its
// old content and the result is false.  A failure of the last step, the
// folder's flush, also returns false although path already holds the new
// content.
bool writeAtomically(const QString &path, const QByteArray &bytes);

// Renames from over to in one step, replacing to when it exists.
bool replaceFile(const QString &from, const QString &to);

// Text of a file about the local machine (reports, upd.dat): the local 8-bit
// encoding, UTF-8 on Linux.
QByteArray toLocal8Bit(const QString &text);
QString fromLocal8Bit(const QByteArray &bytes);
} // namespace TextFiles
