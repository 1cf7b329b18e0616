// The quarantine's own folder: its manifest format, the items kept
// enciphered and checked, privacy of the folder and its files, what happens
// to stray and damaged parts, and a disk that fills up.
#include "removal/QuarantineManifest.h"
#include "removal/QuarantineStore.h"
#include "tests/support/TestFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace {

const QByteArray kEicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

QuarantineRecord fileRecord(const QByteArray &path)
{
    QuarantineRecord r;
    r.kind = QuarantineRecord::Kind::File;
    r.threat = "EICAR.Test";
    r.object = QFile::decodeName(path);
    r.root = "/";
    r.path = path;
    r.owner = 1000;
    r.group = 100;
    r.mode = 0644;
    r.mtimeSeconds = 1700000000;
    r.mtimeNanoseconds = 5;
    return r;
}

mode_t modeOf(const QString &path)
{
    struct stat st {
    };
    return ::lstat(QFile::encodeName(path), &st) == 0 ? st.st_mode & 07777 : 07777;
}

QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class QuarantineStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void manifestRoundTrip();
    void manifestRefusesWhatIsNoRecord_data();
    void manifestRefusesWhatIsNoRecord();
    void itemsAreKeptEncipheredPrivateAndChecked();
    void strayAndDamagedParts();
    void folderOfAnotherUserOrALinkIsRefused();
    void fullDiskRecordsNothing();
};

void QuarantineStoreTest::manifestRoundTrip()
{
    QuarantineRecord a = fileRecord("/tmp/a\tb%c\r\n\xff\x01.exe");
    a.id = newQuarantineId();
    a.time = QDateTime(QDate(2025, 3, 30), QTime(2, 30, 0), Qt::UTC);
    a.size = 68;
    a.sha256 = QByteArray(32, '\x11');
    a.key = QByteArray(32, '\xee');
    a.object = "mozilla:/x/cookies.txt+a\tb\tc\r\n";
    a.threat = QString::fromUtf8("Menace détectée %41");
    QuarantineRecord b;
    b.id = newQuarantineId();
    b.kind = QuarantineRecord::Kind::RegistryKey;
    b.time = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59), Qt::UTC);
    b.object = "HKEY_CURRENT_USER\\Software\\Bad";
    b.root = "/mnt/win";
    b.sha256 = QByteArray(32, '\0');
    b.key = QByteArray(32, '\x7f');
    b.mtimeSeconds = -5;
    QVERIFY(a.id != b.id && a.id.size() == 32);

    const QByteArray bytes = QuarantineManifest::encode({a, b});
    QVERIFY(bytes.startsWith("TORVAKINE-QUARANTINE 1\r\n"));
    QCOMPARE(bytes.count('\n'), 3);
    QVERIFY(bytes.contains("\tfile\t2025-03-30T02:30:00Z\t"));
    QVERIFY(bytes.contains("\t/tmp/a%09b%25c%0D%0A\xff%01.exe\t1000\t100\t0644\t"
                           "1700000000.000000005\t68\t"));
    QVERIFY(bytes.contains("\t-\t-\t-\t-5.000000000\t0\t"));
    const QuarantineManifest::Decoded d = QuarantineManifest::decode(bytes);
    QCOMPARE(d.damagedLines, 0);
    QVERIFY(!d.unknownFormat);
    QCOMPARE(d.records.size(), 2);
    QVERIFY(d.records[0] == a);
    QVERIFY(d.records[1] == b);
    // LF line ends read the same.
    QCOMPARE(QuarantineManifest::decode(QByteArray(bytes).replace("\r\n", "\n")).records.size(), 2);
    QCOMPARE(QuarantineManifest::decode("").records.size(), 0);
    QVERIFY(!QuarantineManifest::decode("").unknownFormat);
}

void QuarantineStoreTest::manifestRefusesWhatIsNoRecord_data()
{
    QuarantineRecord r = fileRecord("/x");
    r.id = QByteArray(32, 'a');
    r.time = QDateTime(QDate(2025, 1, 31), QTime(17, 4, 5), Qt::UTC);
    r.sha256 = QByteArray(32, '\1');
    r.key = QByteArray(32, '\2');
    const QByteArray good = QuarantineManifest::encode({r}).split('\n')[1].chopped(1);
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("sound");
    QTest::newRow("sound") << good << true;
    const auto field = [&good](int i, const QByteArray &to) {
        QList<QByteArray> f = good.split('\t');
        f[i] = to;
        return f.join('\t');
    };
    QTest::newRow("id in capitals") << field(0, QByteArray(32, 'A')) << false;
    QTest::newRow("id too short") << field(0, QByteArray(31, 'a')) << false;
    QTest::newRow("path into another folder") << field(0, "../../../../etc/passwd") << false;
    QTest::newRow("unknown kind") << field(1, "folder") << false;
    QTest::newRow("time without Z") << field(2, "2025-01-31T17:04:05+") << false;
    QTest::newRow("no such day") << field(2, "2025-02-30T17:04:05Z") << false;
    QTest::newRow("raw tab escaped badly") << field(3, "%G1") << false;
    QTest::newRow("cut escape") << field(4, "abc%4") << false;
    QTest::newRow("owner not a number") << field(7, "root") << false;
    QTest::newRow("owner too large") << field(7, "99999999999") << false;
    QTest::newRow("mode beyond permissions") << field(9, "0100644") << false;
    QTest::newRow("mode not octal") << field(9, "0689") << false;
    QTest::newRow("mtime without nanoseconds") << field(10, "17") << false;
    QTest::newRow("size negative") << field(11, "-1") << false;
    QTest::newRow("size huge") << field(11, QByteArray(40, '9')) << false;
    QTest::newRow("digest short") << field(12, QByteArray(62, '0')) << false;
    QTest::newRow("key in capitals") << field(13, QByteArray(64, 'F')) << false;
    QTest::newRow("field missing") << good.left(good.lastIndexOf('\t')) << false;
    QTest::newRow("field more") << good + "\tx" << false;
}

void QuarantineStoreTest::manifestRefusesWhatIsNoRecord()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, sound);
    const QuarantineManifest::Decoded d =
        QuarantineManifest::decode("TORVAKINE-QUARANTINE 1\r\n" + line + "\r\n");
    QCOMPARE(d.records.size(), sound ? 1 : 0);
    QCOMPARE(d.damagedLines, sound ? 0 : 1);
    // The same id twice is one record and one damaged line.
    const QuarantineManifest::Decoded twice =
        QuarantineManifest::decode("TORVAKINE-QUARANTINE 1\n" + line + "\n" + line + "\n");
    QCOMPARE(twice.records.size(), sound ? 1 : 0);
    QCOMPARE(twice.damagedLines, sound ? 1 : 2);
    QVERIFY(QuarantineManifest::decode("TORVAKINE-QUARANTINE 2\r\n" + line).unknownFormat);
}

void QuarantineStoreTest::itemsAreKeptEncipheredPrivateAndChecked()
{
    QTemporaryDir data;
    const QString folder = data.path() + "/Quarantine";
    QString error;
    {
        // Listing an absent quarantine creates nothing.
        const std::unique_ptr<QuarantineStore> none =
            QuarantineStore::open(data.path(), false, &error);
        QVERIFY(none);
        QVERIFY(none->records().isEmpty());
        QVERIFY(!none->add(fileRecord("/x"), "x"));
        QVERIFY(!QFileInfo::exists(folder));
    }
    const mode_t oldMask = ::umask(0);
    std::unique_ptr<QuarantineStore> store = QuarantineStore::open(data.path(), true, &error);
    ::umask(oldMask);
    QVERIFY2(store, qPrintable(error));
    QCOMPARE(modeOf(folder), mode_t(0700));

    const QByteArray big = QByteArray(3 << 20, 'A') + kEicar + QByteArray(1 << 19, '\0');
    const std::optional<QByteArray> first = store->add(fileRecord("/home/u/eicar.com"), kEicar);
    std::unique_ptr<QuarantineStore::Addition> addition = store->begin(fileRecord("/big"));
    for (qsizetype at = 0; at < big.size(); at += 70001)
        QVERIFY(addition->write(big.constData() + at, std::min<qsizetype>(70001, big.size() - at)));
    const std::optional<QByteArray> second = store->commit(std::move(addition));
    QVERIFY(first && second && *first != *second);
    QCOMPARE(store->records().size(), 2);
    const QuarantineRecord &r = *store->record(*first);
    QCOMPARE(r.size, kEicar.size());
    QCOMPARE(r.sha256, QCryptographicHash::hash(kEicar, QCryptographicHash::Sha256));
    QCOMPARE(r.owner, std::optional<quint32>(1000));
    QVERIFY(qAbs(r.time.secsTo(QDateTime::currentDateTimeUtc())) < 3600);

    QStringList expected = {QString(*first), "manifest.dat", QString(*second)};
    expected.sort();
    QCOMPARE(entries(folder), expected);
    for (const QString &name : entries(folder))
        QCOMPARE(modeOf(folder + "/" + name), mode_t(0600));
    // Neither the threat's bytes nor the long runs of the original show in
    // the kept copy.
    const QByteArray keptSmall = readTestFile(folder + "/" + *first);
    const QByteArray keptBig = readTestFile(folder + "/" + *second);
    QCOMPARE(keptSmall.size(), kEicar.size());
    QVERIFY(!keptSmall.contains("EICAR") && !keptBig.contains("EICAR"));
    QVERIFY(!keptBig.contains(QByteArray(64, 'A')) && !keptBig.contains(QByteArray(64, '\0')));
    QVERIFY(!readTestFile(folder + "/manifest.dat").contains("EICAR-STANDARD"));

    // A store opened afresh reads it all back.
    store.reset();
    store = QuarantineStore::open(data.path(), false, &error);
    QCOMPARE(store->records().size(), 2);
    QCOMPARE(store->readItem(*store->record(*first), 1 << 20), std::optional<QByteArray>(kEicar));
    QCOMPARE(store->readItem(*store->record(*second), 8 << 20), std::optional<QByteArray>(big));
    QVERIFY(!store->readItem(*store->record(*second), 1 << 20));
    QVERIFY(store->spaceUsed() >= kEicar.size() + big.size());

    // One changed byte, or a kept copy cut short, is found out.
    QByteArray damaged = keptSmall;
    damaged[3] = char(damaged[3] ^ 1);
    writeTestFile(folder + "/" + *first, damaged);
    QVERIFY(!store->readItem(*store->record(*first), 1 << 20));
    writeTestFile(folder + "/" + *first, keptSmall.chopped(1));
    QVERIFY(!store->readItem(*store->record(*first), 1 << 20));
    QFile::remove(folder + "/" + *first);
    QVERIFY(!store->readItem(*store->record(*first), 1 << 20));

    QVERIFY(store->remove({*first}));
    QCOMPARE(store->records().size(), 1);
    QStringList rest = {"manifest.dat", QString(*second)};
    rest.sort();
    QCOMPARE(entries(folder), rest);
    QVERIFY(store->remove({*second}));
    QCOMPARE(entries(folder), QStringList{"manifest.dat"});
}

void QuarantineStoreTest::strayAndDamagedParts()
{
    QTemporaryDir data;
    const QString folder = data.path() + "/Quarantine";
    QByteArray kept;
    {
        const std::unique_ptr<QuarantineStore> store = QuarantineStore::open(data.path(), true);
        kept = *store->add(fileRecord("/a"), "a");
    }
    // An item file nobody recorded (a removal cut off between the two) and a
    // manifest left half-written go; files of other names stay.
    const QString stray = QString(newQuarantineId());
    writeTestFile(folder + "/" + stray, "stray");
    writeTestFile(folder + "/manifest.dat.new-1234", "half");
    writeTestFile(folder + "/notes.txt", "mine");
    QByteArray manifest = readTestFile(folder + "/manifest.dat");
    manifest += "garbage line\r\n";
    writeTestFile(folder + "/manifest.dat", manifest);
    {
        const std::unique_ptr<QuarantineStore> store = QuarantineStore::open(data.path(), false);
        QVERIFY(store);
        QCOMPARE(store->records().size(), 1);
        QCOMPARE(store->damagedLines(), 1);
        QStringList expected = {QString(kept), "manifest.dat", "notes.txt"};
        expected.sort();
        QCOMPARE(entries(folder), expected);
    }
    // A manifest of another format is not touched, nor is any item.
    writeTestFile(folder + "/manifest.dat", "TORVAKINE-QUARANTINE 9\r\n");
    writeTestFile(folder + "/" + stray, "stray");
    QString error;
    QVERIFY(!QuarantineStore::open(data.path(), true, &error));
    QVERIFY(error.contains("manifest"));
    QVERIFY(QFileInfo::exists(folder + "/" + stray));
    QVERIFY(QFileInfo::exists(folder + "/" + kept));
}

void QuarantineStoreTest::folderOfAnotherUserOrALinkIsRefused()
{
    QTemporaryDir data;
    const QString folder = data.path() + "/Quarantine";
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path(), folder));
    QString error;
    QVERIFY(!QuarantineStore::open(data.path(), true, &error));
    QVERIFY(error.contains("not a folder"));
    QVERIFY(entries(elsewhere.path()).isEmpty());
    QFile::remove(folder);

    // A folder others may enter is made private.
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(::chmod(QFile::encodeName(folder), 0777) == 0);
    QVERIFY(QuarantineStore::open(data.path(), true, &error));
    QCOMPARE(modeOf(folder), mode_t(0700));

    if (::geteuid() != 0)
        QSKIP("only root can give the folder to another user");
    QVERIFY(::chown(QFile::encodeName(folder), 65534, 65534) == 0);
    QVERIFY(!QuarantineStore::open(data.path(), true, &error));
    QVERIFY(error.contains("another user"));
}

void QuarantineStoreTest::fullDiskRecordsNothing()
{
    // A file system with room for a few kilobytes (as root), or else a limit
    // on the size of the files this process writes: either way the writes
    // fail part-way, as on a full disk.
    QTemporaryDir data;
    const QByteArray mountPoint = QFile::encodeName(data.path());
    const bool mounted =
        ::geteuid() == 0 && ::mount("tmpfs", mountPoint, "tmpfs", 0, "size=64k") == 0;
    struct rlimit old {
    };
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (!mounted) {
        struct rlimit small = old;
        small.rlim_cur = 48 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    }
    std::optional<QByteArray> id;
    QString error;
    std::unique_ptr<QuarantineStore> store = QuarantineStore::open(data.path(), true, &error);
    QVERIFY2(store, qPrintable(error));
    QVERIFY(store->add(fileRecord("/small"), "small"));
    id = store->add(fileRecord("/big"), QByteArray(200 * 1024, 'x'));
    const QStringList left = entries(data.path() + "/Quarantine");
    const qsizetype recorded = store->records().size();
    store.reset();
    if (!mounted)
        ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    if (mounted)
        ::umount2(mountPoint, MNT_DETACH);
    QVERIFY(!id);
    QCOMPARE(recorded, 1);
    // Nothing of the failed item is left behind.
    QCOMPARE(left.size(), 2);
}

QTEST_GUILESS_MAIN(QuarantineStoreTest)
#include "tst_quarantine_store.moc"
