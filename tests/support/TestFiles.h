#pragma once

#include <QByteArray>
#include <QString>

#include <sys/stat.h>

// Writes bytes to path, creating its folder; ends the test program on error.
void writeTestFile(const QString &path, const QByteArray &bytes);
// The bytes of the file at path, or empty bytes when it cannot be read.
QByteArray readTestFile(const QString &path);
// The status of path itself (a link is not followed); all zero when there is
// nothing at path.
struct stat statusOf(const QString &path);
