#pragma once

#include <QByteArray>
#include <QString>

// Windows-1252, the code page of every text file that travels between
// machines (deciphered databases, language files, version files, msg.txt).
// Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which the code page leaves unassigned,
// map to the control characters of the same value so that decoding never
// loses a byte.
namespace Cp1252 {
QString toUnicode(const QByteArray &bytes);
// Characters outside the code page become "?".
QByteArray fromUnicode(const QString &text);
} // namespace Cp1252
