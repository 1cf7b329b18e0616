#include "platform/VisibleText.h"

namespace {

void putEscaped(QByteArray &out, unsigned char byte)
{
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// The length of the valid UTF-8 sequence at the start of s (1 to 4), or 0
// when it starts with a byte that is not part of one: a stray continuation
// byte, an overlong form, a surrogate, a code point past U+10FFFF or a cut
// sequence.
qsizetype validSequence(QByteArrayView s)
{
    const auto b = [&s](qsizetype i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char first = b(0);
    if (first < 0x80)
        return 1;
    qsizetype length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (s.size() < length || b(1) < low || b(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

QByteArray VisibleText::fromUtf8Bytes(QByteArrayView bytes, Style style)
{
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (qsizetype i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const qsizetype length = validSequence(bytes.sliced(i));
        if (length == 0) {
            putEscaped(out, c);
            ++i;
        } else if (length > 1) {
            // U+0080 to U+009F are C2 80 to C2 9F.
            const bool c1 = c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) <= 0x9F;
            for (qsizetype k = 0; k < length; ++k) {
                if (c1)
                    putEscaped(out, static_cast<unsigned char>(bytes[i + k]));
                else
                    out += bytes[i + k];
            }
            i += length;
        } else {
            if (c == '\r')
                out += "\\r";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\\')
                out += style.doubleBackslash ? "\\\\" : "\\";
            else if (c == '\t' && style.keepTab)
                out += '\t';
            else if (c < 0x20 || c == 0x7F)
                putEscaped(out, c);
            else
                out += char(c);
            ++i;
        }
    }
    return out;
}

QString VisibleText::fromText(const QString &text, Style style)
{
    return QString::fromUtf8(fromUtf8Bytes(text.toUtf8(), style));
}
