#pragma once

#include <QByteArray>
#include <QString>

class QNetworkAccessManager;

// The synchronous transfer control: fetches one URL and returns its body.
// A fetch is over when OpenURL returns, so no request is ever left running on
// the control.  While a fetch waits, timers and network events keep running but the
// windows take no user input, so no second command can start; the fetch ends
// at the latest after the time-out.
class TransferControl
{
public:
    // The error numbers a fetch reports.
    static constexpr int ErrorTimeout = 35761;       // no complete answer in time
    static constexpr int ErrorRequestFailed = 35764; // any other failure
    static constexpr int DefaultTimeoutMs = 15000;
    // Texts larger than this are refused: version files and messages are small.
    static constexpr qint64 MaximumSize = 4 * 1024 * 1024;

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
    // an error status, a broken connection or a certificate error fails with
    // ErrorRequestFailed, a fetch still running at the time-out with
    // ErrorTimeout.
    Result OpenURL(const QString &url);
    void setTimeout(int ms) { m_timeoutMs = ms; }

private:
    QNetworkAccessManager *m_network;
    int m_timeoutMs = DefaultTimeoutMs;
};
