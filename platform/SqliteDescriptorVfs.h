#pragma once

#include <QByteArray>

// A read-only SQLite file system that reads a database from a file this
// process already holds open, so that SQLite never looks a path up: a name
// swapped for a symbolic link after the file was opened changes nothing.
// It opens only the main database, reports every other file (journal, -wal,
// temporary files) as absent, takes no lock and tells SQLite the file is
// immutable, so SQLite reads the file as it stands and writes nothing.
namespace SqliteDescriptorVfs {

// The name to give sqlite3_open_v2 as its file system; registered with
// SQLite on the first call.
const char *name();

// The database name that stands for the open file fd.  Opening it duplicates
// fd; the caller's descriptor stays its own.
QByteArray databaseName(int fd);

} // namespace SqliteDescriptorVfs
