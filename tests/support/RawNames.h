#pragma once

#include <QByteArray>
#include <QString>

// Files whose names are raw bytes (control characters, bytes that are not
// UTF-8), which QString paths cannot name.

// Creates the file name in folder (made when missing) holding bytes; ends
// the test program on error.
void writeRawName(const QString &folder, const QByteArray &name, const QByteArray &bytes = {});
// Removes every file of folder by its raw name, so that the temporary folder
// around it can be removed by path afterwards.
void removeRawNames(const QString &folder);
