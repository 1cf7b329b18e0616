#pragma once

#include <QByteArray>
#include <QString>

// Reads the items of a language file into Lingua(1) to Lingua(34).
//   - spaces, CR and LF before an item are skipped;
//   - an item that begins with a double quote runs to the next double quote;
//     whatever follows the closing quote up to the next comma or line end is
//     skipped;
//   - any other item runs up to the next comma, CR or LF (trailing spaces are
//     dropped);
//   - reading stops after the 34th item; entries the file does not reach keep
//     their text.
// The file is Windows-1252.  A missing file changes nothing.
void readLanguageFile(const QString &path);
void readLanguageText(const QByteArray &bytes);

// Reads lang.dat of the application folder.
void readCurrentLanguage();
