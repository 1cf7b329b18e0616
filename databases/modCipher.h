#pragma once

#include <QByteArray>
#include <QString>

// Every transformation between the database files on disk and plain text in
// memory.  Texts marked "blanked" are set to empty text in the caller's
// variable once used, so callers build them afresh for every call.

// The position-XOR transform: character i (from 1) becomes code XOR i.
// Applying it twice gives the input back for texts of up to 255 characters.
QString DecodeText(const QString &text);

// Base64 as the databases use it: CR LF pairs and "=" are removed first; any
// other byte outside the alphabet decodes as 0; a final group of 1 value gives
// one 0 byte, of 2 values one byte, of 3 values two bytes.  An empty text is an
// error: ok becomes false.
QByteArray Base64Decode(const QByteArray &text, bool *ok);

// True when the length of the file at path can be read.
bool FileExists(const QString &path);

// Reads sourcePath, optionally Base64-decodes it, passes it through the
// cipher of selector and writes the result to destPath, which must not exist.
// A refused source or destination changes nothing; otherwise sourcePath,
// destPath, keyText and initText are blanked, on success and on failure.
bool CryptFile(int selector, QString &sourcePath, QString &destPath, bool fromBase64,
               QString &keyText, QString &initText);

// Like CryptFile, but hands the result back in plain instead of writing a
// file (the database loader deciphers in memory; no scratch file exists).
bool CryptFileToMemory(int selector, QString &sourcePath, bool fromBase64, QString &keyText,
                       QString &initText, QByteArray *plain);

// Deciphers data with the cipher of selector (0 to 13).  An initialisation
// text shorter than 8 characters is padded with spaces in the caller's
// variable first.  Afterwards data is cleared and both texts are blanked.  An
// unknown selector or a cipher failure gives an empty result.
QByteArray CryptBytes(int selector, QByteArray &data, QString &keyText, QString &initText);

// The opposite direction of CryptBytes, for the maintainers' tool.  The texts
// are taken as they are (padding included) and not blanked.
QByteArray EncryptBytes(int selector, const QByteArray &data, QString keyText, QString initText);

// Lower-case hexadecimal digest of data: selector 1 MD5 (32 characters),
// 3 SHA-1 (40), 0 SHA-256, 2 SHA-512.  Empty data or an unknown selector give
// empty text.
QByteArray HashString(int selector, const QByteArray &data);
