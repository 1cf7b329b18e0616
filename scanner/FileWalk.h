#pragma once

#include <QString>

// Walks the folder path (ending with the native separator) and everything
// below it, depth first, checking every file by name and content.
void ScanFolder(const QString &path);
