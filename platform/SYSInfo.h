#pragma once

#include <QString>

// The Windows folder and the system folder, each ending in "\".  On Windows
// they come from GetWindowsDirectoryA and GetSystemDirectoryA; on Linux they
// are the folders relative to the root of a Windows volume, "\Windows\" and
// "\Windows\System32\", so that "%system%\" patterns match the files of any
// scanned Windows volume.  A failing query gives "\".
QString GetWindowsFolder();
QString GetSystemFolder();
