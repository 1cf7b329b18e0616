#pragma once

#include <QByteArray>

// The cryptography component the engine calls for database deciphering and
// file digests.  Codes are those of the component's own numbering: cipher codes
// come from the selector table of CryptBytes, digest codes from HashString's.
class CryptoComponent
{
public:
    enum class Direction { Encrypt, Decrypt };

    virtual ~CryptoComponent() = default;

    // Transforms data with the cipher behind code.  ok is false (and the
    // result empty) for an unknown code or any cipher failure.
    virtual QByteArray cipherTransform(int code, const QByteArray &keyText,
                                       const QByteArray &initText, const QByteArray &data,
                                       Direction direction, bool *ok) const = 0;

    // Lower-case hexadecimal digest of data; empty for an unknown code.
    virtual QByteArray hashDigest(int code, const QByteArray &data) const = 0;
};

// The component in use: the OpenSSL-backed one.
const CryptoComponent &cryptoComponent();
