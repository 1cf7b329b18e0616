#pragma once

#include <QString>

// The path of the hive helper program (torvakine-hive-helper) that belongs to
// the running program: beside its executable (the staged application folder,
// a portable copy, a bin folder), else in lib/torvakine or libexec/torvakine
// next to the executable's folder (an installed tree).  Empty when none of
// these holds it.
QString hiveHelperProgram();
