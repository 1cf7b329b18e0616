// The file walk over real folders: order, counters, stop, content check and
// the entries that must not be followed or read.
#include "databases/DatabaseTables.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "scanner/ContentCheck.h"
#include "scanner/FileWalk.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "scanner/SignatureSearch.h"
#include "tests/support/TestAppFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString md5Of(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex());
}

QString sha1Of(const QByteArray &b)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha1).toHex());
}

void setCookDb(const QStringList &entries)
{
    DatabaseTables &t = databaseTables();
    t.CookDbEntries = QStringList{QString()} + entries;
    t.CookDbCount = qint32(entries.size());
}

void setTrojSig(const QStringList &entries)
{
    DatabaseTables &t = databaseTables();
    t.TrojSigEntries = QStringList{QString()} + entries;
    t.TrojSigCount = qint32(entries.size());
}

// The walk written plainly as the recursion it stands for, on the names in
// the order the file system lists them: a file is found when its name ends
// with ".bad".  It gives what the scan must report.
struct ReferenceWalk {
    QStringList found;
    qint32 objects = 0;
    QString lastPath;
    QString stopAfter; // the walk ends after this entry

    // Returns true when the walk was stopped.
    bool walk(const QString &path, bool isStart)
    {
        DIR *dir = ::opendir(QFile::encodeName(path).constData());
        if (!dir)
            return false;
        QStringList names;
        while (const dirent *d = ::readdir(dir))
            names << QFile::decodeName(d->d_name);
        ::closedir(dir);
        for (const QString &name : names) {
            if (isStart && (name == "." || name == ".."))
                continue;
            const QString full = path + name;
            lastPath = full;
            struct stat st {};
            const bool looked = ::lstat(QFile::encodeName(full).constData(), &st) == 0;
            bool stopped = false;
            if (looked && S_ISDIR(st.st_mode)) {
                if (!name.startsWith('.'))
                    stopped = walk(full + "/", false);
            } else if (name.endsWith(".bad")) {
                found << full;
            }
            ++objects;
            if (stopped || full == stopAfter)
                return true;
        }
        return false;
    }
};

QStringList foundLocations()
{
    QStringList l;
    for (qsizetype i = 1; i <= resultList().count(); ++i)
        l << resultList().row(i).location;
    return l;
}

} // namespace

class TestFileWalk : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void orderAndCounters();
    void stopDeepInTree();
    void contentCheckSizeLimit();
    void signatureEntries();
    void sortedSearchLeavesTheSameName();
    void linksAndFifosAreNotFollowedOrRead();
    void unlistableFolderYieldsNothing();
    void otherFileSystemsAndBindLoops();
    void progressMovesInUnits();
    void fileSizes();

private:
    QString root() const { return m_app->path() + "/scan/"; }
    std::unique_ptr<TestAppFolder> m_app;
};

void TestFileWalk::init()
{
    m_app.reset();
    m_app = std::make_unique<TestAppFolder>();
    resetScanState();
    resultList().clear();
    QDir().mkpath(root());
    setCookDb({"***Walk.Bad", ".bad"});
}

void TestFileWalk::cleanup()
{
    for (const char *mountPoint : {"other-fs", "sub/again"})
        ::umount2(QFile::encodeName(root() + mountPoint).constData(), MNT_DETACH);
    // Folders the tests made unreadable must be removable again.
    QFile::setPermissions(root() + "locked", QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ExeOwner);
}

void TestFileWalk::orderAndCounters()
{
    const QByteArray k(1000, 'k');
    writeTestFile(root() + "a.bad", k);
    writeTestFile(root() + "plain.txt", k);
    writeTestFile(root() + "sub/x.bad", k);
    writeTestFile(root() + "sub/z.txt", k);
    writeTestFile(root() + "sub/deeper/y.bad", k);
    writeTestFile(root() + "sub/.cache/hidden.bad", k);
    writeTestFile(root() + ".hidden/h.bad", k);
    writeTestFile(root() + "sub/deeper/empty/.keep", k);
    QVERIFY(QFile::link(root(), root() + "sub/loop"));

    // Every size read is 1000 (the link to a folder has none of its own and
    // keeps the one before), so each entry adds exactly 1000.
    scanState().CurrentEntrySize = 1000;
    ScanFolder(root());

    ReferenceWalk ref;
    ref.walk(root(), true);
    QCOMPARE(foundLocations(), ref.found);
    QCOMPARE(ref.found.size(), 3);
    QCOMPARE(scanState().DetectionCount, 3);
    QCOMPARE(scanState().ObjectsScanned, ref.objects);
    // Start: 4 entries; sub: 5 and the 2 dots; deeper: 2 + 2; empty: 1 + 2.
    QCOMPARE(scanState().ObjectsScanned, 4 + 7 + 4 + 3);
    QCOMPARE(scanState().BytesScanned, 1000.0 * ref.objects);
    QCOMPARE(scanState().CurrentFilePath, ref.lastPath);
    QCOMPARE(scanState().CurrentThreatName, QString("Walk.Bad"));
    QVERIFY(!foundLocations().contains(root() + "sub/.cache/hidden.bad"));
}

void TestFileWalk::stopDeepInTree()
{
    for (const QString &level : {QString(""), QString("l1/"), QString("l1/l2/"),
                                 QString("l1/l2/l3/")}) {
        writeTestFile(root() + level + "f1.txt", "1");
        writeTestFile(root() + level + "f2.txt", "2");
    }
    writeTestFile(root() + "l1/l2/l3/stop.bad", "s");
    writeTestFile(root() + "l1/other.bad", "o");
    writeTestFile(root() + "after.bad", "a");
    const QString stopAt = root() + "l1/l2/l3/stop.bad";
    QObject::connect(&resultList(), &QAbstractItemModel::rowsInserted, &resultList(), [&] {
        if (resultList().row(resultList().count()).location == stopAt)
            startupState().StopRequested = true;
    });
    ScanFolder(root());
    QObject::disconnect(&resultList(), &QAbstractItemModel::rowsInserted, &resultList(), nullptr);

    ReferenceWalk ref;
    ref.stopAfter = stopAt;
    QVERIFY(ref.walk(root(), true));
    QCOMPARE(foundLocations(), ref.found);
    QCOMPARE(foundLocations().last(), stopAt);
    QCOMPARE(scanState().ObjectsScanned, ref.objects);
    QCOMPARE(scanState().CurrentFilePath, stopAt);
}

void TestFileWalk::contentCheckSizeLimit()
{
    const QByteArray atLimit(kContentCheckLimit, 'q');
    const QByteArray overLimit(kContentCheckLimit + 1, 'q');
    writeTestFile(root() + "at-limit.bin", atLimit);
    writeTestFile(root() + "over-limit.bin", overLimit);
    writeTestFile(root() + "empty.bin", QByteArray());
    writeTestFile(root() + "empty.bad", QByteArray());
    QStringList sigs{md5Of(atLimit) + " Limit.At", md5Of(overLimit) + " Limit.Over",
                     md5Of(QByteArray()) + " Empty.File"};
    std::sort(sigs.begin(), sigs.end());
    setTrojSig(sigs);
    ScanFolder(root());
    QStringList found = foundLocations();
    found.sort();
    QCOMPARE(found, QStringList({root() + "at-limit.bin", root() + "empty.bad"}));
    // Read directly, the larger file is refused as well.
    QVERIFY(!FileScan(root() + "over-limit.bin"));
    QVERIFY(FileScan(root() + "at-limit.bin"));
    QCOMPARE(scanState().CurrentThreatName, QString("Limit.At"));
    QVERIFY(!FileScan(root() + "missing.bin"));
    QVERIFY(!FileScan(root()));
}

void TestFileWalk::signatureEntries()
{
    const QByteArray content("signature sample content");
    const QString path = root() + "sample.bin";
    writeTestFile(path, content);
    const QString md5 = md5Of(content);
    const QString sha1 = sha1Of(content);
    const QString wrongSha1(40, 'e');

    setTrojSig({md5 + " Short.Entry"});
    QVERIFY(FileScan(path));
    QCOMPARE(scanState().CurrentThreatName, QString("Short.Entry"));

    setTrojSig({md5 + ":" + sha1 + ":Long.Entry"});
    QVERIFY(FileScan(path));
    QCOMPARE(scanState().CurrentThreatName, QString("Long.Entry"));

    setTrojSig({md5 + ":" + wrongSha1 + ":Long.Wrong"});
    QVERIFY(!FileScan(path));

    // A colon in a short entry turns the start of the name into a second
    // digest that can never fit.
    setTrojSig({md5 + ":Colon.Short"});
    QVERIFY(!FileScan(path));
    QCOMPARE(scanState().CurrentThreatName, QString("Colon.Short"));

    // An empty entry ends the table.
    setTrojSig({QString(32, '0') + " Low", QString(), md5 + " After.Empty"});
    QVERIFY(!FileScan(path));
    QCOMPARE(scanState().CurrentThreatName, QString("Low"));

    // A larger digest ends the search, even in a table out of order.
    setTrojSig({QString(32, 'f') + " High", md5 + " After.High"});
    QVERIFY(!FileScan(path));
    QCOMPARE(scanState().CurrentThreatName, QString("High"));

    // Two entries with the file's MD5: the first one's second digest does
    // not fit, the next one's does.
    setTrojSig({md5 + ":" + wrongSha1 + ":First", md5 + ":" + sha1 + ":Second"});
    QVERIFY(FileScan(path));
    QCOMPARE(scanState().CurrentThreatName, QString("Second"));
}

void TestFileWalk::sortedSearchLeavesTheSameName()
{
    QRandomGenerator rng(7);
    QList<QByteArray> contents;
    for (int i = 0; i < 30; ++i)
        contents << QByteArray::number(rng.generate64());
    QStringList table;
    for (int i = 0; i < 2000; ++i)
        table << md5Of(QByteArray::number(rng.generate64()) + "x") + " Random." + QString::number(i);
    for (int i = 0; i < contents.size(); i += 3)
        table << md5Of(contents[i]) + " Planted." + QString::number(i);
    std::sort(table.begin(), table.end());
    setTrojSig(table);
    for (int i = 0; i < contents.size(); ++i) {
        const QString path = root() + "c" + QString::number(i);
        writeTestFile(path, contents[i]);
        // What reading the table from its start gives.
        const QString d1 = md5Of(contents[i]);
        bool expected = false;
        QString expectedName;
        for (const QString &e : table) {
            expectedName = signatureThreatName(e);
            if (e.left(32) == d1) {
                expected = true;
                break;
            }
            if (e.left(32) > d1)
                break;
        }
        scanState().CurrentThreatName.clear();
        QCOMPARE(FileScan(path), expected);
        QCOMPARE(scanState().CurrentThreatName, expectedName);
        QCOMPARE(expected, i % 3 == 0);
    }
}

void TestFileWalk::linksAndFifosAreNotFollowedOrRead()
{
    const QByteArray payload("payload of a linked file");
    writeTestFile(m_app->path() + "/outside/target.bin", payload);
    setTrojSig({md5Of(payload) + " Linked.Payload"});
    QVERIFY(QFile::link(m_app->path() + "/outside/target.bin", root() + "link.bin"));
    QVERIFY(QFile::link(m_app->path() + "/outside", root() + "outside-link"));
    QVERIFY(QFile::link(root(), root() + "self-loop"));
    QVERIFY(QFile::link(root() + "missing", root() + "dangling"));
    QVERIFY(QFile::link(root() + "ring-b", root() + "ring-a"));
    QVERIFY(QFile::link(root() + "ring-a", root() + "ring-b"));
    QVERIFY(QFile::link("/dev/zero", root() + "zero"));
    QCOMPARE(::mkfifo(QFile::encodeName(root() + "pipe.bad").constData(), 0600), 0);
    QCOMPARE(::mkfifo(QFile::encodeName(root() + "plain-pipe").constData(), 0600), 0);
    QDir().mkpath(root() + "mozilla");
    QCOMPARE(::mkfifo(QFile::encodeName(root() + "mozilla/cookies.txt").constData(), 0600), 0);
    setCookDb({"***Walk.Bad", ".bad", "***Tracking Cookie", "123456789012*4567", "***End"});

    ScanFolder(root());
    // The FIFO is found by name; nothing is read through a link or a FIFO.
    QCOMPARE(foundLocations(), QStringList{root() + "pipe.bad"});
    ReferenceWalk ref;
    ref.walk(root(), true);
    QCOMPARE(scanState().ObjectsScanned, ref.objects);
    QVERIFY(!FileScan(root() + "link.bin"));
    QVERIFY(FileScan(m_app->path() + "/outside/target.bin"));
}

void TestFileWalk::unlistableFolderYieldsNothing()
{
    writeTestFile(root() + "locked/inside.bad", "x");
    writeTestFile(root() + "open.bad", "x");
    QVERIFY(QFile::setPermissions(root() + "locked", QFileDevice::Permissions()));
    ScanFolder(root());
    if (::geteuid() == 0) {
        QCOMPARE(foundLocations().size(), 2); // the superuser reads any folder
    } else {
        QCOMPARE(foundLocations(), QStringList{root() + "open.bad"});
        QCOMPARE(scanState().ObjectsScanned, 2);
    }
    // A start folder that cannot be listed counts nothing.
    resetScanState();
    ScanFolder(root() + "missing/");
    QCOMPARE(scanState().ObjectsScanned, 0);
    QCOMPARE(scanState().CurrentFilePath, QString());
}

void TestFileWalk::otherFileSystemsAndBindLoops()
{
    writeTestFile(root() + "sub/x.bad", "x");
    QDir().mkpath(root() + "sub/again");
    QDir().mkpath(root() + "other-fs");
    if (::mount("none", QFile::encodeName(root() + "other-fs").constData(), "tmpfs", 0,
                nullptr) != 0)
        QSKIP("mounting needs the superuser");
    writeTestFile(root() + "other-fs/inside.bad", "i");
    // The start folder seen again below itself, on the same file system.
    QCOMPARE(::mount(QFile::encodeName(root()).constData(),
                     QFile::encodeName(root() + "sub/again").constData(), nullptr, MS_BIND,
                     nullptr),
             0);
    ScanFolder(root());
    QCOMPARE(foundLocations(), QStringList{root() + "sub/x.bad"});
    // Start: sub, other-fs; sub: x.bad, again and the 2 dots.
    QCOMPARE(scanState().ObjectsScanned, 2 + 4);
}

void TestFileWalk::progressMovesInUnits()
{
    // Sparse files: large sizes without the disk space, above the content
    // limit so that they are never read.
    for (const char *name : {"big1", "big2"}) {
        QFile f(root() + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(15000000));
    }
    SilentProgress bar;
    bar.setMaximum(100);
    scanState().progressBar = &bar;
    ScanFolder(root());
    QCOMPARE(scanState().BytesScanned, 30000000.0);
    QCOMPARE(bar.value(), 2.0); // floor(30,000,000 / 10,240,000)

    // A value above the bar's range leaves the bar as it was.
    resetScanState();
    SilentProgress small;
    small.setMaximum(1);
    scanState().progressBar = &small;
    ScanFolder(root());
    QCOMPARE(small.value(), 1.0);
    scanState().progressBar = nullptr;
}

void TestFileWalk::fileSizes()
{
    writeTestFile(root() + "seven", "1234567");
    QVERIFY(QFile::link(root() + "seven", root() + "seven-link"));
    QCOMPARE(GetFileSize(root() + "seven"), std::optional<double>(7));
    QCOMPARE(GetFileSize(root() + "seven-link"), std::optional<double>(7));
    QVERIFY(!GetFileSize(root()).has_value());
    QVERIFY(!GetFileSize(root() + "missing").has_value());
    QVERIFY(!GetFileSize(QString()).has_value());
}

QTEST_GUILESS_MAIN(TestFileWalk)
#include "tst_file_walk.moc"
