// Removal into the quarantine and back, for every kind of item: a scan of a
// tree with a file, a link, a tracking cookie and registry rows in a real
// hive; the removal keeps each before it goes; restore puts each back as it
// was (content, permissions, owner, time); what restore refuses, what purge
// takes, and a disk that fills up during a removal.
#include "platform/HiveRegistry.h"
#include "removal/QuarantineKeeping.h"
#include "removal/QuarantineRestore.h"
#include "removal/QuarantineStore.h"
#include "removal/Removal.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/CookieStoreBuilder.h"
#include "tests/support/CookieStoreFiles.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kValueRow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Run\\\"Tool\"";
const QString kKeyRow = "HKEY_LOCAL_MACHINE\\SOFTWARE\\BadKey";
const QByteArray kCookie = "www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n";

LanguageTexts texts()
{
    LanguageTexts t;
    t.setText(31, "Could not delete:");
    t.setText(32, "Found:");
    return t;
}

EngineHandle engine()
{
    DatabaseTables t;
    setTableEntries(t.CookDbEntries, t.CookDbCount,
                    {"***Adware.Sample", "\\bad.exe", "***Tracking Cookie",
                     "123456789012*tracker.test*4567", "***End"});
    setTableEntries(t.RegDbEntries, t.RegDbCount, {"***Reg.Threat", kValueRow, kKeyRow});
    t.CookDbLoaded = t.RegDbLoaded = true;
    return makeEngine(std::move(t));
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator rng(42);
    for (char &c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

QStringList itemFiles(const QString &dataFolder)
{
    QStringList files = QDir(dataFolder + "/Quarantine").entryList(QDir::Files);
    files.removeAll("manifest.dat");
    return files;
}

} // namespace

class QuarantineTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void everyKindRemovedAndRestored();
    void restoreRefusesWhatItMustNotTouch();
    void purgeByIdAgeAndAll();
    void fullDiskRemovesNothing();
    void cookieStoreRowsKeptAndInsertedAgain();

private:
    // Scans the tree with the registry; the session of the scan.
    std::unique_ptr<ScanSession> scan();
    std::unique_ptr<QuarantineStore> store(const QString &dataFolder = QString());
    QString root() const { return m_app->path() + "/disk"; }
    QString software() const { return machineHivePath(root(), "SOFTWARE"); }
    QByteArray report(const ScanSession &session) const
    {
        return readTestFile(session.reportPath());
    }
    void buildTree();

    std::unique_ptr<TestAppFolder> m_app;
    QByteArray m_content;
};

void QuarantineTest::init()
{
    m_app = std::make_unique<TestAppFolder>();
    m_content = randomBytes(300000);
    buildTree();
}

void QuarantineTest::cleanup()
{
    m_app.reset();
}

void QuarantineTest::buildTree()
{
    writeTestFile(root() + "/a/bad.exe", m_content);
    const QByteArray bad = QFile::encodeName(root() + "/a/bad.exe");
    QVERIFY(::chmod(bad, 0750) == 0);
    if (::geteuid() == 0)
        QVERIFY(::chown(bad, 1234, 2345) == 0);
    const struct timespec times[2] = {{1600000000, 0}, {1700000000, 123456789}};
    QVERIFY(::utimensat(AT_FDCWD, bad, times, AT_SYMLINK_NOFOLLOW) == 0);
    QDir().mkpath(root() + "/b");
    QVERIFY(QFile::link("../a/target", root() + "/b/bad.exe"));
    writeTestFile(root() + "/Mozilla/cookies.txt",
                  "# Netscape HTTP Cookie File\nplain.example\tFALSE\t/\tFALSE\t0\tx\t1\n" +
                      kCookie + "last.example\tFALSE\t/\tFALSE\t0\ty\t2\n");
    HiveBuilder hive(software());
    hive.setText("Bad\\Run", "Tool", "bad.exe");
    hive.setText("Bad\\Run", "Keep", "good.exe");
    hive.setDword("BadKey", "Count", 3);
    hive.setRaw("BadKey\\Sub\\Deeper", "Blob", hive_t_REG_BINARY, QByteArray("\x01\x00\xfe", 3));
    hive.addKey("Other");
    hive.commit();
}

std::unique_ptr<ScanSession> QuarantineTest::scan()
{
    auto session = std::make_unique<ScanSession>(engine(), m_app->paths(), texts());
    ScanRun(*session).run(root() + "/", true);
    return session;
}

std::unique_ptr<QuarantineStore> QuarantineTest::store(const QString &dataFolder)
{
    QString error;
    std::unique_ptr<QuarantineStore> s = QuarantineStore::open(
        dataFolder.isEmpty() ? m_app->paths().DataFolder : dataFolder, true, &error);
    if (!s)
        qWarning("quarantine: %s", qPrintable(error));
    return s;
}

void QuarantineTest::everyKindRemovedAndRestored()
{
    const struct stat before = statusOf(root() + "/a/bad.exe");
    const QByteArray cookiesBefore = readTestFile(root() + "/Mozilla/cookies.txt");
    std::unique_ptr<ScanSession> session = scan();
    QCOMPARE(session->state().DetectionCount, 5);
    std::unique_ptr<QuarantineStore> quarantine = store();
    QVERIFY(quarantine);
    RemoveListedDetections(*session, quarantine.get());

    // Everything is gone, and nothing failed.
    QVERIFY(!report(*session).contains("Could not delete:"));
    QVERIFY(!QFileInfo::exists(root() + "/a/bad.exe"));
    QVERIFY(!QFileInfo(root() + "/b/bad.exe").isSymLink());
    QVERIFY(!readTestFile(root() + "/Mozilla/cookies.txt").contains(kCookie));
    {
        HiveRegistry installed(root(), RegistryAccess::ReadOnly);
        QVERIFY(!installed.keyExists(PredefinedKey::LocalMachine, "SOFTWARE\\BadKey"));
        QVERIFY(installed.readValue(PredefinedKey::LocalMachine, "SOFTWARE\\Bad\\Run", "Tool")
                    ->isEmpty());
        QVERIFY(!installed.readValue(PredefinedKey::LocalMachine, "SOFTWARE\\Bad\\Run", "Keep")
                     ->isEmpty());
    }

    // The quarantine lists one item of each kind, as the scan named them.
    QCOMPARE(quarantine->records().size(), 5);
    QMap<QuarantineRecord::Kind, QuarantineRecord> byKind;
    for (const QuarantineRecord &r : quarantine->records())
        byKind.insert(r.kind, r);
    QCOMPARE(byKind.size(), 5);
    const QuarantineRecord &file = byKind[QuarantineRecord::Kind::File];
    QCOMPARE(file.object, root() + "/a/bad.exe");
    QCOMPARE(file.threat, QString("Adware.Sample"));
    QCOMPARE(file.path, QFile::encodeName(root() + "/a/bad.exe"));
    QCOMPARE(file.root, QFile::encodeName(root() + "/"));
    QCOMPARE(file.size, m_content.size());
    QCOMPARE(file.sha256, QCryptographicHash::hash(m_content, QCryptographicHash::Sha256));
    QCOMPARE(file.mode, std::optional<quint32>(0750));
    QCOMPARE(file.owner, std::optional<quint32>(before.st_uid));
    QCOMPARE(file.mtimeSeconds, std::optional<qint64>(1700000000));
    QCOMPARE(file.mtimeNanoseconds, 123456789);
    QCOMPARE(byKind[QuarantineRecord::Kind::CookieLine].object,
             "mozilla:" + root() + "/Mozilla/cookies.txt+" + QString::fromLatin1(kCookie));
    QCOMPARE(byKind[QuarantineRecord::Kind::RegistryValue].object, kValueRow);
    QCOMPARE(byKind[QuarantineRecord::Kind::RegistryKey].threat, QString("Reg.Threat"));
    QCOMPARE(quarantine->readItem(byKind[QuarantineRecord::Kind::Link], 100),
             std::optional<QByteArray>("../a/target"));
    QCOMPARE(itemFiles(m_app->path()).size(), 5);

    // Everything goes back as it was.
    QList<QByteArray> ids;
    for (const QuarantineRecord &r : quarantine->records())
        ids << r.id;
    const QList<RestoreResult> results = restoreQuarantined(*quarantine, ids);
    for (const RestoreResult &r : results)
        QVERIFY2(r.outcome == RestoreOutcome::Restored, qPrintable(r.object + ": " + r.detail));
    QCOMPARE(readTestFile(root() + "/a/bad.exe"), m_content);
    const struct stat after = statusOf(root() + "/a/bad.exe");
    QCOMPARE(after.st_mode & 07777, mode_t(0750));
    QCOMPARE(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    QCOMPARE(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(QFile::symLinkTarget(root() + "/b/bad.exe"), QDir::cleanPath(root() + "/a/target"));
    // The cookie line comes back at the file's end.
    const QByteArray cookies = readTestFile(root() + "/Mozilla/cookies.txt");
    QVERIFY(cookies.endsWith(kCookie));
    QCOMPARE(cookies.size(), cookiesBefore.size());
    HiveRegistry installed(root(), RegistryAccess::ReadOnly);
    const std::optional<QList<RegistryKeyCopy>> key =
        installed.readKey(PredefinedKey::LocalMachine, "SOFTWARE\\BadKey", 1 << 20);
    QVERIFY(key && key->size() == 1);
    QCOMPARE(key->first().tree.values.first().data, QByteArray("\x03\x00\x00\x00", 4));
    QCOMPARE(key->first().tree.subkeys.first().subkeys.first().values.first().data,
             QByteArray("\x01\x00\xfe", 3));
    const std::optional<QList<RegistryValueCopy>> tool =
        installed.readValue(PredefinedKey::LocalMachine, "SOFTWARE\\Bad\\Run", "Tool");
    QVERIFY(tool && tool->size() == 1);
    QCOMPARE(tool->first().value.data, registryText("bad.exe"));
    QCOMPARE(installed.readValue(PredefinedKey::LocalMachine, "SOFTWARE\\Bad\\Run", "Keep")
                 ->first()
                 .value.data,
             registryText("good.exe"));
    QVERIFY(installed.keyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Other"));

    // The quarantine is empty again, its item files gone.
    QVERIFY(quarantine->records().isEmpty());
    QVERIFY(itemFiles(m_app->path()).isEmpty());
    // A second scan finds all of it again.
    quarantine.reset();
    QCOMPARE(scan()->state().DetectionCount, 5);
}

void QuarantineTest::restoreRefusesWhatItMustNotTouch()
{
    std::unique_ptr<ScanSession> session = scan();
    std::unique_ptr<QuarantineStore> quarantine = store();
    RemoveListedDetections(*session, quarantine.get());
    QByteArray fileId, cookieId, valueId;
    for (const QuarantineRecord &r : quarantine->records()) {
        if (r.kind == QuarantineRecord::Kind::File)
            fileId = r.id;
        if (r.kind == QuarantineRecord::Kind::CookieLine)
            cookieId = r.id;
        if (r.kind == QuarantineRecord::Kind::RegistryValue)
            valueId = r.id;
    }

    // Something at the file's place, a cookie line the file holds again and
    // a value that is back: nothing is put over them, the items stay.
    writeTestFile(root() + "/a/bad.exe", "someone else's");
    writeTestFile(root() + "/Mozilla/cookies.txt", kCookie);
    {
        HiveBuilder hive(software());
        hive.setText("Bad\\Run", "Tool", "new");
        hive.commit();
    }
    QList<RestoreResult> r = restoreQuarantined(*quarantine, {fileId, cookieId, valueId, "nope"});
    QCOMPARE(r[0].outcome, RestoreOutcome::Exists);
    QCOMPARE(r[1].outcome, RestoreOutcome::Exists);
    QCOMPARE(r[2].outcome, RestoreOutcome::Exists);
    QCOMPARE(r[3].outcome, RestoreOutcome::Damaged);
    QCOMPARE(readTestFile(root() + "/a/bad.exe"), QByteArray("someone else's"));
    QCOMPARE(readTestFile(root() + "/Mozilla/cookies.txt"), kCookie);
    QCOMPARE(quarantine->records().size(), 5);

    // A folder that is gone is not made again; a folder swapped for a link
    // is not followed, and what it leads to gets nothing.
    QVERIFY(QDir(root() + "/a").removeRecursively());
    r = restoreQuarantined(*quarantine, {fileId});
    QCOMPARE(r[0].outcome, RestoreOutcome::PlaceMissing);
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), root() + "/a"));
    r = restoreQuarantined(*quarantine, {fileId});
    QCOMPARE(r[0].outcome, RestoreOutcome::Failed);
    QVERIFY(QDir(elsewhere.path()).isEmpty());
    QFile::remove(root() + "/a");
    QDir().mkpath(root() + "/a");

    // A kept copy changed on disk fails its check: nothing takes the name.
    const QString item = m_app->path() + "/Quarantine/" + fileId;
    QByteArray kept = readTestFile(item);
    kept[1000] = char(kept[1000] ^ 0x40);
    QFile::setPermissions(item, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    writeTestFile(item, kept);
    r = restoreQuarantined(*quarantine, {fileId});
    QCOMPARE(r[0].outcome, RestoreOutcome::Damaged);
    QCOMPARE(QDir(root() + "/a").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
    QVERIFY(quarantine->record(fileId));
}

void QuarantineTest::purgeByIdAgeAndAll()
{
    std::unique_ptr<ScanSession> session = scan();
    std::unique_ptr<QuarantineStore> quarantine = store();
    RemoveListedDetections(*session, quarantine.get());
    QCOMPARE(quarantine->records().size(), 5);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QVERIFY(quarantinedBefore(*quarantine, 1, now).isEmpty());
    QCOMPARE(quarantinedBefore(*quarantine, 2, now.addDays(3)).size(), 5);
    QCOMPARE(quarantinedBefore(*quarantine, 0, now.addSecs(5)).size(), 5);
    const QByteArray first = quarantine->records().first().id;
    QVERIFY(quarantine->remove({first}));
    QCOMPARE(quarantine->records().size(), 4);
    QCOMPARE(itemFiles(m_app->path()).size(), 4);
    QList<QByteArray> rest;
    for (const QuarantineRecord &r : quarantine->records())
        rest << r.id;
    QVERIFY(quarantine->remove(rest));
    QVERIFY(itemFiles(m_app->path()).isEmpty());
    // Purged is gone for good: nothing comes back.
    QCOMPARE(restoreQuarantined(*quarantine, {first}).first().outcome, RestoreOutcome::Damaged);
    QVERIFY(!QFileInfo::exists(root() + "/a/bad.exe"));
}

void QuarantineTest::fullDiskRemovesNothing()
{
    // The quarantine on a file system with room for less than the file (as
    // root), or a limit on the size of the files this process writes.
    QTemporaryDir data;
    const QByteArray mountPoint = QFile::encodeName(data.path());
    const bool mounted =
        ::geteuid() == 0 && ::mount("tmpfs", mountPoint, "tmpfs", 0, "size=128k") == 0;
    struct rlimit old {
    };
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    std::unique_ptr<ScanSession> session = scan();
    std::unique_ptr<QuarantineStore> quarantine = store(data.path());
    QVERIFY(quarantine);
    if (!mounted) {
        struct rlimit small = old;
        small.rlim_cur = 128 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    }
    RemoveListedDetections(*session, quarantine.get());
    if (!mounted)
        ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    const QList<QuarantineRecord> kept = quarantine->records();
    const QStringList left = itemFiles(data.path());
    quarantine.reset();
    if (mounted)
        ::umount2(mountPoint, MNT_DETACH);

    // The file stays, as it was, with the usual record; the rest, small,
    // went into the quarantine.
    QCOMPARE(readTestFile(root() + "/a/bad.exe"), m_content);
    QVERIFY(report(*session).contains("Could not delete: " + QFile::encodeName(root()) +
                                      "/a/bad.exe\r\n---------------------------\r\n"));
    QCOMPARE(kept.size(), 4);
    for (const QuarantineRecord &r : kept)
        QVERIFY(r.kind != QuarantineRecord::Kind::File);
    QCOMPARE(left.size(), 4);
}

void QuarantineTest::cookieStoreRowsKeptAndInsertedAgain()
{
    // A Firefox store in the tree, with one tracking cookie of two rows (two
    // origin attributes) and one other cookie.
    const QString path = root() + "/profile/cookies.sqlite";
    QDir().mkpath(root() + "/profile");
    QVERIFY(writeCookieStore(path, CookieStoreLayout::Firefox2020,
                             {{".tracker.test", "/", "id", "one", false, 4000000000, {}, {}},
                              {".tracker.test", "/", "id", "one", false, 4000000000, "^p=1", {}},
                              {"plain.example", "/", "keep", "v", false, 4000000000, {}, {}}}));
    const auto lines = [&path] {
        QList<QByteArray> all = cookieStoreLines(path, CookieStoreKind::Firefox);
        std::sort(all.begin(), all.end());
        return all;
    };
    const QList<QByteArray> before = lines();
    std::unique_ptr<ScanSession> session = scan();
    QString storeRow;
    for (qsizetype i = 1; i <= session->results().count(); ++i) {
        if (session->results().row(i).location.startsWith("firefox:"))
            storeRow = session->results().row(i).location;
    }
    QVERIFY2(storeRow.startsWith("firefox:" + path + "+.tracker.test\t"), qPrintable(storeRow));
    std::unique_ptr<QuarantineStore> quarantine = store();
    RemoveListedDetections(*session, quarantine.get());
    QVERIFY(!report(*session).contains("Could not delete:"));
    QCOMPARE(lines().size(), 1);

    // Each row is an item of its own, under the row's object; both go back.
    QList<QByteArray> ids;
    for (const QuarantineRecord &r : quarantine->records()) {
        if (r.kind == QuarantineRecord::Kind::CookieRow) {
            QCOMPARE(r.object, storeRow);
            QCOMPARE(r.path, QFile::encodeName(path));
            ids << r.id;
        }
    }
    QCOMPARE(ids.size(), 2);
    for (const RestoreResult &r : restoreQuarantined(*quarantine, ids))
        QCOMPARE(r.outcome, RestoreOutcome::Restored);
    QCOMPARE(lines(), before);
    // Once back, the same rows are not inserted twice.
    QVERIFY(quarantine->records().size() == 5);
}

QTEST_GUILESS_MAIN(QuarantineTest)
#include "tst_quarantine.moc"
