// The new-version notice: its layout, its two buttons and the installer URL
// it hands to the desktop.
#include "platform/ShellOpen.h"
#include "tests/support/TestAppFolder.h"
#include "update/UpdateServer.h"
#include "update/widgets/frmNewversion.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {
class RecordingShell : public ShellOpen
{
public:
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return false; // a failing shell is not reported
    }
    QList<QUrl> opened;
};

// Twips to pixels at 15 twips a pixel.
QRect fromTwips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}
} // namespace

class TestNewversion : public QObject
{
    Q_OBJECT
private slots:
    void layout();
    void downloadOpensInstallerUrl();
    void cancelOnlyHides();
    void serverFileReplacesBaseUrl_data();
    void serverFileReplacesBaseUrl();
};

void TestNewversion::layout()
{
    RecordingShell shell;
    frmNewversion w(shell);
    QCOMPARE(w.windowTitle(), QStringLiteral("INFO"));
    QVERIFY(!w.isModal());
    QCOMPARE(w.size(), QSize(4680 / 15, 1965 / 15));
    QCOMPARE(w.Label1->geometry(), fromTwips(120, 240, 4455, 375));
    QCOMPARE(w.Label1->text(), QString());
    QCOMPARE(w.Command1->geometry(), fromTwips(600, 1080, 1095, 495));
    QCOMPARE(w.Command1->text(), QStringLiteral("Download"));
    QCOMPARE(w.Command2->geometry(), fromTwips(2760, 1080, 1095, 495));
    QCOMPARE(w.Command2->text(), QStringLiteral("Cancel"));
}

void TestNewversion::downloadOpensInstallerUrl()
{
    TestAppFolder app;
    app.writeFile(QStringLiteral("server.dat"), "http://127.0.0.1:9/base\r\n");
    RecordingShell shell;
    frmNewversion w(shell);
    w.Label1->setText(QStringLiteral("A new version is out"));
    w.show();
    QVERIFY(w.isVisible());
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QVERIFY(w.isHidden());
    QCOMPARE(shell.opened, QList<QUrl>({QUrl(QStringLiteral("http://127.0.0.1:9/base/files/Torvakine_Setup.exe"))}));
}

void TestNewversion::cancelOnlyHides()
{
    TestAppFolder app;
    RecordingShell shell;
    frmNewversion w(shell);
    for (int round = 0; round < 2; ++round) {
        w.Label1->setText(QStringLiteral("notice %1").arg(round));
        w.show();
        QVERIFY(w.isVisible());
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        QVERIFY(w.isHidden());
    }
    QVERIFY(shell.opened.isEmpty());
}

void TestNewversion::serverFileReplacesBaseUrl_data()
{
    QTest::addColumn<QByteArray>("serverDat");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << QByteArray("http://updates.example.invalid\r\nignored\r\n")
                           << QStringLiteral("http://updates.example.invalid/newupd/msg.txt");
    QTest::newRow("trailing slash") << QByteArray("https://127.0.0.1:8443/mirror/\n")
                                    << QStringLiteral("https://127.0.0.1:8443/mirror/newupd/msg.txt");
    QTest::newRow("surrounding blanks") << QByteArray("  http://127.0.0.1:1234  \r\n")
                                        << QStringLiteral("http://127.0.0.1:1234/newupd/msg.txt");
}

void TestNewversion::serverFileReplacesBaseUrl()
{
    QFETCH(QByteArray, serverDat);
    QFETCH(QString, expected);
    TestAppFolder app;
    const QString compiledIn = updateServerBaseUrl();
    QVERIFY(!compiledIn.isEmpty());
    QVERIFY(!compiledIn.endsWith(QLatin1Char('/')));
    app.writeFile(QStringLiteral("server.dat"), serverDat);
    QCOMPARE(updateServerUrl(QStringLiteral("/newupd/msg.txt")), expected);
    // An empty server.dat leaves the compiled-in URL.
    app.writeFile(QStringLiteral("server.dat"), "\r\n");
    QCOMPARE(updateServerBaseUrl(), compiledIn);
}

QTEST_MAIN(TestNewversion)
#include "tst_newversion.moc"
