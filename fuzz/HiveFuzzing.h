#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Helpers of the two hive targets: one fuzzed hive serves as every hive of a
// Windows installation in the fuzz folder.

// The installation folder; its hive folders are made by prepareInstallation.
QString installationFolder();
void prepareInstallation();

// Writes hive as SOFTWARE, SYSTEM, DEFAULT and one user's NTUSER.DAT and
// returns their paths, SOFTWARE first.
QStringList writeFuzzedHives(const QByteArray &hive);

// The bytes of the file at path, or empty bytes.
QByteArray readFuzzFile(const QString &path);
