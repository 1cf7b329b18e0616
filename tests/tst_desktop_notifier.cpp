// Desktop notifications over D-Bus, against a private bus that this test
// starts with a small notification service of its own on it.
#include "platform/DBusDesktopNotifier.h"
#include "tests/support/PrivateNotificationBus.h"

#include <QDBusConnection>
#include <QTest>

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
    PrivateNotificationBus m_bus;
    QString m_address;
    FakeNotificationService *m_service = nullptr;
};

void TestDesktopNotifier::initTestCase()
{
    QString error;
    QVERIFY2(m_bus.start(&error), qPrintable(error));
    m_address = m_bus.address();
    m_service = &m_bus.service();
}

void TestDesktopNotifier::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
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
    // The bus without a notification service on it: the call is refused at
    // once, nothing is started to serve it.
    QVERIFY(m_bus.unregisterService());
    DBusDesktopNotifier notifier(QDBusConnection::connectToBus(m_address, "client"));
    const bool sent = notifier.notify(QStringLiteral("Torvakine"), QStringLiteral("text"));
    QVERIFY(m_bus.registerService());
    QVERIFY(!sent);
    QVERIFY(m_service->takeCalls().isEmpty());
}

void TestDesktopNotifier::withoutSessionBus()
{
    // A bus address that leads nowhere.
    DBusDesktopNotifier broken(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + m_bus.filePath("no-bus"), QStringLiteral("broken")));
    QVERIFY(!broken.notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QDBusConnection::disconnectFromBus(QStringLiteral("broken"));

    // An environment that names no session bus: nothing is tried.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("XDG_RUNTIME_DIR", m_bus.filePath("runtime").toUtf8());
    QVERIFY(!DBusDesktopNotifier().notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QVERIFY(m_service->takeCalls().isEmpty());

    // The session bus that the environment names is the one used.
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(DBusDesktopNotifier().notify(QStringLiteral("Torvakine"), QStringLiteral("text")));
    QCOMPARE(m_service->takeCalls().size(), 1);
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "tst_desktop_notifier.moc"
