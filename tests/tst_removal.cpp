// Removal of what a scan listed: files, cookie lines and failure records.
#include "removal/Removal.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

class TestRemoval : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void removeListedRows();
    void moreRowsThanASixteenBitCounter();

private:
    QString path(const QString &name) const { return m_app->filePath(name); }
    QString report() const { return m_session->reportPath(); }
    ResultListModel &rows() { return m_session->results(); }
    // The lines appended to the report after its header.
    QStringList failureRecords() const
    {
        const QStringList lines = QString::fromUtf8(readTestFile(report())).split("\r\n");
        return lines.mid(1, lines.size() - 2);
    }
    std::unique_ptr<TestAppFolder> m_app;
    // The session of the scan whose rows are removed.
    std::unique_ptr<ScanSession> m_session;
};

void TestRemoval::init()
{
    m_session.reset();
    m_app = std::make_unique<TestAppFolder>();
    // Entry 31 of the language heads a failure record.
    QByteArray language;
    for (int n = 1; n <= 30; ++n)
        language += QByteArray::number(n) + "\r\n";
    m_app->writeFile("lang.dat", language + "Not deleted:\r\n");
    m_session = m_app->newSession();
    m_session->state().ReportBaseName = "Report test";
    QCOMPARE(report(), m_app->filePath("Report/Report test.txt"));
    writeTestFile(report(), "header\r\n");
}

void TestRemoval::removeListedRows()
{
    // Cookie files, the lines listed and what must remain: the lines listed
    // and every line that is a lone LF go, a last line without LF stays, a
    // line listed without its LF fits none, and bytes are kept as they are.
    const std::tuple<QByteArray, QByteArrayList, QByteArray> cookies[] = {
        {"a\n\nb\r\n\r\nc\na\n", {"a\n", "c\n"}, "b\r\n\r\n"},
        {"a\n\nb\r\n\r\na", {"a\n"}, "b\r\n\r\na"},
        {"a\n\nb\r\n", {"a"}, "a\nb\r\n"},
        {QByteArray("x\xe9\x00y\nkeep\xff\n", 11), {QByteArray("x\xe9\x00y\n", 5)}, "keep\xff\n"}};
    // An unusual mode, so that keeping it is not the default of a new file.
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    for (int i = 0; i < 4; ++i) {
        const QString file = path(QString("Mozilla/%1/cookies.txt").arg(i));
        writeTestFile(file, std::get<0>(cookies[i]));
        QFile::setPermissions(file, mode);
        for (const QByteArray &line : std::get<1>(cookies[i]))
            rows().addRow("Cookie", "mozilla:" + file + "+" + QString::fromLatin1(line));
    }
    const auto before = QFileInfo(path("Mozilla/0/cookies.txt")).permissions();
    for (const char *name : {"a.exe", "ro.exe", "target.exe", "c.exe"})
        writeTestFile(path(name), "keep");
    writeTestFile(path("mozilla/cookies.txt"), "a\nb\n");
    writeTestFile(path("other/cookies.txt"), "a\n");
    for (const char *name : {"ro.exe", "mozilla/cookies.txt"})
        QFile::setPermissions(path(name), QFileDevice::ReadOwner);
    QVERIFY(QFile::link(path("target.exe"), path("link.exe")));
    QDir().mkpath(path("folder"));
    // A read-only or missing cookie file, a cookie row without a browser
    // prefix and a registry row in lower case (both taken as file paths), a
    // read-only file and a folder are not removed, each with a record.  A
    // link goes, not its target; an empty location ends the list.
    const std::pair<QString, QString> kept[] = {
        {"mozilla:" + path("mozilla/cookies.txt") + "+a\n", path("mozilla/cookies.txt")},
        {"mozilla:" + path("gone/cookies.txt") + "+a\n", path("gone/cookies.txt")},
        {path("other/cookies.txt") + "+a\n", path("other/cookies.txt") + "+a\n"},
        {"hkey_local_machine\\Sample", "hkey_local_machine\\Sample"},
        {path("ro.exe"), path("ro.exe")},
        {path("folder"), path("folder")}};
    QStringList expected;
    for (const auto &[row, recorded] : kept) {
        rows().addRow("A", row);
        expected << "Not deleted: " + recorded << QString(27, '-');
    }
    for (const QString &row : {path("a.exe"), path("link.exe"), QString(), path("c.exe")})
        rows().addRow("A", row);
    RemoveListedDetections(*m_session);

    QCOMPARE(failureRecords(), expected);
    QCOMPARE(rows().count(), 0);
    for (int i = 0; i < 4; ++i) {
        const QString folder = path(QString("Mozilla/%1/").arg(i));
        QCOMPARE(readTestFile(folder + "cookies.txt"), std::get<2>(cookies[i]));
        QCOMPARE(QFileInfo(folder + "cookies.txt").permissions(), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"cookies.txt"});
    }
    QCOMPARE(readTestFile(path("mozilla/cookies.txt")), QByteArray("a\nb\n"));
    QCOMPARE(QDir(path("mozilla")).entryList(QDir::Files), QStringList{"cookies.txt"});
    for (const char *name : {"ro.exe", "target.exe", "c.exe"})
        QVERIFY2(QFile::exists(path(name)), name);
    QVERIFY(!QFile::exists(path("a.exe")) && !QFileInfo(path("link.exe")).isSymLink());
    // An empty list writes nothing.
    RemoveListedDetections(*m_session);
    QCOMPARE(failureRecords().size(), expected.size());
}

void TestRemoval::moreRowsThanASixteenBitCounter()
{
    const int n = 32770;
    for (int i = 0; i < n - 1; ++i)
        rows().addRow("A", path("missing-" + QString::number(i)));
    writeTestFile(path("last.exe"), "x");
    rows().addRow("A", path("last.exe"));
    RemoveListedDetections(*m_session);
    QVERIFY(!QFile::exists(path("last.exe")));
    QCOMPARE(failureRecords().size(), 2 * (n - 1));
}

QTEST_GUILESS_MAIN(TestRemoval)
#include "tst_removal.moc"
