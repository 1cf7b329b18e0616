#pragma once

#include <QByteArray>

// The stored form of a database: the plain text (Windows-1252, lines ending
// with CR LF) enciphered with the database keys and written as Base64 in
// lines of 76 characters ending with CR LF.  Lines of the plain text that end
// with a lone LF get CR LF.
QByteArray encodeDatabase(const QByteArray &plainText);

// Plain text with every line ending turned into CR LF.
QByteArray withCrLf(const QByteArray &text);
