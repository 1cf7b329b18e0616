#pragma once

#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"

#include <QByteArray>
#include <QStringList>

// Helpers of the three database-reader targets: the fuzzed bytes are the
// deciphered text of one database; they are enciphered exactly as given
// (line endings untouched) into the application folder and read by the real
// loader.

// Writes plain as the one database file present and runs LoadDatabases on
// empty tables.  Checks what holds for every format: the other two files fail
// to load, every count stays within the stored entries, and slot 0 of every
// table is empty.  Returns the tables and whether the file loaded.
struct FuzzedLoad {
    DatabaseTables tables;
    bool loaded = false;
};
FuzzedLoad loadFuzzedDatabase(DatabaseFile file, const QByteArray &plain);

// The lines of deciphered text as the file format defines them, split here
// independently of the loader: a line ends at CR LF or at a lone CR.
QStringList referenceLines(const QByteArray &plain);

// trojsig.dat and regdb.dat as the format defines them: every line that is
// not a version line is an entry (after an empty slot 0); the last version
// line wins.
struct PlainTable {
    QStringList entries{QString()};
    QString version;
};
PlainTable referencePlainTable(const QByteArray &plain);
