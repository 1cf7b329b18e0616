#pragma once

#include <QtGlobal>

// How long one network transfer may run in all, besides its stall time-out:
// a grace period, then one more second for every bytesPerSecond bytes
// received.  A transfer fails as soon as it has run longer than
// allowedMs(bytes received so far), so it keeps going only while its average
// rate after the grace period stays at bytesPerSecond or more, and a server
// that drips its answer ends in an error after about the grace period.  A
// transfer of at most N bytes is over after graceMs + N / bytesPerSecond
// seconds whatever the server does.
struct TransferDeadline {
    static constexpr qint64 DefaultGraceMs = 15000;
    static constexpr qint64 DefaultBytesPerSecond = 16 * 1024;

    qint64 graceMs = DefaultGraceMs;
    qint64 bytesPerSecond = DefaultBytesPerSecond;

    qint64 allowedMs(qint64 bytesReceived) const
    {
        return graceMs + (bytesReceived > 0 ? bytesReceived * 1000 / bytesPerSecond : 0);
    }
};
