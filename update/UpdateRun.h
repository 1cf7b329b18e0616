#pragma once

#include "scanner/Engine.h"

class ProgressIndicator;
class UpdateCommand;
struct AppPaths;

// The exit codes of an update run without a window.
enum UpdateRunResult { UpdateSucceeded = 0, UpdateDownloadFailed = 1, UpdateServerUnreachable = 2 };

// Runs the update command to its end without a window, for the command-line
// tool: the check against engine's versions, then an event loop until every
// queued download has ended, then the reload when all of them completed (as
// Timer3 does), which replaces engine.  The rows, the new-version flag and
// the message stay readable in command.  UpdateServerUnreachable when the
// first fetch timed out or no fetch got an answer; UpdateDownloadFailed when
// a queued download did not complete.
UpdateRunResult runUpdateToEnd(UpdateCommand &command, const AppPaths &paths, EngineHandle &engine,
                               ProgressIndicator &bar);
