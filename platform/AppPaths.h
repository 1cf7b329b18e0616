#pragma once

#include <QString>

// The folders and files of one application folder.  Folder texts end with the
// native separator.
struct AppPaths {
    QString AppFolder;      // the application folder
    QString LanguageFolder; // AppFolder + "Language" + separator
    QString ReportFolder;   // AppFolder + "Report" + separator
    QString UpdDatPath;     // AppFolder + "upd.dat"

    // The paths of the application folder folder (with or without a trailing
    // separator; a relative folder is taken from the working folder).
    static AppPaths forFolder(const QString &folder);

    // The folder of the running executable.
    static QString executableFolder();

    // AppFolder + name.
    QString file(const QString &name) const { return AppFolder + name; }
};
