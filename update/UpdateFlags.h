#pragma once

#include <QtGlobal>

// The flags of the running update command.
struct UpdateFlags {
    bool ServerReachable = true;
    qint32 PendingDownloads = 0;
    bool UpdateInstalled = false;
};

UpdateFlags &updateFlags();
void resetUpdateFlags();
