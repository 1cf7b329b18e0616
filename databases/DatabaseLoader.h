#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class ProgressIndicator;

// The three database files in the order they are loaded.
enum class DatabaseFile { CookDb, TrojSig, RegDb };
QString databaseFileName(DatabaseFile file);

// Deciphers the three database files of the application folder into the
// tables of databaseTables(), driving bar by the bytes read.  A file that
// fails keeps its previous version text, gets its loaded flag cleared and a
// count of 0.  No file is ever deleted and no scratch file is written.
void LoadDatabases(ProgressIndicator &bar);

// Deciphers one database file into its plain text (Windows-1252 bytes).
bool decipherDatabaseFile(const QString &path, QByteArray *plain);

// Splits deciphered database text into lines: a line ends at CR LF or at a
// lone CR; a lone LF stays inside its line.
QStringList databaseLines(const QByteArray &plain);

// Strips the leading "[[[" of each version text; a second call changes
// nothing.
void PreparoVersioni();

// Replaces "%system%\" by SystemFolder in every cookdb entry that starts with
// "%sy", and "%windir%\" by WindowsFolder in every entry that starts with
// "%wi".
void ExpandFolderTokens();
