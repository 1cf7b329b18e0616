#pragma once

#include "scanner/Engine.h"

class FileWriter;
class ProgressIndicator;
class UpdateCommand;
struct AppPaths;

// The exit codes of an update run without a window.
enum UpdateRunResult { UpdateSucceeded = 0, UpdateFailed = 1, UpdateServerUnreachable = 2 };

// Runs the update to its end without a window, for the command-line tool:
// the check against engine's versions, then an event loop until every queued
// download has ended, then the reload when all of them completed (as the
// window's timer does), which replaces engine and writes upd.dat through
// files.  The rows, notes, the new-version flag and the message stay readable
// in command.  UpdateServerUnreachable when the update list or a version file
// could not be fetched; UpdateFailed when the update list was refused, a
// download failed or was refused, or a file could not be written.
UpdateRunResult runUpdateToEnd(UpdateCommand &command, const AppPaths &paths, EngineHandle &engine,
                               FileWriter &files, ProgressIndicator &bar);
