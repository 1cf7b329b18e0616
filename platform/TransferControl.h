#pragma once

#include "platform/TransferDeadline.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QNetworkAccessManager;

// The synchronous transfer control: fetches one URL and returns its body.
// A fetch is over when OpenURL returns, so no request is ever left running on
// the control.  While a fetch waits, timers and network events keep running
// and the waiting hook is called about every 15 ms (the window passes its
// event pump, which repaints it); user input reaches the windows only through
// that hook.  A fetch ends at its stall time-out (nothing received for that
// long) or at its deadline, whichever comes first.
class TransferControl
{
public:
    // The error numbers a fetch reports.
    static constexpr int ErrorTimeout = 35761;       // no complete answer in time
    static constexpr int ErrorRequestFailed = 35764; // any other failure
    static constexpr int DefaultStallTimeoutMs = 15000;
    // Texts larger than this are refused: version files, the update list
    // and messages are small.
    static constexpr qint64 MaximumSize = 1024 * 1024;

    struct Result {
        bool ok = false;
        QByteArray body;
        int errorNumber = 0;
        QString errorText;
    };

    TransferControl();
    ~TransferControl();
    TransferControl(const TransferControl &) = delete;
    TransferControl &operator=(const TransferControl &) = delete;

    // Fetches url.  Only a success status with a whole body is a success;
    // an error status, a broken connection, a certificate error or an answer
    // over MaximumSize fails with ErrorRequestFailed, a fetch that stalls or
    // outruns its deadline with ErrorTimeout.
    Result OpenURL(const QString &url);

    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }
    void setDeadline(const TransferDeadline &deadline) { m_deadline = deadline; }
    void setWhileWaiting(std::function<void()> hook) { m_whileWaiting = std::move(hook); }

private:
    QNetworkAccessManager *m_network;
    int m_stallTimeoutMs = DefaultStallTimeoutMs;
    TransferDeadline m_deadline;
    std::function<void()> m_whileWaiting;
};
