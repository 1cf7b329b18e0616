// The desktop notification at the end of torvakine-cli scan --notify: what it
// says, in the user's language, and that the tool sends exactly one over the
// session bus, or none, silently, without one.
#include "cli/ScanNotification.h"
#include "language/LanguageFile.h"
#include "tests/support/FakeDesktopNotifier.h"
#include "tests/support/PrivateNotificationBus.h"
#include "tests/support/TestAppFolder.h"

#include <QtTest>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out, err;
};

Result runCli(const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TORVAKINE_CLI_PATH), args);
    if (!p.waitForStarted() || !p.waitForFinished(60000))
        return {};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

} // namespace

class TestScanNotification : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void whatTheNotificationSays();
    void oneNotificationOverTheSessionBus();
    void noSessionBusNoNotification();
    void aServiceThatNeverAnswers();

private:
    // An application folder with one planted detection in its "disk".
    void prepare(TestAppFolder &app) const;
    QStringList scanArgs(const TestAppFolder &app) const
    {
        return {"scan",         "--no-registry", "--notify",
                "--app-folder", app.path(),      app.filePath("disk")};
    }
    // The environment of a desktop session on the private bus, or of a
    // login without any session bus.
    QProcessEnvironment sessionEnvironment(bool withBus) const;

    PrivateNotificationBus m_bus;
};

void TestScanNotification::initTestCase()
{
    QString error;
    QVERIFY2(m_bus.start(&error), qPrintable(error));
}

void TestScanNotification::prepare(TestAppFolder &app) const
{
    app.writeDatabase("cookdb.dat", "[[[c1\n***Adware.Sample\n\\toolbar\\bar.exe\n--ME-\n<<<>>\n");
    writeTestFile(app.filePath("Language/deutsch"),
                  readTestFile(QStringLiteral(TORVAKINE_LANGUAGE_SOURCE_DIR "/deutsch")));
    app.writeFile("lang.dat", app.readFile("Language/deutsch"));
    writeTestFile(app.filePath("disk/x/toolbar/bar.exe"), "x");
}

QProcessEnvironment TestScanNotification::sessionEnvironment(bool withBus) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    // A runtime folder without a bus socket in it.
    env.insert("XDG_RUNTIME_DIR", m_bus.filePath("runtime"));
    if (withBus)
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.address());
    return env;
}

void TestScanNotification::whatTheNotificationSays()
{
    // The shipped German texts, with German numbers.
    LanguageTexts german;
    QVERIFY(readLanguageFile(QStringLiteral(TORVAKINE_LANGUAGE_SOURCE_DIR "/deutsch"), german) >=
            LanguageTexts::kLastEntry);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString summary = QStringLiteral("12.345 Objekte geprüft, gefundene Bedrohungen: 1.234");
    FakeDesktopNotifier notifier;
    QVERIFY(notifyScanEnd(notifier, german, summary, 1234, QString()));
    QVERIFY(notifyScanEnd(notifier, german, summary, 0, QString()));
    QVERIFY(notifyScanEnd(notifier, german, summary, 1, QStringLiteral("Bericht: /r/Report 1")));
    QLocale::setDefault(QLocale::c());
    QCOMPARE(notifier.sent.size(), 3);
    QCOMPARE(notifier.sent[0].title, QStringLiteral("Gefundene Bedrohungen: 1.234"));
    QCOMPARE(notifier.sent[0].text, summary);
    QCOMPARE(notifier.sent[1].title, QStringLiteral("Keine Bedrohungen gefunden"));
    QCOMPARE(notifier.sent[1].text, summary);
    QCOMPARE(notifier.sent[2].title, QStringLiteral("Gefundene Bedrohungen: 1"));
    QCOMPARE(notifier.sent[2].text, summary + "\nBericht: /r/Report 1");

    // A desktop without the service: false, and nothing else happens.
    notifier.serviceAvailable = false;
    notifier.sent.clear();
    QVERIFY(!notifyScanEnd(notifier, german, summary, 3, QString()));
    QVERIFY(notifier.sent.isEmpty());
}

void TestScanNotification::oneNotificationOverTheSessionBus()
{
    TestAppFolder app;
    prepare(app);
    m_bus.service().setBehaviour(FakeNotificationService::Behaviour::Answer, {"body"});
    const Result r = runCli(scanArgs(app), sessionEnvironment(true));
    QCOMPARE(r.exitCode, 1);
    const QList<NotifyCall> calls = m_bus.service().takeCalls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].summary, QStringLiteral("Gefundene Bedrohungen: 1"));
    // The body is the summary line the tool printed.
    QCOMPARE(calls[0].body + "\n", QString::fromUtf8(r.err));
    QVERIFY2(calls[0].body.contains("gefundene Bedrohungen: 1"), qPrintable(calls[0].body));
    QCOMPARE(calls[0].appIcon, QStringLiteral("com.torvakine.Antispyware"));

    // Nothing found: one notification again, which says so.
    QVERIFY(QFile::remove(app.filePath("disk/x/toolbar/bar.exe")));
    QCOMPARE(runCli(scanArgs(app), sessionEnvironment(true)).exitCode, 0);
    const QList<NotifyCall> again = m_bus.service().takeCalls();
    QCOMPARE(again.size(), 1);
    QCOMPARE(again[0].summary, QStringLiteral("Keine Bedrohungen gefunden"));

    // Without --notify nothing is sent.
    QStringList quiet = scanArgs(app);
    quiet.removeAll("--notify");
    QCOMPARE(runCli(quiet, sessionEnvironment(true)).exitCode, 0);
    QVERIFY(m_bus.service().takeCalls().isEmpty());
}

void TestScanNotification::noSessionBusNoNotification()
{
    // A login without a session bus (a server, cron): the scan runs and ends
    // as it would without --notify, and says nothing of the notification.
    TestAppFolder app;
    prepare(app);
    const Result r = runCli(scanArgs(app), sessionEnvironment(false));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.count('\n'), 1);
    QVERIFY2(r.err.count('\n') == 1, r.err.constData());
    QVERIFY2(r.err.contains("gefundene Bedrohungen: 1"), r.err.constData());
    QVERIFY(m_bus.service().takeCalls().isEmpty());

    // A bus without a notification service on it: the same.
    QVERIFY(m_bus.unregisterService());
    const Result onBus = runCli(scanArgs(app), sessionEnvironment(true));
    QVERIFY(m_bus.registerService());
    QCOMPARE(onBus.exitCode, 1);
    QCOMPARE(onBus.out, r.out);
    QVERIFY2(onBus.err.count('\n') == 1, onBus.err.constData());
    QVERIFY(m_bus.service().takeCalls().isEmpty());
}

void TestScanNotification::aServiceThatNeverAnswers()
{
    // The tool waits for the service a bounded time, then ends as it would
    // have ended.
    TestAppFolder app;
    prepare(app);
    m_bus.service().setBehaviour(FakeNotificationService::Behaviour::Silent, {"body"});
    const Result r = runCli(scanArgs(app), sessionEnvironment(true));
    m_bus.service().setBehaviour(FakeNotificationService::Behaviour::Answer, {"body"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.count('\n') == 1, r.err.constData());
    QCOMPARE(m_bus.service().takeCalls().size(), 1);
}

QTEST_GUILESS_MAIN(TestScanNotification)
#include "tst_scan_notification.moc"
