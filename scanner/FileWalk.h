#pragma once

#include <QString>

class ScanSession;

// Walks the folder path (ending with the native separator) and everything
// below it, depth first in the order the file system lists the entries,
// checking every file by name and, up to kContentCheckLimit bytes, by content.
// Every listed entry is counted in ObjectsScanned; below the starting folder
// that includes "." and "..".  Folders whose names begin with "." are not
// entered, nor are links, folders on another file system or a folder already
// being walked (a loop through a bind mount).  The walk ends early after the
// entry at which a stop is found requested.
void ScanFolder(ScanSession &session, const QString &path);
