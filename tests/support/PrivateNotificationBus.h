#pragma once

#include <QDBusContext>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QVariantMap>

// What the fake notification service received in one Notify call.
struct NotifyCall {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

// The service side of org.freedesktop.Notifications, recording each call.
// It lives on a thread of its own, so that a blocking call from the test's
// thread gets its answer.
class FakeNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    // Answer: answers every call.  Fail: answers Notify with an error.
    // Silent: never answers Notify.
    enum class Behaviour { Answer, Fail, Silent };

    void setBehaviour(Behaviour b, const QStringList &capabilities);
    QList<NotifyCall> takeCalls();

public slots:
    QStringList GetCapabilities();
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout);

private:
    QMutex m_mutex;
    Behaviour m_behaviour = Behaviour::Answer;
    QStringList m_capabilities;
    QList<NotifyCall> m_calls;
};

// A D-Bus session bus of the test alone (dbus-daemon with a socket in a
// temporary folder and no service files, so nothing is started on demand)
// with the fake notification service on it.
class PrivateNotificationBus
{
public:
    PrivateNotificationBus();
    ~PrivateNotificationBus();

    // Starts the bus and the service; false, with *error set, when it
    // cannot (dbus-daemon missing, for one).
    bool start(QString *error);
    // The bus address, as DBUS_SESSION_BUS_ADDRESS names it.
    QString address() const { return m_address; }
    FakeNotificationService &service() { return *m_service; }
    // The service's name taken off the bus and given back.
    bool unregisterService();
    bool registerService();
    // A folder of the bus's own, for sockets and files of a test.
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QThread m_serviceThread;
    FakeNotificationService *m_service;
};
