#include "tests/support/PrivateNotificationBus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QMutexLocker>
#include <QStandardPaths>

namespace {
const QString kServiceName = QStringLiteral("org.freedesktop.Notifications");
const QString kServiceConnection = QStringLiteral("torvakine-test-notification-service");
} // namespace

void FakeNotificationService::setBehaviour(Behaviour b, const QStringList &capabilities)
{
    QMutexLocker lock(&m_mutex);
    m_behaviour = b;
    m_capabilities = capabilities;
}

QList<NotifyCall> FakeNotificationService::takeCalls()
{
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_calls, {});
}

QStringList FakeNotificationService::GetCapabilities()
{
    QMutexLocker lock(&m_mutex);
    return m_capabilities;
}

uint FakeNotificationService::Notify(const QString &appName, uint replacesId,
                                     const QString &appIcon, const QString &summary,
                                     const QString &body, const QStringList &actions,
                                     const QVariantMap &hints, int expireTimeout)
{
    QMutexLocker lock(&m_mutex);
    m_calls.append({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
    if (m_behaviour == Behaviour::Fail)
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refused"));
    else if (m_behaviour == Behaviour::Silent)
        setDelayedReply(true); // and never answer
    return uint(m_calls.size());
}

PrivateNotificationBus::PrivateNotificationBus() : m_service(new FakeNotificationService) {}

PrivateNotificationBus::~PrivateNotificationBus()
{
    QDBusConnection::disconnectFromBus(kServiceConnection);
    m_serviceThread.quit();
    m_serviceThread.wait();
    delete m_service;
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
}

bool PrivateNotificationBus::start(QString *error)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        *error = QStringLiteral("dbus-daemon is missing: install the Debian package dbus-daemon "
                                "(scripts/install-deps.sh does)");
        return false;
    }
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile conf(config);
    if (!conf.open(QIODevice::WriteOnly) ||
        conf.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                       "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                       "busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                       .arg(m_dir.path())
                       .toUtf8()) < 0) {
        *error = QStringLiteral("cannot write ") + config;
        return false;
    }
    conf.close();
    m_daemon.start(daemon,
                   {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
    if (!m_daemon.waitForStarted() || !m_daemon.waitForReadyRead(30000)) {
        *error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return false;
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (!m_address.startsWith(QLatin1String("unix:"))) {
        *error = QStringLiteral("dbus-daemon printed no address: ") + m_address;
        return false;
    }
    QDBusConnection service = QDBusConnection::connectToBus(m_address, kServiceConnection);
    if (!service.isConnected()) {
        *error = QStringLiteral("cannot connect to the private bus");
        return false;
    }
    m_service->moveToThread(&m_serviceThread);
    m_serviceThread.start();
    if (!service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), m_service,
                                QDBusConnection::ExportAllSlots) ||
        !registerService()) {
        *error = QStringLiteral("cannot put the notification service on the private bus");
        return false;
    }
    return true;
}

bool PrivateNotificationBus::unregisterService()
{
    return QDBusConnection(kServiceConnection).unregisterService(kServiceName);
}

bool PrivateNotificationBus::registerService()
{
    return QDBusConnection(kServiceConnection).registerService(kServiceName);
}
