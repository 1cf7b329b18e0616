#include "databases/modCipher.h"

#include "platform/CryptoComponent.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace {

constexpr int kSelectorCodes[] = {18, 3, 55, 51, 59, 34, 102, 99, 96, 86, 83, 80, 257, 64};
constexpr int kHashCodes[] = {4, 3, 2, 1};

const std::array<unsigned char, 256> &base64Reverse()
{
    static const std::array<unsigned char, 256> table = [] {
        std::array<unsigned char, 256> t{};
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            t[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
        return t;
    }();
    return table;
}

QByteArray keyBytes(const QString &text)
{
    return text.toLatin1();
}

void padInitText(QString &initText)
{
    while (initText.size() < 8)
        initText += QLatin1Char(' ');
}

// The shared body of CryptFile and CryptFileToMemory, after the existence
// checks: read, decode, decipher.  Blanks the texts whatever happens.
bool transformSource(int selector, QString &sourcePath, bool fromBase64, QString &keyText,
                     QString &initText, QByteArray *out)
{
    QByteArray bytes;
    bool ok = false;
    QFile source(sourcePath);
    if (source.open(QIODevice::ReadOnly)) {
        bytes = source.readAll();
        ok = source.error() == QFileDevice::NoError && !bytes.isEmpty();
    }
    if (ok && fromBase64)
        bytes = Base64Decode(bytes, &ok);
    if (ok) {
        *out = CryptBytes(selector, bytes, keyText, initText);
        ok = !out->isEmpty();
    }
    bytes.fill('\0');
    bytes.clear();
    sourcePath.clear();
    keyText.clear();
    initText.clear();
    return ok;
}

} // namespace

QString DecodeText(const QString &text)
{
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = QChar(char16_t(text[i].unicode() ^ char16_t(i + 1)));
    return out;
}

QByteArray Base64Decode(const QByteArray &text, bool *ok)
{
    QByteArray input = text;
    input.replace("\r\n", "");
    input.replace("=", "");
    const qsizetype n = input.size();
    if (n == 0) {
        *ok = false;
        return {};
    }
    *ok = true;
    const auto &rev = base64Reverse();
    const qsizetype groups = n / 4;
    const qsizetype rest = n % 4;
    QByteArray out(groups * 3 + (rest == 3 ? 2 : (rest == 0 ? 0 : 1)), Qt::Uninitialized);
    const auto *in = reinterpret_cast<const unsigned char *>(input.constData());
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    for (qsizetype g = 0; g < groups; ++g, in += 4) {
        const unsigned a = rev[in[0]], b = rev[in[1]], c = rev[in[2]], d = rev[in[3]];
        *o++ = static_cast<unsigned char>((a << 2 | b >> 4) & 0xFF);
        *o++ = static_cast<unsigned char>(((b & 0x0F) << 4 | c >> 2) & 0xFF);
        *o++ = static_cast<unsigned char>(((c & 0x03) << 6 | d) & 0xFF);
    }
    if (rest == 1) {
        *o++ = 0;
    } else if (rest >= 2) {
        const unsigned a = rev[in[0]], b = rev[in[1]];
        *o++ = static_cast<unsigned char>((a << 2 | b >> 4) & 0xFF);
        if (rest == 3) {
            const unsigned c = rev[in[2]];
            *o++ = static_cast<unsigned char>(((b & 0x0F) << 4 | c >> 2) & 0xFF);
        }
    }
    return out;
}

bool FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.isFile();
}

bool CryptFile(int selector, QString &sourcePath, QString &destPath, bool fromBase64,
               QString &keyText, QString &initText)
{
    if (!FileExists(sourcePath) || QFileInfo::exists(destPath))
        return false;
    QByteArray plain;
    bool ok = transformSource(selector, sourcePath, fromBase64, keyText, initText, &plain);
    if (ok) {
        QFile dest(destPath);
        ok = dest.open(QIODevice::NewOnly) && dest.write(plain) == plain.size();
        dest.close();
    }
    plain.fill('\0');
    destPath.clear();
    return ok;
}

bool CryptFileToMemory(int selector, QString &sourcePath, bool fromBase64, QString &keyText,
                       QString &initText, QByteArray *plain)
{
    if (!FileExists(sourcePath))
        return false;
    return transformSource(selector, sourcePath, fromBase64, keyText, initText, plain);
}

QByteArray CryptBytes(int selector, QByteArray &data, QString &keyText, QString &initText)
{
    padInitText(initText);
    QByteArray result;
    if (selector >= 0 && selector <= 13) {
        bool ok = false;
        result = cryptoComponent().cipherTransform(kSelectorCodes[selector], keyBytes(keyText),
                                                   keyBytes(initText), data,
                                                   CryptoComponent::Direction::Decrypt, &ok);
        if (!ok)
            result.clear();
    }
    data.fill('\0');
    data.clear();
    keyText.clear();
    initText.clear();
    return result;
}

QByteArray EncryptBytes(int selector, const QByteArray &data, QString keyText, QString initText)
{
    if (selector < 0 || selector > 13)
        return {};
    padInitText(initText);
    bool ok = false;
    QByteArray result = cryptoComponent().cipherTransform(
        kSelectorCodes[selector], keyBytes(keyText), keyBytes(initText), data,
        CryptoComponent::Direction::Encrypt, &ok);
    return ok ? result : QByteArray();
}

QByteArray HashString(int selector, const QByteArray &data)
{
    if (data.isEmpty() || selector < 0 || selector > 3)
        return {};
    return cryptoComponent().hashDigest(kHashCodes[selector], data);
}
