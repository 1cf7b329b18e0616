#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 that serves the files of one folder
// (GET and HEAD, one request per connection), over TLS when given a
// certificate.  It serves the demo update repository (torvakine-dbtool
// serve) and the tests, which also make it misbehave per path to see how the
// program copes.  It is no part of the programs a user runs.
class LoopbackHttpServer : public QObject
{
    Q_OBJECT
public:
    enum class Fault {
        None,
        NotFound,        // 404 with an HTML body
        ServerError,     // 500 with an HTML body
        ResetConnection, // headers and half of the body, then the connection is cut
        Stall,           // the request is read and never answered
        StallMidBody,    // headers and half of the body, then nothing more
        SlowBody,        // the body in small pieces with pauses between them
        Delayed          // the whole answer, after the pause of SlowBody
    };

    explicit LoopbackHttpServer(const QString &root, QObject *parent = nullptr);
    ~LoopbackHttpServer() override;

    // Serves HTTPS with this certificate and key; call before listen().
    void useTls(const QSslCertificate &certificate, const QSslKey &key);
    // Listens on 127.0.0.1; port 0 picks a free port.
    bool listen(quint16 port = 0);
    quint16 port() const;
    // "http://127.0.0.1:PORT" (or https), without a trailing "/".
    QString baseUrl() const;

    // Makes requests for path (such as "/newupd/cookdb.dat") misbehave.
    void setFault(const QString &path, Fault fault);
    void clearFaults() { m_faults.clear(); }
    // SlowBody: bytes per piece and the pause between pieces (Delayed: the
    // pause before the answer).
    void setSlowBody(int pieceBytes, int pauseMs);
    // Number of requests received for path.
    int requestCount(const QString &path) const { return m_requests.value(path); }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &method, const QString &path);
    void answerNow(QTcpSocket *socket, const QByteArray &method, const QString &path, Fault fault);
    void sendError(QTcpSocket *socket, int status, const QByteArray &reason);
    void sendSlowly(QTcpSocket *socket, const QByteArray &body, qsizetype from);
    QString filePathFor(const QString &path) const;

    QString m_root;
    QTcpServer *m_server = nullptr;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QHash<QString, Fault> m_faults;
    QHash<QString, int> m_requests;
    int m_pieceBytes = 512;
    int m_pauseMs = 20;
};
