// Measures the file walk with its name and content checks on a generated tree
// against passes that only read and MD5-digest the same files (in this
// process, and md5sum in one and in two processes), with 1, 2 and 4 content
// threads; how soon a stop ends a scan; and the name check's cost for a small
// and a large pattern table.
#include "databases/DatabaseTables.h"
#include "databases/modCipher.h"
#include "scanner/ContentCheck.h"
#include "scanner/Engine.h"
#include "scanner/FileWalk.h"
#include "scanner/NameCheck.h"
#include "scanner/ScanSession.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Options {
    int files = 20000;
    qint64 maxSize = 3 * 1024 * 1024;
    int depth = 6;
    int patterns = 5000;
    int signatures = 100000;
    int rounds = 3;
    QList<int> jobs{1, 2, 4};
    QString folder; // where the tree is made; a temporary folder when empty
};

struct GeneratedFile {
    QString folder; // ends with "/"
    QString name;
    qint64 size;
};

struct Tree {
    std::vector<GeneratedFile> files;
    QStringList plantedDigests; // MD5 digests of planted contents
    qint64 totalBytes = 0;
    qint64 checkedBytes = 0; // bytes of the files the content check reads
    int checkedFiles = 0;
};

QString randomWord(QRandomGenerator &rng, int minLen, int maxLen)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz";
    QString w;
    const int len = rng.bounded(minLen, maxLen + 1);
    for (int i = 0; i < len; ++i)
        w += QLatin1Char(letters[rng.bounded(26)]);
    return w;
}

// Sizes spread evenly over the orders of magnitude from 0 to maxSize, so
// most files are small and a few are near the maximum, as on a real disk.
qint64 randomSize(QRandomGenerator &rng, qint64 maxSize)
{
    if (rng.bounded(100) == 0)
        return 0;
    return qint64(std::exp(rng.generateDouble() * std::log(double(maxSize) + 1.0))) - 1;
}

Tree makeTree(const QString &root, const Options &o, QRandomGenerator &rng)
{
    Tree tree;
    // A block of random bytes; each file takes a slice of it behind its own
    // number, so every file has a digest of its own.
    QByteArray block(int(o.maxSize) + 16, Qt::Uninitialized);
    for (char &c : block)
        c = char(rng.bounded(256));

    QStringList folders{root};
    for (int i = 0; i < std::max(1, o.files / 40); ++i) {
        const QString parent = folders.at(rng.bounded(int(folders.size())));
        if (parent.count(QLatin1Char('/')) - root.count(QLatin1Char('/')) >= o.depth)
            continue;
        const QString folder =
            parent + QStringLiteral("dir") + QString::number(i) + QLatin1Char('/');
        QDir().mkpath(folder);
        folders << folder;
    }
    const QStringList extensions{"txt", "dll", "exe", "jpg", "dat", "html", "ini"};
    for (int i = 0; i < o.files; ++i) {
        GeneratedFile f;
        f.folder = folders.at(rng.bounded(int(folders.size())));
        f.name = QStringLiteral("file%1-%2.%3")
                     .arg(i)
                     .arg(randomWord(rng, 3, 8))
                     .arg(extensions.at(rng.bounded(int(extensions.size()))));
        f.size = randomSize(rng, o.maxSize);
        QByteArray content = QByteArray::number(i).leftJustified(16, ' ');
        content += block.left(int(std::max<qint64>(0, f.size - 16)));
        content.truncate(qsizetype(f.size));
        if (i % 997 == 0 && f.size > 0)
            tree.plantedDigests << QString::fromLatin1(
                QCryptographicHash::hash(content, QCryptographicHash::Md5).toHex());
        QFile out(f.folder + f.name);
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(out.fileName()));
        tree.totalBytes += f.size;
        if (f.size <= kContentCheckLimit) {
            tree.checkedBytes += f.size;
            ++tree.checkedFiles;
        }
        tree.files.push_back(f);
    }
    return tree;
}

// A spyware table of count path patterns, a fifth of them with wildcards, in
// groups of 50 under a header.  Four entries among the first 200 match a
// file; a table of any size starts with the same 200 entries, so tables of
// different sizes find the same files.
QStringList makePatterns(int count, const Tree &tree)
{
    QRandomGenerator rng(1206);
    QStringList entries;
    for (int i = 0; i < count; ++i) {
        if (i % 50 == 0)
            entries << QStringLiteral("***Threat.%1").arg(i / 50);
        const bool plant = i < 200 && (i % 100 == 37 || i % 100 == 60) && !tree.files.empty();
        const GeneratedFile &f = tree.files[size_t(rng.bounded(int(tree.files.size())))];
        const QString word = randomWord(rng, 6, 10);
        if (i % 5 == 0) {
            switch ((i / 5) % 3) {
            case 0:
                entries << (plant ? QStringLiteral("*\\") + f.name.toLower().section('.', 0, 0) +
                                        QStringLiteral(".*")
                                  : QStringLiteral("*\\") + word + QStringLiteral("*.exe"));
                break;
            case 1:
                entries << QStringLiteral("*\\system32\\") + word + QStringLiteral("?.dll");
                break;
            default:
                entries << QStringLiteral("\\windows\\") + word + QStringLiteral("##.sys");
                break;
            }
        } else {
            entries << (plant
                            ? QLatin1Char('\\') + f.name.toLower()
                            : QStringLiteral("\\program files\\") + word + QStringLiteral(".exe"));
        }
    }
    return entries;
}

QStringList makeSignatures(int count, const Tree &tree, QRandomGenerator &rng)
{
    QStringList entries;
    entries.reserve(count + tree.plantedDigests.size());
    for (int i = 0; i < count; ++i) {
        QByteArray raw(16, Qt::Uninitialized);
        for (char &c : raw)
            c = char(rng.bounded(256));
        entries << QString::fromLatin1(raw.toHex()) + QStringLiteral(" Trojan.Random.") +
                       QString::number(i);
    }
    for (const QString &d : tree.plantedDigests)
        entries << d + QStringLiteral(" Trojan.Planted");
    std::sort(entries.begin(), entries.end());
    return entries;
}

// The engine of the patterns and signatures, with its indexes built.
EngineHandle engineOf(const QStringList &patterns, const QStringList &signatures)
{
    DatabaseTables t;
    t.CookDbEntries = QStringList{QString()} + patterns;
    t.CookDbCount = qint32(patterns.size());
    t.TrojSigEntries = QStringList{QString()} + signatures;
    t.TrojSigCount = qint32(signatures.size());
    return makeEngine(std::move(t));
}

struct ScanResult {
    double seconds;
    qint32 detections;
    qint32 objects;
};

// A scan session over engine, without a window.
std::unique_ptr<ScanSession> newSession(const EngineHandle &engine, const QString &appFolder)
{
    return std::make_unique<ScanSession>(engine, AppPaths::forFolder(appFolder), LanguageTexts());
}

ScanResult timeScan(const EngineHandle &engine, const QString &root, int jobs = 1)
{
    const std::unique_ptr<ScanSession> session = newSession(engine, root);
    session->setWorkerThreads(jobs);
    QElapsedTimer timer;
    timer.start();
    ScanFolder(*session, root);
    return {double(timer.nsecsElapsed()) / 1e9, session->state().DetectionCount,
            session->state().ObjectsScanned};
}

// Reads and MD5-digests every file the content check reads: the floor under
// any scan of the same files.
double timeReference(const Tree &tree)
{
    QByteArray buffer(int(kContentCheckLimit) + 1, Qt::Uninitialized);
    QElapsedTimer timer;
    timer.start();
    for (const GeneratedFile &f : tree.files) {
        if (f.size > kContentCheckLimit)
            continue;
        const int fd = ::open(QFile::encodeName(f.folder + f.name).constData(), O_RDONLY);
        if (fd < 0)
            continue;
        qint64 used = 0;
        ssize_t got = 0;
        while ((got = ::read(fd, buffer.data() + used, size_t(buffer.size() - used))) > 0)
            used += got;
        ::close(fd);
        HashString(1, QByteArray::fromRawData(buffer.constData(), qsizetype(used)));
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// md5sum over the files the content check reads, split over processes
// processes run at once: the reference a scan on that many cores is measured
// against.
double timeMd5sum(const Tree &tree, const QString &folder, int processes)
{
    std::vector<QByteArray> lists(static_cast<size_t>(processes));
    int next = 0;
    for (const GeneratedFile &f : tree.files) {
        if (f.size <= kContentCheckLimit)
            lists[size_t(next++ % processes)] += QFile::encodeName(f.folder + f.name) + '\0';
    }
    std::vector<std::unique_ptr<QProcess>> running;
    for (int i = 0; i < processes; ++i) {
        const QString list = folder + QStringLiteral("md5sum-list-%1").arg(i);
        QFile out(list);
        if (!out.open(QIODevice::WriteOnly) ||
            out.write(lists[size_t(i)]) != lists[size_t(i)].size())
            qFatal("cannot write %s", qPrintable(list));
    }
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < processes; ++i) {
        auto p = std::make_unique<QProcess>();
        p->setStandardInputFile(folder + QStringLiteral("md5sum-list-%1").arg(i));
        p->setStandardOutputFile(QProcess::nullDevice());
        p->start(QStringLiteral("xargs"), {"-0", "md5sum"});
        running.push_back(std::move(p));
    }
    for (const auto &p : running) {
        if (!p->waitForFinished(-1) || p->exitCode() != 0)
            qFatal("md5sum failed");
    }
    return double(timer.nsecsElapsed()) / 1e9;
}

// The longest time from a stop asked for to the end of the scan, over stops
// asked for at several points of a scan with jobs content threads.
double longestStop(const EngineHandle &engine, const QString &root, int jobs, qint32 objects)
{
    double longest = 0;
    for (int part = 1; part < 8; ++part) {
        QElapsedTimer sinceStop;
        ScanCallbacks callbacks;
        std::unique_ptr<ScanSession> session;
        callbacks.processEvents = [&] {
            if (!sinceStop.isValid() && session->state().ObjectsScanned >= objects * part / 8) {
                session->requestStop();
                sinceStop.start();
            }
        };
        session = std::make_unique<ScanSession>(engine, AppPaths::forFolder(root), LanguageTexts(),
                                                callbacks);
        session->setWorkerThreads(jobs);
        ScanFolder(*session, root);
        if (sinceStop.isValid())
            longest = std::max(longest, double(sinceStop.nsecsElapsed()) / 1e6);
    }
    return longest;
}

double timeNameChecks(const EngineHandle &engine, const Tree &tree)
{
    NameCheckIndex::Lookup lookup;
    QElapsedTimer timer;
    timer.start();
    int found = 0;
    for (const GeneratedFile &f : tree.files)
        found += Checkfile(*engine, f.folder, f.name, lookup).matched;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("    (%d name matches)\n", found);
    return seconds;
}

template <typename F> double best(int rounds, F f)
{
    double t = 1e30;
    for (int i = 0; i < rounds; ++i)
        t = std::min(t, f());
    return t;
}

Options parseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Torvakine scan benchmark");
    parser.addHelpOption();
    const QCommandLineOption files("files", "Number of files (20000).", "n", "20000");
    const QCommandLineOption maxSize("max-size", "Largest file in bytes (3145728).", "bytes",
                                     "3145728");
    const QCommandLineOption depth("depth", "Deepest folder level (6).", "n", "6");
    const QCommandLineOption patterns("patterns", "Path patterns (5000).", "n", "5000");
    const QCommandLineOption signatures("signatures", "Signatures (100000).", "n", "100000");
    const QCommandLineOption rounds("rounds", "Timed rounds, the best counts (3).", "n", "3");
    const QCommandLineOption folder("folder", "Folder to build the tree in (a temporary one).",
                                    "path");
    const QCommandLineOption jobs("jobs", "Content threads to compare, comma-separated (1,2,4).",
                                  "list", "1,2,4");
    parser.addOptions({files, maxSize, depth, patterns, signatures, rounds, folder, jobs});
    parser.process(app);
    Options o;
    o.files = std::max(1, parser.value(files).toInt());
    o.maxSize = std::max<qint64>(1, parser.value(maxSize).toLongLong());
    o.depth = std::max(1, parser.value(depth).toInt());
    o.patterns = std::max(1, parser.value(patterns).toInt());
    o.signatures = std::max(0, parser.value(signatures).toInt());
    o.rounds = std::max(1, parser.value(rounds).toInt());
    o.folder = parser.value(folder);
    o.jobs.clear();
    for (const QString &j : parser.value(jobs).split(QLatin1Char(',')))
        o.jobs << std::max(1, j.toInt());
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Options o = parseOptions(app);
    QTemporaryDir temp(o.folder.isEmpty() ? QDir::tempPath() + "/torvakine-bench-XXXXXX"
                                          : o.folder + "/torvakine-bench-XXXXXX");
    if (!temp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 2;
    }
    const QString root = temp.path() + QLatin1Char('/');
    QRandomGenerator rng(20261206);

    std::printf("Generating %d files of 0 to %lld bytes, depth up to %d...\n", o.files,
                static_cast<long long>(o.maxSize), o.depth);
    const Tree tree = makeTree(root, o, rng);
    const QStringList signatures = makeSignatures(o.signatures, tree, rng);
    const QStringList patterns = makePatterns(o.patterns, tree);
    const double mb = double(tree.checkedBytes) / 1e6;
    std::printf("Tree: %zu files, %.1f MB; %d files (%.1f MB) within the content limit\n",
                tree.files.size(), double(tree.totalBytes) / 1e6, tree.checkedFiles, mb);

    const EngineHandle engine = engineOf(patterns, signatures);
    timeScan(engine, root); // warms the cache
    const double reference = best(o.rounds, [&] { return timeReference(tree); });
    ScanResult scan{};
    const double scanTime = best(o.rounds, [&] {
        scan = timeScan(engine, root);
        return scan.seconds;
    });
    std::printf("Reference (read + MD5):       %.3f s  %.0f files/s  %.1f MB/s\n", reference,
                tree.checkedFiles / reference, mb / reference);
    std::printf("Scan (%d patterns, %d signatures): %.3f s  %.0f files/s  %.1f MB/s  "
                "%d objects, %d detections\n",
                o.patterns, o.signatures, scanTime, double(tree.files.size()) / scanTime,
                mb / scanTime, scan.objects, scan.detections);
    std::printf("Scan / reference:             %.3f\n", scanTime / reference);

    // md5sum in one and in two processes, against the scan with content
    // threads: what a scan on one and on two cores is measured against.
    const double md5sum1 = best(o.rounds, [&] { return timeMd5sum(tree, root, 1); });
    const double md5sum2 = best(o.rounds, [&] { return timeMd5sum(tree, root, 2); });
    std::printf("md5sum, 1 process:            %.3f s\n", md5sum1);
    std::printf("md5sum, 2 processes:          %.3f s  (%.3f x one process)\n", md5sum2,
                md5sum2 / md5sum1);
    for (int jobs : o.jobs) {
        ScanResult parallel{};
        const double seconds = best(o.rounds, [&] {
            parallel = timeScan(engine, root, jobs);
            return parallel.seconds;
        });
        std::printf("Scan, --jobs %d:               %.3f s  %.3f x md5sum 1 process  %.3f x "
                    "md5sum 2 processes  %d detections\n",
                    jobs, seconds, seconds / md5sum1, seconds / md5sum2, parallel.detections);
    }
    for (int jobs : o.jobs) {
        std::printf("Stop to end of scan, --jobs %d: at most %.1f ms\n", jobs,
                    longestStop(engine, root, jobs, scan.objects));
    }

    const EngineHandle small = engineOf(makePatterns(200, tree), signatures);
    const EngineHandle large = engineOf(makePatterns(20000, tree), signatures);
    timeScan(small, root);
    ScanResult smallResult{};
    const double smallScan = best(o.rounds, [&] {
        smallResult = timeScan(small, root);
        return smallResult.seconds;
    });
    std::printf("Name checks alone, 200 patterns:\n");
    const double smallNames = best(o.rounds, [&] { return timeNameChecks(small, tree); });
    timeScan(large, root);
    ScanResult largeResult{};
    const double largeScan = best(o.rounds, [&] {
        largeResult = timeScan(large, root);
        return largeResult.seconds;
    });
    std::printf("Name checks alone, 20000 patterns:\n");
    const double largeNames = best(o.rounds, [&] { return timeNameChecks(large, tree); });
    std::printf("Scan, 200 patterns:           %.3f s  %d detections\n", smallScan,
                smallResult.detections);
    std::printf("Scan, 20000 patterns:         %.3f s  %d detections  (%.3f x)\n", largeScan,
                largeResult.detections, largeScan / smallScan);
    std::printf("Name checks, 200 patterns:    %.4f s  (%.2f us per file)\n", smallNames,
                smallNames * 1e6 / double(tree.files.size()));
    std::printf("Name checks, 20000 patterns:  %.4f s  (%.2f us per file)\n", largeNames,
                largeNames * 1e6 / double(tree.files.size()));
    return 0;
}
