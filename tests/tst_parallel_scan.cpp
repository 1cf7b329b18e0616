// The walk with worker threads against the walk on one thread: on random
// trees, with a stop, with files that vanish or grow while the scan runs, the
// rows, the report, the counters and the unreadable paths are the same.
#include "databases/DatabaseTables.h"
#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "scanner/Engine.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestTables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <functional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Contents whose MD5 digests the trojan table lists, each under its own name.
const QList<QByteArray> kPlanted = {"planted one", "planted two", "planted three",
                                    QByteArray(4096, 'p')};

DatabaseTables tables()
{
    DatabaseTables t;
    setTableEntries(t.CookDbEntries, t.CookDbCount,
                    {"***Adware.Names", "\\toolbar.exe", "*\\spy\\*.dll", "***Tracking Cookie",
                     "TRACKCOOKIE:*.tracker.test*:END", "***End"});
    QStringList signatures;
    for (qsizetype i = 0; i < kPlanted.size(); ++i) {
        signatures << QString::fromLatin1(
                          QCryptographicHash::hash(kPlanted[i], QCryptographicHash::Md5).toHex()) +
                          QStringLiteral(" Trojan.Planted%1").arg(i);
    }
    signatures.sort();
    setTableEntries(t.TrojSigEntries, t.TrojSigCount, signatures);
    t.CookDbLoaded = t.TrojSigLoaded = true;
    return t;
}

LanguageTexts texts()
{
    LanguageTexts t;
    t.setText(13, QStringLiteral("objects, found "));
    t.setText(14, QStringLiteral("threats in"));
    t.setText(16, QStringLiteral("seconds"));
    t.setText(32, QStringLiteral("Found:"));
    t.setText(UnreadableCountText, QStringLiteral(", not readable: "));
    t.setText(UnreadablePathText, QStringLiteral("Could not read:"));
    return t;
}

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A random tree: folders up to four levels deep holding name matches,
// planted contents, cookie files, empty and large files, links, FIFOs,
// dot-folders and a file just at the content-check limit.
void makeTree(const QString &root, quint32 seed)
{
    QRandomGenerator rng(seed);
    const auto pick = [&rng](int n) { return int(rng.bounded(n)); };
    QStringList folders = {root};
    for (int i = 0; i < 12; ++i) {
        const QString parent = folders[pick(int(folders.size()))];
        if (parent.count('/') - root.count('/') < 4)
            folders << parent +
                           (pick(6) == 0   ? "/.hidden"
                            : pick(5) == 0 ? "/spy"
                                           : "/dir") +
                           QString::number(i);
    }
    for (const QString &f : folders)
        QDir().mkpath(f);
    for (int i = 0; i < 150; ++i) {
        const QString folder = folders[pick(int(folders.size()))] + '/';
        switch (pick(9)) {
        case 0:
            write(folder + "toolbar.exe", QByteArray::number(i));
            break;
        case 1:
            write(folder + "lib" + QString::number(i) + ".dll", kPlanted[pick(4)]);
            break;
        case 2:
            write(folder + "f" + QString::number(i) + ".bin", kPlanted[pick(4)]);
            break;
        case 3:
            write(folder + (pick(2) ? "cookies.txt" : "COOKIES.TXT"),
                  "# comment\nwww.tracker.test\tFALSE\t/\tFALSE\t0\tid\t" + QByteArray::number(i) +
                      "\nplain.example\tTRUE\t/\tFALSE\t0\tx\t1\n");
            break;
        case 4:
            write(folder + "empty" + QString::number(i), {});
            break;
        case 5:
            ::symlink(QFile::encodeName(folder + "missing"),
                      QFile::encodeName(folder + "link" + QString::number(i)));
            break;
        case 6:
            ::mkfifo(QFile::encodeName(folder + "fifo" + QString::number(i)), 0600);
            break;
        default:
            write(folder + "r" + QString::number(i),
                  QByteArray(int(rng.bounded(70000)), char('a' + pick(26))));
        }
    }
    write(root + "/limit.bin", QByteArray(2500000, 'x'));
    write(root + "/over.bin", QByteArray(2500001, 'x'));
}

// Everything a scan leaves behind that must not depend on the workers.
struct Outcome {
    QStringList rows;
    QByteArray reportBody; // the report after its dated first line
    qint32 objects = 0;
    qint32 detections = 0;
    double bytes = 0;
    QString lastPath;
    QString threatName;
    QStringList unreadable;
    QStringList allowed;
    QStringList excluded;
    QString summaryHead; // the summary up to the duration

    bool operator==(const Outcome &) const = default;
};

QByteArray reportBody(const QString &folder)
{
    const QStringList files = QDir(folder).entryList({"Report *.txt"}, QDir::Files);
    if (files.size() != 1)
        return "reports: " + QByteArray::number(files.size());
    QFile f(folder + files[0]);
    if (!f.open(QIODevice::ReadOnly))
        return "unreadable report";
    const QByteArray all = f.readAll();
    return all.mid(all.indexOf("\r\n"));
}

// Scans root with the given workers in a fresh application folder.  onEvent
// runs whenever the scan lets events through, with the session.
Outcome scan(const QString &root, int workers,
             const std::function<void(ScanSession &)> &onEvent = {}, const AllowList &allow = {})
{
    QTemporaryDir appFolder;
    const AppPaths paths = AppPaths::forFolder(appFolder.path());
    ScanSession *current = nullptr;
    ScanCallbacks callbacks;
    callbacks.processEvents = [&] {
        if (onEvent && current)
            onEvent(*current);
    };
    ScanSession session(makeEngine(tables()), paths, texts(), callbacks);
    session.setWorkerThreads(workers);
    session.setAllowList(allow);
    current = &session;
    ScanRun run(session);
    run.setTickSource([] { return qint64(0); });
    const QString summary = run.run(root + '/', false);

    Outcome o;
    for (qsizetype i = 1; i <= session.results().count(); ++i)
        o.rows << session.results().row(i).name + '|' + session.results().row(i).location;
    o.reportBody = reportBody(paths.ReportFolder);
    const ScanState &s = session.state();
    o.objects = s.ObjectsScanned;
    o.detections = s.DetectionCount;
    o.bytes = s.BytesScanned;
    o.lastPath = s.CurrentFilePath;
    o.threatName = s.CurrentThreatName;
    o.unreadable = session.unreadablePaths();
    for (const ScanSession::AllowedDetection &a : session.allowedDetections())
        o.allowed << a.name + '|' + a.object;
    o.excluded = session.excludedPaths();
    o.summaryHead = summary;
    return o;
}

QString describe(const Outcome &o)
{
    return QStringLiteral("%1 objects, %2 rows, %3 bytes, last %4, threat %5, unreadable %6")
        .arg(o.objects)
        .arg(o.rows.size())
        .arg(o.bytes)
        .arg(o.lastPath, o.threatName)
        .arg(o.unreadable.size());
}

void compareOutcomes(const Outcome &one, const Outcome &many)
{
    if (!(one == many)) {
        qWarning("one thread:   %s", qPrintable(describe(one)));
        qWarning("more threads: %s", qPrintable(describe(many)));
    }
    QCOMPARE(many.rows, one.rows);
    QCOMPARE(many.reportBody, one.reportBody);
    QVERIFY(one == many);
}

// The names of folder in the order the file system lists them.
QStringList listingOrder(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden, QDir::Unsorted);
}

} // namespace

class TestParallelScan : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); }
    void randomTrees();
    void stopAtEveryPoint();
    void treeChangingDuringTheScan();
    void growingFiles();
    void allowListAlike();
};

void TestParallelScan::randomTrees()
{
    for (quint32 seed = 1; seed <= 6; ++seed) {
        QTemporaryDir dir;
        makeTree(dir.path() + "/tree", seed);
        const Outcome one = scan(dir.path() + "/tree", 1);
        // The tree holds something of every kind, so the comparison has
        // something to compare.
        QVERIFY2(one.detections >= 3, qPrintable(describe(one)));
        QVERIFY(one.rows.join('\n').contains("Tracking Cookie|mozilla:") ||
                one.rows.join('\n').contains("Tracking Cookie|"));
        for (int workers : {2, 3, 8})
            compareOutcomes(one, scan(dir.path() + "/tree", workers));
    }
}

void TestParallelScan::stopAtEveryPoint()
{
    QTemporaryDir dir;
    makeTree(dir.path() + "/tree", 42);
    const Outcome whole = scan(dir.path() + "/tree", 1);
    QVERIFY(whole.objects > 100);
    // A stop asked for once the scan has counted `at` entries ends it at
    // the same entry whatever the workers.
    for (qint32 at = 1; at <= whole.objects; at += 7) {
        const auto stopAt = [at](ScanSession &s) {
            if (s.state().ObjectsScanned >= at)
                s.requestStop();
        };
        const Outcome one = scan(dir.path() + "/tree", 1, stopAt);
        QVERIFY(one.objects >= at && one.objects < whole.objects);
        compareOutcomes(one, scan(dir.path() + "/tree", 2, stopAt));
        compareOutcomes(one, scan(dir.path() + "/tree", 5, stopAt));
    }
}

void TestParallelScan::treeChangingDuringTheScan()
{
    // A folder far longer than the walker ever goes ahead: what changes near
    // the end of its listing once the walk is inside it is the same change
    // for every worker count.  The tree is made afresh, in the same way, for
    // each scan.
    QTemporaryDir dir;
    const QString root = dir.path() + "/tree";
    const QString big = root + "/big";
    struct Late {
        QString file, swapped, folder;
    } late;
    const auto build = [&] {
        QDir(root).removeRecursively();
        for (int i = 0; i < 30; ++i)
            write(big + "/s" + QString::number(i) + "/inside.bin", kPlanted[i % 4]);
        for (int i = 0; i < 1200; ++i)
            write(big + "/f" + QString::number(i), kPlanted[i % 4]);
        const QStringList order = listingOrder(big);
        QCOMPARE(order.size(), 1230);
        const QStringList tail = order.mid(900);
        const auto isFolder = [](const QString &name) { return name.startsWith('s'); };
        QStringList fileNames, folderNames;
        for (const QString &name : tail)
            (isFolder(name) ? folderNames : fileNames) << name;
        QVERIFY(fileNames.size() >= 2 && !folderNames.isEmpty());
        late = {big + '/' + fileNames[0], big + '/' + fileNames[1], big + '/' + folderNames[0]};
    };
    const auto change = [&](ScanSession &s) {
        // Once the walk is inside the folder: a listed file goes, a listed
        // subfolder goes with its file, and a file is swapped for a link.
        if (!s.state().CurrentFilePath.startsWith(big + '/') || !QFile::exists(late.folder))
            return;
        QFile::remove(late.file);
        QDir(late.folder).removeRecursively();
        QFile::remove(late.swapped);
        QFile::link(big + "/f0", late.swapped);
    };

    build();
    const Outcome one = scan(root, 1, change);
    QVERIFY(!QFile::exists(late.folder));
    // What vanished is still counted, but neither read nor found; a
    // subfolder lists "." and ".." too.
    QCOMPARE(one.objects, 1 + (1230 + 2) + 29 * 3);
    QCOMPARE(one.detections, 1200 - 2 + 29);
    for (int workers : {2, 4}) {
        build();
        compareOutcomes(one, scan(root, workers, change));
    }
}

void TestParallelScan::growingFiles()
{
    QTemporaryDir dir;
    const QString root = dir.path() + "/tree";
    for (int i = 0; i < 40; ++i)
        write(root + "/f" + QString::number(i), kPlanted[i % 4]);
    write(root + "/growing.bin", "start");
    // A file appended to all the time: what it holds when read differs from
    // run to run, so it is never found, nor counted as unreadable; the
    // other files are found as always.
    std::atomic<bool> done{false};
    std::thread writer([&] {
        QFile f(root + "/growing.bin");
        if (!f.open(QIODevice::Append))
            return;
        while (!done.load()) {
            f.write(QByteArray(65536, 'g'));
            f.flush();
            if (f.size() > 3000000)
                f.resize(0);
        }
    });
    Outcome outcomes[3];
    int i = 0;
    for (int workers : {1, 2, 4})
        outcomes[i++] = scan(root, workers);
    done = true;
    writer.join();
    for (Outcome &o : outcomes) {
        QCOMPARE(o.detections, 40);
        QVERIFY(o.unreadable.isEmpty());
        o.bytes = 0; // the growing file's size is whatever it was when looked at
    }
    compareOutcomes(outcomes[0], outcomes[1]);
    compareOutcomes(outcomes[0], outcomes[2]);
}

void TestParallelScan::allowListAlike()
{
    // Rules of every kind: the detections allowed, the paths left out and the
    // digests made on the workers are the same whatever their number.
    AllowList allow;
    const auto add = [&allow](AllowRule::Kind kind, const QString &value) {
        allow.add(AllowRule{kind, value});
    };
    add(AllowRule::Kind::Path, "**/spy*");
    add(AllowRule::Kind::Path, "**/empty1*");
    add(AllowRule::Kind::Threat, "trojan.planted1");
    add(AllowRule::Kind::Sha256,
        QString::fromLatin1(
            QCryptographicHash::hash(kPlanted[2], QCryptographicHash::Sha256).toHex()));
    // The content of the name matches whose names end in an even digit.
    for (int i = 0; i < 150; i += 2)
        add(AllowRule::Kind::Sha256,
            QString::fromLatin1(
                QCryptographicHash::hash(QByteArray::number(i), QCryptographicHash::Sha256)
                    .toHex()));
    for (quint32 seed = 11; seed <= 14; ++seed) {
        QTemporaryDir dir;
        makeTree(dir.path() + "/tree", seed);
        const Outcome one = scan(dir.path() + "/tree", 1, {}, allow);
        QVERIFY2(!one.allowed.isEmpty() && !one.excluded.isEmpty(), qPrintable(describe(one)));
        for (int workers : {2, 5})
            compareOutcomes(one, scan(dir.path() + "/tree", workers, {}, allow));
    }
}

QTEST_GUILESS_MAIN(TestParallelScan)
#include "tst_parallel_scan.moc"
