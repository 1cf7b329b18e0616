#include "platform/TransferControl.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <limits>

namespace {
// How often the waiting hook runs.
constexpr int kWaitingHookMs = 15;
} // namespace

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
    QPointer<QNetworkReply> reply = m_network->get(request);
    QEventLoop loop;
    bool timedOut = false;
    bool oversize = false;
    qint64 received = 0;
    QElapsedTimer clock;
    clock.start();
    // The stall timer restarts with every piece received; the deadline timer
    // is re-armed for what the pieces received so far allow.
    QTimer stall;
    stall.setSingleShot(true);
    QTimer deadline;
    deadline.setSingleShot(true);
    const auto armDeadline = [&] {
        deadline.start(int(qBound(qint64(0), m_deadline.allowedMs(received) - clock.elapsed(),
                                  qint64(std::numeric_limits<int>::max()))));
    };
    const auto giveUp = [&] {
        timedOut = true;
        reply->abort();
    };
    QObject::connect(&stall, &QTimer::timeout, &loop, giveUp);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        if (clock.elapsed() < m_deadline.allowedMs(received))
            armDeadline();
        else
            giveUp();
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                     [&](qint64 bytes, qint64 total) {
                         stall.start();
                         received = bytes;
                         if (bytes > MaximumSize || total > MaximumSize) {
                             oversize = true;
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer waiting;
    if (m_whileWaiting) {
        QObject::connect(&waiting, &QTimer::timeout, &loop, [this] { m_whileWaiting(); });
        waiting.start(kWaitingHookMs);
    }
    stall.start(m_stallTimeoutMs);
    armDeadline();
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    waiting.stop();
    stall.stop();
    deadline.stop();
    // The loop also ends when the application quits: the fetch then fails.
    const bool cutShort = reply && !reply->isFinished();
    if (cutShort)
        reply->abort();
    if (!reply || cutShort) {
        result.errorNumber = ErrorRequestFailed;
        result.errorText = QStringLiteral("Request ended");
        if (reply)
            reply->deleteLater();
        return result;
    }

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
