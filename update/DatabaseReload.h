#pragma once

#include "scanner/Engine.h"

#include <QString>

#include <functional>
#include <optional>

class FileWriter;
class ProgressIndicator;
struct AppPaths;

// What the window shows while the databases are reloaded; every hook may be
// empty (the command-line tool shows nothing).
struct DatabaseReloadHooks {
    // Lets the window draw itself now, before and after the loading.
    std::function<void()> processEvents;
    // Before loading: lblMessages shows Lingua(29), Text1 is hidden.
    std::function<void()> reloadStarted;
    // After loading: the status labels of the databases.
    std::function<void(const DatabaseTables &)> databasesLoaded;
};

struct ReloadResult {
    // The engine of the reloaded databases, to be swapped in whole.
    EngineHandle engine;
    // The first line of upd.dat; none when the file cannot be read, which
    // leaves the shown date as it was.
    std::optional<QString> LastUpdateText;
    // False when upd.dat was to be written and could not be: it keeps the
    // date of the update before.
    bool updDatSaved = true;
};

// The reload after an update (the engine of RestartSystem): writes upd.dat
// with the current date and time through files when updateInstalled, loads
// the three
// databases again into empty tables (a database that fails keeps the version
// text of previous), expands the folder tokens and strips the version markers
// as start-up does, and reads the first line of upd.dat.
ReloadResult reloadDatabases(const AppPaths &paths, const DatabaseTables &previous,
                             bool updateInstalled, FileWriter &files, ProgressIndicator &bar,
                             const DatabaseReloadHooks &hooks = {});
