#pragma once

#include "platform/AsyncReader.h"
#include "platform/TransferDeadline.h"

#include <QList>

class QNetworkAccessManager;
class QNetworkReply;

// The asynchronous read over HTTP and HTTPS.  Any number of reads run at
// once.  A read completes with status 6 only when the server answered with a
// success status and the whole body arrived.  It completes with status 0 and
// no content on an error status, a broken connection or a certificate error;
// on a body longer than its limit (the read stops as soon as the announced
// length or the bytes received pass it, so it never reads more than that);
// when nothing arrives for the stall time-out; and when it outruns its
// deadline.  The read options of asyncRead may give a read its own limit in
// bytes (a number); without one the limit is DefaultMaximumSize.
class NetworkAsyncReader : public AsyncReader
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultMaximumSize = 64LL * 1024 * 1024;
    static constexpr int DefaultStallTimeoutMs = 15000;

    explicit NetworkAsyncReader(QObject *parent = nullptr);
    ~NetworkAsyncReader() override;

    bool asyncRead(const QString &url, const QString &key, const QVariant &options,
                   int *errorNumber, QString *errorText) override;
    void cancelAsyncRead(const QString &key) override;

    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }
    void setDeadline(const TransferDeadline &deadline) { m_deadline = deadline; }

private:
    struct Read;
    // Moves what the reply holds into the read's body; false when the answer
    // is an error or the read went over its limit.
    bool take(Read *read);
    void onReadyRead(Read *read);
    void onFinished(Read *read);
    void onDeadline(Read *read);
    void armDeadline(Read *read);
    void stop(Read *read);

    QNetworkAccessManager *m_network;
    QList<Read *> m_running;
    int m_stallTimeoutMs = DefaultStallTimeoutMs;
    TransferDeadline m_deadline;
};
