#include "update/UpdateSignature.h"

#include "platform/Ed25519Signature.h"
#include "update/UpdatePublicKey.h"

namespace {
QByteArray &publicKeyOverride()
{
    static QByteArray key;
    return key;
}
} // namespace

QByteArray updatePublicKey()
{
    if (!publicKeyOverride().isEmpty())
        return publicKeyOverride();
    return QByteArray(CompiledUpdatePublicKey);
}

void setUpdatePublicKeyOverride(const QByteArray &publicPem)
{
    publicKeyOverride() = publicPem;
}

bool verifyUpdateSignature(const QByteArray &data, const QByteArray &signatureFile)
{
    const auto decoded = QByteArray::fromBase64Encoding(signatureFile.trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    return Ed25519Signature::verify(updatePublicKey(), data, *decoded);
}
