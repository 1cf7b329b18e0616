#include "platform/StreamCipher.h"

#include <QRandomGenerator>

#include <openssl/evp.h>

#include <climits>

struct StreamCipher::Context {
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    ~Context() { EVP_CIPHER_CTX_free(ctx); }
};

StreamCipher::StreamCipher(const QByteArray &key)
{
    if (key.size() != kKeyBytes)
        return;
    auto context = std::make_unique<Context>();
    const unsigned char iv[16] = {};
    if (!context->ctx ||
        EVP_EncryptInit_ex(context->ctx, EVP_aes_256_ctr(), nullptr,
                           reinterpret_cast<const unsigned char *>(key.constData()), iv) != 1)
        return;
    m_context = std::move(context);
}

StreamCipher::~StreamCipher() = default;

bool StreamCipher::apply(char *data, qint64 size)
{
    if (!m_context)
        return false;
    auto *bytes = reinterpret_cast<unsigned char *>(data);
    while (size > 0) {
        const int piece = int(std::min<qint64>(size, INT_MAX / 2));
        int out = 0;
        // Counter mode works in place and gives out as many bytes as it takes.
        if (EVP_EncryptUpdate(m_context->ctx, bytes, &out, bytes, piece) != 1 || out != piece)
            return false;
        bytes += piece;
        size -= piece;
    }
    return true;
}

QByteArray StreamCipher::newKey()
{
    QByteArray key(kKeyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32 *>(key.data()),
                                         reinterpret_cast<quint32 *>(key.data() + kKeyBytes));
    return key;
}
