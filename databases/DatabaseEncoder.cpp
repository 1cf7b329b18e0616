#include "databases/DatabaseEncoder.h"

#include "databases/DatabaseKeys.h"
#include "databases/modCipher.h"

QByteArray withCrLf(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += c;
    }
    return out;
}

QByteArray encodeDatabase(const QByteArray &plainText)
{
    const QByteArray cipher = EncryptBytes(DatabaseKeys::kDatabaseSelector, withCrLf(plainText),
                                           DecodeText(DatabaseKeys::storedKeyText()),
                                           DecodeText(DatabaseKeys::storedInitText()));
    const QByteArray base64 = cipher.toBase64();
    QByteArray out;
    for (qsizetype i = 0; i < base64.size(); i += 76)
        out += base64.mid(i, 76) + "\r\n";
    return out;
}
