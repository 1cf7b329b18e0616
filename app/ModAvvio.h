#pragma once

// The start-up module.

// Takes the single-instance lock of the application folder.  When another
// running program holds it, shows "Another instance of this program is
// already open." and returns false: the caller ends the process without
// reading any file.
bool CheckSingleInstance();

// Releases the lock (tests start the program's windows more than once).
void releaseSingleInstance();

// Runs the program: loading window, then the main window.  Returns the exit
// code.
int runTorvakine();
