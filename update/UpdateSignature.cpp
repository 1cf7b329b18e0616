#include "update/UpdateSignature.h"

#include "platform/Ed25519Signature.h"
#include "update/UpdatePublicKey.h"

QByteArray compiledUpdatePublicKey()
{
    return QByteArray(CompiledUpdatePublicKey);
}

bool verifyUpdateSignature(const QByteArray &publicPem, const QByteArray &data,
                           const QByteArray &signatureFile)
{
    const auto decoded = QByteArray::fromBase64Encoding(signatureFile.trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    return Ed25519Signature::verify(publicPem, data, *decoded);
}
