#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

// What the asynchronous read service reports about one read.
struct AsyncProperty {
    qint64 BytesRead = 0;
    qint64 BytesMax = 0;  // total size, 0 while it is not known
    QString PropertyName; // the key the read was started with
    int StatusCode = 0;   // see the constants below
    QByteArray Value;     // the whole content, at completion with status 6
};

// The background download service a download queue is built on.  Every
// started read gets exactly one AsyncReadComplete (status 0 when it failed,
// 6 when all its data arrived) unless it is cancelled first; any number of
// AsyncReadProgress notifications come before it.  Notifications arrive one at
// a time on the thread that owns the service, never from inside asyncRead.
class AsyncReader : public QObject
{
    Q_OBJECT
public:
    static constexpr int StatusError = 0;
    static constexpr int StatusComplete = 6;

    using QObject::QObject;

    // Starts the read and returns at once.  Returns false, with a number and
    // a description of the error, when the read cannot be started.
    virtual bool asyncRead(const QString &url, const QString &key, const QVariant &options,
                           int *errorNumber, QString *errorText) = 0;
    // Stops every running read started with key; a stopped read reports
    // nothing more.  Unknown keys are ignored.
    virtual void cancelAsyncRead(const QString &key) = 0;

signals:
    void AsyncReadProgress(const AsyncProperty &prop);
    void AsyncReadComplete(const AsyncProperty &prop);
};
