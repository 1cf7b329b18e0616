#include "tools/dbtool/LoopbackHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace {
// A request head larger than this is refused.
constexpr qsizetype MaximumRequestHead = 16 * 1024;

QByteArray responseHead(int status, const QByteArray &reason, qint64 length, const QByteArray &type)
{
    return "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(length) + "\r\nConnection: close\r\n\r\n";
}
} // namespace

LoopbackHttpServer::LoopbackHttpServer(const QString &root, QObject *parent)
    : QObject(parent), m_root(QDir(root).absolutePath())
{
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    if (m_server)
        m_server->close();
    const QList<QTcpSocket *> sockets = m_pending.keys();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

void LoopbackHttpServer::useTls(const QSslCertificate &certificate, const QSslKey &key)
{
    m_certificate = certificate;
    m_key = key;
}

bool LoopbackHttpServer::listen(quint16 port)
{
    if (m_server)
        return false;
    if (m_certificate.isNull()) {
        m_server = new QTcpServer(this);
    } else {
        auto *tls = new QSslServer(this);
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.setLocalCertificate(m_certificate);
        config.setPrivateKey(m_key);
        config.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls->setSslConfiguration(config);
        // A connection is handed over once its handshake is done.
        connect(tls, &QSslServer::pendingConnectionAvailable, this,
                &LoopbackHttpServer::onNewConnection);
        m_server = tls;
    }
    connect(m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::onNewConnection);
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 LoopbackHttpServer::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

QString LoopbackHttpServer::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https"))
        .arg(port());
}

void LoopbackHttpServer::setFault(const QString &path, Fault fault)
{
    m_faults.insert(path, fault);
}

void LoopbackHttpServer::setSlowBody(int pieceBytes, int pauseMs)
{
    m_pieceBytes = qMax(1, pieceBytes);
    m_pauseMs = qMax(0, pauseMs);
}

void LoopbackHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // The server owns its sockets until they are closed; they are
        // deleted when they disconnect or with the server.
        socket->setParent(nullptr);
        m_pending.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (m_pending.remove(socket))
                socket->deleteLater();
        });
        // Over TLS the request can arrive before the socket is handed over.
        if (socket->bytesAvailable() > 0)
            onReadyRead(socket);
    }
}

void LoopbackHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    if (it->endsWith('\x01')) // answered already: ignore what else arrives
        return;
    it->append(socket->readAll());
    const qsizetype end = it->indexOf("\r\n\r\n");
    if (end < 0) {
        if (it->size() > MaximumRequestHead)
            sendError(socket, 431, "Request Header Fields Too Large");
        return;
    }
    const QByteArray requestLine = it->left(it->indexOf("\r\n"));
    it->append('\x01');
    const QList<QByteArray> parts = requestLine.split(' ');
    if (parts.size() != 3 || !parts[2].startsWith("HTTP/1.")) {
        sendError(socket, 400, "Bad Request");
        return;
    }
    if (parts[0] != "GET" && parts[0] != "HEAD") {
        sendError(socket, 405, "Method Not Allowed");
        return;
    }
    const QString path = QUrl::fromPercentEncoding(parts[1].split('?').first());
    ++m_requests[path];
    answer(socket, parts[0], path);
}

QString LoopbackHttpServer::filePathFor(const QString &path) const
{
    if (!path.startsWith(QLatin1Char('/')))
        return {};
    const QString cleaned = QDir::cleanPath(m_root + path);
    if (cleaned != m_root && !cleaned.startsWith(m_root + QLatin1Char('/')))
        return {};
    const QFileInfo info(cleaned);
    if (!info.isFile())
        return {};
    return cleaned;
}

void LoopbackHttpServer::sendError(QTcpSocket *socket, int status, const QByteArray &reason)
{
    const QByteArray body =
        "<html><body><h1>" + QByteArray::number(status) + ' ' + reason + "</h1></body></html>\r\n";
    socket->write(responseHead(status, reason, body.size(), "text/html"));
    socket->write(body);
    socket->disconnectFromHost();
}

void LoopbackHttpServer::answer(QTcpSocket *socket, const QByteArray &method, const QString &path)
{
    const Fault fault = m_faults.value(path, Fault::None);
    if (fault == Fault::Stall)
        return;
    if (fault == Fault::Delayed) {
        QPointer<QTcpSocket> guard(socket);
        QTimer::singleShot(m_pauseMs, this, [this, guard, method, path] {
            if (guard)
                answerNow(guard, method, path, Fault::None);
        });
        return;
    }
    answerNow(socket, method, path, fault);
}

void LoopbackHttpServer::answerNow(QTcpSocket *socket, const QByteArray &method,
                                   const QString &path, Fault fault)
{
    if (fault == Fault::NotFound) {
        sendError(socket, 404, "Not Found");
        return;
    }
    if (fault == Fault::ServerError) {
        sendError(socket, 500, "Internal Server Error");
        return;
    }
    const QString file = filePathFor(path);
    QFile source(file);
    if (file.isEmpty() || !source.open(QIODevice::ReadOnly)) {
        sendError(socket, 404, "Not Found");
        return;
    }
    const QByteArray body = source.readAll();
    socket->write(responseHead(200, "OK", body.size(), "application/octet-stream"));
    if (method == "HEAD") {
        socket->disconnectFromHost();
        return;
    }
    switch (fault) {
    case Fault::ResetConnection:
        socket->write(body.left(body.size() / 2));
        socket->flush();
        QTimer::singleShot(50, socket, [socket] { socket->abort(); });
        break;
    case Fault::StallMidBody:
        socket->write(body.left(body.size() / 2));
        break;
    case Fault::SlowBody:
        sendSlowly(socket, body, 0);
        break;
    default:
        socket->write(body);
        socket->disconnectFromHost();
        break;
    }
}

void LoopbackHttpServer::sendSlowly(QTcpSocket *socket, const QByteArray &body, qsizetype from)
{
    QPointer<QTcpSocket> guard(socket);
    socket->write(body.mid(from, m_pieceBytes));
    socket->flush();
    const qsizetype next = from + m_pieceBytes;
    if (next >= body.size()) {
        socket->disconnectFromHost();
        return;
    }
    QTimer::singleShot(m_pauseMs, this, [this, guard, body, next] {
        if (guard)
            sendSlowly(guard, body, next);
    });
}
