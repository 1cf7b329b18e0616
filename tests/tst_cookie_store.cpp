// Browser cookie stores: recognising them, the lines built from their rows
// for every schema, reading a store a browser holds, files that are no
// store, and removing rows.
#include "platform/UniqueFd.h"
#include "removal/CookieStoreRemoval.h"
#include "removal/Removal.h"
#include "scanner/CookieLineMatch.h"
#include "scanner/CookieScan.h"
#include "scanner/CookieStoreKind.h"
#include "scanner/CookieStoreLine.h"
#include "scanner/CookieStoreReader.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "tests/support/CookieStoreBuilder.h"
#include "tests/support/CookieStoreFiles.h"
#include "tests/support/TestAppFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sqlite3.h>

#include <cstdio>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

UniqueFd openIn(const UniqueFd &folder, const QByteArray &name)
{
    return UniqueFd(
        ::openat(folder.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

struct StoreRead {
    CookieStoreReadResult result;
    QList<QByteArray> lines;
};

// Reads the store at path as the walk would: its folder and the file open.
StoreRead readStore(const QString &path, CookieStoreKind kind, const QString &scratch = QString(),
                    qsizetype stopAfter = -1)
{
    const QFileInfo info(path);
    const UniqueFd folder = openFolder(info.path());
    const UniqueFd file = openIn(folder, QFile::encodeName(info.fileName()));
    StoreRead read;
    const CookieStoreFile store{folder.get(), QFile::encodeName(info.fileName()), file.get()};
    read.result = readCookieStore(
        store, kind,
        [&](const QByteArray &line) {
            read.lines.append(line);
            return read.lines.size() != stopAfter;
        },
        scratch);
    return read;
}

CookieStoreRemovalResult removeLines(const QString &path, CookieStoreKind kind,
                                     const QList<QByteArray> &lines,
                                     CookieStoreIdentity identity = {})
{
    const QFileInfo info(path);
    if (identity.inode == 0)
        identity = identityOf(path);
    const UniqueFd folder = openFolder(info.path());
    return removeCookieStoreLines(folder.get(), QFile::encodeName(info.fileName()), kind, identity,
                                  lines);
}

// Every entry of a folder with what may change: kind, size, owner, mode and
// modification time.
QStringList folderState(const QString &path)
{
    QStringList state;
    const QDir dir(path);
    for (const QString &name : dir.entryList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        struct stat st {
        };
        ::lstat(QFile::encodeName(dir.filePath(name)).constData(), &st);
        state << QStringLiteral("%1 %2 %3 %4:%5 %6 %7.%8")
                     .arg(name)
                     .arg(st.st_mode, 0, 8)
                     .arg(st.st_size)
                     .arg(st.st_uid)
                     .arg(st.st_gid)
                     .arg(st.st_nlink)
                     .arg(st.st_mtim.tv_sec)
                     .arg(st.st_mtim.tv_nsec);
    }
    return state;
}

// Another process holding a store open, as a running browser does: it runs
// sql on the store and keeps the connection (and any open transaction) until
// the object goes.
class StoreHolder
{
public:
    StoreHolder(const QString &path, const QByteArray &sql)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--hold-store"), path, QString::fromUtf8(sql)});
        m_ready = m_process.waitForStarted() && m_process.waitForReadyRead(60000) &&
                  m_process.readLine() == "ready\n";
    }
    ~StoreHolder()
    {
        m_process.closeWriteChannel();
        m_process.waitForFinished();
    }
    bool isReady() const { return m_ready; }

private:
    QProcess m_process;
    bool m_ready = false;
};

// The holder's side, in the child process.
int holdStore(const char *path, const char *sql)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(path, &db) != SQLITE_OK ||
        sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "holder: %s\n", sqlite3_errmsg(db));
        return 1;
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char buffer[64];
    while (::read(0, buffer, sizeof buffer) > 0) {
    }
    sqlite3_close(db);
    return 0;
}

TestCookie cookie(const QByteArray &host, const QByteArray &name, const QByteArray &value,
                  qint64 expiry, bool secure = false, const QByteArray &path = "/")
{
    TestCookie c;
    c.host = host;
    c.name = name;
    c.value = value;
    c.expiry = expiry;
    c.secure = secure;
    c.path = path;
    return c;
}

const CookieStoreLayout kLayouts[] = {
    CookieStoreLayout::Firefox2008,  CookieStoreLayout::Firefox2012,
    CookieStoreLayout::Firefox2020,  CookieStoreLayout::Firefox2025,
    CookieStoreLayout::Chromium2009, CookieStoreLayout::Chromium2015,
    CookieStoreLayout::Chromium2024,
};

// Layouts that keep cookies of one host, path and name apart by another column.
bool hasPartitionKey(CookieStoreLayout layout)
{
    return layout == CookieStoreLayout::Firefox2020 || layout == CookieStoreLayout::Firefox2025 ||
           layout == CookieStoreLayout::Chromium2024;
}

CookieStoreKind kindOf(CookieStoreLayout layout)
{
    return isFirefoxLayout(layout) ? CookieStoreKind::Firefox : CookieStoreKind::Chromium;
}

QString storeName(CookieStoreLayout layout)
{
    return isFirefoxLayout(layout) ? QStringLiteral("cookies.sqlite") : QStringLiteral("Cookies");
}

// A store with three cookies for tests that need any store.
QString makeStore(const QString &folder, CookieStoreLayout layout, bool wal = false)
{
    const bool firefox = isFirefoxLayout(layout);
    const auto expiry = [&](qint64 t) { return firefox ? t : chromiumTime(t); };
    const QString path = folder + "/" + storeName(layout);
    QDir().mkpath(folder);
    QString error;
    if (!writeCookieStore(path, layout,
                          {cookie(".tracker.test", "id", "1", expiry(2000000000)),
                           cookie("www.example.org", "keep", "2", expiry(2000000001)),
                           cookie("ads.test", "uid", "3", expiry(2000000002), true, "/x")},
                          {wal, 4096}, &error))
        qWarning() << "cannot write a store:" << error;
    return path;
}

// Whether a removal left a row because a browser held its store open.
bool browserHeldAStore(const QList<RowRemoval> &outcomes)
{
    return std::any_of(outcomes.cbegin(), outcomes.cend(), [](const RowRemoval &r) {
        return r.outcome == RemovalOutcome::BrowserLocked;
    });
}

} // namespace

class TestCookieStore : public QObject
{
    Q_OBJECT
private slots:
    void recognisesStoresByNameAndContent();
    void linesOfEverySchema_data();
    void linesOfEverySchema();
    void expiryInUnixSeconds();
    void storeBrowserHoldsIsReadFromPrivateCopy();
    void filesThatAreNoUsableStore();
    void oversizedRowsAndStop();
    void companionLinksAndFifosAreNeverUsed();
    void removesRowsOfLines_data();
    void removesRowsOfLines();
    void removalTakesInUnmergedLog();
    void removalLeavesStoresItMustNotChange();
    void lineMatchingAsForCookiesTxt();
    void demoStoresHoldOneTrackingCookieEach();
    void scanAndRemovalOfStoresInTheTree();

private:
    QTemporaryDir m_dir;
    QString path(const QString &sub) const { return m_dir.path() + "/" + sub; }
};

void TestCookieStore::recognisesStoresByNameAndContent()
{
    const QString chromium = makeStore(path("recognise/Default"), CookieStoreLayout::Chromium2024);
    const QString firefox = makeStore(path("recognise/profile"), CookieStoreLayout::Firefox2020);
    writeTestFile(path("recognise/text/Cookies"), "SQLite format 2\0 just text");
    writeTestFile(path("recognise/text/cookies.sqlite"), "not a database");
    QDir().mkpath(path("recognise/other"));
    QVERIFY(execSql(path("recognise/other/COOKIES"), "CREATE TABLE moz_cookies (host TEXT)"));
    QDir().mkpath(path("recognise/folder/Cookies"));

    const struct {
        QString file;
        QString listedAs;
        CookieStoreKind kind;
    } cases[] = {
        {chromium, "Cookies", CookieStoreKind::Chromium},
        {chromium, "cOOKIES", CookieStoreKind::Chromium},
        {chromium, "Cookies.db", CookieStoreKind::None},
        {chromium, "cookies.sqlite", CookieStoreKind::Firefox},
        {firefox, "cookies.sqlite", CookieStoreKind::Firefox},
        {firefox, "COOKIES.SQLITE", CookieStoreKind::Firefox},
        // A Firefox store has no table "cookies".
        {firefox, "Cookies", CookieStoreKind::None},
        {path("recognise/text/Cookies"), "Cookies", CookieStoreKind::None},
        // Firefox's name alone decides; its content fails when it is read.
        {path("recognise/text/cookies.sqlite"), "cookies.sqlite", CookieStoreKind::Firefox},
        {path("recognise/other/COOKIES"), "COOKIES", CookieStoreKind::None},
        {path("recognise/folder/Cookies"), "Cookies", CookieStoreKind::None},
        {path("recognise/folder/Cookies"), "cookies.sqlite", CookieStoreKind::None},
    };
    for (const auto &c : cases) {
        const UniqueFd file(::open(QFile::encodeName(c.file).constData(), O_RDONLY | O_CLOEXEC));
        QVERIFY(file.isOpen());
        QCOMPARE(recogniseCookieStore(c.listedAs, file.get()), c.kind);
    }
    QCOMPARE(recogniseCookieStore(u"Cookies", -1), CookieStoreKind::None);
    // Reading the folder named Cookies is refused, not attempted.
    const UniqueFd folder(::open(QFile::encodeName(path("recognise/folder/Cookies")).constData(),
                                 O_RDONLY | O_DIRECTORY));
    const CookieStoreReadResult read =
        readCookieStore({-1, "Cookies", folder.get()}, CookieStoreKind::Chromium,
                        [](const QByteArray &) { return true; });
    QCOMPARE(read.outcome, CookieStoreReadOutcome::Unreadable);
}

void TestCookieStore::linesOfEverySchema_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("wal");
    QTest::addColumn<QString>("folder");
    for (const CookieStoreLayout layout : kLayouts) {
        for (const bool wal : {false, true}) {
            const QByteArray tag = QByteArray::number(int(layout)) + (wal ? " wal" : " journal");
            // Chromium keeps its store in the profile folder, recent versions
            // in its Network subfolder.
            const QString folder = isFirefoxLayout(layout) ? "Profiles/x.default"
                                   : wal                   ? "User Data/Default/Network"
                                                           : "User Data/Default";
            QTest::newRow(tag.constData()) << int(layout) << wal << "lines/" + tag + "/" + folder;
        }
    }
}

void TestCookieStore::linesOfEverySchema()
{
    QFETCH(int, layout);
    QFETCH(bool, wal);
    QFETCH(QString, folder);
    const auto l = CookieStoreLayout(layout);
    const bool firefox = isFirefoxLayout(l);
    const bool milliseconds = l == CookieStoreLayout::Firefox2025;
    // Expiries as each store keeps them, and the Unix seconds they stand for.
    const auto stored = [&](qint64 seconds, qint64 fraction) {
        return firefox ? (milliseconds ? seconds * 1000 + fraction : seconds)
                       : chromiumTime(seconds) + fraction * 1000;
    };
    QList<TestCookie> cookies = {
        cookie(".doubleclick.net", "id", "AB+cd/ef==", stored(1791464381, 742), true),
        cookie("www.example.org", "pref", "", 0, false, "/a b/"),
        cookie("h\xc3\xa9te.test", "n\xc3\xa4me", "v\xc3\xa2lue;x", stored(1700000000, 999), false,
               "/\xe2\x82\xac"),
        cookie(".before.test", "old", "1", stored(-86400, 0), true, "/p"),
    };
    // Same host, path and name in another container (Firefox) or top-frame
    // site (Chromium): a row of its own, a line of its own.
    if (hasPartitionKey(l)) {
        cookies.append(cookie(".doubleclick.net", "id", "other", stored(2000000000, 0)));
        cookies.last().partitionKey = "^userContextId=2";
    }
    if (!firefox && l != CookieStoreLayout::Chromium2009) {
        // An enciphered value: the value column is empty.
        cookies.append(cookie("secret.test", "s", "", stored(1800000000, 0), true));
        cookies.last().encryptedValue = QByteArray("v10\x00\x01\xff", 6);
    }
    const QString store = path(folder) + "/" + storeName(l);
    QDir().mkpath(path(folder));
    QString error;
    QVERIFY2(writeCookieStore(store, l, cookies, {wal, 4096}, &error), qPrintable(error));
    const QByteArray bytes = readTestFile(store);
    const QStringList before = folderState(path(folder));

    const StoreRead read = readStore(store, kindOf(l));
    QCOMPARE(read.result.outcome, CookieStoreReadOutcome::Read);
    QVERIFY(!read.result.fromPrivateCopy);
    QCOMPARE(read.result.rowsPassedOver, 0);
    // A Chromium session cookie (0) has expiry 0; a Firefox expiry of 0 is 0
    // seconds too.  Expiries round down, before 1970 as well.
    QList<QByteArray> expected = {
        ".doubleclick.net\tTRUE\t/\tTRUE\t1791464381\tid\tAB+cd/ef==\n",
        "www.example.org\tFALSE\t/a b/\tFALSE\t0\tpref\t\n",
        "h\xc3\xa9te.test\tFALSE\t/\xe2\x82\xac\tFALSE\t1700000000\tn\xc3\xa4me\tv\xc3\xa2lue;x\n",
        ".before.test\tTRUE\t/p\tTRUE\t-86400\told\t1\n",
    };
    if (hasPartitionKey(l))
        expected.append(".doubleclick.net\tTRUE\t/\tFALSE\t2000000000\tid\tother\n");
    if (!firefox && l != CookieStoreLayout::Chromium2009)
        expected.append("secret.test\tFALSE\t/\tTRUE\t1800000000\ts\t\n");
    QCOMPARE(read.lines, expected);
    QCOMPARE(read.result.linesDelivered, expected.size());
    // Read, never written: the file and its folder are as they were.
    QCOMPARE(readTestFile(store), bytes);
    QCOMPARE(folderState(path(folder)), before);
}

void TestCookieStore::expiryInUnixSeconds()
{
    const struct {
        qint64 stored;
        CookieExpiryUnit unit;
        qint64 seconds;
    } cases[] = {
        {1791464381, CookieExpiryUnit::UnixSeconds, 1791464381},
        {0, CookieExpiryUnit::UnixSeconds, 0},
        {1791464381742, CookieExpiryUnit::UnixMilliseconds, 1791464381},
        {-1, CookieExpiryUnit::UnixMilliseconds, -1},
        {0, CookieExpiryUnit::MicrosecondsSince1601, 0},
        {11644473600000000, CookieExpiryUnit::MicrosecondsSince1601, 0},
        {11644473600999999, CookieExpiryUnit::MicrosecondsSince1601, 0},
        {11644473599999999, CookieExpiryUnit::MicrosecondsSince1601, -1},
        {13390000000123456, CookieExpiryUnit::MicrosecondsSince1601, 1745526400},
        {1, CookieExpiryUnit::MicrosecondsSince1601, -11644473600},
        {std::numeric_limits<qint64>::max(), CookieExpiryUnit::MicrosecondsSince1601,
         9223372036854 - 11644473600},
        {std::numeric_limits<qint64>::min(), CookieExpiryUnit::MicrosecondsSince1601,
         -9223372036855 - 11644473600},
    };
    for (const auto &c : cases)
        QCOMPARE(unixExpiry(c.stored, c.unit), c.seconds);
}

void TestCookieStore::storeBrowserHoldsIsReadFromPrivateCopy()
{
    // Chromium running: an exclusive lock and an unfinished transaction
    // whose pages are already written to the file (its cache is tiny); its
    // journal, rolled back in the copy, gives the committed rows.
    const QString chromium = makeStore(path("held/chromium"), CookieStoreLayout::Chromium2024);
    const QList<QByteArray> committed = readStore(chromium, CookieStoreKind::Chromium).lines;
    QCOMPARE(committed.size(), 3);
    const QByteArray committedBytes = readTestFile(chromium);
    QDir().mkpath(path("scratch"));
    {
        StoreHolder browser(chromium, "PRAGMA locking_mode=EXCLUSIVE; PRAGMA cache_size=1; "
                                      "BEGIN EXCLUSIVE; DELETE FROM cookies WHERE name = 'keep'; "
                                      "UPDATE cookies SET value = hex(randomblob(3000));");
        QVERIFY(browser.isReady());
        QVERIFY(readTestFile(chromium) != committedBytes);
        const QStringList before = folderState(path("held/chromium"));
        const StoreRead read = readStore(chromium, CookieStoreKind::Chromium, path("scratch"));
        QCOMPARE(read.result.outcome, CookieStoreReadOutcome::Read);
        QVERIFY(read.result.fromPrivateCopy);
        QCOMPARE(read.lines, committed);
        QCOMPARE(folderState(path("held/chromium")), before);
        // The private copy is gone.
        QCOMPARE(
            QDir(path("scratch")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }

    // Firefox running in WAL mode with a row only in its log.
    const QString firefox = makeStore(path("held/firefox"), CookieStoreLayout::Firefox2020, true);
    {
        StoreHolder browser(firefox,
                            "PRAGMA wal_autocheckpoint=0; INSERT INTO moz_cookies (name, value, "
                            "host, path, expiry, isSecure) VALUES ('new', 'v', '.log.test', '/', "
                            "5, 0); BEGIN; SELECT count(*) FROM moz_cookies;");
        QVERIFY(browser.isReady());
        QVERIFY(QFileInfo(firefox + "-wal").size() > 0);
        const QStringList before = folderState(path("held/firefox"));
        const StoreRead read = readStore(firefox, CookieStoreKind::Firefox, path("scratch"));
        QCOMPARE(read.result.outcome, CookieStoreReadOutcome::Read);
        QVERIFY(read.result.fromPrivateCopy);
        QCOMPARE(read.lines.size(), 4);
        QCOMPARE(read.lines.last(), QByteArray(".log.test\tTRUE\t/\tFALSE\t5\tnew\tv\n"));
        QCOMPARE(folderState(path("held/firefox")), before);

        // The same files left by a browser that crashed: the log is
        // replayed in the copy, the original is left as it is.
        QDir().mkpath(path("held/crashed"));
        for (const char *suffix : {"", "-wal"})
            QVERIFY(QFile::copy(firefox + suffix, path("held/crashed/cookies.sqlite") + suffix));
    }
    const QString crashed = path("held/crashed/cookies.sqlite");
    const QStringList before = folderState(path("held/crashed"));
    const StoreRead read = readStore(crashed, CookieStoreKind::Firefox);
    QVERIFY(read.result.fromPrivateCopy);
    QCOMPARE(read.lines.size(), 4);
    QCOMPARE(folderState(path("held/crashed")), before);
}

void TestCookieStore::filesThatAreNoUsableStore()
{
    const QString good = makeStore(path("bad/good"), CookieStoreLayout::Firefox2020);
    const QByteArray bytes = readTestFile(good);
    QVERIFY(bytes.size() >= 3 * 4096);
    // Damage: the table's pages overwritten, the file cut short, the header
    // alone, the header's page size broken, an empty file.
    QByteArray garbage = bytes;
    for (qsizetype i = 4096; i < garbage.size(); ++i)
        garbage[i] = char(0xA5 ^ i);
    QByteArray badPageSize = bytes;
    badPageSize[16] = 3;
    const std::pair<QByteArray, CookieStoreReadOutcome> damaged[] = {
        {garbage, CookieStoreReadOutcome::NotADatabase},
        {bytes.left(4096 + 100), CookieStoreReadOutcome::NotADatabase},
        {bytes.left(100), CookieStoreReadOutcome::NotADatabase},
        {badPageSize, CookieStoreReadOutcome::NotADatabase},
        {QByteArray(), CookieStoreReadOutcome::NotADatabase},
        {"# Netscape HTTP Cookie File\n", CookieStoreReadOutcome::NotADatabase},
    };
    int n = 0;
    for (const auto &[content, outcome] : damaged) {
        const QString file = path(QString("bad/%1/cookies.sqlite").arg(++n));
        writeTestFile(file, content);
        const StoreRead read = readStore(file, CookieStoreKind::Firefox);
        QCOMPARE(read.result.outcome, outcome);
        QVERIFY(read.lines.isEmpty());
        QCOMPARE(readTestFile(file), content);
    }

    // Databases that are no store of the kind.
    const std::pair<QByteArray, CookieStoreReadOutcome> schemas[] = {
        {"CREATE TABLE other (x)", CookieStoreReadOutcome::NoCookieTable},
        {"CREATE VIEW moz_cookies AS SELECT 1 AS host", CookieStoreReadOutcome::NoCookieTable},
        {"CREATE VIRTUAL TABLE moz_cookies USING fts4(host, path, isSecure, expiry, name, value)",
         CookieStoreReadOutcome::NoCookieTable},
        {"CREATE TABLE moz_cookies (host, path, expiry, name, value)",
         CookieStoreReadOutcome::MissingColumns},
        {"CREATE TABLE moz_cookies (host, path, isSecure, expiry, name, value, rowid)",
         CookieStoreReadOutcome::MissingColumns},
        {"CREATE TABLE moz_cookies (host, path, isSecure, expiry, name, value PRIMARY KEY) "
         "WITHOUT ROWID",
         CookieStoreReadOutcome::MissingColumns},
        // Column and table names in another letter case are the same names.
        {"CREATE TABLE MOZ_COOKIES (HOST, PATH, ISSECURE, EXPIRY, NAME, VALUE); INSERT INTO "
         "moz_cookies VALUES ('h', '/', 1, 2, 'n', x'41')",
         CookieStoreReadOutcome::Read},
    };
    for (const auto &[sql, outcome] : schemas) {
        const QString file = path(QString("bad/%1/cookies.sqlite").arg(++n));
        QDir().mkpath(QFileInfo(file).path());
        QVERIFY(execSql(file, sql));
        const StoreRead read = readStore(file, CookieStoreKind::Firefox);
        QCOMPARE(read.result.outcome, outcome);
        QCOMPARE(read.lines.size(), outcome == CookieStoreReadOutcome::Read ? 1 : 0);
    }
    QCOMPARE(
        readStore(path(QString("bad/%1/cookies.sqlite").arg(n)), CookieStoreKind::Firefox).lines,
        QList<QByteArray>{"h\tFALSE\t/\tTRUE\t2\tn\tA\n"});
}

void TestCookieStore::oversizedRowsAndStop()
{
    // Rows too large for a line or for memory are passed over, the rows
    // around them are read.
    const QString store = path("large/Cookies");
    QDir().mkpath(path("large"));
    QList<TestCookie> cookies = {
        cookie("a.test", "a", "1", 0), cookie("b.test", "b", QByteArray(70000, 'x'), 0),
        cookie("c.test", "c", "3", 0), cookie("d.test", "d", QByteArray(2 << 20, 'y'), 0),
        cookie("e.test", "e", "5", 0)};
    QVERIFY(writeCookieStore(store, CookieStoreLayout::Chromium2024, cookies));
    const StoreRead read = readStore(store, CookieStoreKind::Chromium);
    QCOMPARE(read.result.outcome, CookieStoreReadOutcome::Read);
    QCOMPARE(read.result.rowsPassedOver, 2);
    QCOMPARE(read.lines, (QList<QByteArray>{"a.test\tFALSE\t/\tFALSE\t0\ta\t1\n",
                                            "c.test\tFALSE\t/\tFALSE\t0\tc\t3\n",
                                            "e.test\tFALSE\t/\tFALSE\t0\te\t5\n"}));
    // The sink stops the reading.
    const StoreRead stopped = readStore(store, CookieStoreKind::Chromium, QString(), 2);
    QCOMPARE(stopped.result.outcome, CookieStoreReadOutcome::Stopped);
    QCOMPARE(stopped.lines.size(), 2);
    // A sink that throws ends the reading as a failure, not by unwinding.
    const UniqueFd folder = openFolder(path("large"));
    const UniqueFd file = openIn(folder, "Cookies");
    int calls = 0;
    const CookieStoreReadResult thrown =
        readCookieStore({folder.get(), "Cookies", file.get()}, CookieStoreKind::Chromium,
                        [&](const QByteArray &) -> bool { throw ++calls; });
    QCOMPARE(thrown.outcome, CookieStoreReadOutcome::Unreadable);
    QCOMPARE(calls, 1);
}

void TestCookieStore::companionLinksAndFifosAreNeverUsed()
{
    // Companion names planted as links to files elsewhere and as a FIFO:
    // reading never opens them (no hang on the FIFO), the files they lead to
    // stay as they were, and the store is read from its own file.
    const QString store = makeStore(path("links/p"), CookieStoreLayout::Firefox2020, true);
    writeTestFile(path("links/victim"), "precious");
    QVERIFY(QFile::link(path("links/victim"), store + "-wal"));
    QVERIFY(QFile::link(path("links/victim"), store + "-shm"));
    QCOMPARE(::mkfifo(QFile::encodeName(store + "-journal").constData(), 0600), 0);
    const StoreRead read = readStore(store, CookieStoreKind::Firefox);
    QCOMPARE(read.result.outcome, CookieStoreReadOutcome::Read);
    QCOMPARE(read.lines.size(), 3);
    QVERIFY(!read.result.fromPrivateCopy);
    QCOMPARE(readTestFile(path("links/victim")), QByteArray("precious"));
    // A log planted as a second name of another file is not read either: the
    // store is read in place, not copied with it.
    QVERIFY(QFile::remove(store + "-wal"));
    QCOMPARE(::link(QFile::encodeName(path("links/victim")).constData(),
                    QFile::encodeName(store + "-wal").constData()),
             0);
    QCOMPARE(readStore(store, CookieStoreKind::Firefox).result.fromPrivateCopy, false);

    // The store swapped for a link once the walk has opened it: the open
    // file is read, the link is not followed.
    const QString swapped = makeStore(path("links/s"), CookieStoreLayout::Chromium2024);
    const UniqueFd folder = openFolder(path("links/s"));
    const UniqueFd file = openIn(folder, "Cookies");
    QVERIFY(QFile::rename(swapped, path("links/s/moved")));
    QVERIFY(QFile::link(path("links/victim"), swapped));
    QList<QByteArray> lines;
    const CookieStoreReadResult result =
        readCookieStore({folder.get(), "Cookies", file.get()}, CookieStoreKind::Chromium,
                        [&](const QByteArray &line) {
                            lines.append(line);
                            return true;
                        });
    QCOMPARE(result.outcome, CookieStoreReadOutcome::Read);
    QCOMPARE(lines.size(), 3);
    // Removal refuses the planted companions and the link, and writes
    // through neither.
    const CookieStoreRemovalResult removal =
        removeLines(store, CookieStoreKind::Firefox, {read.lines.first()});
    QCOMPARE(removal.failure, CookieStoreRemovalFailure::Unusable);
    QCOMPARE(removal.lines, QList<CookieLineRemoval>{CookieLineRemoval::Failed});
    QCOMPARE(removeLines(swapped, CookieStoreKind::Chromium, {lines.first()},
                         identityOf(path("links/s/moved")))
                 .failure,
             CookieStoreRemovalFailure::Changed);
    QCOMPARE(readTestFile(path("links/victim")), QByteArray("precious"));
    QCOMPARE(readStore(store, CookieStoreKind::Firefox).lines, read.lines);
}

void TestCookieStore::removesRowsOfLines_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<bool>("wal");
    for (const CookieStoreLayout layout : kLayouts) {
        for (const bool wal : {false, true})
            QTest::newRow(QByteArray::number(int(layout)) + (wal ? " wal" : " journal"))
                << int(layout) << wal;
    }
}

void TestCookieStore::removesRowsOfLines()
{
    QFETCH(int, layout);
    QFETCH(bool, wal);
    const auto l = CookieStoreLayout(layout);
    const bool firefox = isFirefoxLayout(l);
    const CookieStoreKind kind = kindOf(l);
    // The values of the rows to go are distinct, to look for them in the file.
    QList<TestCookie> cookies = {
        cookie(".tracker.test", "id", "SECRET-1", 100),
        cookie("www.example.org", "keep", "2", 200),
        cookie(".tracker.test", "id", "1", 300, true, "/other"),
        cookie("ads.test", "uid", "SECRET-3", 400),
        cookie(".tracker.test", "keep", "4", 500),
        cookie("ads.test", "uid", "SECRET-6", 600, false, "/b"),
    };
    // The tracker's cookie once more in another container or top-frame site:
    // it goes with the line of the first.
    if (hasPartitionKey(l)) {
        cookies.append(cookie(".tracker.test", "id", "SECRET-7", 700));
        cookies.last().partitionKey = "^userContextId=1";
    }
    if (!firefox) {
        for (TestCookie &c : cookies)
            c.expiry = chromiumTime(c.expiry);
    }
    QDir().mkpath(path("remove"));
    const QString store = path("remove/") + QString::number(layout) + (wal ? "w" : "j");
    QDir().mkpath(store);
    const QString file = store + "/" + storeName(l);
    QVERIFY(writeCookieStore(file, l, cookies, {wal, 1024}));
    if (::geteuid() == 0)
        QCOMPARE(::chown(QFile::encodeName(file).constData(), 4321, 4322), 0);
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    const QStringList schemaBefore = queryStore(file, "SELECT type, name, tbl_name, sql FROM "
                                                      "sqlite_master ORDER BY name");
    struct stat before {
    };
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);
    const QStringList folderBefore = folderState(store);

    const QList<QByteArray> lines = readStore(file, kind).lines;
    QCOMPARE(lines.size(), cookies.size());
    const QList<QByteArray> asked = {
        lines.at(0), // the tracker: its row, and its twin in other columns
        lines.at(3), // ads.test uid at "/"
        lines.at(0), // twice in the list: one removal
        "gone.test\tFALSE\t/\tFALSE\t1\tx\ty\n", // no such row
        "not a line\n",                          // no row builds it, and it has no seven fields
        // ads.test's "/b" cookie changed after the scan: found by its fields.
        "ads.test\tFALSE\t/b\tFALSE\t600\tuid\tbefore\n",
    };
    const CookieStoreRemovalResult result = removeLines(file, kind, asked);
    QCOMPARE(result.failure, CookieStoreRemovalFailure::None);
    QCOMPARE(result.lines, (QList<CookieLineRemoval>{
                               CookieLineRemoval::Removed, CookieLineRemoval::Removed,
                               CookieLineRemoval::Removed, CookieLineRemoval::NotFound,
                               CookieLineRemoval::Unrecognised, CookieLineRemoval::Removed}));

    // The other rows stay as they were, in their order; the schema too.
    const QList<QByteArray> left = readStore(file, kind).lines;
    QCOMPARE(left, (QList<QByteArray>{lines.at(1), lines.at(2), lines.at(4)}));
    QCOMPARE(queryStore(file, "SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY name"),
             schemaBefore);
    QCOMPARE(queryStore(file, "PRAGMA integrity_check"), QStringList{"ok"});
    QCOMPARE(queryStore(file, "PRAGMA journal_mode"), QStringList{wal ? "wal" : "delete"});
    // Owner and mode kept; nothing new or left over in the folder.
    struct stat after {
    };
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode, before.st_mode);
    QStringList names;
    for (const QString &entry : folderBefore)
        names << entry.section(' ', 0, 0);
    QCOMPARE(
        QDir(store).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
        names);
    // The deleted values do not linger in the file's free pages.
    QVERIFY(!readTestFile(file).contains("SECRET-"));
}

void TestCookieStore::removalTakesInUnmergedLog()
{
    // A browser crashed with rows in the store's log: removal takes them in,
    // removes the row asked for (which is only in the log), and leaves a
    // whole store without the stale log.
    const QString source = makeStore(path("unmerged/source"), CookieStoreLayout::Firefox2025, true);
    QDir().mkpath(path("unmerged/crashed"));
    {
        StoreHolder browser(source, "PRAGMA wal_autocheckpoint=0; INSERT INTO moz_cookies "
                                    "(name, value, host, path, expiry, isSecure) VALUES "
                                    "('late', 'v', '.late.test', '/', 9000, 1), ('stay', 'w', "
                                    "'stay.test', '/', 0, 0);");
        QVERIFY(browser.isReady());
        for (const char *suffix : {"", "-wal"})
            QVERIFY(QFile::copy(source + suffix, path("unmerged/crashed/cookies.sqlite") + suffix));
    }
    const QString store = path("unmerged/crashed/cookies.sqlite");
    QVERIFY(QFileInfo(store + "-wal").size() > 0);
    const QList<QByteArray> lines = readStore(store, CookieStoreKind::Firefox).lines;
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(3), QByteArray(".late.test\tTRUE\t/\tTRUE\t9\tlate\tv\n"));
    const CookieStoreRemovalResult result =
        removeLines(store, CookieStoreKind::Firefox, {lines.at(3)});
    QCOMPARE(result.failure, CookieStoreRemovalFailure::None);
    QCOMPARE(result.lines, QList<CookieLineRemoval>{CookieLineRemoval::Removed});
    QVERIFY(!QFile::exists(store + "-wal"));
    const StoreRead after = readStore(store, CookieStoreKind::Firefox);
    QVERIFY(!after.result.fromPrivateCopy);
    QCOMPARE(after.lines, (QList<QByteArray>{lines.at(0), lines.at(1), lines.at(2), lines.at(4)}));
    QCOMPARE(queryStore(store, "PRAGMA integrity_check"), QStringList{"ok"});
}

void TestCookieStore::removalLeavesStoresItMustNotChange()
{
    const QString chromium = makeStore(path("keep/chromium"), CookieStoreLayout::Chromium2015);
    const QList<QByteArray> lines = readStore(chromium, CookieStoreKind::Chromium).lines;
    const QByteArray bytes = readTestFile(chromium);
    const QStringList folderBefore = folderState(path("keep/chromium"));
    const auto unchanged = [&](const CookieStoreRemovalResult &result,
                               CookieStoreRemovalFailure failure) {
        QCOMPARE(result.failure, failure);
        QCOMPARE(result.lines, QList<CookieLineRemoval>(lines.size(), CookieLineRemoval::Failed));
        QCOMPARE(readTestFile(chromium), bytes);
    };
    // A running browser: an exclusive lock, or any connection at all.
    for (const QByteArray &sql :
         {QByteArray("PRAGMA locking_mode=EXCLUSIVE; SELECT count(*) FROM cookies;"),
          QByteArray("BEGIN; SELECT count(*) FROM cookies;")}) {
        StoreHolder browser(chromium, sql);
        QVERIFY(browser.isReady());
        unchanged(removeLines(chromium, CookieStoreKind::Chromium, lines),
                  CookieStoreRemovalFailure::Locked);
    }
    QCOMPARE(folderState(path("keep/chromium")), folderBefore);
    // Firefox open in WAL mode, between transactions.
    const QString firefox = makeStore(path("keep/firefox"), CookieStoreLayout::Firefox2020, true);
    const QList<QByteArray> firefoxLines = readStore(firefox, CookieStoreKind::Firefox).lines;
    {
        StoreHolder browser(firefox, "SELECT count(*) FROM moz_cookies;");
        QVERIFY(browser.isReady());
        const CookieStoreRemovalResult result =
            removeLines(firefox, CookieStoreKind::Firefox, firefoxLines);
        QCOMPARE(result.failure, CookieStoreRemovalFailure::Locked);
    }
    QCOMPARE(readStore(firefox, CookieStoreKind::Firefox).lines, firefoxLines);

    // Not the file that was scanned: another file under the name since.
    const CookieStoreIdentity scanned = identityOf(chromium);
    QVERIFY(QFile::copy(chromium, path("keep/copy")));
    QVERIFY(QFile::rename(chromium, path("keep/original")));
    QVERIFY(QFile::rename(path("keep/copy"), chromium));
    unchanged(removeLines(chromium, CookieStoreKind::Chromium, lines, scanned),
              CookieStoreRemovalFailure::Changed);
    QVERIFY(QFile::remove(chromium));
    QVERIFY(QFile::rename(path("keep/original"), chromium));
    // Gone, and the wrong kind.
    QCOMPARE(
        removeLines(path("keep/none/Cookies"), CookieStoreKind::Chromium, lines, scanned).failure,
        CookieStoreRemovalFailure::Changed);
    unchanged(removeLines(chromium, CookieStoreKind::Firefox, lines),
              CookieStoreRemovalFailure::Unusable);
    // A second name (a hard link) would be cut off from the store.
    QCOMPARE(::link(QFile::encodeName(chromium).constData(),
                    QFile::encodeName(path("keep/second")).constData()),
             0);
    unchanged(removeLines(chromium, CookieStoreKind::Chromium, lines),
              CookieStoreRemovalFailure::Unusable);
    QVERIFY(QFile::remove(path("keep/second")));
    // Read-only: not removed without force, as for any file.
    QCOMPARE(::chmod(QFile::encodeName(chromium).constData(), 0444), 0);
    unchanged(removeLines(chromium, CookieStoreKind::Chromium, lines),
              CookieStoreRemovalFailure::ReadOnly);
    QCOMPARE(::chmod(QFile::encodeName(chromium).constData(), 0644), 0);
    // Damaged: the rows cannot be read, nothing is written.
    QByteArray damaged = bytes;
    for (qsizetype i = 4096; i < damaged.size(); ++i)
        damaged[i] = char(i * 7);
    writeTestFile(path("keep/damaged/Cookies"), damaged);
    const CookieStoreRemovalResult result =
        removeLines(path("keep/damaged/Cookies"), CookieStoreKind::Chromium, lines);
    QCOMPARE(result.failure, CookieStoreRemovalFailure::Unusable);
    QCOMPARE(readTestFile(path("keep/damaged/Cookies")), damaged);
    // Lines no row has: the store is not rewritten at all.
    const CookieStoreRemovalResult none =
        removeLines(chromium, CookieStoreKind::Chromium, {"x\tFALSE\t/\tFALSE\t0\tn\tv\n", "junk"});
    QCOMPARE(none.failure, CookieStoreRemovalFailure::None);
    QCOMPARE(none.lines, (QList<CookieLineRemoval>{CookieLineRemoval::NotFound,
                                                   CookieLineRemoval::Unrecognised}));
    QCOMPARE(identityOf(chromium).inode, scanned.inode);
    QCOMPARE(readTestFile(chromium), bytes);
}

void TestCookieStore::lineMatchingAsForCookiesTxt()
{
    const QStringList patterns = {"*tracking.demo.torvakine.test*", "*\tad[0-9]\t*"};
    QVERIFY(
        cookieLineMatches(".tracking.demo.torvakine.test\tTRUE\t/\tFALSE\t0\tv\t1\n", patterns));
    QVERIFY(cookieLineMatches("h\tFALSE\t/\tFALSE\t0\tad7\tx\n", patterns));
    // Letter case counts; comments and short lines are never tested.
    QVERIFY(
        !cookieLineMatches(".Tracking.Demo.Torvakine.test\tTRUE\t/\tFALSE\t0\tv\t1\n", patterns));
    QVERIFY(!cookieLineMatches("#tracking.demo.torvakine.test\n", patterns));
    QVERIFY(cookieLineMatches("ab\n", {"*"}));
    QVERIFY(!cookieLineMatches("a\n", {"*"}));
    // A pattern must take in the line feed.
    QVERIFY(!cookieLineMatches("h\tFALSE\t/\tFALSE\t0\tad7\tx\n", {"*x"}));
}

void TestCookieStore::demoStoresHoldOneTrackingCookieEach()
{
    // The sample database's tracking-cookie patterns, loaded as the program
    // loads them.
    TestAppFolder app;
    app.writeDatabase("cookdb.dat", readTestFile(TORVAKINE_SOURCE_DIR "/data/cookdb.txt"));
    const CookiePatterns cookies = app.loadEngine()->cookiePatterns();
    QVERIFY(cookies.found);
    const QStringList &patterns = cookies.patterns;

    QCOMPARE(QProcess::execute(TORVAKINE_DEMOSTORES, {app.filePath("demo")}), 0);
    const std::pair<QString, CookieStoreKind> stores[] = {
        {"Mozilla/Firefox/Profiles/demo.default/cookies.sqlite", CookieStoreKind::Firefox},
        {"Chromium/User Data/Default/Network/Cookies", CookieStoreKind::Chromium}};
    for (const auto &[store, kind] : stores) {
        const QString file = app.filePath("demo/" + store);
        const UniqueFd fd(::open(QFile::encodeName(file).constData(), O_RDONLY));
        QCOMPARE(recogniseCookieStore(QFileInfo(file).fileName(), fd.get()), kind);
        const QList<QByteArray> lines = readStore(file, kind).lines;
        QCOMPARE(lines.size(), 2);
        QVERIFY(!cookieLineMatches(lines.at(0), patterns));
        QVERIFY(cookieLineMatches(lines.at(1), patterns));
    }
}

void TestCookieStore::scanAndRemovalOfStoresInTheTree()
{
    TestAppFolder app;
    app.writeFile("lang.dat", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,"
                              "25,26,27,28,29,30,Not deleted:,Found:\r\n");
    app.writeDatabase("cookdb.dat", "***Adware.Sample\n\\notes\\cookies\n***Tracking Cookie\n"
                                    "TRACKCOOKIE:*.tracker.test*:END\n***End\n--ME-\n<<<>>\n");
    const QString root = path("tree");
    // A Firefox store (WAL), a Chromium store in its profile folder and one
    // in Network/, each with one tracking cookie among others; a file named
    // Cookies that is no database, a folder named Cookies, and cookies.txt.
    const QString firefox =
        makeStore(root + "/Users/u/AppData/Roaming/Mozilla/Firefox/Profiles/p.default",
                  CookieStoreLayout::Firefox2020, true);
    const QString profile = makeStore(root + "/Users/u/AppData/Local/Chromium/User Data/Default",
                                      CookieStoreLayout::Chromium2015);
    const QString network = makeStore(root + "/Users/u/AppData/Local/Chromium/User Data/Profile 1"
                                             "/Network",
                                      CookieStoreLayout::Chromium2024);
    writeTestFile(root + "/notes/Cookies", "not a database");
    writeTestFile(root + "/folder/Cookies/readme", "a folder named Cookies");
    writeTestFile(root + "/mozilla/cookies.txt", "www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n");
    QCOMPARE(::chown(QFile::encodeName(network).constData(), 4321, 4322), 0);
    QCOMPARE(::chmod(QFile::encodeName(network).constData(), 0640), 0);

    const auto scan = [&] {
        std::unique_ptr<ScanSession> session = app.newSession(app.loadEngine());
        ScanRun(*session).run(root + "/", false);
        return session;
    };
    std::unique_ptr<ScanSession> session = scan();
    QStringList rows;
    for (qsizetype i = 1; i <= session->results().count(); ++i)
        rows << session->results().row(i).name + "|" + session->results().row(i).location;
    rows.sort();
    const QString line = ".tracker.test\tTRUE\t/\tFALSE\t2000000000\tid\t1\n";
    QStringList expected(
        {"Adware.Sample|" + root + "/notes/Cookies",
         "Tracking Cookie|chromium:" + network + "+" + line,
         "Tracking Cookie|chromium:" + profile + "+" + line,
         "Tracking Cookie|firefox:" + firefox + "+" + line,
         "Tracking Cookie|mozilla:" + root +
             "/mozilla/cookies.txt+www.tracker.test\tFALSE\t/\tFALSE\t0\tid\t7\n"});
    expected.sort();
    QCOMPARE(rows, expected);
    QVERIFY(readTestFile(session->reportPath()).contains("Found: TRACKING COOKIE\r\nfirefox:"));

    // A browser holding the Firefox store keeps its row; the others go, each
    // store keeping its other rows, its schema, its owner and mode.
    {
        StoreHolder browser(firefox, "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;");
        QVERIFY(browser.isReady());
        QVERIFY(browserHeldAStore(RemoveListedDetections(*session)));
    }
    const QByteArray report = readTestFile(session->reportPath());
    QVERIFY2(report.contains("Not deleted: " + firefox.toUtf8() + "\r\n"), report.constData());
    QVERIFY(!report.contains("Not deleted: " + network.toUtf8()));
    for (const QString &store : {profile, network}) {
        QCOMPARE(queryStore(store, "SELECT host_key, name FROM cookies ORDER BY host_key"),
                 QStringList({"ads.test|uid", "www.example.org|keep"}));
        QCOMPARE(queryStore(store, "PRAGMA integrity_check"), QStringList{"ok"});
    }
    struct stat st {
    };
    QCOMPARE(::stat(QFile::encodeName(network).constData(), &st), 0);
    QVERIFY(st.st_uid == 4321 && st.st_gid == 4322 && (st.st_mode & 07777) == 0640);
    QCOMPARE(queryStore(firefox, "SELECT count(*) FROM moz_cookies"), QStringList{"3"});
    QVERIFY(QFile::exists(root + "/notes/Cookies") == false);

    // Closed, the browser's store gives its row up too.
    session = scan();
    QCOMPARE(session->results().count(), 1);
    QVERIFY(!browserHeldAStore(RemoveListedDetections(*session)));
    QCOMPARE(queryStore(firefox, "SELECT host FROM moz_cookies ORDER BY host"),
             QStringList({"ads.test", "www.example.org"}));
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--hold-store") == 0)
        return holdStore(argv[2], argv[3]);
    QCoreApplication app(argc, argv);
    TestCookieStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cookie_store.moc"
