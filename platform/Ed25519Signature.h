#pragma once

#include <QByteArray>

// Ed25519 signatures over OpenSSL 3: the publisher signs the update files
// with its private key, the program verifies them with the public key it
// carries.  Keys travel as PEM text (PKCS#8 private key, SubjectPublicKeyInfo
// public key); a signature is 64 raw bytes.
namespace Ed25519Signature {
constexpr int SignatureSize = 64;

bool generateKeyPair(QByteArray *privatePem, QByteArray *publicPem);
// The signature of data, or empty bytes when the key is not an Ed25519
// private key.
QByteArray sign(const QByteArray &privatePem, const QByteArray &data);
// True only for a well-formed Ed25519 public key and a signature of exactly
// these bytes made with its private key.
bool verify(const QByteArray &publicPem, const QByteArray &data, const QByteArray &signature);
} // namespace Ed25519Signature
