#include "platform/NetworkAsyncReader.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <limits>

namespace {
// The reply buffers at most this much before the reader takes it, so that a
// read stops within one buffer of its limit.
constexpr qint64 kReplyBufferBytes = 64 * 1024;

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

// The limit a read's options give, or the default.
qint64 limitOf(const QVariant &options)
{
    bool ok = false;
    const qint64 bytes = options.toLongLong(&ok);
    return ok && bytes >= 0 && bytes <= NetworkAsyncReader::DefaultMaximumSize
               ? bytes
               : NetworkAsyncReader::DefaultMaximumSize;
}
} // namespace

// One running read: its reply, what has arrived and its deadline.
struct NetworkAsyncReader::Read {
    QNetworkReply *reply = nullptr;
    QString key;
    qint64 limit = 0;
    QByteArray body;
    bool failed = false; // over its limit or past its deadline
    QElapsedTimer clock;
    QTimer *deadline = nullptr; // a child of the reply, deleted with it
};

NetworkAsyncReader::NetworkAsyncReader(QObject *parent)
    : AsyncReader(parent), m_network(new QNetworkAccessManager(this))
{
}

NetworkAsyncReader::~NetworkAsyncReader()
{
    for (Read *read : std::as_const(m_running)) {
        read->deadline->disconnect(this);
        read->reply->disconnect(this);
        read->reply->abort();
        delete read;
    }
}

bool NetworkAsyncReader::asyncRead(const QString &url, const QString &key, const QVariant &options,
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
    auto *read = new Read;
    read->key = key;
    read->limit = limitOf(options);
    read->reply = m_network->get(request);
    read->reply->setReadBufferSize(kReplyBufferBytes);
    read->clock.start();
    read->deadline = new QTimer(read->reply);
    read->deadline->setSingleShot(true);
    m_running.append(read);
    connect(read->reply, &QNetworkReply::readyRead, this, [this, read] { onReadyRead(read); });
    connect(read->reply, &QNetworkReply::finished, this, [this, read] { onFinished(read); });
    connect(read->deadline, &QTimer::timeout, this, [this, read] { onDeadline(read); });
    armDeadline(read);
    return true;
}

void NetworkAsyncReader::cancelAsyncRead(const QString &key)
{
    for (qsizetype i = m_running.size() - 1; i >= 0; --i) {
        if (m_running[i]->key == key)
            stop(m_running[i]);
    }
}

void NetworkAsyncReader::stop(Read *read)
{
    m_running.removeOne(read);
    read->deadline->stop();
    read->deadline->disconnect(this);
    read->reply->disconnect(this);
    read->reply->abort();
    read->reply->deleteLater();
    delete read;
}

void NetworkAsyncReader::armDeadline(Read *read)
{
    const qint64 left = m_deadline.allowedMs(read->body.size()) - read->clock.elapsed();
    read->deadline->start(int(qBound(qint64(0), left, qint64(std::numeric_limits<int>::max()))));
}

void NetworkAsyncReader::onDeadline(Read *read)
{
    if (read->clock.elapsed() < m_deadline.allowedMs(read->body.size())) {
        armDeadline(read);
        return;
    }
    read->failed = true;
    read->reply->abort(); // finished() follows at once
}

bool NetworkAsyncReader::take(Read *read)
{
    QNetworkReply *reply = read->reply;
    // Bodies of error answers are not the file: they are neither kept nor
    // reported.
    if (!isSuccessStatus(reply)) {
        reply->readAll();
        return false;
    }
    read->body += reply->read(read->limit - read->body.size() + 1);
    const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (announced > read->limit || read->body.size() > read->limit) {
        read->failed = true;
        read->body.clear();
        return false;
    }
    return true;
}

void NetworkAsyncReader::onReadyRead(Read *read)
{
    if (!take(read)) {
        if (read->failed)
            read->reply->abort(); // finished() follows
        return;
    }
    armDeadline(read);
    AsyncProperty prop;
    prop.BytesRead = read->body.size();
    prop.BytesMax =
        qMax<qint64>(0, read->reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    prop.PropertyName = read->key;
    prop.StatusCode = 1;
    emit AsyncReadProgress(prop);
}

void NetworkAsyncReader::onFinished(Read *read)
{
    QNetworkReply *reply = read->reply;
    const bool received = !read->failed && reply->error() == QNetworkReply::NoError &&
                          isSuccessStatus(reply) && take(read);
    AsyncProperty prop;
    prop.PropertyName = read->key;
    prop.StatusCode = StatusError;
    // A connection closed early can end a reply without an error: the body
    // is whole only when it is as long as the server announced.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (received && (!length.isValid() || length.toLongLong() == read->body.size())) {
        prop.Value = std::move(read->body);
        prop.StatusCode = StatusComplete;
        prop.BytesRead = prop.Value.size();
        prop.BytesMax = prop.Value.size();
    }
    m_running.removeOne(read);
    read->deadline->stop();
    read->deadline->disconnect(this);
    reply->disconnect(this);
    reply->deleteLater();
    delete read;
    emit AsyncReadComplete(prop);
}
