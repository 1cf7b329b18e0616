#include "platform/OpenSslCryptoComponent.h"

#include <openssl/evp.h>

#include <memory>

namespace {

const EVP_CIPHER *cipherForCode(int code)
{
    switch (code) {
    case 96:
        return EVP_aes_256_cbc();
    case 18:
        return EVP_aes_128_cbc();
    case 3:
        return EVP_aes_192_cbc();
    case 55:
        return EVP_aes_256_cfb128();
    case 51:
        return EVP_aes_256_ofb();
    case 59:
        return EVP_aes_256_ctr();
    case 34:
        return EVP_aes_128_cfb128();
    case 102:
        return EVP_chacha20();
    case 99:
        return EVP_aes_128_ctr();
    case 86:
        return EVP_aes_192_ctr();
    case 83:
        return EVP_aes_128_ofb();
    case 80:
        return EVP_aes_192_ofb();
    case 257:
        return EVP_camellia_256_cbc();
    default:
        return nullptr;
    }
}

const EVP_MD *digestForCode(int code)
{
    switch (code) {
    case 3:
        return EVP_md5();
    case 1:
        return EVP_sha1();
    case 4:
        return EVP_sha256();
    case 2:
        return EVP_sha512();
    default:
        return nullptr;
    }
}

QByteArray rawDigest(const EVP_MD *md, const QByteArray &data)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (EVP_Digest(data.constData(), size_t(data.size()), out, &len, md, nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char *>(out), int(len));
}

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX *c) const { EVP_CIPHER_CTX_free(c); }
};

} // namespace

const CryptoComponent &cryptoComponent()
{
    static const OpenSslCryptoComponent component;
    return component;
}

QByteArray OpenSslCryptoComponent::cipherTransform(int code, const QByteArray &keyText,
                                                   const QByteArray &initText,
                                                   const QByteArray &data, Direction direction,
                                                   bool *ok) const
{
    *ok = false;
    const EVP_CIPHER *cipher = cipherForCode(code);
    if (!cipher)
        return {};
    const QByteArray key = rawDigest(EVP_sha256(), keyText);
    const QByteArray iv = rawDigest(EVP_sha256(), initText);
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || key.size() < EVP_CIPHER_key_length(cipher) ||
        iv.size() < EVP_CIPHER_iv_length(cipher))
        return {};
    const auto *k = reinterpret_cast<const unsigned char *>(key.constData());
    const auto *v = reinterpret_cast<const unsigned char *>(iv.constData());
    const int enc = direction == Direction::Encrypt ? 1 : 0;
    if (EVP_CipherInit_ex(ctx.get(), cipher, nullptr, k, v, enc) != 1)
        return {};
    QByteArray out(data.size() + EVP_CIPHER_block_size(cipher) + 16, Qt::Uninitialized);
    auto *o = reinterpret_cast<unsigned char *>(out.data());
    int len1 = 0;
    int len2 = 0;
    if (EVP_CipherUpdate(ctx.get(), o, &len1,
                         reinterpret_cast<const unsigned char *>(data.constData()),
                         int(data.size())) != 1)
        return {};
    if (EVP_CipherFinal_ex(ctx.get(), o + len1, &len2) != 1)
        return {};
    out.truncate(len1 + len2);
    *ok = true;
    return out;
}

QByteArray OpenSslCryptoComponent::hashDigest(int code, const QByteArray &data) const
{
    const EVP_MD *md = digestForCode(code);
    if (!md)
        return {};
    return rawDigest(md, data).toHex();
}
