// Files an attacker can write, fed to every reader of the program: damaged
// and oversized databases, broken language files, deep and wide folder
// trees, odd file names, huge and broken cookie files, files that change
// while they are read and a damaged registry hive.  Every case must end with
// a clear result, in bounded time and memory, without changing any file that
// was not asked for.
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseKeys.h"
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "databases/modCipher.h"
#include "language/LanguageFile.h"
#include "language/Lingua.h"
#include "platform/HiveFile.h"
#include "platform/HiveRegistry.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "removal/Removal.h"
#include "scanner/CookieScan.h"
#include "scanner/FileWalk.h"
#include "scanner/RegistryScan.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanState.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestAppFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <functional>
#include <map>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Every file and folder below root (names as the file system's bytes) with
// the SHA-1 of its content, or "folder".
std::map<QByteArray, QByteArray> treeDigest(const QString &root)
{
    std::map<QByteArray, QByteArray> digest;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        QByteArray value = "folder";
        if (!info.isDir()) {
            QFile file(path);
            value = file.open(QIODevice::ReadOnly)
                        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                        : QByteArray("unreadable");
        }
        digest[QFile::encodeName(path)] = value;
    }
    return digest;
}

QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result();
}

// Peak resident memory of the process so far, in MiB.
long peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A file of size bytes that takes no disk space: all zero bytes, no line feed.
void writeSparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(file.resize(size));
}

// Writes bytes to a file named by raw file-system bytes in folder.
void writeRawName(const QString &folder, const QByteArray &name, const QByteArray &bytes)
{
    const QByteArray path = QFile::encodeName(folder) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    QCOMPARE(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    ::close(fd);
}

bool rawNameExists(const QString &folder, const QByteArray &name)
{
    struct stat st {};
    return ::lstat((QFile::encodeName(folder) + '/' + name).constData(), &st) == 0;
}

// A progress bar that runs a hook for every position the walk sets: the
// walk sets one for every entry once more than one progress unit is
// counted, after it has looked at the entry and before it reads it.
class HookedProgress final : public ProgressIndicator
{
public:
    std::function<void()> hook;
    void setMaximum(double value) override { m_max = value; }
    void setMinimum(double) override {}
    double maximum() const override { return m_max; }
    double value() const override { return m_value; }
    bool setValue(double value) override
    {
        m_value = value;
        if (hook)
            hook();
        return true;
    }
    void setVisible(bool) override {}

private:
    double m_max = 1e12;
    double m_value = 0;
};

// The spyware table of the file tests: names with "bad" and ".exe" and a
// Tracking Cookie section whose one pattern is "*tracker.example*".
void setSpywareTable()
{
    DatabaseTables &t = databaseTables();
    t.CookDbEntries = {QString(), QStringLiteral("***Hostile.Name"), QStringLiteral("*bad*.exe"),
                       QStringLiteral("***Tracking Cookie"),
                       QStringLiteral("cookie:user@*tracker.example*.txt"),
                       QStringLiteral("***End")};
    t.CookDbCount = 5;
    t.CookDbLoaded = true;
}

// A trojan signature for content: its MD5 digest and the threat name.
void setSignature(const QByteArray &content)
{
    DatabaseTables &t = databaseTables();
    t.TrojSigEntries = {QString(), QString::fromLatin1(HashString(1, content)) +
                                       QStringLiteral(" Trojan.Hostile")};
    t.TrojSigCount = 1;
    t.TrojSigLoaded = true;
}

QStringList listedLocations()
{
    QStringList out;
    for (qsizetype i = 1; i <= resultList().count(); ++i)
        out << resultList().row(i).location;
    return out;
}

void startScan(const TestAppFolder &app, const QString &root)
{
    resultList().clear();
    resetScanState();
    scanState().ScanRoot = root;
    scanState().ReportBaseName = QStringLiteral("Report hostile");
    writeTestFile(app.path() + QStringLiteral("/Report/Report hostile.txt"), QByteArray());
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    // Streaming readers first: their memory bound is measured as the growth
    // of the process's peak, before the large databases raise it.
    void hugeCookieFileWithoutLineFeed();
    void cookieLinesWithNulBytes();
    void damagedDatabases();
    void databaseWithOneHugeLine();
    void databaseWithOneMillionEntries();
    void brokenLanguageFiles();
    void deepFolderTree();
    void wideFolder();
    void oddFileNames();
    void plusInCookieFolderTouchesNoOtherFile();
    void filesThatChangeWhileRead();
    void hiveWithBadChecksum();
    void removalInHiveWithDamagedKey();
    void hiveValuesOfUnknownType();
};

void TestHostileInput::hugeCookieFileWithoutLineFeed()
{
    TestAppFolder app;
    setSpywareTable();
    const QString folder = app.path() + QStringLiteral("/mozilla/");
    QDir().mkpath(folder);
    // 200 MB of zero bytes and not one line feed, stored sparse.
    const qint64 size = 200LL * 1024 * 1024;
    writeSparseFile(folder + QStringLiteral("cookies.txt"), size);
    const QByteArray before = fileDigest(folder + QStringLiteral("cookies.txt"));

    const long peakBefore = peakMemoryMiB();
    QElapsedTimer timer;
    timer.start();
    ScanMozilla(folder, QStringLiteral("cookies.txt"));
    qInfo("200 MB cookie file without a line feed: %lld ms, peak memory %ld -> %ld MiB",
          timer.elapsed(), peakBefore, peakMemoryMiB());
    QCOMPARE(resultList().count(), 0);
    QVERIFY2(peakMemoryMiB() - peakBefore < 32, "the cookie file must be streamed");
    QVERIFY(timer.elapsed() < 60000);
    QCOMPARE(fileDigest(folder + QStringLiteral("cookies.txt")), before);

    // A tracking cookie after the huge line is still found.
    {
        QFile file(folder + QStringLiteral("cookies.txt"));
        QVERIFY(file.open(QIODevice::Append));
        file.write("\n.tracker.example\tTRUE\t/\tFALSE\t0\tid\t1\n");
    }
    ScanMozilla(folder, QStringLiteral("cookies.txt"));
    QCOMPARE(resultList().count(), 1);
    QVERIFY(resultList().row(1).location.endsWith(
        QStringLiteral("+.tracker.example\tTRUE\t/\tFALSE\t0\tid\t1\n")));
}

void TestHostileInput::cookieLinesWithNulBytes()
{
    TestAppFolder app;
    setSpywareTable();
    const QString folder = app.path() + QStringLiteral("/mozilla/");
    const QByteArray keep = "# comment\n.ok.example\tTRUE\t/\tFALSE\t0\tk\tv\n";
    static const char hostileBytes[] = ".tracker.example\tTRUE\t/\0\0\tFALSE\t0\tid\t\0\n";
    const QByteArray hostile(hostileBytes, sizeof hostileBytes - 1);
    writeTestFile(folder + QStringLiteral("cookies.txt"), keep + hostile + QByteArray("tail\0\0", 6));

    startScan(app, app.path() + QLatin1Char('/'));
    ScanMozilla(folder, QStringLiteral("cookies.txt"));
    QCOMPARE(resultList().count(), 1);
    const QString location = resultList().row(1).location;
    QCOMPARE(location, QStringLiteral("mozilla:") + folder + QStringLiteral("cookies.txt+") +
                           QString::fromLatin1(hostile));

    // The removal cuts out exactly the line with the NUL bytes.
    RemoveListedDetections();
    QCOMPARE(readTestFile(folder + QStringLiteral("cookies.txt")),
             keep + QByteArray("tail\0\0", 6));
    QCOMPARE(resultList().count(), 0);
}

void TestHostileInput::damagedDatabases()
{
    TestAppFolder app;
    const QByteArray plain = "[[[2026.1\r\n***Adware.Sample\r\nc:\\bad\\*.exe\r\n--ME-\r\n"
                             "bad.exe\r\n<<<>>\r\n";
    const QByteArray good = encodeDatabase(plain);
    QRandomGenerator random(4711);
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QByteArray otherKey =
        EncryptBytes(DatabaseKeys::kDatabaseSelector, withCrLf(plain),
                     QStringLiteral("a key that is not the database key!!"),
                     QStringLiteral("another initialisation text......"))
            .toBase64();

    const struct {
        const char *what;
        QByteArray bytes;
    } cases[] = {
        {"truncated", good.left(good.size() / 2)},
        {"truncated at a block", good.left(44)},
        {"enciphered with another key", otherKey},
        {"random bytes", noise},
        {"empty", QByteArray()},
        {"only line ends", QByteArray("\r\n\r\n==\r\n")},
    };
    for (const auto &c : cases) {
        resetDatabaseTables();
        app.writeFile(QStringLiteral("cookdb.dat"), c.bytes);
        app.writeFile(QStringLiteral("trojsig.dat"), c.bytes);
        app.writeFile(QStringLiteral("regdb.dat"), c.bytes);
        const auto before = treeDigest(app.path());
        SilentProgress bar;
        LoadDatabases(bar);
        const DatabaseTables &t = databaseTables();
        QVERIFY2(!t.CookDbLoaded && !t.TrojSigLoaded && !t.RegDbLoaded, c.what);
        QCOMPARE(t.CookDbCount, 0);
        QCOMPARE(t.MemDbCount, 0);
        QCOMPARE(t.TrojSigCount, 0);
        QCOMPARE(t.RegDbCount, 0);
        QVERIFY2(treeDigest(app.path()) == before, c.what);
    }

    // After a good load, a damaged file keeps no stale count.
    app.writeDatabase(QStringLiteral("cookdb.dat"), plain);
    SilentProgress bar;
    LoadDatabases(bar);
    QVERIFY(databaseTables().CookDbLoaded);
    QCOMPARE(databaseTables().CookDbCount, 2);
    app.writeFile(QStringLiteral("cookdb.dat"), noise);
    LoadDatabases(bar);
    QVERIFY(!databaseTables().CookDbLoaded);
    QCOMPARE(databaseTables().CookDbCount, 0);
}

void TestHostileInput::databaseWithOneHugeLine()
{
    // One line of 32 MB: the whole database is held in memory several times
    // over (Base64, cipher text, plain text, UTF-16 lines), which under the
    // sanitizers costs about 20 bytes per byte; 32 MB keeps the run within
    // seconds and far from the memory limit of the machine.
    TestAppFolder app;
    const qsizetype lineSize = 32 * 1024 * 1024;
    QByteArray plain = "[[[1\r\n";
    plain.append(QByteArray(lineSize, 'a'));
    plain.append("\r\n");
    app.writeDatabase(QStringLiteral("regdb.dat"), plain);
    QElapsedTimer timer;
    timer.start();
    SilentProgress bar;
    LoadDatabases(bar);
    qInfo("one line of %lld bytes: loaded in %lld ms", qint64(lineSize), timer.elapsed());
    const DatabaseTables &t = databaseTables();
    QVERIFY(t.RegDbLoaded);
    QCOMPARE(t.RegDbCount, 1);
    QCOMPARE(t.RegDbEntries.at(1).size(), lineSize);

    // The registry scan passes over an entry that names no root key.
    startScan(app, app.path() + QLatin1Char('/'));
    ScanRegistry();
    QCOMPARE(resultList().count(), 0);
}

void TestHostileInput::databaseWithOneMillionEntries()
{
    TestAppFolder app;
    const int entries = 1000000;
    QByteArray plain = "[[[1\r\n***Many\r\n";
    plain.reserve(entries * 24);
    for (int i = 2; i <= entries; ++i)
        plain += "c:\\many\\file" + QByteArray::number(i) + ".exe\r\n";
    plain += "--ME-\r\n<<<>>\r\n";
    app.writeDatabase(QStringLiteral("cookdb.dat"), plain);
    QElapsedTimer timer;
    timer.start();
    SilentProgress bar;
    LoadDatabases(bar);
    qInfo("%d entries: loaded in %lld ms", entries, timer.elapsed());
    const DatabaseTables &t = databaseTables();
    QVERIFY(t.CookDbLoaded);
    QCOMPARE(t.CookDbCount, entries);
    QCOMPARE(t.CookDbEntries.at(entries), QStringLiteral("c:\\many\\file1000000.exe"));

    // A scan against the million patterns still ends in bounded time.
    const QString root = app.path() + QStringLiteral("/scan/");
    writeTestFile(root + QStringLiteral("file7.exe"), "x");
    writeTestFile(root + QStringLiteral("other.txt"), "y");
    startScan(app, root);
    timer.restart();
    ScanFolder(root);
    qInfo("scan of 2 files against %d patterns: %lld ms", entries, timer.elapsed());
    QCOMPARE(resultList().count(), 0);
    QCOMPARE(scanState().ObjectsScanned, 2);
}

void TestHostileInput::brokenLanguageFiles()
{
    TestAppFolder app;
    QRandomGenerator random(815);
    QByteArray noise(200 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    static const char withNulBytes[] = "Scan\0ner,\"Re\0move\",\0,\0\0\0\r\nLast\0";
    const QByteArray withNul(withNulBytes, sizeof withNulBytes - 1);

    for (const QByteArray &bytes : {noise, withNul}) {
        resetLanguageState();
        const QString path = app.filePath(QStringLiteral("Language/broken"));
        writeTestFile(path, bytes);
        readLanguageFile(path);
        // Only the 34 entries, each no longer than the part of the file
        // that is read (64 KiB), entry 0 untouched.
        QVERIFY(Lingua(0).isEmpty());
        for (int i = 1; i <= 34; ++i)
            QVERIFY(Lingua(i).size() <= 64 * 1024);
        QCOMPARE(readTestFile(path), bytes);
    }
    // NUL bytes are kept inside the items as they stand.
    QCOMPARE(Lingua(1), QString::fromLatin1("Scan\0ner", 8));
    QCOMPARE(Lingua(2), QString::fromLatin1("Re\0move", 7));
    QCOMPARE(Lingua(3), QString::fromLatin1("\0", 1));
    QCOMPARE(Lingua(4), QString::fromLatin1("\0\0\0", 3));
    QCOMPARE(Lingua(5), QString::fromLatin1("Last\0", 5));
}

void TestHostileInput::deepFolderTree()
{
    // 2,000 nested folders take the bottom beyond the 4,096 bytes one system
    // call accepts as a path: the file there must be found and removed, and
    // the walk must not run out of call stack or open folders.
    TestAppFolder app;
    setSpywareTable();
    const QString root = app.path() + QStringLiteral("/deep/");
    QDir().mkpath(root);
    const int depth = 2000;
    const auto descend = [&](bool make) {
        int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            if (make)
                ::mkdirat(fd, "dir", 0755);
            const int next = ::openat(fd, "dir", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        return fd;
    };
    int bottom = descend(true);
    QVERIFY(bottom >= 0);
    ::close(::openat(bottom, "bad.exe", O_WRONLY | O_CREAT, 0644));
    ::close(bottom);

    startScan(app, root);
    QElapsedTimer timer;
    timer.start();
    ScanFolder(root);
    qInfo("%d levels: scanned in %lld ms", depth, timer.elapsed());
    // Every folder and, below the start, its "." and "..", plus the file.
    QCOMPARE(scanState().ObjectsScanned, 1 + 3 * depth);
    QCOMPARE(resultList().count(), 1);
    QCOMPARE(resultList().row(1).location,
             root + QStringLiteral("dir/").repeated(depth) + QStringLiteral("bad.exe"));

    RemoveListedDetections();
    bottom = descend(false);
    QVERIFY(bottom >= 0);
    QCOMPARE(::faccessat(bottom, "bad.exe", F_OK, 0), -1);
    ::close(bottom);
    // Clean up here, as the temporary folder's removal works by full path:
    // the chain is shortened from the top by moving "dir/dir" up.
    const int fd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth - 1; ++i) {
        QCOMPARE(::renameat(fd, "dir/dir", fd, "next"), 0);
        QCOMPARE(::unlinkat(fd, "dir", AT_REMOVEDIR), 0);
        QCOMPARE(::renameat(fd, "next", fd, "dir"), 0);
    }
    QCOMPARE(::unlinkat(fd, "dir", AT_REMOVEDIR), 0);
    ::close(fd);
}

void TestHostileInput::wideFolder()
{
    // 100,000 entries in one folder; creating them takes a few seconds and
    // the scan under the sanitizers about as long.
    TestAppFolder app;
    setSpywareTable();
    setSignature("signature content");
    const QString root = app.path() + QStringLiteral("/wide/");
    QDir().mkpath(root);
    const int count = 100000;
    const QByteArray folder = QFile::encodeName(root);
    for (int i = 0; i < count; ++i) {
        const QByteArray path = folder + "f" + QByteArray::number(i);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
    }
    writeTestFile(root + QStringLiteral("f77777"), "signature content");
    startScan(app, root);
    QElapsedTimer timer;
    timer.start();
    ScanFolder(root);
    qInfo("%d entries in one folder: scanned in %lld ms", count, timer.elapsed());
    QCOMPARE(scanState().ObjectsScanned, count);
    QCOMPARE(listedLocations(), QStringList{root + QStringLiteral("f77777")});
    QCOMPARE(QDir(root).entryList(QDir::Files).size(), count);
    QCOMPARE(readTestFile(root + QStringLiteral("f77777")), QByteArray("signature content"));
}

void TestHostileInput::oddFileNames()
{
    TestAppFolder app;
    setSpywareTable();
    setSignature("trojan body");
    const QString root = app.path() + QStringLiteral("/names/");
    QDir().mkpath(root);
    // Found by name: a newline, a "+", a backslash, a leading "-".
    const QList<QByteArray> byName = {"bad\nline.exe", "bad+plus.exe", "bad\\slash.exe",
                                      "-bad.exe"};
    for (const QByteArray &name : byName)
        writeRawName(root, name, "harmless");
    writeRawName(root, "innocent.txt", "keep me");
    // Found by content, with bytes that are not UTF-8 in its name.  Its
    // neighbour's name is what a lossy decoding of those bytes gives.
    writeRawName(root, "trojan\xff\xfe.bin", "trojan body");
    writeRawName(root, "trojan\xef\xbf\xbd\xef\xbf\xbd.bin", "innocent neighbour");

    startScan(app, root);
    ScanFolder(root);
    QCOMPARE(scanState().ObjectsScanned, 7);
    QCOMPARE(resultList().count(), 5);
    for (const QByteArray &name : byName)
        QVERIFY2(listedLocations().contains(root + QFile::decodeName(name)), name.constData());

    RemoveListedDetections();
    for (const QByteArray &name : byName)
        QVERIFY2(!rawNameExists(root, name), name.constData());
    QVERIFY(rawNameExists(root, "innocent.txt"));
    // The file that was not detected must never be deleted in place of the
    // one that was.
    QVERIFY(rawNameExists(root, "trojan\xef\xbf\xbd\xef\xbf\xbd.bin"));
    QVERIFY(!rawNameExists(root, "trojan\xff\xfe.bin"));
}

void TestHostileInput::plusInCookieFolderTouchesNoOtherFile()
{
    // A cookie file below a folder whose name holds "+": the removal must not
    // rewrite the file whose path is the text before that "+".
    TestAppFolder app;
    setSpywareTable();
    const QString root = app.path() + QStringLiteral("/home/");
    writeTestFile(root + QStringLiteral("notes"), "first\n\n\nsecond\n");
    writeTestFile(root + QStringLiteral("nonew"), "someone's file\n");
    const QString folder = root + QStringLiteral("notes+x/mozilla/");
    const QByteArray cookie = ".tracker.example\tTRUE\t/\tFALSE\t0\tid\t1\n";
    writeTestFile(folder + QStringLiteral("cookies.txt"), "# c\n" + cookie);

    startScan(app, root);
    ScanFolder(root);
    QCOMPARE(listedLocations(), QStringList{QStringLiteral("mozilla:") + folder +
                                            QStringLiteral("cookies.txt+") +
                                            QString::fromLatin1(cookie)});
    const QByteArray notesBefore = readTestFile(root + QStringLiteral("notes"));
    RemoveListedDetections();
    QCOMPARE(readTestFile(root + QStringLiteral("notes")), notesBefore);
    QCOMPARE(readTestFile(folder + QStringLiteral("cookies.txt")), QByteArray("# c\n"));
    QCOMPARE(readTestFile(root + QStringLiteral("nonew")), QByteArray("someone's file\n"));
}

void TestHostileInput::filesThatChangeWhileRead()
{
    TestAppFolder app;
    setSpywareTable();
    setSignature("trojan body");
    const QString root = app.path() + QStringLiteral("/changing/");
    writeTestFile(root + QStringLiteral("vanish.bin"), "trojan body");
    writeTestFile(root + QStringLiteral("grow.bin"), "trojan body");
    writeTestFile(root + QStringLiteral("locked.bin"), "trojan body");
    writeTestFile(root + QStringLiteral("sub/vanishing folder/x.bin"), "x");
    // Folders that move or go while the walk is inside them: the walk must
    // come back to the folder it left, or leave it for good, never another.
    writeTestFile(root + QStringLiteral("moving/inner/a.bin"), "a");
    writeTestFile(root + QStringLiteral("gone/inner/a.bin"), "a");
    QStringList expected;
    for (int i = 0; i < 20; ++i) {
        const QString number = QString::number(i).rightJustified(2, QLatin1Char('0'));
        writeTestFile(root + QStringLiteral("moving/bad") + number + QStringLiteral(".exe"), "x");
        writeTestFile(root + QStringLiteral("gone/g") + number + QStringLiteral(".bin"), "x");
        expected << root + QStringLiteral("moving/bad") + number + QStringLiteral(".exe");
    }
    QVERIFY(QFile::setPermissions(root + QStringLiteral("locked.bin"), {}));
    const bool lockedReadable =
        ::access(QFile::encodeName(root + QStringLiteral("locked.bin")).constData(), R_OK) == 0;

    // After the walk has looked at an entry (and may have opened it) and
    // before it reads it, the hook removes the file, grows the other beyond
    // the content limit, removes a folder that was listed but not yet entered
    // and moves or removes the folder the walk is in.
    HookedProgress bar;
    bar.hook = [&] {
        const QString current = scanState().CurrentFilePath;
        if (current.endsWith(QStringLiteral("vanish.bin")))
            QFile::remove(current);
        if (current.endsWith(QStringLiteral("grow.bin"))) {
            QFile file(current);
            if (file.size() < 4000000 && file.open(QIODevice::Append))
                file.write(QByteArray(4000000, 'g'));
        }
        if (current.endsWith(QStringLiteral("/sub/vanishing folder")))
            QDir(current).removeRecursively();
        if (current == root + QStringLiteral("moving/inner/a.bin"))
            QDir().rename(root + QStringLiteral("moving/inner"), app.path() + QStringLiteral("/moved"));
        if (current == root + QStringLiteral("gone/inner/a.bin"))
            QDir(root + QStringLiteral("gone")).removeRecursively();
    };
    startScan(app, root);
    scanState().progressBar = &bar;
    // Past one progress unit, so that every entry moves the bar.
    scanState().BytesScanned = 20480001;
    ScanFolder(root);
    scanState().progressBar = nullptr;

    // The file removed after the walk opened it may be found by the content
    // it had then; nothing else is, and the scan goes on to the end.
    QStringList found = listedLocations();
    found.removeAll(root + QStringLiteral("vanish.bin"));
    if (lockedReadable)
        expected << root + QStringLiteral("locked.bin");
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
    QVERIFY(QFileInfo::exists(app.path() + QStringLiteral("/moved/a.bin")));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("vanish.bin")));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("sub/vanishing folder")));
    QCOMPARE(QFileInfo(root + QStringLiteral("grow.bin")).size(), qint64(4000011));

    // Removing what was listed: a vanished file is recorded as not removed,
    // the grown file is not touched.
    const bool vanishedListed = listedLocations().contains(root + QStringLiteral("vanish.bin"));
    QVERIFY(QFile::setPermissions(root + QStringLiteral("locked.bin"),
                                  QFile::ReadOwner | QFile::WriteOwner));
    RemoveListedDetections();
    QCOMPARE(QFileInfo::exists(root + QStringLiteral("locked.bin")), !lockedReadable);
    QCOMPARE(QFileInfo(root + QStringLiteral("grow.bin")).size(), qint64(4000011));
    const QByteArray report =
        readTestFile(app.path() + QStringLiteral("/Report/Report hostile.txt"));
    QCOMPARE(report.contains("vanish.bin"), vanishedListed);
}

void TestHostileInput::hiveWithBadChecksum()
{
    TestAppFolder app;
    const QString root = app.path() + QStringLiteral("/install");
    const QString software = machineHivePath(root, QStringLiteral("SOFTWARE"));
    QDir().mkpath(QFileInfo(software).absolutePath());
    {
        HiveBuilder hive(software);
        hive.setText(QStringLiteral("Bad\\Key"), QStringLiteral("Run"), QStringLiteral("evil"));
        hive.commit();
    }
    // Damage the header checksum (the last four bytes of the first 512).
    QByteArray bytes = readTestFile(software);
    bytes[0x1FC] = char(bytes[0x1FC] ^ 0x5A);
    writeTestFile(software, bytes);
    const auto before = treeDigest(root);

    DatabaseTables &t = databaseTables();
    t.RegDbEntries = {QString(), QStringLiteral("***Spy.Reg"),
                      QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Key"),
                      QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Key\\\"Run\"")};
    t.RegDbCount = 3;
    startScan(app, root + QLatin1Char('/'));
    ScanRegistry();
    QCOMPARE(resultList().count(), 0);
    QCOMPARE(scanState().ObjectsScanned, 2);

    // Removing a listed row of that hive changes nothing and is recorded.
    resultList().addRow(QStringLiteral("Spy.Reg"),
                        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Key"));
    RemoveListedDetections();
    QVERIFY(treeDigest(root) == before);
    const QByteArray report =
        readTestFile(app.path() + QStringLiteral("/Report/Report hostile.txt"));
    // The record names the hive that could not be opened for the change.
    QVERIFY(report.contains(QFile::encodeName(software)));
}

void TestHostileInput::removalInHiveWithDamagedKey()
{
    // A user hive whose key Software\Tracker names a security cell that does
    // not exist; reading it works, deleting it must not end the program.
    TestAppFolder app;
    const QString root = app.path() + QStringLiteral("/install");
    const QString ntuser = root + QStringLiteral("/Users/bob/NTUSER.DAT");
    QDir().mkpath(QFileInfo(ntuser).absolutePath());
    {
        HiveBuilder hive(ntuser);
        hive.addKey(QStringLiteral("Software\\Tracker"));
        hive.commit();
    }
    QByteArray bytes = readTestFile(ntuser);
    // The key record: "nk", its security cell offset 0x30 bytes on, its
    // name 0x4C bytes on.
    const qsizetype nk = bytes.indexOf("Tracker") - 0x4C;
    QVERIFY(nk > 0 && bytes.mid(nk, 2) == "nk");
    qToLittleEndian<quint32>(0xFD, bytes.data() + nk + 0x30);
    writeTestFile(ntuser, bytes);
    startScan(app, root + QLatin1Char('/'));
    QVERIFY(HiveFile::open(ntuser, false) != nullptr);

    // In a child process: an abort there must not end this test run.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // The test framework's crash handler is not wanted here, nor the
        // library's message.
        ::signal(SIGABRT, SIG_DFL);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        resultList().addRow(QStringLiteral("Spy.Reg"),
                            QStringLiteral("HKEY_CURRENT_USER\\Software\\Tracker"));
        RemoveListedDetections();
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Whatever happened, the hive is whole: unchanged or a sound hive.
    QVERIFY(readTestFile(ntuser) == bytes || HiveFile::open(ntuser, false) != nullptr);
}

void TestHostileInput::hiveValuesOfUnknownType()
{
    // Value records whose type word is no type Windows defines (0x100006):
    // a hive file may hold any number there.  Reading, following links and
    // removing a neighbouring value treat it as a plain number.
    TestAppFolder app;
    const QString root = app.path() + QStringLiteral("/install");
    const QString software = machineHivePath(root, QStringLiteral("SOFTWARE"));
    QDir().mkpath(QFileInfo(software).absolutePath());
    {
        HiveBuilder hive(software);
        hive.setText(QStringLiteral("Link"), QStringLiteral("SymbolicLinkValue"),
                     QStringLiteral("\\REGISTRY\\MACHINE\\SOFTWARE\\Bad"));
        hive.setText(QStringLiteral("Bad\\Key"), QStringLiteral("Run"), QStringLiteral("evil"));
        hive.setText(QStringLiteral("Bad\\Key"), QStringLiteral("Keep"), QStringLiteral("k"));
        hive.commit();
    }
    const quint32 oddType = 0x100006;
    QByteArray bytes = readTestFile(software);
    for (const QByteArray &name : {QByteArray("SymbolicLinkValue"), QByteArray("Keep")}) {
        // The value record: "vk", its type word 0x0C bytes on, its name 0x14.
        const qsizetype vk = bytes.indexOf(name) - 0x14;
        QVERIFY(vk > 0 && bytes.mid(vk, 2) == "vk");
        qToLittleEndian<quint32>(oddType, bytes.data() + vk + 0x0C);
    }
    writeTestFile(software, bytes);

    {
        HiveRegistry registry(root, RegistryAccess::ReadOnly);
        // Not a link: the key is there as it stands, and nothing lies below.
        QVERIFY(registry.keyExists(PredefinedKey::LocalMachine, QStringLiteral("SOFTWARE\\Link")));
        QVERIFY(!registry.keyExists(PredefinedKey::LocalMachine,
                                    QStringLiteral("SOFTWARE\\Link\\Key")));
        QVERIFY(!registryValueIsPresent(registry.queryValue(
            PredefinedKey::LocalMachine, QStringLiteral("SOFTWARE\\Bad\\Key"),
            QStringLiteral("Keep"))));
    }
    {
        HiveRegistry registry(root, RegistryAccess::ReadWrite);
        QCOMPARE(registry.deleteValue(PredefinedKey::LocalMachine,
                                      QStringLiteral("SOFTWARE\\Bad\\Key"), QStringLiteral("Run")),
                 RegistryResult::Success);
        QVERIFY(registry.commit().isEmpty());
    }
    // The value that stays keeps its type word and data.
    const std::unique_ptr<HiveFile> hive = HiveFile::open(software, false);
    QVERIFY(hive);
    const hive_node_h key =
        hive->child(hive->child(hive->root(), QStringLiteral("Bad")), QStringLiteral("Key"));
    QVERIFY(key);
    QVERIFY(!hive->value(key, QStringLiteral("Run")));
    const std::optional<HiveFile::ValueData> kept =
        hive->valueData(hive->value(key, QStringLiteral("Keep")));
    QVERIFY(kept);
    QCOMPARE(quint32(kept->type), oddType);
    QCOMPARE(kept->bytes, registryText(QStringLiteral("k")));
}

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
