// The new-version notice's buttons and the update server's URL from server.dat.
#include "platform/ShellOpen.h"
#include "tests/support/TestAppFolder.h"
#include "update/UpdateServer.h"
#include "update/widgets/frmNewversion.h"

#include <QPushButton>
#include <QTest>

struct RecordingShell : ShellOpen {
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return false; // a failing shell is not reported
    }
    QList<QUrl> opened;
};

class TestNewversion : public QObject
{
    Q_OBJECT
private slots:
    void noticeAndServerUrl();
};

void TestNewversion::noticeAndServerUrl()
{
    TestAppFolder app;
    const QString compiledIn = updateServerBaseUrl(app.paths());
    // server.dat's first line, without blanks or trailing slashes, replaces the built-in URL.
    app.writeFile("server.dat", "  https://127.0.0.1:8443/mirror//  \r\nhttp://ignored\r\n");
    QCOMPARE(updateServerUrl(app.paths(), "/newupd/msg.txt"),
             "https://127.0.0.1:8443/mirror/newupd/msg.txt");
    app.writeFile("server.dat", "\n");
    QCOMPARE(updateServerUrl(app.paths(), "/newupd/msg.txt"), compiledIn + "/newupd/msg.txt");
    // Cancel only hides the modeless notice; Download hands the installer's URL to the desktop.
    RecordingShell shell;
    frmNewversion w(shell, app.paths());
    QVERIFY(!w.isModal());
    w.show();
    QTest::mouseClick(w.Command2, Qt::LeftButton);
    QVERIFY(w.isHidden() && shell.opened.isEmpty());
    w.show();
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QVERIFY(w.isHidden());
    // The installer lies on the update server of the notice's application folder.
    app.writeFile("server.dat", "http://127.0.0.1:8080/mirror\r\n");
    w.show();
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(shell.opened,
             QList<QUrl>({QUrl(compiledIn + "/files/Torvakine_Setup.exe"),
                          QUrl("http://127.0.0.1:8080/mirror/files/Torvakine_Setup.exe")}));
}

QTEST_MAIN(TestNewversion)
#include "tst_newversion.moc"
