#pragma once

#include "platform/CryptoComponent.h"

// CryptoComponent over OpenSSL 3 (libcrypto EVP).
//
// Cipher codes.  Every cipher derives its key from SHA-256 of the key text
// (the first key-length bytes) and its IV from SHA-256 of the
// initialisation text (the first IV-length bytes):
//   96  AES-256-CBC, PKCS#7 padding (the threat databases)
//   18  AES-128-CBC        3  AES-192-CBC       55  AES-256-CFB
//   51  AES-256-OFB       59  AES-256-CTR       34  AES-128-CFB
//   102 CHACHA20          99  AES-128-CTR       86  AES-192-CTR
//   83  AES-128-OFB       80  AES-192-OFB      257  CAMELLIA-256-CBC
//   64  no cipher: always fails
// Digest codes: 3 MD5, 1 SHA-1, 4 SHA-256, 2 SHA-512.
class OpenSslCryptoComponent final : public CryptoComponent
{
public:
    QByteArray cipherTransform(int code, const QByteArray &keyText, const QByteArray &initText,
                               const QByteArray &data, Direction direction,
                               bool *ok) const override;
    QByteArray hashDigest(int code, const QByteArray &data) const override;
};
