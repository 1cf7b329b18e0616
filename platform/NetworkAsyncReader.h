#pragma once

#include "platform/AsyncReader.h"

#include <QList>

class QNetworkAccessManager;
class QNetworkReply;

// The asynchronous read over HTTP and HTTPS.  Any number of reads run at
// once.  A read completes with status 6 only when the server answered with a
// success status and the whole body arrived; an error status, a broken
// connection, a certificate error, a body larger than the size limit or a
// read that receives nothing for the stall time-out completes with status 0
// and no content.
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

    void setMaximumSize(qint64 bytes) { m_maximumSize = bytes; }
    void setStallTimeout(int ms) { m_stallTimeoutMs = ms; }

private:
    void onProgress(QNetworkReply *reply, qint64 received, qint64 total);
    void onFinished(QNetworkReply *reply);

    QNetworkAccessManager *m_network;
    QList<QNetworkReply *> m_running;
    qint64 m_maximumSize = DefaultMaximumSize;
    int m_stallTimeoutMs = DefaultStallTimeoutMs;
};
