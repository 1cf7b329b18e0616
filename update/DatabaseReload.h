#pragma once

#include <functional>

class ProgressIndicator;

// What the window shows while the databases are reloaded; every hook may be
// empty (the command-line tool shows nothing).
struct DatabaseReloadHooks {
    // Before loading: lblMessages shows Lingua(29), Text1 is hidden.
    std::function<void()> reloadStarted;
    // After loading: the status labels of the databases.
    std::function<void()> databasesLoaded;
    // At the end: the last-update line from LastUpdateText.
    std::function<void()> reloadFinished;
};

// The reload after an update (the engine of RestartSystem): writes upd.dat
// with the current date and time when UpdateInstalled is set, empties the
// tables, loads the three databases again, expands the folder tokens of the
// spyware database as start-up does, strips the version markers and reads
// the first line of upd.dat into LastUpdateText (which keeps its value when
// the file is missing).
void reloadDatabases(ProgressIndicator &bar, const DatabaseReloadHooks &hooks = {});
