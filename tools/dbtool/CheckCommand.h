#pragma once

#include <QStringList>

// check [--kind cookdb|trojsig|regdb] FILE: reports the structure faults of
// a database (enciphered .dat or plain text) and exits 1 when it finds any.
int runCheck(const QStringList &args);

// The faults of plain database lines, each "line N: description".
QStringList checkCookDb(const QStringList &lines);
QStringList checkTrojSig(const QStringList &lines);
QStringList checkRegDb(const QStringList &lines);
