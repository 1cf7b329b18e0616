// Desktop notifications over D-Bus, against a private bus that this test
// starts with a small notification service of its own on it.
#include "platform/DBusDesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QString kServiceName = QStringLiteral("org.freedesktop.Notifications");

// What the fake service received in one Notify call.
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

} // namespace

// The service side of org.freedesktop.Notifications.  It lives on its own
// thread, so that the notifier's blocking call on the test's thread gets its
// answer.
class FakeNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    enum class Behaviour { Answer, Fail, Silent };

    void setBehaviour(Behaviour b, const QStringList &capabilities)
    {
        QMutexLocker lock(&m_mutex);
        m_behaviour = b;
        m_capabilities = capabilities;
    }
    QList<NotifyCall> takeCalls()
    {
        QMutexLocker lock(&m_mutex);
        return std::exchange(m_calls, {});
    }

public slots:
    QStringList GetCapabilities()
    {
        QMutexLocker lock(&m_mutex);
        return m_capabilities;
    }
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout)
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(
            {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
        if (m_behaviour == Behaviour::Fail)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("refused"));
        else if (m_behaviour == Behaviour::Silent)
            setDelayedReply(true); // and never answer
        return uint(m_calls.size());
    }

private:
    QMutex m_mutex;
    Behaviour m_behaviour = Behaviour::Answer;
    QStringList m_capabilities;
    QList<NotifyCall> m_calls;
};

class TestDesktopNotifier : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void notificationReachesTheService_data();
    void notificationReachesTheService();
    void unansweredOrRefusedNotification_data();
    void unansweredOrRefusedNotification();
    void busWithoutService();
    void withoutSessionBus();

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QThread m_serviceThread;
    FakeNotificationService *m_service = nullptr;
};

void TestDesktopNotifier::initTestCase()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QFAIL("dbus-daemon is missing: install the Debian package dbus-daemon "
              "(scripts/install-deps.sh does)");
    // A bus of this test alone: no service files, so nothing is started on
    // demand, and a socket in the test's own folder.
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile conf(config);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral(
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                   "<auth>EXTERNAL</auth><policy context=\"default\">"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                   .arg(m_dir.path())
                   .toUtf8());
    conf.close();
    m_daemon.start(daemon,
                   {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
    QVERIFY2(m_daemon.waitForStarted(), qPrintable(m_daemon.errorString()));
    QVERIFY(m_daemon.waitForReadyRead(30000));
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY2(m_address.startsWith("unix:"), qPrintable(m_address));

    QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("service"));
    QVERIFY(service.isConnected());
    m_service = new FakeNotificationService;
    m_service->moveToThread(&m_serviceThread);
    m_serviceThread.start();
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), m_service,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(kServiceName));
}

void TestDesktopNotifier::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    m_serviceThread.quit();
    m_serviceThread.wait();
    delete m_service;
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void TestDesktopNotifier::init()
{
    m_service->setBehaviour(FakeNotificationService::Behaviour::Answer, {});
    m_service->takeCalls();
}

void TestDesktopNotifier::notificationReachesTheService_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expectedBody");

    const QString plain = QStringLiteral("1.234 Objekte geprüft, 3 Bedrohungen <gefunden> & "
                                         "\"entfernt\" — ½");
    QTest::newRow("plain-text service") << QStringList{"body"} << plain << plain;
    QTest::newRow("markup service")
        << QStringList{"body", "body-markup"} << plain
        << QStringLiteral("1.234 Objekte geprüft, 3 Bedrohungen &lt;gefunden&gt; &amp; "
                          "&quot;entfernt&quot; — ½");
}

void TestDesktopNotifier::notificationReachesTheService()
{
    QFETCH(QStringList, capabilities);
    QFETCH(QString, text);
    QFETCH(QString, expectedBody);

    m_service->setBehaviour(FakeNotificationService::Behaviour::Answer, capabilities);
    DBusDesktopNotifier notifier(QDBusConnection::connectToBus(m_address, "client"));
    QVERIFY(notifier.notify(QStringLiteral("Torvakine Antispyware <6.4>"), text));

    const QList<NotifyCall> calls = m_service->takeCalls();
    QCOMPARE(calls.size(), 1);
    const NotifyCall &c = calls.first();
    QCOMPARE(c.appName, QStringLiteral("Torvakine"));
    QCOMPARE(c.replacesId, 0u);
    QCOMPARE(c.appIcon, QStringLiteral("com.torvakine.Antispyware"));
    // The title is never markup.
    QCOMPARE(c.summary, QStringLiteral("Torvakine Antispyware <6.4>"));
    QCOMPARE(c.body, expectedBody);
    QVERIFY(c.actions.isEmpty());
    QCOMPARE(c.hints.value("desktop-entry").toString(),
             QStringLiteral("com.torvakine.Antispyware"));
    QCOMPARE(c.expireTimeout, -1);
}

void TestDesktopNotifier::unansweredOrRefusedNotification_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::newRow("error answer") << int(FakeNotificationService::Behaviour::Fail);
    QTest::newRow("no answer") << int(FakeNotificationService::Behaviour::Silent);
}

void TestDesktopNotifier::unansweredOrRefusedNotification()
{
    QFETCH(int, behaviour);
    m_service->setBehaviour(FakeNotificationService::Behaviour(behaviour), {"body"});
    DBusDesktopNotifier notifier(QDBusConnection::connectToBus(m_address, "client"));
    notifier.setCallTimeout(300);
    QVERIFY(!notifier.notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QCOMPARE(m_service->takeCalls().size(), 1);
}

void TestDesktopNotifier::busWithoutService()
{
    // A second bus of the same kind, on which no notification service runs:
    // the call is refused at once, nothing is started to serve it.
    QDBusConnection service = QDBusConnection::connectToBus(m_address, QStringLiteral("service"));
    QVERIFY(service.unregisterService(kServiceName));
    DBusDesktopNotifier notifier(QDBusConnection::connectToBus(m_address, "client"));
    const bool sent = notifier.notify(QStringLiteral("Torvakine"), QStringLiteral("text"));
    QVERIFY(service.registerService(kServiceName));
    QVERIFY(!sent);
    QVERIFY(m_service->takeCalls().isEmpty());
}

void TestDesktopNotifier::withoutSessionBus()
{
    // A bus address that leads nowhere.
    DBusDesktopNotifier broken(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + m_dir.filePath("no-bus"), QStringLiteral("broken")));
    QVERIFY(!broken.notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QDBusConnection::disconnectFromBus(QStringLiteral("broken"));

    // An environment that names no session bus: nothing is tried.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", m_dir.filePath("runtime").toUtf8());
    QVERIFY(!DBusDesktopNotifier().notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QVERIFY(m_service->takeCalls().isEmpty());

    // The session bus that the environment names is the one used.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(DBusDesktopNotifier().notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QCOMPARE(m_service->takeCalls().size(), 1);
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "tst_desktop_notifier.moc"
