// The signed update list: its exact text, every malformed list an attacker
// could serve, the sequence number kept beside upd.dat, and the list that
// torvakine-dbtool publish writes, signs and refuses to write.
#include "platform/AppPaths.h"
#include "platform/Ed25519Signature.h"
#include "tests/support/FailingFileWriter.h"
#include "tests/support/TestFiles.h"
#include "update/AcceptedSequence.h"
#include "update/UpdateManifest.h"
#include "update/UpdateSignature.h"

#include <QtTest>

namespace {
const QByteArray kHash(64, 'a');

// A valid list with one line per database of versions.
QByteArray listText(const QList<QByteArray> &databaseLines)
{
    QByteArray text = "TORVAKINE-MANIFEST 1\r\nsequence 7\r\nexpires 2030-01-02T03:04:05Z\r\n"
                      "build-stamp 18052007\r\n";
    for (const QByteArray &line : databaseLines)
        text += "database " + line + "\r\n";
    return text;
}

const QByteArray kValid = listText({"cookdb.dat 10 " + kHash + " 2007.05.18.1"});

// Runs torvakine-dbtool with args; returns its exit code, output in *out.
int dbtool(const QStringList &args, QByteArray *out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TORVAKINE_DBTOOL), args);
    if (!p.waitForFinished(120000))
        return -1;
    if (out)
        *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
} // namespace

class TestUpdateManifest : public QObject
{
    Q_OBJECT
private slots:
    void textAndRoundTrip();
    void refusesMalformed_data();
    void refusesMalformed();
    void listedContent();
    void acceptedSequence();
    void publishWritesSignedList();
    void publishRefusesBadRequests();
    void publishRefusesDatabaseOverCap();
};

void TestUpdateManifest::textAndRoundTrip()
{
    UpdateManifest m;
    m.sequence = 18446744073709551615ULL;
    m.expires = QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5), Qt::UTC);
    m.buildStamp = "18052007";
    ManifestDatabase troj;
    troj.fileName = "trojsig.dat";
    troj.size = UpdateManifest::MaximumDatabaseSize;
    troj.sha256 = QByteArray(32, '\xab');
    troj.version = "2007 05 18 \xe9 "; // spaces and a Windows-1252 letter stay
    ManifestDatabase reg = troj;
    reg.fileName = "regdb.dat";
    reg.size = 1;
    reg.version.clear(); // an empty version is a version
    m.databases = {troj, reg};
    const QByteArray expected = "TORVAKINE-MANIFEST 1\r\n"
                                "sequence 18446744073709551615\r\n"
                                "expires 2030-01-02T03:04:05Z\r\n"
                                "build-stamp 18052007\r\n"
                                "database trojsig.dat 67108864 " +
                                QByteArray(32, '\xab').toHex() +
                                " 2007 05 18 \xe9 \r\n"
                                "database regdb.dat 1 " +
                                QByteArray(32, '\xab').toHex() + " \r\n";
    QCOMPARE(m.toBytes(), expected);
    QString fault;
    const std::optional<UpdateManifest> back = UpdateManifest::parse(expected, &fault);
    QVERIFY2(back, qPrintable(fault));
    QCOMPARE(back->sequence, m.sequence);
    QCOMPARE(back->expires, m.expires);
    QCOMPARE(back->expires.timeSpec(), Qt::UTC);
    QCOMPARE(back->buildStamp, m.buildStamp);
    QCOMPARE(back->databases.size(), 2);
    QCOMPARE(back->database("trojsig.dat")->version, troj.version);
    QCOMPARE(back->database("regdb.dat")->version, QByteArray());
    QCOMPARE(back->database("regdb.dat")->sha256, reg.sha256);
    QVERIFY(!back->database("cookdb.dat"));
    QCOMPARE(back->toBytes(), expected);
}

void TestUpdateManifest::refusesMalformed_data()
{
    QTest::addColumn<QByteArray>("text");
    QVERIFY(UpdateManifest::parse(kValid)); // every row below differs from it
    const auto replaced = [](const QByteArray &from, const QByteArray &to) {
        return QByteArray(kValid).replace(from, to);
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("LF line ends") << QByteArray(kValid).replace("\r\n", "\n");
    QTest::newRow("no final line end") << kValid.chopped(2);
    QTest::newRow("lone CR in a line") << replaced("18052007", "1805\r2007");
    QTest::newRow("blank line at the end") << kValid + "\r\n";
    QTest::newRow("other format") << replaced("MANIFEST 1", "MANIFEST 2");
    QTest::newRow("no database") << listText({});
    QTest::newRow("four databases")
        << listText({"cookdb.dat 1 " + kHash + " a", "trojsig.dat 1 " + kHash + " a",
                     "regdb.dat 1 " + kHash + " a", "regdb.dat 2 " + kHash + " b"});
    QTest::newRow("listed twice") << listText(
        {"cookdb.dat 1 " + kHash + " a", "cookdb.dat 1 " + kHash + " b"});
    QTest::newRow("unknown file") << replaced("cookdb.dat", "../cookdb.dat");
    QTest::newRow("upper-case name") << replaced("cookdb.dat", "COOKDB.DAT");
    QTest::newRow("lines swapped") << replaced("sequence 7\r\nexpires 2030-01-02T03:04:05Z",
                                               "expires 2030-01-02T03:04:05Z\r\nsequence 7");
    QTest::newRow("unknown line") << replaced("build-stamp", "comment x\r\nbuild-stamp");
    QTest::newRow("two spaces") << replaced("sequence 7", "sequence  7");
    QTest::newRow("negative sequence") << replaced("sequence 7", "sequence -7");
    QTest::newRow("signed sequence") << replaced("sequence 7", "sequence +7");
    QTest::newRow("sequence past 2^64") << replaced("sequence 7", "sequence 18446744073709551616");
    QTest::newRow("hex sequence") << replaced("sequence 7", "sequence 0x7");
    QTest::newRow("leading zero in sequence") << replaced("sequence 7", "sequence 07");
    QTest::newRow("local expiry") << replaced("03:04:05Z", "03:04:05");
    QTest::newRow("offset expiry") << replaced("03:04:05Z", "03:04:05+01:00");
    QTest::newRow("expiry with ms") << replaced("03:04:05Z", "03:04:05.000Z");
    QTest::newRow("impossible date") << replaced("2030-01-02", "2030-02-30");
    QTest::newRow("no build stamp") << replaced("build-stamp 18052007", "build-stamp");
    QTest::newRow("size 0") << replaced("cookdb.dat 10 ", "cookdb.dat 0 ");
    QTest::newRow("size over the cap") << replaced("cookdb.dat 10 ", "cookdb.dat 67108865 ");
    QTest::newRow("huge size") << replaced("cookdb.dat 10 ", "cookdb.dat 99999999999999999999 ");
    QTest::newRow("signed size") << replaced("cookdb.dat 10 ", "cookdb.dat +10 ");
    QTest::newRow("leading zero in size") << replaced("cookdb.dat 10 ", "cookdb.dat 010 ");
    QTest::newRow("short hash") << replaced(kHash, kHash.left(63));
    QTest::newRow("long hash") << replaced(kHash, kHash + "a");
    QTest::newRow("upper-case hash") << replaced(kHash, kHash.toUpper());
    QTest::newRow("no version field") << replaced(" 2007.05.18.1", "");
    QTest::newRow("over 64 KiB") << kValid + QByteArray(64 * 1024, 'x');
}

void TestUpdateManifest::refusesMalformed()
{
    QFETCH(QByteArray, text);
    QString fault;
    QVERIFY(!UpdateManifest::parse(text, &fault));
    QVERIFY(!fault.isEmpty());
}

void TestUpdateManifest::listedContent()
{
    const QByteArray content = "0123456789";
    ManifestDatabase db;
    db.size = content.size();
    db.sha256 = QCryptographicHash::hash(content, QCryptographicHash::Sha256);
    QVERIFY(db.matches(content));
    QVERIFY(!db.matches("0123456788"));       // same size, other bytes
    QVERIFY(!db.matches(content + content));  // longer
    QVERIFY(!db.matches(content.chopped(1))); // shorter
    db.size = 11;
    QVERIFY(!db.matches(content)); // the listed size counts as well as the hash
}

void TestUpdateManifest::acceptedSequence()
{
    QTemporaryDir dir;
    const AppPaths paths = AppPaths::forFolder(dir.path());
    const QString file = dir.filePath("upd.seq");
    QVERIFY(!readAcceptedSequence(paths)); // a fresh installation
    DiskFileWriter disk;
    QVERIFY(storeAcceptedSequence(paths, 18446744073709551615ULL, disk));
    QCOMPARE(readTestFile(file), "18446744073709551615\r\n");
    QCOMPARE(readAcceptedSequence(paths), 18446744073709551615ULL);
    // A write that fails is reported and leaves the number as it was.
    FailingFileWriter full;
    full.failWritesTo("upd.seq");
    QVERIFY(!storeAcceptedSequence(paths, 5, full));
    QCOMPARE(readAcceptedSequence(paths), 18446744073709551615ULL);
    // Anything but a number counts as no number.
    for (const QByteArray &junk : {QByteArray(""), QByteArray("-1\r\n"), QByteArray("+1\r\n"),
                                   QByteArray("x1\r\n"), QByteArray("18446744073709551616\r\n")}) {
        writeTestFile(file, junk);
        QVERIFY2(!readAcceptedSequence(paths), junk.constData());
    }
}

void TestUpdateManifest::publishWritesSignedList()
{
    QTemporaryDir dir;
    const QString key = dir.filePath("publisher.key");
    const QString pub = dir.filePath("publisher.pub");
    QCOMPARE(dbtool({"keygen", key, pub}), 0);
    const QString plain = dir.filePath("plain");
    writeTestFile(plain + "/cookdb.txt", "[[[C 1\n***Spy\nbad.exe\n--ME-\n<<<>>\n");
    writeTestFile(plain + "/trojsig.txt", "[[[T 1\n");
    writeTestFile(plain + "/regdb.txt", "[[[R 1\n");
    const QString out = dir.filePath("site");
    // A signature of a single file left from an earlier publication goes.
    writeTestFile(out + "/newupd/cookdb.dat.sig", "old\r\n");
    const QDateTime before = QDateTime::currentDateTimeUtc();
    QByteArray output;
    QCOMPARE(dbtool({"publish", plain, out, "--sign-key", key, "--version-trojsig", "T 2",
                     "--sequence", "42", "--valid-days", "3"},
                    &output),
             0);
    QVERIFY(!QFile::exists(out + "/newupd/cookdb.dat.sig"));
    const QByteArray bytes = readTestFile(out + "/newupd/manifest");
    QVERIFY(verifyUpdateSignature(readTestFile(pub), bytes,
                                  readTestFile(out + "/newupd/manifest.sig")));
    QVERIFY(!verifyUpdateSignature(readTestFile(pub), bytes + " ",
                                   readTestFile(out + "/newupd/manifest.sig")));
    const std::optional<UpdateManifest> m = UpdateManifest::parse(bytes);
    QVERIFY(m);
    QCOMPARE(m->sequence, 42u);
    QCOMPARE(m->buildStamp, "18052007");
    QVERIFY(m->expires >= before.addDays(3).addSecs(-1));
    QVERIFY(m->expires <= QDateTime::currentDateTimeUtc().addDays(3));
    QCOMPARE(m->databases.size(), 3);
    for (const ManifestDatabase &db : m->databases) {
        const QString name = db.fileName.chopped(4);
        QVERIFY2(db.matches(readTestFile(out + "/newupd/" + db.fileName)), qPrintable(name));
        QCOMPARE(db.version + "\r\n", readTestFile(out + "/newupd/" + name + ".ver"));
    }
    QCOMPARE(m->database("trojsig.dat")->version, "T 2");
    QCOMPARE(m->database("cookdb.dat")->version, "C 1");
    // Without --sequence the number is the Unix time of the publication.
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QCOMPARE(dbtool({"publish", plain, out, "--sign-key", key}), 0);
    const std::optional<UpdateManifest> later =
        UpdateManifest::parse(readTestFile(out + "/newupd/manifest"));
    QVERIFY(later && qint64(later->sequence) >= now && qint64(later->sequence) <= now + 60);
    QVERIFY(later->expires > QDateTime::currentDateTimeUtc().addDays(13));
}

void TestUpdateManifest::publishRefusesBadRequests()
{
    QTemporaryDir dir;
    const QString key = dir.filePath("k");
    QCOMPARE(dbtool({"keygen", key, dir.filePath("p")}), 0);
    const QString plain = dir.filePath("plain");
    writeTestFile(plain + "/cookdb.txt", "[[[C\n***Spy\nbad.exe\n--ME-\n<<<>>\n");
    writeTestFile(plain + "/trojsig.txt", "[[[T\n");
    writeTestFile(plain + "/regdb.txt", "[[[R\n");
    const QString out = dir.filePath("site");
    const struct {
        QStringList options;
        int exit;
    } cases[] = {
        {{}, 2}, // no key: a list nobody can install
        {{"--sign-key", key, "--valid-days", "0"}, 2},
        {{"--sign-key", key, "--valid-days", "3651"}, 2},
        {{"--sign-key", key, "--sequence", "-1"}, 2},
        {{"--sign-key", key, "--sequence", "18446744073709551616"}, 2},
        {{"--sign-key", dir.filePath("p")}, 1}, // a public key cannot sign
    };
    for (const auto &c : cases) {
        QCOMPARE(dbtool(QStringList{"publish", plain, out} + c.options), c.exit);
        QVERIFY2(!QFile::exists(out + "/newupd/manifest"), qPrintable(c.options.join(' ')));
    }
}

void TestUpdateManifest::publishRefusesDatabaseOverCap()
{
    QTemporaryDir dir;
    const QString key = dir.filePath("k");
    QCOMPARE(dbtool({"keygen", key, dir.filePath("p")}), 0);
    const QString plain = dir.filePath("plain");
    const QString out = dir.filePath("site");
    writeTestFile(plain + "/cookdb.txt", "[[[C\n***Spy\nbad.exe\n--ME-\n<<<>>\n");
    writeTestFile(plain + "/trojsig.txt", "[[[T\n");
    writeTestFile(plain + "/regdb.txt", "[[[R\n");
    QCOMPARE(dbtool({"publish", plain, out, "--sign-key", key}), 0);
    const QByteArray published = readTestFile(out + "/newupd/manifest");

    // 49 MiB of well-formed registry entries are over 64 MiB as Base64 of
    // their cipher: refused, and the repository published before stays.
    QByteArray big = "[[[R 2\n***Filler\n";
    const QByteArray entry = "HKEY_LOCAL_MACHINE\\Software\\" + QByteArray(65000, 'k') + "\n";
    while (big.size() < 49 * 1024 * 1024)
        big += entry;
    writeTestFile(plain + "/regdb.txt", big);
    QByteArray output;
    QCOMPARE(dbtool({"publish", plain, out, "--sign-key", key}, &output), 1);
    QVERIFY2(output.contains("67108864"), output.constData());
    QCOMPARE(readTestFile(out + "/newupd/manifest"), published);
    QVERIFY(readTestFile(out + "/newupd/regdb.ver").startsWith("R\r\n"));
}

QTEST_GUILESS_MAIN(TestUpdateManifest)
#include "tst_update_manifest.moc"
