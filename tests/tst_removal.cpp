// Removal of what a scan listed: files, cookie lines and failure records.
#include "language/Lingua.h"
#include "platform/StartupState.h"
#include "removal/Removal.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <unistd.h>

class TestRemoval : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void emptyLocationEndsTheWalk();
    void cookieFileRewrite_data();
    void cookieFileRewrite();
    void twoRowsForOneCookieFile();
    void cookieFileThatCannotBeReplaced();
    void rowsThatNameNoFile();
    void readOnlyFilesAreNotForced();
    void linksAndFolders();
    void moreRowsThanASixteenBitCounter();

private:
    QStringList failureRecords() const;
    std::unique_ptr<TestAppFolder> m_app;
};

namespace {
const QString kSeparator(27, '-');
}

void TestRemoval::init()
{
    m_app = std::make_unique<TestAppFolder>();
    languageState().Lingua[31] = QStringLiteral("Not deleted:");
    scanState().ReportBaseName = QStringLiteral("Report test");
    QDir().mkpath(startupState().ReportFolder);
    writeTestFile(startupState().ReportFolder + "Report test.txt", "header\r\n");
    resultList().clear();
}

QStringList TestRemoval::failureRecords() const
{
    const QString text =
        QString::fromUtf8(readTestFile(startupState().ReportFolder + "Report test.txt"));
    QStringList lines = text.split("\r\n");
    lines.removeFirst(); // header
    lines.removeLast();  // after the last CR LF
    return lines;
}

void TestRemoval::emptyLocationEndsTheWalk()
{
    const QString a = m_app->filePath("a.exe");
    const QString c = m_app->filePath("c.exe");
    writeTestFile(a, "a");
    writeTestFile(c, "c");
    resultList().addRow("A", a);
    resultList().addRow("B", QString());
    resultList().addRow("C", c);
    RemoveListedDetections();
    QVERIFY(!QFile::exists(a));
    QVERIFY(QFile::exists(c));
    QCOMPARE(resultList().count(), 0);
    QVERIFY(failureRecords().isEmpty());

    // An empty list writes nothing.
    RemoveListedDetections();
    QVERIFY(failureRecords().isEmpty());
}

void TestRemoval::cookieFileRewrite_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("five lines") << QByteArray("a\n\nb\r\n\r\na\n") << QByteArray("a\n")
                                << QByteArray("b\r\n\r\n");
    QTest::newRow("last line without LF is kept") << QByteArray("a\n\nb\r\n\r\na") << QByteArray("a\n")
                                                  << QByteArray("b\r\n\r\na");
    QTest::newRow("line given without LF matches nothing")
        << QByteArray("a\n\nb\r\n") << QByteArray("a") << QByteArray("a\nb\r\n");
    QTest::newRow("bytes kept as they are") << QByteArray("x\xe9\x00y\nkeep\xff\n", 11)
                                            << QByteArray("x\xe9\x00y\n", 5) << QByteArray("keep\xff\n");
}

void TestRemoval::cookieFileRewrite()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    const QString cookies = m_app->filePath("Mozilla/Profiles/x/cookies.txt");
    writeTestFile(cookies, content);
    // An unusual mode, so that keeping it is not the default of a new file.
    QFile::setPermissions(cookies, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ReadGroup);
    const QFileDevice::Permissions before = QFileInfo(cookies).permissions();
    resultList().addRow("Tracking Cookie", "mozilla:" + cookies + "+" + QString::fromLatin1(line));
    RemoveListedDetections();
    QCOMPARE(readTestFile(cookies), expected);
    QCOMPARE(QFileInfo(cookies).permissions(), before);
    QVERIFY(!QFile::exists(m_app->filePath("Mozilla/Profiles/x/cookies.new")));
    QVERIFY(failureRecords().isEmpty());
}

void TestRemoval::twoRowsForOneCookieFile()
{
    const QString cookies = m_app->filePath("netscape/cookies.txt");
    writeTestFile(cookies, "one\ntwo\nthree\n");
    resultList().addRow("Tracking Cookie", "netscape:" + cookies + "+one\n");
    resultList().addRow("Tracking Cookie", "netscape:" + cookies + "+three\n");
    RemoveListedDetections();
    QCOMPARE(readTestFile(cookies), QByteArray("two\n"));
}

void TestRemoval::cookieFileThatCannotBeReplaced()
{
    // A read-only cookie file is not deleted without force: it keeps every
    // line, the companion file is gone again and the failure is recorded.
    const QString cookies = m_app->filePath("mozilla/cookies.txt");
    writeTestFile(cookies, "a\nb\n");
    QFile::setPermissions(cookies, QFileDevice::ReadOwner);
    resultList().addRow("Tracking Cookie", "mozilla:" + cookies + "+a\n");
    // A cookie file that no longer exists changes nothing either.
    const QString missing = m_app->filePath("mozilla/gone/cookies.txt");
    resultList().addRow("Tracking Cookie", "mozilla:" + missing + "+a\n");
    RemoveListedDetections();
    QCOMPARE(readTestFile(cookies), QByteArray("a\nb\n"));
    QCOMPARE(QDir(m_app->filePath("mozilla")).entryList(QDir::Files), QStringList({"cookies.txt"}));
    QCOMPARE(failureRecords(), QStringList({"Not deleted: " + cookies, kSeparator,
                                            "Not deleted: " + missing, kSeparator}));
}

void TestRemoval::rowsThatNameNoFile()
{
    // A cookie row without a browser prefix and a registry row in lower
    // case are taken as file paths: their deletion fails and is recorded.
    const QString cookies = m_app->filePath("other/cookies.txt");
    writeTestFile(cookies, "a\n");
    const QString unprefixed = cookies + "+a\n";
    resultList().addRow("Tracking Cookie", unprefixed);
    resultList().addRow("Reg", "hkey_local_machine\\Software\\Sample");
    RemoveListedDetections();
    QCOMPARE(readTestFile(cookies), QByteArray("a\n"));
    QCOMPARE(failureRecords(), QStringList({"Not deleted: " + unprefixed, kSeparator,
                                            "Not deleted: hkey_local_machine\\Software\\Sample",
                                            kSeparator}));
}

void TestRemoval::readOnlyFilesAreNotForced()
{
    const QString readOnly = m_app->filePath("ro.exe");
    writeTestFile(readOnly, "x");
    QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
    resultList().addRow("A", readOnly);
    RemoveListedDetections();
    QVERIFY(QFile::exists(readOnly));
    QCOMPARE(failureRecords(), QStringList({"Not deleted: " + readOnly, kSeparator}));

    if (geteuid() == 0)
        return; // the superuser deletes from a read-only folder anyway
    const QString folder = m_app->filePath("locked");
    writeTestFile(folder + "/inside.exe", "x");
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    resultList().addRow("A", folder + "/inside.exe");
    RemoveListedDetections();
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(QFile::exists(folder + "/inside.exe"));
    QCOMPARE(failureRecords().size(), 4);
}

void TestRemoval::linksAndFolders()
{
    const QString target = m_app->filePath("target.exe");
    const QString link = m_app->filePath("link.exe");
    const QString folder = m_app->filePath("now-a-folder");
    writeTestFile(target, "keep");
    QVERIFY(QFile::link(target, link));
    QDir().mkpath(folder);
    resultList().addRow("A", link);
    resultList().addRow("B", folder);
    RemoveListedDetections();
    QVERIFY(!QFileInfo(link).isSymLink() && !QFileInfo::exists(link));
    QCOMPARE(readTestFile(target), QByteArray("keep"));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(failureRecords(), QStringList({"Not deleted: " + folder, kSeparator}));
}

void TestRemoval::moreRowsThanASixteenBitCounter()
{
    const int n = 32770;
    for (int i = 0; i < n - 1; ++i)
        resultList().addRow("A", m_app->filePath("missing-" + QString::number(i)));
    const QString last = m_app->filePath("last.exe");
    writeTestFile(last, "x");
    resultList().addRow("A", last);
    RemoveListedDetections();
    QVERIFY(!QFile::exists(last));
    QCOMPARE(failureRecords().size(), 2 * (n - 1));
    QCOMPARE(resultList().count(), 0);
}

QTEST_GUILESS_MAIN(TestRemoval)
#include "tst_removal.moc"
