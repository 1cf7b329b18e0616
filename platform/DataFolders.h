#pragma once

#include <QString>

// Where the program reads its data and where it writes.
//
// Portable: one folder (the executable's, or the one given by --app-folder)
// holds the databases and is writable; the program reads and writes there
// only.  Installed: the read-only data (databases, Language/, the default
// lang.dat) comes from one folder, and everything the program writes
// (reports, lang.dat, upd.dat, SDR, downloaded databases) goes into the
// user's own data folder.  A file of the user's folder takes the place of the
// read-only one of the same name.
//
// Folder texts use the native separator and have no trailing separator.
struct DataFolders {
    enum class Mode { Portable, Installed };

    Mode mode = Mode::Portable;
    QString readFolder;
    // Also the key of the single-instance lock: one running program per
    // folder it writes into.
    QString writeFolder;

    // The file to read for name (a database, lang.dat, server.dat): the copy
    // in the write folder when it holds one, else the one in the read folder.
    // Decided at each call, so a database downloaded during the run is found
    // by the reload that follows.
    QString readPath(const QString &name) const;
    // Where name is written: always in the write folder.
    QString writePath(const QString &name) const;
};

// What decides the folders: the executable's folder, the --app-folder
// option, and the environment that names the user's data folder.
struct DataFolderInputs {
    QString executableFolder;
    QString appFolderOverride; // empty when --app-folder was not given
    // Linux: the user's data folder is $XDG_DATA_HOME/torvakine, or
    // $HOME/.local/share/torvakine when XDG_DATA_HOME is unset or relative.
    QString xdgDataHome;
    QString home;
    // Windows: the user's local application data folder; when it is set the
    // user's data folder is appData/Torvakine and the two above are unused.
    QString appData;

    // The running program's folder and environment.
    static DataFolderInputs fromProcess(const QString &appFolderOverride);
};

struct DataFolderResult {
    DataFolders folders;
    // Empty on success; otherwise one sentence that names the folder and
    // what is wrong with it, and folders must not be used.
    QString error;

    bool ok() const { return error.isEmpty(); }
};

// Decides the mode and the folders; in installed mode it also creates the
// user's data folder (owner-only permissions for every folder it creates).
// Reads no file of the program and writes nothing in portable mode, apart
// from a probe file that tells whether the folder is writable.
//
// - --app-folder DIR: DIR is the read folder.  Portable when DIR is
//   writable, installed otherwise.  DIR must exist.
// - Otherwise, when the executable's folder holds a database: portable when
//   it is writable, installed reading from it otherwise.
// - Otherwise, when ../share/torvakine exists next to the executable's
//   folder: installed, reading from there.
// - Otherwise: portable in the executable's folder when it is writable (a
//   build without staged data), else installed reading ../share/torvakine.
DataFolderResult resolveDataFolders(const DataFolderInputs &inputs);
