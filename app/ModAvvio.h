#pragma once

#include <QString>

#include <memory>

class SingleInstance;

// The start-up module.

// Takes the single-instance lock of the application folder folder.  When
// another running program holds it, shows "Another instance of this program
// is already open." and returns null: the caller ends the process without
// reading any file.  The lock is held while the object returned lives.
std::unique_ptr<SingleInstance> CheckSingleInstance(const QString &folder);

// Runs the program: loading window, then the main window.  Returns the exit
// code.
int runTorvakine();
