#pragma once

#include <QStringList>

// encode PLAIN OUT.dat: enciphers a plain-text database with the program's
// keys.  decode IN.dat OUT.txt: deciphers a database to plain text.
int runEncode(const QStringList &args);
int runDecode(const QStringList &args);
