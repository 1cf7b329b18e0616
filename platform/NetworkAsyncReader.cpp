#include "platform/NetworkAsyncReader.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {
const char *const KeyProperty = "asyncReadKey";
const char *const OversizeProperty = "asyncReadOversize";

QString keyOf(const QNetworkReply *reply)
{
    return reply->property(KeyProperty).toString();
}

bool isSuccessStatus(const QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // Schemes without a status (none are accepted today) count as success
    // when the transfer itself had no error.
    if (!status.isValid())
        return true;
    const int code = status.toInt();
    return code >= 200 && code < 300;
}

// A connection closed early can end a reply without an error: the body is
// whole only when it is as long as the server announced.
bool isWholeBody(const QNetworkReply *reply, const QByteArray &body)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return !length.isValid() || length.toLongLong() == body.size();
}
} // namespace

NetworkAsyncReader::NetworkAsyncReader(QObject *parent)
    : AsyncReader(parent), m_network(new QNetworkAccessManager(this))
{
}

NetworkAsyncReader::~NetworkAsyncReader()
{
    for (QNetworkReply *reply : std::as_const(m_running)) {
        reply->disconnect(this);
        reply->abort();
    }
}

bool NetworkAsyncReader::asyncRead(const QString &url, const QString &key, const QVariant &,
                                   int *errorNumber, QString *errorText)
{
    const QUrl target(url, QUrl::StrictMode);
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        if (errorNumber)
            *errorNumber = 13;
        if (errorText)
            *errorText = QStringLiteral("Invalid URL: %1").arg(url);
        return false;
    }
    QNetworkRequest request(target);
    request.setTransferTimeout(m_stallTimeoutMs);
    // Uncompressed bodies, so that the announced length is the length read.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    reply->setProperty(KeyProperty, key);
    m_running.append(reply);
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) { onProgress(reply, received, total); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
    return true;
}

void NetworkAsyncReader::cancelAsyncRead(const QString &key)
{
    for (qsizetype i = m_running.size() - 1; i >= 0; --i) {
        QNetworkReply *reply = m_running[i];
        if (keyOf(reply) != key)
            continue;
        m_running.removeAt(i);
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void NetworkAsyncReader::onProgress(QNetworkReply *reply, qint64 received, qint64 total)
{
    if (received > m_maximumSize || total > m_maximumSize) {
        // Too large to be held in memory: the read fails at its completion.
        reply->setProperty(OversizeProperty, true);
        reply->abort();
        return;
    }
    // Bodies of error responses are not the file and are not reported.
    if (!isSuccessStatus(reply))
        return;
    AsyncProperty prop;
    prop.BytesRead = received;
    prop.BytesMax = total < 0 ? 0 : total;
    prop.PropertyName = keyOf(reply);
    prop.StatusCode = 1;
    emit AsyncReadProgress(prop);
}

void NetworkAsyncReader::onFinished(QNetworkReply *reply)
{
    m_running.removeOne(reply);
    reply->deleteLater();
    AsyncProperty prop;
    prop.PropertyName = keyOf(reply);
    const bool ok = reply->error() == QNetworkReply::NoError && isSuccessStatus(reply) &&
                    !reply->property(OversizeProperty).toBool();
    if (ok) {
        prop.Value = reply->readAll();
        if (prop.Value.size() > m_maximumSize || !isWholeBody(reply, prop.Value)) {
            prop.Value.clear();
        } else {
            prop.StatusCode = StatusComplete;
            prop.BytesRead = prop.Value.size();
            prop.BytesMax = prop.Value.size();
        }
    }
    if (prop.StatusCode != StatusComplete)
        prop.StatusCode = StatusError;
    emit AsyncReadComplete(prop);
}
