#pragma once

#include "platform/DataFolders.h"

#include <QString>

// The folders and files of the program's data: what it reads (the databases,
// the Language folder, lang.dat) and where it writes (reports, lang.dat,
// upd.dat, SDR, downloaded databases).  In a portable application folder both
// are that folder; an installed program reads its read-only data and writes
// into the user's data folder (see DataFolders).  Folder texts end with the
// native separator.
struct AppPaths {
    DataFolders folders;
    QString AppFolder;      // the folder the program's data is read from
    QString DataFolder;     // the folder the program writes into
    QString LanguageFolder; // AppFolder + "Language" + separator
    QString ReportFolder;   // DataFolder + "Report" + separator
    QString UpdDatPath;     // DataFolder + "upd.dat"

    // A portable application folder: folder (with or without a trailing
    // separator; a relative folder is taken from the working folder) is read
    // from and written into.
    static AppPaths forFolder(const QString &folder);
    // The paths of resolved data folders.
    static AppPaths forFolders(const DataFolders &folders);

    // The file to read for name: the data folder's copy when there is one,
    // else the application folder's.  Decided at each call.
    QString readFile(const QString &name) const { return folders.readPath(name); }
    // Where name is written: always in the data folder.
    QString writeFile(const QString &name) const { return folders.writePath(name); }
};
