#include "platform/TransferControl.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

TransferControl::TransferControl() : m_network(new QNetworkAccessManager) {}

TransferControl::~TransferControl()
{
    delete m_network;
}

TransferControl::Result TransferControl::OpenURL(const QString &url)
{
    Result result;
    const QUrl target(url, QUrl::StrictMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        result.errorNumber = ErrorRequestFailed;
        result.errorText = QStringLiteral("Invalid URL: %1").arg(url);
        return result;
    }

    QNetworkRequest request(target);
    // Uncompressed bodies, so that the announced length is the length read.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    QEventLoop loop;
    bool timedOut = false;
    bool oversize = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                     [&](qint64 received, qint64 total) {
                         if (received > MaximumSize || total > MaximumSize) {
                             oversize = true;
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(m_timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (timedOut) {
        result.errorNumber = ErrorTimeout;
        result.errorText = QStringLiteral("Request timed out");
    } else if (oversize) {
        result.errorNumber = ErrorRequestFailed;
        result.errorText = QStringLiteral("Answer too large");
    } else if (reply->error() != QNetworkReply::NoError) {
        result.errorNumber = ErrorRequestFailed;
        result.errorText = reply->errorString();
    } else if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300)) {
        result.errorNumber = ErrorRequestFailed;
        result.errorText = QStringLiteral("HTTP status %1").arg(status.toInt());
    } else {
        result.body = reply->readAll();
        // A connection closed early can end a reply without an error.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() != result.body.size()) {
            result.body.clear();
            result.errorNumber = ErrorRequestFailed;
            result.errorText = QStringLiteral("Answer incomplete");
        } else {
            result.ok = true;
        }
    }
    reply->deleteLater();
    return result;
}
