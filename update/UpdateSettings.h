#pragma once

#include "platform/TransferDeadline.h"
#include "update/UpdateSignature.h"

#include <QByteArray>

// How an update talks to its server: the key its update list must be signed
// with and the limits of every fetch and download.
struct UpdateSettings {
    // The publisher's Ed25519 public key (PEM).
    QByteArray publicKey = compiledUpdatePublicKey();
    // A fetch or download that receives nothing for this long fails.
    int stallTimeoutMs = 15000;
    // The overall deadline of every fetch and download.
    TransferDeadline deadline;
};
