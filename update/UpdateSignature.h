#pragma once

#include <QByteArray>

// The signature of the update list: "/newupd/manifest.sig" holds the Base64
// text of the Ed25519 signature of the list's exact bytes, made with the
// publisher's private key.  An update is installed only from a list whose
// signature verifies with the public key compiled into the program; the list
// names each database's size and SHA-256, so the databases need no
// signatures of their own.

// The public key (PEM) compiled into the program.
QByteArray compiledUpdatePublicKey();

// True when signatureFile (Base64, surrounding blanks and line ends allowed)
// is a valid signature of data under the public key publicPem.
bool verifyUpdateSignature(const QByteArray &publicPem, const QByteArray &data,
                           const QByteArray &signatureFile);
