#pragma once

#include <QByteArray>
#include <QStringList>

// keygen PRIVATE PUBLIC: makes an Ed25519 key pair for signing update lists
// (PEM; the private key file is readable by its owner only; existing files
// are never overwritten).  verify FILE SIG PUBKEY: exit 0 when SIG (Base64)
// is a valid signature of FILE's exact bytes under PUBKEY, 1 otherwise (for
// example newupd/manifest and newupd/manifest.sig).
int runKeygen(const QStringList &args);
int runVerify(const QStringList &args);

// The content of a signature file such as "manifest.sig": the Base64
// signature of data and CR LF, or empty bytes when privatePem is not an
// Ed25519 private key.
QByteArray signatureFileFor(const QByteArray &privatePem, const QByteArray &data);
