// The removal run as root against a user who owns a folder inside the
// scanned tree and changes it between the scan and the removal: planted
// companion files, folders and cookie files swapped for links or for other
// folders, the owner of a rewritten cookie file, a huge sparse cookie file.
// Each attack is taken by an unprivileged user, at the point between the two
// where the program gives the user time (the window waits for a click).
#include "removal/CookieLineFilter.h"
#include "removal/Removal.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"
#include "tests/support/UnprivilegedUser.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kKeep = "www.example.org\tFALSE\t/\tFALSE\t0\tsession\tkeep\n";
const QByteArray kTracker = "www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n";

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

} // namespace

class TestRemovalAttacks : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void plantedCompanionFile();
    void foldersSwappedBetweenScanAndRemoval();
    void cookieFileSwappedForALink();
    void hugeSparseCookieFile();
    void cookieLineFilterStreams();
    void rowsTheScanDidNotFindChangeNothing();

private:
    QString home(const QString &relative = {}) const
    {
        return m_app->filePath("tree/home") + (relative.isEmpty() ? "" : "/" + relative);
    }
    QString root(const QString &relative) const { return m_app->filePath("private/" + relative); }
    // A file of root's that the user can neither read nor change.
    void writeRootFile(const QString &relative, const QByteArray &bytes) const
    {
        writeTestFile(root(relative), bytes);
        QFile::setPermissions(root(relative), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    // Scans the tree as root; the rows stay in the session for the removal.
    std::unique_ptr<ScanSession> scan() const;
    // The paths the report records as not removed.
    QStringList notRemoved(const ScanSession &session) const;

    std::unique_ptr<TestAppFolder> m_app;
    EngineHandle m_engine;
};

void TestRemovalAttacks::init()
{
    m_app = std::make_unique<TestAppFolder>();
    openPathToEveryone(m_app->path());
    QByteArray language;
    for (int n = 1; n <= 30; ++n)
        language += QByteArray::number(n) + "\r\n";
    m_app->writeFile("lang.dat", language + "Not deleted:\r\nFound:\r\n");
    DatabaseTables tables;
    setTableEntries(tables.CookDbEntries, tables.CookDbCount,
                    {"***Trojan.Evil", "*\\evil.exe", "***Tracking Cookie",
                     "frame-begin:*tracker.test*/end", "***End", "x"});
    m_engine = makeEngine(std::move(tables));
    QVERIFY(QDir().mkpath(home()) && QDir().mkpath(root("")));
}

std::unique_ptr<ScanSession> TestRemovalAttacks::scan() const
{
    std::unique_ptr<ScanSession> session = m_app->newSession(m_engine);
    ScanRun(*session).run(m_app->filePath("tree/"), false);
    return session;
}

QStringList TestRemovalAttacks::notRemoved(const ScanSession &session) const
{
    QStringList paths;
    const QStringList lines = QString::fromUtf8(readTestFile(session.reportPath())).split("\r\n");
    for (const QString &line : lines) {
        if (line.startsWith("Not deleted: "))
            paths << line.mid(13);
    }
    return paths;
}

void TestRemovalAttacks::plantedCompanionFile()
{
    // The user plants cookies.new, the companion's old fixed name, as a link
    // to a file of root's, and keeps a tracking cookie; root scans and
    // removes.  No race is needed for this one.  The file of root's stays
    // as it was; the cookie file is rewritten and stays the user's, with its
    // mode.
    writeRootFile("victim", "root's own\n");
    writeTestFile(home("Mozilla/cookies.txt"), kKeep + kTracker);
    QFile::setPermissions(home("Mozilla/cookies.txt"), QFileDevice::ReadOwner |
                                                           QFileDevice::WriteOwner |
                                                           QFileDevice::ReadGroup);
    giveToUnprivilegedUser(home());
    const QByteArray victim = native(root("victim"));
    const QByteArray planted = native(home("Mozilla/cookies.new"));
    QVERIFY(asUnprivilegedUser(
        [&] { return ::symlink(victim.constData(), planted.constData()) == 0; }));
    const struct stat before = statusOf(home("Mozilla/cookies.txt"));

    const std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->results().count(), 1);
    RemoveListedDetections(*session);

    QCOMPARE(notRemoved(*session), QStringList());
    QCOMPARE(readTestFile(root("victim")), QByteArray("root's own\n"));
    QCOMPARE(statusOf(root("victim")).st_mode & 07777, mode_t(0600));
    QCOMPARE(QFile::symLinkTarget(home("Mozilla/cookies.new")), root("victim"));
    QCOMPARE(readTestFile(home("Mozilla/cookies.txt")), kKeep);
    const struct stat after = statusOf(home("Mozilla/cookies.txt"));
    QCOMPARE(after.st_uid, kUnprivilegedUser);
    QCOMPARE(after.st_gid, kUnprivilegedGroup);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(
        QDir(home("Mozilla")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
        QStringList({"cookies.new", "cookies.txt"}));
}

void TestRemovalAttacks::foldersSwappedBetweenScanAndRemoval()
{
    // Root has a file and a cookie file of the same names in a folder of its
    // own, and a folder of its own inside the user's folder.
    writeRootFile("sub/evil.exe", "root's evil.exe");
    writeRootFile("Mozilla/cookies.txt", kKeep + kTracker);
    writeTestFile(home("sub/evil.exe"), "the user's");
    writeTestFile(home("moved/evil.exe"), "the user's");
    writeTestFile(home("linked/evil.exe"), "the user's");
    writeTestFile(home("Mozilla/cookies.txt"), kTracker);
    giveToUnprivilegedUser(home());
    writeTestFile(home("rootdir/evil.exe"), "root's, in a folder of root's");
    const std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->results().count(), 5);

    // After the scan the user puts links to root's folders where the
    // folders of two detections were, and moves root's folder into the
    // place of the third; nothing of root's may go.  The user also puts
    // another folder, holding the very file found, in the place of the
    // fourth's: only the folder the file was found in counts.
    const QByteArray sub = native(home("sub")), subAway = native(home("sub.away"));
    const QByteArray moz = native(home("Mozilla")), mozAway = native(home("Mozilla.away"));
    const QByteArray moved = native(home("moved")), movedAway = native(home("moved.away"));
    const QByteArray rootSub = native(root("sub")), rootMoz = native(root("Mozilla"));
    const QByteArray rootDir = native(home("rootdir"));
    const QByteArray linked = native(home("linked")), other = native(home("other"));
    const QByteArray file = native(home("linked/evil.exe")), link = native(home("other/evil.exe"));
    QVERIFY(asUnprivilegedUser([&] {
        return ::rename(sub.data(), subAway.data()) == 0 &&
               ::symlink(rootSub.data(), sub.data()) == 0 &&
               ::rename(moz.data(), mozAway.data()) == 0 &&
               ::symlink(rootMoz.data(), moz.data()) == 0 &&
               ::rename(moved.data(), movedAway.data()) == 0 &&
               ::rename(rootDir.data(), moved.data()) == 0 && ::mkdir(other.data(), 0755) == 0 &&
               ::link(file.data(), link.data()) == 0 &&
               ::rename(linked.data(), (linked + ".away").data()) == 0 &&
               ::rename(other.data(), linked.data()) == 0;
    }));
    RemoveListedDetections(*session);

    QCOMPARE(readTestFile(root("sub/evil.exe")), QByteArray("root's evil.exe"));
    QCOMPARE(readTestFile(root("Mozilla/cookies.txt")), kKeep + kTracker);
    QCOMPARE(readTestFile(home("moved/evil.exe")), QByteArray("root's, in a folder of root's"));
    // The user's own files are not reached by their old paths either: each
    // row is recorded.
    QVERIFY(QFile::exists(home("sub.away/evil.exe")) && QFile::exists(home("moved.away/evil.exe")));
    QCOMPARE(readTestFile(home("Mozilla.away/cookies.txt")), kTracker);
    QStringList failed = notRemoved(*session);
    failed.sort();
    QCOMPARE(failed,
             QStringList({home("Mozilla/cookies.txt"), home("linked/evil.exe"),
                          home("moved/evil.exe"), home("rootdir/evil.exe"), home("sub/evil.exe")}));
    QVERIFY(QFile::exists(home("linked/evil.exe")) && QFile::exists(home("linked.away/evil.exe")));
    QCOMPARE(QDir(root("Mozilla")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"cookies.txt"});
}

void TestRemovalAttacks::cookieFileSwappedForALink()
{
    // After the scan the user swaps the cookie file for a link to a file of
    // root's, then for a hard link to one where the system allows it.  Root
    // must neither rewrite root's file nor copy it into the user's folder.
    writeRootFile("secret", "root's secret\n" + kTracker);
    writeTestFile(home("a/Mozilla/cookies.txt"), kTracker);
    writeTestFile(home("b/Mozilla/cookies.txt"), kTracker);
    giveToUnprivilegedUser(home());
    QVERIFY(::chmod(native(root("")).constData(), 0755) == 0);
    const std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->results().count(), 2);
    const QByteArray secret = native(root("secret"));
    const QByteArray a = native(home("a/Mozilla/cookies.txt"));
    const QByteArray b = native(home("b/Mozilla/cookies.txt"));
    QVERIFY(asUnprivilegedUser([&] {
        return ::unlink(a.data()) == 0 && ::symlink(secret.data(), a.data()) == 0 &&
               ::unlink(b.data()) == 0;
    }));
    const bool hardLinked =
        asUnprivilegedUser([&] { return ::link(secret.constData(), b.constData()) == 0; });
    RemoveListedDetections(*session);

    QCOMPARE(readTestFile(root("secret")), "root's secret\n" + kTracker);
    QCOMPARE(statusOf(root("secret")).st_mode & 07777, mode_t(0600));
    QCOMPARE(QFile::symLinkTarget(home("a/Mozilla/cookies.txt")), root("secret"));
    QCOMPARE(statusOf(home("b/Mozilla/cookies.txt")).st_nlink, nlink_t(hardLinked ? 2 : 0));
    for (const QString folder : {"a/Mozilla", "b/Mozilla"}) {
        QCOMPARE(
            QDir(home(folder))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
            QStringList(hardLinked || folder == "a/Mozilla" ? QStringList{"cookies.txt"}
                                                            : QStringList()));
    }
    QStringList failed = notRemoved(*session);
    failed.sort();
    QCOMPARE(failed, QStringList({home("a/Mozilla/cookies.txt"), home("b/Mozilla/cookies.txt")}));
}

void TestRemovalAttacks::hugeSparseCookieFile()
{
    // 1 GiB without a line feed after the cookies: the rewrite streams it
    // (the memory of a whole copy would be 1 GiB) and writes no block of it
    // that the original did not have.
    const QString cookies = home("Mozilla/cookies.txt");
    writeTestFile(cookies, kKeep + kTracker);
    const qint64 size = qint64(1) << 30;
    QVERIFY(::truncate(native(cookies).constData(), size) == 0);
    giveToUnprivilegedUser(home());
    const std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->results().count(), 1);
    RemoveListedDetections(*session);

    QCOMPARE(notRemoved(*session), QStringList());
    const struct stat after = statusOf(cookies);
    QCOMPARE(qint64(after.st_size), size - kTracker.size());
    QVERIFY2(after.st_blocks * 512 < 1024 * 1024, "the rewritten file is no longer sparse");
    QFile file(cookies);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(kKeep.size() + 16), kKeep + QByteArray(16, '\0'));
    QVERIFY(file.seek(size - kTracker.size() - 16));
    QCOMPARE(file.readAll(), QByteArray(16, '\0'));
    QCOMPARE(after.st_uid, kUnprivilegedUser);
}

void TestRemovalAttacks::cookieLineFilterStreams()
{
    // A line of 8 MiB fed in pieces of 64 KiB leaves the filter while it is
    // read, not when its line feed comes: no more than the cookie line and
    // one piece is ever held.  Fed one byte at a time, the filter keeps the
    // byte rules of the rewrite: the cookie line and lone line feeds go.
    QByteArray out;
    qint64 heldMost = 0;
    qint64 fedSoFar = 0;
    CookieLineFilter filter(kTracker, [&](const char *data, qint64 size) {
        out.append(data, size);
        return true;
    });
    const QByteArray piece(1 << 16, 'x');
    for (int i = 0; i < 128; ++i) {
        QVERIFY(filter.feed(piece.constData(), piece.size()));
        fedSoFar += piece.size();
        heldMost = std::max(heldMost, fedSoFar - out.size());
    }
    QVERIFY(filter.feed("\n", 1) && filter.finish());
    QCOMPARE(out.size(), 128 * piece.size() + 1);
    QVERIFY2(heldMost <= piece.size() + kTracker.size(), qPrintable(QString::number(heldMost)));

    const QByteArray file = "\n" + kTracker + kKeep + "\n\r\n" + kTracker.left(20) + "\n" +
                            kTracker + kTracker.chopped(1) + "x\n" + kTracker + "last";
    const QByteArray expected =
        kKeep + "\r\n" + kTracker.left(20) + "\n" + kTracker.chopped(1) + "x\n" + "last";
    for (const qsizetype step : {qsizetype(1), qsizetype(3), qsizetype(7), file.size()}) {
        QByteArray rewritten;
        CookieLineFilter bytes(kTracker, [&](const char *data, qint64 size) {
            rewritten.append(data, size);
            return true;
        });
        for (qsizetype at = 0; at < file.size(); at += step)
            QVERIFY(bytes.feed(file.constData() + at, std::min(step, file.size() - at)));
        QVERIFY(bytes.finish());
        QCOMPARE(rewritten, expected);
    }
    // A sink that fails stops the filter.
    CookieLineFilter failing(kTracker, [](const char *, qint64) { return false; });
    QVERIFY(!failing.feed(kKeep.constData(), kKeep.size()));
    QVERIFY(!failing.finish());
}

void TestRemovalAttacks::rowsTheScanDidNotFindChangeNothing()
{
    // Rows put in the list by hand carry no record of the file the scan
    // found: they name files, but change none.
    writeTestFile(home("evil.exe"), "x");
    writeTestFile(home("Mozilla/cookies.txt"), kKeep + kTracker);
    const std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->results().count(), 2);
    session->results().clear();
    session->results().addRow("Trojan.Evil", home("evil.exe"));
    session->results().addRow("Tracking Cookie",
                              "mozilla:" + home("Mozilla/cookies.txt") + "+" + kTracker);
    RemoveListedDetections(*session);
    QCOMPARE(notRemoved(*session), QStringList({home("evil.exe"), home("Mozilla/cookies.txt")}));
    QVERIFY(QFile::exists(home("evil.exe")));
    QCOMPARE(readTestFile(home("Mozilla/cookies.txt")), kKeep + kTracker);
}

QTEST_GUILESS_MAIN(TestRemovalAttacks)
#include "tst_removal_attacks.moc"
