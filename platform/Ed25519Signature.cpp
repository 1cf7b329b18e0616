#include "platform/Ed25519Signature.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace {
using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Bio = std::unique_ptr<BIO, decltype(&BIO_free)>;
using MdContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Bio memoryBio(const QByteArray &bytes)
{
    return Bio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())), BIO_free);
}

QByteArray bioContent(BIO *bio)
{
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? QByteArray(data, size) : QByteArray();
}

bool isEd25519(const EVP_PKEY *key)
{
    return key && EVP_PKEY_get_id(key) == EVP_PKEY_ED25519;
}
} // namespace

bool Ed25519Signature::generateKeyPair(QByteArray *privatePem, QByteArray *publicPem)
{
    EVP_PKEY *raw = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    PKey key(raw, EVP_PKEY_free);
    if (!key)
        return false;
    Bio priv(BIO_new(BIO_s_mem()), BIO_free);
    Bio pub(BIO_new(BIO_s_mem()), BIO_free);
    if (!priv || !pub ||
        PEM_write_bio_PrivateKey(priv.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
            1 ||
        PEM_write_bio_PUBKEY(pub.get(), key.get()) != 1)
        return false;
    *privatePem = bioContent(priv.get());
    *publicPem = bioContent(pub.get());
    return !privatePem->isEmpty() && !publicPem->isEmpty();
}

QByteArray Ed25519Signature::sign(const QByteArray &privatePem, const QByteArray &data)
{
    Bio bio = memoryBio(privatePem);
    if (!bio)
        return {};
    PKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    if (!isEd25519(key.get()))
        return {};
    MdContext ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    QByteArray signature(SignatureSize, '\0');
    size_t length = size_t(signature.size());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                       reinterpret_cast<const unsigned char *>(data.constData()),
                       size_t(data.size())) != 1 ||
        length != size_t(SignatureSize))
        return {};
    return signature;
}

bool Ed25519Signature::verify(const QByteArray &publicPem, const QByteArray &data,
                              const QByteArray &signature)
{
    if (signature.size() != SignatureSize)
        return false;
    Bio bio = memoryBio(publicPem);
    if (!bio)
        return false;
    PKey key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    if (!isEd25519(key.get()))
        return false;
    MdContext ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(
               ctx.get(), reinterpret_cast<const unsigned char *>(signature.constData()),
               size_t(signature.size()), reinterpret_cast<const unsigned char *>(data.constData()),
               size_t(data.size())) == 1;
}
