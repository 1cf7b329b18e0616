#pragma once

#include <QByteArray>
#include <QString>

// The one way the update and the language switch write a file of the
// application folder.  A write either replaces the file whole and durably or
// leaves it exactly as it was and says so: the new content goes to a
// temporary file beside it, is flushed to disk and read back and compared,
// and only then renamed over the file, whose folder is flushed in turn.
class FileWriter
{
public:
    virtual ~FileWriter() = default;
    // True only when path now holds exactly bytes on disk.  On false, path
    // is untouched (unless only the last flush of its folder failed, when
    // the new content may or may not survive a crash) and no temporary file
    // is left.
    virtual bool replaceFile(const QString &path, const QByteArray &bytes) = 0;
};
