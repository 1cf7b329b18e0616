#pragma once

#include <QByteArray>

// The signatures of the update files: each database on the server has a
// "<name>.dat.sig" beside it holding the Base64 text of the Ed25519 signature
// of the database's exact bytes, made with the publisher's private key.  A
// database is installed only when its signature verifies with the public key
// compiled into the program.

// The public key (PEM) compiled into the program.
QByteArray compiledUpdatePublicKey();

// True when signatureFile (Base64, surrounding blanks and line ends allowed)
// is a valid signature of data under the public key publicPem.
bool verifyUpdateSignature(const QByteArray &publicPem, const QByteArray &data,
                           const QByteArray &signatureFile);
