#pragma once

#include <QByteArray>
#include <QString>

class LanguageTexts;
struct AppPaths;

// Reads the items of a language file into texts, entry 1 on:
//   - spaces, CR and LF before an item are skipped;
//   - an item that begins with a double quote runs to the next double quote;
//     whatever follows the closing quote up to the next comma or line end is
//     skipped;
//   - any other item runs up to the next comma, CR or LF (trailing spaces are
//     dropped);
//   - reading stops after the last entry of the table; entries the file does
//     not reach keep their text.
// The file is Windows-1252.  Returns the number of items read; a missing file
// reads none.
int readLanguageText(const QByteArray &bytes, LanguageTexts &texts);
int readLanguageFile(const QString &path, LanguageTexts &texts);

// Reads lang.dat of the application folder.  Entries past the first 34 that
// lang.dat does not reach (a language file written before they existed) are
// taken from the English file of the Language folder.
void readCurrentLanguage(const AppPaths &paths, LanguageTexts &texts);
