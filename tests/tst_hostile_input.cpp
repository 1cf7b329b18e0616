// Files an attacker can write, fed to every reader of the program.  Every
// case must end with a clear result, in bounded time and memory, without
// changing any file that was not asked for.
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseKeys.h"
#include "databases/DatabaseLoader.h"
#include "databases/modCipher.h"
#include "language/LanguageFile.h"
#include "platform/HiveFile.h"
#include "platform/HiveRegistry.h"
#include "platform/ProgressIndicator.h"
#include "removal/Removal.h"
#include "scanner/CookieScan.h"
#include "scanner/FileWalk.h"
#include "scanner/RegistryScan.h"
#include "scanner/ScanSession.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/RawNames.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// One digest of the names (as the file system's bytes) and contents of
// everything below root; contents are read in pieces.
QByteArray treeDigest(const QString &root)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        hash.addData(QFile::encodeName(file.fileName()) + '\0');
        if (file.open(QIODevice::ReadOnly))
            hash.addData(&file);
    }
    return hash.result();
}

// Runs work and returns the milliseconds it took.
qint64 timed(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.elapsed();
}

// Peak resident memory of the process so far, in MiB.
long peakMemoryMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// A progress bar that runs a hook for every position the walk sets: the
// walk sets one as it commits each entry once more than one progress unit is
// counted, after it has looked at the entry and checked it.
struct HookedProgress final : SilentProgress {
    std::function<void()> hook;
    bool setValue(double) override
    {
        hook();
        return true;
    }
};

// The engine of the file tests: spyware names with "bad" and ".exe", a
// Tracking Cookie section whose one pattern is "*tracker.example*", and the
// trojan signature (MD5 digest) of the content "trojan body".
EngineHandle fileEngine()
{
    DatabaseTables t;
    setTableEntries(t.CookDbEntries, t.CookDbCount,
                    QString("***Hostile.Name|*bad*.exe|***Tracking Cookie|"
                            "cookie:user@*tracker.example*.txt|***End")
                        .split('|'));
    setTableEntries(t.TrojSigEntries, t.TrojSigCount,
                    {HashString(1, "trojan body") + " Trojan.Hostile"});
    t.CookDbLoaded = t.TrojSigLoaded = true;
    return makeEngine(std::move(t));
}

QStringList listedLocations(const ScanSession &session)
{
    QStringList out;
    for (qsizetype i = 1; i <= session.results().count(); ++i)
        out << session.results().row(i).location;
    out.sort();
    return out;
}

// A session for a scan of root, whose (empty) report file exists.
std::unique_ptr<ScanSession> startScan(const TestAppFolder &app, EngineHandle engine,
                                       const QString &root, ScanCallbacks callbacks = {})
{
    std::unique_ptr<ScanSession> session = app.newSession(std::move(engine), std::move(callbacks));
    session->state().ScanRoot = root;
    session->state().ReportBaseName = "Report hostile";
    writeTestFile(session->reportPath(), QByteArray());
    return session;
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    // The streaming reader first: its memory bound is measured as the growth
    // of the process's peak, before the large databases raise it.
    void hugeAndBrokenCookieFiles();
    void brokenDatabasesAndLanguageFiles();
    void deepAndWideFolders();
    void oddFileNames();
    void filesThatChangeWhileRead();
    void damagedHives();
};

void TestHostileInput::hugeAndBrokenCookieFiles()
{
    TestAppFolder app;
    const EngineHandle engine = fileEngine();
    const std::unique_ptr<ScanSession> session = app.newSession(engine);
    const QString folder = app.path() + "/mozilla/", cookies = folder + "cookies.txt";
    // 200 MB of zero bytes and not one line feed, stored sparse.
    writeTestFile(cookies, QByteArray());
    QVERIFY(QFile::resize(cookies, 200LL * 1024 * 1024));
    const QByteArray before = treeDigest(folder);
    const long peakBefore = peakMemoryMiB();
    const qint64 ms = timed([&] { ScanFolder(*session, folder); });
    qInfo("200 MB cookie file without a line feed: %lld ms, peak memory %ld -> %ld MiB", ms,
          peakBefore, peakMemoryMiB());
    QCOMPARE(session->results().count(), 0);
    QVERIFY2(peakMemoryMiB() - peakBefore < 32, "the cookie file must be streamed");
    QVERIFY(ms < 60000);
    QCOMPARE(treeDigest(folder), before);

    // A tracking cookie after the huge line is still found.
    const QByteArray cookie = ".tracker.example\tTRUE\t/\tFALSE\t0\tid\t1\n";
    QFile file(cookies);
    QVERIFY(file.open(QIODevice::Append | QIODevice::Unbuffered) && file.write("\n" + cookie) > 0);
    ScanFolder(*session, folder);
    QCOMPARE(listedLocations(*session), QStringList{"mozilla:" + cookies + "+" + cookie});

    // A line with NUL bytes is listed as it stands and removed exactly.
    const QByteArray keep = "# comment\n.ok.example\tTRUE\t/\tFALSE\t0\tk\tv\n";
    static const char hostileBytes[] = ".tracker.example\tTRUE\t/\0\0\tFALSE\t0\tid\t\0\n";
    const QByteArray hostile(hostileBytes, sizeof hostileBytes - 1), tail("tail\0\0", 6);
    writeTestFile(cookies, keep + hostile + tail);
    const std::unique_ptr<ScanSession> scan = startScan(app, engine, app.path() + "/");
    ScanFolder(*scan, folder);
    QCOMPARE(listedLocations(*scan), QStringList{"mozilla:" + cookies + "+" + hostile});
    RemoveListedDetections(*scan);
    QCOMPARE(readTestFile(cookies), keep + tail);
}

void TestHostileInput::brokenDatabasesAndLanguageFiles()
{
    TestAppFolder app;
    SilentProgress bar;
    const QByteArray plain = "[[[2026.1\r\n***Adware.Sample\r\nc:\\bad\\*.exe\r\n--ME-\r\n"
                             "bad.exe\r\n<<<>>\r\n";
    const QByteArray good = encodeDatabase(plain);
    const QByteArray otherKey =
        EncryptBytes(DatabaseKeys::kDatabaseSelector, withCrLf(plain),
                     "a key that is not the database key!!", "another initialisation text......")
            .toBase64();
    QByteArray noise(200 * 1024, Qt::Uninitialized);
    QRandomGenerator(4711).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    // Cut in half or at a block, another key, random bytes, empty, only line ends.
    for (const QByteArray &bytes : {good.left(good.size() / 2), good.left(44), otherKey, noise,
                                    QByteArray(), QByteArray("\r\n\r\n==\r\n")}) {
        DatabaseTables t;
        for (const char *name : {"cookdb.dat", "trojsig.dat", "regdb.dat"})
            app.writeFile(name, bytes);
        const QByteArray before = treeDigest(app.path());
        LoadDatabases(app.paths(), t, bar);
        QVERIFY(!t.CookDbLoaded && !t.TrojSigLoaded && !t.RegDbLoaded);
        QVERIFY(t.CookDbCount + t.MemDbCount + t.TrojSigCount + t.RegDbCount == 0);
        QCOMPARE(treeDigest(app.path()), before);
    }
    // After a good load, a damaged file keeps no stale count.
    DatabaseTables t;
    app.writeDatabase("cookdb.dat", plain);
    LoadDatabases(app.paths(), t, bar);
    QCOMPARE(t.CookDbCount, 2);
    app.writeFile("cookdb.dat", noise);
    LoadDatabases(app.paths(), t, bar);
    QVERIFY(!t.CookDbLoaded && t.CookDbCount == 0);

    // Language files of random bytes or with NUL bytes: only the entries of
    // the table, each no longer than the part of the file that is read (64 KiB).
    static const char withNul[] = "Scan\0ner,\"Re\0move\",\0,\0\0\0\r\nLast\0";
    const QString path = app.filePath("Language/broken");
    LanguageTexts texts;
    int read = 0;
    for (const QByteArray &bytes : {noise, QByteArray(withNul, sizeof withNul - 1)}) {
        texts = LanguageTexts();
        writeTestFile(path, bytes);
        read = readLanguageFile(path, texts);
        QVERIFY(read >= 0 && read <= LanguageTexts::kLastEntry);
        for (int i = 1; i <= LanguageTexts::kLastEntry; ++i)
            QVERIFY(texts.Lingua(i).size() <= 64 * 1024);
        QCOMPARE(readTestFile(path), bytes);
    }
    // NUL bytes are kept inside the items as they stand.
    const QByteArray items[] = {
        {"Scan\0ner", 8}, {"Re\0move", 7}, {"\0", 1}, {"\0\0\0", 3}, {"Last\0", 5}};
    QCOMPARE(read, 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(texts.Lingua(i + 1), QString::fromLatin1(items[i]));

    // One line of 32 MB: a database is held several times over, some 20 bytes
    // a byte under the sanitizers; this keeps that within seconds and memory.
    const qsizetype lineSize = 32 * 1024 * 1024;
    app.writeDatabase("regdb.dat", "[[[1\r\n" + QByteArray(lineSize, 'a') + "\r\n");
    for (const char *name : {"cookdb.dat", "trojsig.dat"})
        QVERIFY(QFile::remove(app.filePath(name)));
    qInfo("one line of %lld bytes: loaded in %lld ms", qint64(lineSize),
          timed([&] { LoadDatabases(app.paths(), t, bar); }));
    QVERIFY(t.RegDbLoaded && t.RegDbCount == 1);
    QCOMPARE(t.RegDbEntries.at(1).size(), lineSize);
    // The registry scan passes over an entry that names no root key.
    const std::unique_ptr<ScanSession> registryScan =
        startScan(app, makeEngine(t), app.path() + "/");
    ScanRegistry(*registryScan);
    QCOMPARE(registryScan->results().count(), 0);

    const int entries = 1000000;
    QByteArray many = "[[[1\r\n***Many\r\n";
    many.reserve(entries * 24);
    for (int i = 2; i <= entries; ++i)
        many += "c:\\many\\file" + QByteArray::number(i) + ".exe\r\n";
    QVERIFY(QFile::remove(app.filePath("regdb.dat")));
    app.writeDatabase("cookdb.dat", many + "--ME-\r\n<<<>>\r\n");
    qInfo("%d entries: loaded in %lld ms", entries,
          timed([&] { LoadDatabases(app.paths(), t, bar); }));
    QVERIFY(t.CookDbLoaded && t.CookDbCount == entries);
    QCOMPARE(t.CookDbEntries.at(entries), QString("c:\\many\\file1000000.exe"));
    // The engine of the million patterns is made, and a scan against them
    // ends, in bounded time.
    EngineHandle manyPatterns;
    qInfo("engine of %d patterns: made in %lld ms", entries,
          timed([&] { manyPatterns = makeEngine(t); }));
    const QString root = app.path() + "/scan/";
    writeTestFile(root + "file7.exe", "x");
    writeTestFile(root + "other.txt", "y");
    const std::unique_ptr<ScanSession> scan = startScan(app, manyPatterns, root);
    qInfo("scan of 2 files against %d patterns: %lld ms", entries,
          timed([&] { ScanFolder(*scan, root); }));
    QCOMPARE(scan->results().count(), 0);
    QCOMPARE(scan->state().ObjectsScanned, 2);
}

void TestHostileInput::deepAndWideFolders()
{
    // 2,000 nested folders take the bottom beyond the 4,096 bytes one system
    // call accepts as a path: the file there must be found and removed, and
    // the walk must not run out of call stack or open folders.  The chain is
    // built by moving "dir" into a new "dir" again and again.
    TestAppFolder app;
    const EngineHandle engine = fileEngine();
    const QString deep = app.path() + "/deep";
    writeTestFile(deep + "/dir/bad.exe", "x");
    const int depth = 2000, fd = ::open(QFile::encodeName(deep).constData(), O_RDONLY);
    for (int i = 1; i < depth; ++i)
        QVERIFY(::mkdirat(fd, "next", 0755) == 0 && ::renameat(fd, "dir", fd, "next/dir") == 0 &&
                ::renameat(fd, "next", fd, "dir") == 0);
    const std::unique_ptr<ScanSession> deepScan = startScan(app, engine, deep + "/");
    qInfo("%d levels: scanned in %lld ms", depth,
          timed([&] { ScanFolder(*deepScan, deep + "/"); }));
    // Every folder and, below the start, its "." and "..", plus the file.
    QCOMPARE(deepScan->state().ObjectsScanned, 1 + 3 * depth);
    QCOMPARE(listedLocations(*deepScan),
             QStringList{deep + QString("/dir").repeated(depth) + "/bad.exe"});
    RemoveListedDetections(*deepScan);
    // The temporary folder's removal works by full path, so the chain goes
    // here the way it came; the bottom folder only goes when the file did.
    for (int i = 1; i < depth; ++i)
        QVERIFY(::renameat(fd, "dir/dir", fd, "next") == 0 &&
                ::unlinkat(fd, "dir", AT_REMOVEDIR) == 0 && ::renameat(fd, "next", fd, "dir") == 0);
    QCOMPARE(::unlinkat(fd, "dir", AT_REMOVEDIR), 0);
    ::close(fd);

    // 100,000 entries in one folder; creating them takes a few seconds and
    // the scan under the sanitizers about as long.
    const QString wide = app.path() + "/wide/";
    const int count = 100000;
    for (int i = 0; i < count; ++i)
        writeRawName(wide, "f" + QByteArray::number(i), QByteArray());
    writeTestFile(wide + "f77777", "trojan body");
    const QByteArray before = treeDigest(wide);
    const std::unique_ptr<ScanSession> wideScan = startScan(app, engine, wide);
    qInfo("%d entries in one folder: scanned in %lld ms", count,
          timed([&] { ScanFolder(*wideScan, wide); }));
    QCOMPARE(wideScan->state().ObjectsScanned, count);
    QCOMPARE(listedLocations(*wideScan), QStringList{wide + "f77777"});
    QCOMPARE(treeDigest(wide), before);
}

void TestHostileInput::oddFileNames()
{
    TestAppFolder app;
    const QString root = app.path() + "/names/";
    // Found by name: a newline, a "+", a backslash, a leading "-".
    QList<QByteArray> detected = {"bad\nline.exe", "bad+plus.exe", "bad\\slash.exe", "-bad.exe"};
    for (const QByteArray &name : detected)
        writeRawName(root, name, "harmless");
    writeRawName(root, "innocent.txt", "keep me");
    // Found by content, with bytes that are not UTF-8 in its name.  Its
    // neighbour's name is what a lossy decoding of those bytes gives.
    detected << "trojan\xff\xfe.bin";
    writeRawName(root, detected.last(), "trojan body");
    writeRawName(root, "trojan\xef\xbf\xbd\xef\xbf\xbd.bin", "innocent neighbour");
    // A cookie file below a folder whose name holds "+": its removal must not
    // rewrite the file whose path is the text before that "+".
    writeRawName(root, "notes", "first\n\n\nsecond\n");
    writeRawName(root, "nonew", "someone's file\n");
    const QString cookies = root + "notes+x/mozilla/cookies.txt";
    const QByteArray cookie = ".tracker.example\tTRUE\t/\tFALSE\t0\tid\t1\n";
    writeTestFile(cookies, "# c\n" + cookie);

    const std::unique_ptr<ScanSession> scan = startScan(app, fileEngine(), root);
    ScanFolder(*scan, root);
    QStringList expected = {"mozilla:" + cookies + "+" + cookie};
    for (const QByteArray &name : detected)
        expected << root + QFile::decodeName(name);
    expected.sort();
    QCOMPARE(listedLocations(*scan), expected);
    // Nine files, two folders with their "." and "..", and the cookie file.
    QCOMPARE(scan->state().ObjectsScanned, 16);

    RemoveListedDetections(*scan);
    const auto exists = [&](const QByteArray &name) {
        return ::access((QFile::encodeName(root) + name).constData(), F_OK) == 0;
    };
    for (const QByteArray &name : detected)
        QVERIFY2(!exists(name), name.constData());
    // The file that was not detected must never be deleted in place of the
    // one that was, nor another file rewritten in place of the cookie file.
    QVERIFY(exists("trojan\xef\xbf\xbd\xef\xbf\xbd.bin"));
    QCOMPARE(readTestFile(root + "innocent.txt"), QByteArray("keep me"));
    QCOMPARE(readTestFile(root + "notes"), QByteArray("first\n\n\nsecond\n"));
    QCOMPARE(readTestFile(root + "nonew"), QByteArray("someone's file\n"));
    QCOMPARE(readTestFile(cookies), QByteArray("# c\n"));
}

void TestHostileInput::filesThatChangeWhileRead()
{
    TestAppFolder app;
    const QString root = app.path() + "/changing/", later = root + "later/";
    for (const QString &path : {root + "vanish.bin", later + "grow.bin", root + "locked.bin"})
        writeTestFile(path, "trojan body");
    writeTestFile(later + "vanishing folder/x.bin", "x");
    // Folders that move or go while the walk is inside them: the walk must
    // come back to the folder it left, or leave it for good, never another.
    writeTestFile(root + "moving/inner/a.bin", "a");
    writeTestFile(root + "gone/inner/a.bin", "a");
    QStringList expected = {root + "vanish.bin"};
    for (int i = 10; i < 30; ++i) {
        expected << root + "moving/bad" + QString::number(i) + ".exe";
        writeTestFile(expected.last(), "x");
        writeTestFile(root + "gone/g" + QString::number(i) + ".bin", "x");
    }
    // An unreadable file is found only when the scan may read it all the same (as root).
    QVERIFY(QFile::setPermissions(root + "locked.bin", {}));
    if (::access(QFile::encodeName(root + "locked.bin").constData(), R_OK) == 0)
        expected << root + "locked.bin";
    expected.sort();

    // As each entry is committed, the hook removes the file just read; once
    // the walk has listed the folder "later", it grows a file there beyond
    // the content limit and removes a subfolder, both listed but not yet
    // looked at; inside "moving/inner" and "gone/inner" it moves or removes
    // the folder the walk is in.  One thread reads the contents, so that
    // nothing is read ahead of the entry committed.
    HookedProgress bar;
    ScanCallbacks callbacks;
    callbacks.progress = &bar;
    const std::unique_ptr<ScanSession> scan = startScan(app, fileEngine(), root, callbacks);
    scan->setWorkerThreads(1);
    bar.hook = [&] {
        const QString current = scan->state().CurrentFilePath;
        if (current == root + "vanish.bin")
            QFile::remove(current);
        QFile grow(later + "grow.bin");
        if (current == root + "later" && grow.open(QIODevice::Append)) {
            grow.write(QByteArray(4000000, 'g'));
            grow.close();
            QDir(later + "vanishing folder").removeRecursively();
        }
        if (current == root + "moving/inner/a.bin")
            QDir().rename(root + "moving/inner", app.path() + "/moved");
        if (current == root + "gone/inner/a.bin")
            QDir(root + "gone").removeRecursively();
    };
    // Past one progress unit, so that every entry moves the bar.
    scan->state().BytesScanned = 20480001;
    ScanFolder(*scan, root);

    // The file removed after the walk read it is found by the content it had
    // then; the grown file is not, and the scan goes on to the end.
    QCOMPARE(listedLocations(*scan), expected);
    QVERIFY(QFileInfo::exists(app.path() + "/moved/a.bin"));
    QVERIFY(!QFileInfo::exists(root + "vanish.bin"));
    QVERIFY(!QFileInfo::exists(later + "vanishing folder"));

    // Removing what was listed: the vanished file is recorded as not removed,
    // the grown file is not touched.
    QVERIFY(QFile::setPermissions(root + "locked.bin", QFile::ReadOwner | QFile::WriteOwner));
    RemoveListedDetections(*scan);
    QCOMPARE(QFileInfo::exists(root + "locked.bin"), !expected.contains(root + "locked.bin"));
    QCOMPARE(QFileInfo(later + "grow.bin").size(), qint64(4000011));
    QVERIFY(readTestFile(scan->reportPath()).contains("vanish.bin"));
}

void TestHostileInput::damagedHives()
{
    TestAppFolder app;
    const QString root = app.path() + "/install", software = machineHivePath(root, "SOFTWARE");
    HiveBuilder builder(software);
    builder.setText("Link", "SymbolicLinkValue", "\\REGISTRY\\MACHINE\\SOFTWARE\\Bad");
    builder.setText("Bad\\Key", "Run", "evil");
    builder.setText("Bad\\Key", "Keep", "k");
    builder.addKey("Tracker");
    builder.commit();
    const QByteArray sound = readTestFile(software);

    // A bad header checksum (the last four bytes of the first 512): nothing
    // is read from the hive, and removing a row listed from it changes
    // nothing and records the hive that could not be opened for the change.
    QByteArray bytes = sound;
    bytes[0x1FC] = char(bytes[0x1FC] ^ 0x5A);
    writeTestFile(software, bytes);
    const QByteArray before = treeDigest(root);
    DatabaseTables t;
    setTableEntries(t.RegDbEntries, t.RegDbCount,
                    {"***Spy.Reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Key",
                     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Key\\\"Run\""});
    const std::unique_ptr<ScanSession> scan = startScan(app, makeEngine(t), root + "/");
    ScanRegistry(*scan);
    QCOMPARE(scan->results().count(), 0);
    QCOMPARE(scan->state().ObjectsScanned, 2);
    scan->results().addRow("Spy.Reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad\\Key");
    RemoveListedDetections(*scan);
    QCOMPARE(treeDigest(root), before);
    QVERIFY(readTestFile(scan->reportPath()).contains(QFile::encodeName(software)));

    // Value records whose type word (0x0C bytes into the record) is no type
    // Windows defines: a hive file may hold any number there.  Reading,
    // following links and removing a neighbouring value treat it as a number.
    writeTestFile(software, sound);
    const quint32 oddType = 0x100006;
    QVERIFY(patchHiveRecord(software, "Link", "SymbolicLinkValue", 0x0C, oddType));
    QVERIFY(patchHiveRecord(software, "Bad\\Key", "Keep", 0x0C, oddType));
    {
        HiveRegistry registry(root, RegistryAccess::ReadWrite);
        // Not a link: the key is there as it stands, and nothing lies below.
        QVERIFY(registry.keyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Link"));
        QVERIFY(!registry.keyExists(PredefinedKey::LocalMachine, "SOFTWARE\\Link\\Key"));
        QVERIFY(!registryValueIsPresent(
            registry.queryValue(PredefinedKey::LocalMachine, "SOFTWARE\\Bad\\Key", "Keep")));
        QCOMPARE(registry.deleteValue(PredefinedKey::LocalMachine, "SOFTWARE\\Bad\\Key", "Run"),
                 RegistryResult::Success);
        QVERIFY(registry.commit().isEmpty());
    }
    // The value that stays keeps its type word and data.
    const std::unique_ptr<HiveFile> hive = HiveFile::open(software);
    QVERIFY(hive);
    const hive_node_h key = hive->child(hive->child(hive->root(), "Bad"), "Key");
    QVERIFY(key && !hive->value(key, "Run"));
    const std::optional<HiveFile::ValueData> kept = hive->valueData(hive->value(key, "Keep"));
    QVERIFY(kept);
    QCOMPARE(quint32(kept->type), oddType);
    QCOMPARE(kept->bytes, registryText("k"));

    // A key whose class name cell (0x30 bytes into its record) does not
    // exist: reading works, and the hive library aborts the process that
    // deletes the key.  The removal runs in a child process, so that an
    // abort there cannot end this test run; it must not end the child.
    QVERIFY(patchHiveRecord(software, "Tracker", nullptr, 0x30, 0xFD));
    bytes = readTestFile(software);
    QVERIFY(HiveFile::open(software) != nullptr);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Neither the test framework's crash handler nor the library's message.
        ::signal(SIGABRT, SIG_DFL);
        ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
        scan->results().addRow("Spy.Reg", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tracker");
        RemoveListedDetections(*scan);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Whatever happened, the hive is whole: unchanged or a sound hive.
    QVERIFY(readTestFile(software) == bytes || HiveFile::open(software) != nullptr);
}

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
