#pragma once

#include <QtGlobal>

#include <optional>

class FileWriter;
struct AppPaths;

// The sequence number of the last update list this application folder
// accepted, kept in "upd.seq" beside upd.dat: one line, the number in
// decimal, CR LF.  A list with a lower number is refused, so a server cannot
// bring back an older publication.

// The stored number; nothing when upd.seq is missing or does not hold a
// number (a fresh installation, which accepts any list).
std::optional<quint64> readAcceptedSequence(const AppPaths &paths);

// Stores sequence through files (a durable, checked replacement of upd.seq).
bool storeAcceptedSequence(const AppPaths &paths, quint64 sequence, FileWriter &files);
