#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class ProgressIndicator;
struct AppPaths;
struct DatabaseTables;

// The three database files in the order they are loaded.
enum class DatabaseFile { CookDb, TrojSig, RegDb };
QString databaseFileName(DatabaseFile file);

// Deciphers the three database files of the application folder into
// tables, driving bar by the bytes read.  A file that
// fails keeps its previous version text, gets its loaded flag cleared and a
// count of 0.  No file is ever deleted and no scratch file is written.
void LoadDatabases(const AppPaths &paths, DatabaseTables &tables, ProgressIndicator &bar);

// Deciphers one database file into its plain text (Windows-1252 bytes).
bool decipherDatabaseFile(const QString &path, QByteArray *plain);

// Splits deciphered database text into lines: a line ends at CR LF or at a
// lone CR; a lone LF stays inside its line.
QStringList databaseLines(const QByteArray &plain);

// Strips the leading "[[[" of each version text; a second call changes
// nothing.
void PreparoVersioni(DatabaseTables &tables);

// Replaces "%system%\" by SystemFolder in every cookdb entry that starts with
// "%sy", and "%windir%\" by WindowsFolder in every entry that starts with
// "%wi".
void ExpandFolderTokens(DatabaseTables &tables, const QString &SystemFolder,
                        const QString &WindowsFolder);

// What start-up and the reload do to freshly loaded tables before a scan uses
// them: the version markers stripped and the folder tokens expanded with the
// lower-cased system and Windows folders.
void prepareLoadedTables(DatabaseTables &tables);
