// Removal of what a scan listed: files, cookie lines and failure records.
#include "platform/FileHandle.h"
#include "removal/Removal.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cstdio>

class TestRemoval : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void removeListedRows();
    void removeChosenRows();
    void moreRowsThanASixteenBitCounter();

private:
    QString path(const QString &name) const { return m_app->filePath(name); }
    QString report() const { return m_session->reportPath(); }
    // Where the walk found the file at path, as a row records it.
    static FoundFile found(const QString &path, bool cookieFile = false)
    {
        FoundFile f;
        f.nativePath = QFile::encodeName(path);
        f.isCookieFile = cookieFile;
        const QFileInfo info(path);
        const FileHandle folder = FileHandle::openFolder(QFile::encodeName(info.path()));
        folder.status(&f.folder);
        folder.statusIn(QFile::encodeName(info.fileName()), &f.file, false);
        return f;
    }
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
    m_session->state().ScanRoot = m_app->path() + "/";
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
            rows().addRow("Cookie", "mozilla:" + file + "+" + QString::fromLatin1(line),
                          found(file, true));
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
    // link goes, not its target; an empty location ends the list.  A record
    // shows a line feed of the row as \n, so it stays two lines.
    // Each row tells why it was not removed: the object was no longer the
    // one the scan found, or it could not be changed.
    using enum RemovalOutcome;
    const std::tuple<QString, QString, std::optional<FoundFile>, RemovalOutcome> kept[] = {
        {"mozilla:" + path("mozilla/cookies.txt") + "+a\n", path("mozilla/cookies.txt"),
         found(path("mozilla/cookies.txt"), true), Refused},
        {"mozilla:" + path("gone/cookies.txt") + "+a\n", path("gone/cookies.txt"),
         found(path("gone/cookies.txt"), true), Changed},
        {path("other/cookies.txt") + "+a\n", path("other/cookies.txt") + "+a\\n",
         found(path("other/cookies.txt"), true), Refused},
        {"hkey_local_machine\\Sample", "hkey_local_machine\\Sample", std::nullopt, Changed},
        {path("ro.exe"), path("ro.exe"), found(path("ro.exe")), Refused},
        {path("folder"), path("folder"), found(path("folder")), Refused}};
    QStringList expected;
    // The cookie rows above: their lines are cut out (or matched none).
    QList<RemovalOutcome> outcomes(5, Removed);
    for (const auto &[row, recorded, where, outcome] : kept) {
        rows().addRow("A", row, where);
        expected << "Not deleted: " + recorded << QString(27, '-');
        outcomes << outcome;
    }
    for (const QString &row : {path("a.exe"), path("link.exe"), QString(), path("c.exe")})
        rows().addRow("A", row, found(row));
    outcomes << Removed << Removed << NotTried << NotTried;
    const QList<RowRemoval> done = RemoveListedDetections(*m_session);
    QCOMPARE(done.size(), outcomes.size());
    for (qsizetype i = 0; i < done.size(); ++i) {
        QCOMPARE(done[i].row, i + 1);
        QCOMPARE(done[i].outcome, outcomes[i]);
    }

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

void TestRemoval::removeChosenRows()
{
    // Rows 2, 4 and 5 of five are removed: the file of row 4 was replaced
    // since the scan and stays, with a record; the list is left as it was.
    for (const char *name : {"1.exe", "2.exe", "3.exe", "4.exe", "5.exe"})
        writeTestFile(path(name), "x");
    for (const char *name : {"1.exe", "2.exe", "3.exe", "4.exe", "5.exe"})
        rows().addRow("A", path(name), found(path(name)));
    writeTestFile(path("other.exe"), "y");
    QVERIFY(::rename(QFile::encodeName(path("other.exe")), QFile::encodeName(path("4.exe"))) == 0);
    const QList<RowRemoval> done = RemoveDetections(*m_session, {2, 4, 5});
    QCOMPARE(done.size(), 3);
    QCOMPARE(QList<qsizetype>({done[0].row, done[1].row, done[2].row}),
             QList<qsizetype>({2, 4, 5}));
    QCOMPARE(QList<RemovalOutcome>({done[0].outcome, done[1].outcome, done[2].outcome}),
             QList<RemovalOutcome>(
                 {RemovalOutcome::Removed, RemovalOutcome::Changed, RemovalOutcome::Removed}));
    QCOMPARE(rows().count(), 5);
    QCOMPARE(QDir(m_app->path()).entryList({"*.exe"}, QDir::Files),
             QStringList({"1.exe", "3.exe", "4.exe"}));
    QCOMPARE(failureRecords(), QStringList({"Not deleted: " + path("4.exe"), QString(27, '-')}));

    // The list marks the rows a removal left, and loses the rows it removed.
    rows().markNotRemoved(4, RemovalOutcome::Changed);
    rows().removeRow(5);
    rows().removeRow(2);
    QCOMPARE(rows().count(), 3);
    QCOMPARE(rows().row(3).location, path("4.exe"));
    QCOMPARE(rows().row(3).notRemoved, RemovalOutcome::Changed);
    QVERIFY(!rows().row(1).notRemoved && !rows().row(2).notRemoved);
}

void TestRemoval::moreRowsThanASixteenBitCounter()
{
    // Rows the scan did not find (without a record of the file) change
    // nothing and are recorded; the last row is removed.
    const int n = 32770;
    for (int i = 0; i < n - 1; ++i)
        rows().addRow("A", path("missing-" + QString::number(i)));
    writeTestFile(path("last.exe"), "x");
    rows().addRow("A", path("last.exe"), found(path("last.exe")));
    RemoveListedDetections(*m_session);
    QVERIFY(!QFile::exists(path("last.exe")));
    QCOMPARE(failureRecords().size(), 2 * (n - 1));
}

QTEST_GUILESS_MAIN(TestRemoval)
#include "tst_removal.moc"
