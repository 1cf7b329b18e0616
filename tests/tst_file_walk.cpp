// The file walk over real folders: order, counters, stop, content check and
// the entries that must not be followed or read.
#include "platform/ProgressIndicator.h"
#include "scanner/ContentCheck.h"
#include "scanner/FileWalk.h"
#include "scanner/ScanSession.h"
#include "scanner/SignatureSearch.h"
#include "tests/support/TestAppFolder.h"
#include "tests/support/TestTables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

static QString digest(const QByteArray &b,
                      QCryptographicHash::Algorithm a = QCryptographicHash::Md5)
{
    return QString::fromLatin1(QCryptographicHash::hash(b, a).toHex());
}

static EngineHandle engineOf(const QStringList &trojSig,
                             const QStringList &cookDb = {"***Bad", ".bad"})
{
    DatabaseTables t;
    setTableEntries(t.TrojSigEntries, t.TrojSigCount, trojSig);
    setTableEntries(t.CookDbEntries, t.CookDbCount, cookDb);
    return makeEngine(std::move(t));
}

static QStringList foundLocations(const ScanSession &session)
{
    QStringList l;
    for (qsizetype i = 1; i <= session.results().count(); ++i)
        l << session.results().row(i).location;
    return l;
}

// The walk written plainly as the recursion it stands for, on the names in
// the order the file system lists them: a file is found when its name ends
// with ".bad".  It gives what the scan must report.
struct ReferenceWalk {
    QStringList found;
    qint32 objects = 0;
    QString stopAfter; // the walk ends after this entry

    bool walk(const QString &path, bool isStart = true) // true when stopped
    {
        DIR *dir = ::opendir(QFile::encodeName(path));
        QStringList names;
        while (const dirent *d = dir ? ::readdir(dir) : nullptr)
            names << QFile::decodeName(d->d_name);
        if (dir)
            ::closedir(dir);
        for (const QString &name : names) {
            if (isStart && (name == "." || name == ".."))
                continue;
            const QString full = path + name;
            struct stat st;
            const bool isDir = ::lstat(QFile::encodeName(full), &st) == 0 && S_ISDIR(st.st_mode);
            if (!isDir && name.endsWith(".bad"))
                found << full;
            ++objects; // before a subfolder's walk: the total is the same
            if ((isDir && !name.startsWith('.') && walk(full + "/", false)) || full == stopAfter)
                return true;
        }
        return false;
    }
};

class TestFileWalk : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void walkAgainstReference();
    void sizesAndContentCheck();

private:
    QString root() const { return m_app->path() + "/scan/"; }
    QByteArray native(const char *name = "") const { return QFile::encodeName(root() + name); }
    std::unique_ptr<TestAppFolder> m_app;
};

void TestFileWalk::init()
{
    m_app.reset();
    m_app = std::make_unique<TestAppFolder>();
}

void TestFileWalk::cleanup()
{
    for (const char *mountPoint : {"other-fs", "sub/again"})
        ::umount2(native(mountPoint), MNT_DETACH);
    ::chmod(native("locked"), 0700);
}

void TestFileWalk::walkAgainstReference()
{
    const QString outside = m_app->path() + "/outside/";
    writeTestFile(outside + "target.bin", "linked payload");
    const EngineHandle engine =
        engineOf({digest("linked payload") + " Linked.Payload"},
                 {"***Bad", ".bad", "***Tracking Cookie", "123456789012*4567", "***End"});
    for (const char *name : {"a.bad", "plain.txt", "sub/x.bad", "sub/deeper/y.bad", "sub/deeper/z",
                             "sub/.cache/hidden.bad", ".hidden/h.bad", "sub/deeper/empty/.keep",
                             "locked/inside.bad", "mozilla/z", "other-fs/.keep", "sub/again/.keep"})
        writeTestFile(root() + name, "k");
    const std::pair<QString, const char *> links[] = {
        {root(), "sub/loop"},          {outside + "target.bin", "link.bin"},
        {outside, "outside-link"},     {root() + "missing", "dangling"},
        {root() + "ring-b", "ring-a"}, {root() + "ring-a", "ring-b"},
        {"/dev/zero", "zero"}};
    for (const auto &[target, name] : links)
        QVERIFY(QFile::link(target, root() + name));
    // Opening a FIFO to read it would wait for a writer for ever.
    for (const char *fifo : {"pipe.bad", "plain-pipe", "mozilla/cookies.txt"})
        QCOMPARE(::mkfifo(native(fifo), 0600), 0);
    // Only the superuser lists it; for anyone else the reference fails too.
    QVERIFY(QFile::setPermissions(root() + "locked", QFileDevice::Permissions()));
    // Each walk in a session of its own.
    std::unique_ptr<ScanSession> session;
    const auto newSession = [&] {
        session = m_app->newSession(engine);
        return session.get();
    };

    ReferenceWalk ref;
    ref.walk(root());
    ScanFolder(*newSession(), root());
    QCOMPARE(foundLocations(*session), ref.found);
    QCOMPARE(session->state().DetectionCount, ::geteuid() == 0 ? 5 : 4);
    QCOMPARE(session->state().ObjectsScanned, ref.objects);

    // A stop asked for at a file two levels down ends the walk there.
    ReferenceWalk stopped;
    stopped.stopAfter = root() + "sub/deeper/y.bad";
    QVERIFY(stopped.walk(root()));
    ScanSession &stopping = *newSession();
    QObject::connect(&stopping.results(), &QAbstractItemModel::rowsInserted, [&] {
        if (foundLocations(stopping).last() == stopped.stopAfter)
            stopping.requestStop();
    });
    ScanFolder(stopping, root());
    QCOMPARE(foundLocations(stopping), stopped.found);
    QCOMPARE(stopping.state().ObjectsScanned, stopped.objects);
    QCOMPARE(stopping.state().CurrentFilePath, stopped.stopAfter);

    // A start folder that cannot be listed counts nothing.
    ScanFolder(*newSession(), root() + "missing/");
    QCOMPARE(session->state().ObjectsScanned, 0);
    QCOMPARE(session->state().CurrentFilePath, QString());

    // Another file system and the start folder bound below itself are
    // counted but not entered, so their ".", ".." and ".keep" drop out.
    if (::mount("none", native("other-fs"), "tmpfs", 0, nullptr) != 0)
        QSKIP("mounting needs the superuser");
    writeTestFile(root() + "other-fs/inside.bad", "i");
    QCOMPARE(::mount(native(), native("sub/again"), nullptr, MS_BIND, nullptr), 0);
    ScanFolder(*newSession(), root());
    QCOMPARE(foundLocations(*session), ref.found);
    QCOMPARE(session->state().ObjectsScanned, ref.objects - 6);
}

void TestFileWalk::sizesAndContentCheck()
{
    const QByteArray atLimit(kContentCheckLimit, 'q'), overLimit(kContentCheckLimit + 1, 'q');
    writeTestFile(root() + "at-limit.bin", atLimit);
    writeTestFile(root() + "over-limit.bin", overLimit);
    writeTestFile(root() + "empty.bin", {});
    // A sparse file too large to be read, and a link that counts as its size.
    writeTestFile(root() + "big", {});
    QVERIFY(QFile(root() + "big").resize(15000000));
    QVERIFY(QFile::link(root() + "big", root() + "big-link"));
    QStringList sigs{digest(atLimit) + " At", digest(overLimit) + " Over", digest({}) + " Empty"};
    sigs.sort();
    SilentProgress bar;
    ScanCallbacks withBar;
    withBar.progress = &bar;
    const std::unique_ptr<ScanSession> walk = m_app->newSession(engineOf(sigs), withBar);
    ScanFolder(*walk, root());
    QCOMPARE(foundLocations(*walk), QStringList{root() + "at-limit.bin"});
    QCOMPARE(walk->state().BytesScanned, 35000001.0);
    QCOMPARE(bar.value(), 3.0); // floor(35,000,001 / 10,240,000)

    const QByteArray content("signature sample content");
    const QString path = root() + "sample.bin";
    writeTestFile(path, content);
    const QString md5 = digest(content), sha1 = digest(content, QCryptographicHash::Sha1);
    // The table, whether the file is found and the threat name left behind.
    const std::tuple<QStringList, bool, QString> cases[] = {
        {{md5 + " Short.Entry"}, true, "Short.Entry"},
        {{md5 + ":" + sha1 + ":Long.Entry"}, true, "Long.Entry"},
        // A colon in a short entry turns the start of the name into a second
        // digest that can never fit.
        {{md5 + ":Colon.Short"}, false, "Colon.Short"},
        // An empty entry ends the table.
        {{QString(32, '0') + " Low", QString(), md5 + " After.Empty"}, false, "Low"},
        // A larger digest ends the search, even in a table out of order.
        {{QString(32, 'f') + " High", md5 + " After.High"}, false, "High"},
        // Two entries with the file's MD5: only the second one's SHA-1 fits.
        {{md5 + ":" + QString(40, 'e') + ":First", md5 + ":" + sha1 + ":Second"}, true, "Second"},
    };
    for (const auto &[table, found, name] : cases) {
        const EngineHandle engine = engineOf(table);
        const ContentVerdict verdict = searchSignatures(*engine, content);
        QCOMPARE(verdict.matched, found);
        QCOMPARE(verdict.threatName, std::optional<QString>(name));
        const std::unique_ptr<ScanSession> session = m_app->newSession(engine);
        QCOMPARE(FileScan(*session, path), found);
        QCOMPARE(session->state().CurrentThreatName, name);
    }
    // Nothing is read from an empty content: the name of a scan stays.
    const ContentVerdict empty = searchSignatures(*engineOf({digest({}) + " Empty"}), {});
    QVERIFY(!empty.matched && !empty.threatName);

    // A long search in a table out of order (every entry read, none larger
    // than the file's digest) lets the window's events run now and then.
    QStringList unordered;
    for (int i = 3 * 4096; i > 0; --i)
        unordered << QString::number(i).rightJustified(32, '0') + " Low";
    int passes = 0;
    ScanCallbacks counting;
    counting.processEvents = [&passes] { ++passes; };
    const std::unique_ptr<ScanSession> slow = m_app->newSession(engineOf(unordered), counting);
    QVERIFY(!FileScan(*slow, path));
    QVERIFY2(passes > 2, qPrintable(QString::number(passes)));

    // The search may start late in a large sorted table: the answer and the
    // name left behind must be those of reading the table from its start.
    QRandomGenerator rng(7);
    QStringList table;
    QByteArrayList contents;
    for (int i = 0; i < 2030; ++i) {
        contents << QByteArray::number(rng.generate64());
        if (i >= 30 || i % 3 == 0)
            table << digest(contents[i]) + " Threat." + QString::number(i);
    }
    table.sort();
    const std::unique_ptr<ScanSession> sorted = m_app->newSession(engineOf(table));
    for (int i = 0; i < 30; ++i) {
        const QString d1 = digest(contents[i]);
        const auto at = std::find_if(table.cbegin(), table.cend(),
                                     [&](const QString &e) { return e.left(32) >= d1; });
        const bool expected = at != table.cend() && at->left(32) == d1;
        QCOMPARE(expected, i % 3 == 0);
        writeTestFile(path, contents[i]);
        sorted->state().CurrentThreatName.clear();
        QCOMPARE(FileScan(*sorted, path), expected);
        QCOMPARE(sorted->state().CurrentThreatName,
                 signatureThreatName(at != table.cend() ? *at : table.last()));
    }
}

QTEST_GUILESS_MAIN(TestFileWalk)
#include "tst_file_walk.moc"
