#pragma once

#include <QString>

// The paths and flags that start-up derives and the rest of the program reads.
// Folder texts end with the native separator.
struct StartupState {
    QString AppFolder;      // the application folder, separator-terminated
    QString LanguageFolder; // AppFolder + "Language" + separator
    QString ReportFolder;   // AppFolder + "Report" + separator
    QString UpdDatPath;     // AppFolder + "upd.dat"
    QString LastUpdateText; // first line of upd.dat, or empty
    QString SystemFolder;   // lower-cased, "\"-terminated
    QString WindowsFolder;  // lower-cased, "\"-terminated
    bool StopRequested = false;
};

StartupState &startupState();
void resetStartupState();

// The folder of the running executable without a trailing separator, unless
// overridden (the command-line tool's --app-folder, tests).
QString applicationFolder();
void setApplicationFolderOverride(const QString &folder);

// Sets AppFolder, LanguageFolder, ReportFolder and UpdDatPath from
// applicationFolder().
void deriveApplicationPaths();
