// The text transform, Base64, the file cipher and the digests.
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseKeys.h"
#include "databases/modCipher.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QTest>

class TestCipher : public QObject
{
    Q_OBJECT
private slots:
    void textDecoding();
    void cryptFile();
    void cryptBytes();
    void hashString();
};

void TestCipher::textDecoding()
{
    // Character i (from 1) is XORed with i: how the stored key texts read.
    QCOMPARE(DecodeText(QStringLiteral("ABCxyz")), QStringLiteral("@@@|||"));
    // A remainder of one value adds a 0 byte; bytes outside the alphabet decode
    // as 0, like "A"; CR LF pairs are dropped, but a lone LF is a value.
    const QList<QPair<QByteArray, QByteArray>> cases = {
        {"TWE=", "Ma"},
        {"TQ", "M"},
        {"/+9z", "\xff\xefs"},
        {"TWFuT", QByteArray("Man\0", 4)},
        {"T!Fu", QByteArray::fromBase64("TAFu")},
        {"TW\r\nFu", "Man"},
        {"TW\nFu", QByteArray::fromBase64("TWAF") + QByteArray(1, '\0')}};
    for (const auto &[text, bytes] : cases) {
        bool ok = false;
        QCOMPARE(Base64Decode(text, &ok), bytes);
        QVERIFY(ok);
    }
    bool ok = true; // nothing is left once CR LF and "=" are gone
    QVERIFY(Base64Decode("==\r\n", &ok).isEmpty() && !ok);
}

void TestCipher::cryptFile()
{
    TestAppFolder app;
    app.writeFile("db.dat", encodeDatabase("[[[1\nentry\n"));
    app.writeFile("dest.txt", "keep me");
    app.writeFile("empty.dat", QByteArray());
    const QString dbKey = DecodeText(DatabaseKeys::storedKeyText());
    // An existing destination or a missing source is refused with the texts kept; after
    // that they are blanked whatever happens. The wrong key fails the cipher's padding.
    const struct {
        QString from, to, key;
        bool ok, blanked;
    } cases[] = {{"db.dat", "dest.txt", dbKey, false, false},
                 {"none.dat", "new.txt", dbKey, false, false},
                 {"empty.dat", "out1.txt", dbKey, false, true},
                 {"db.dat", "out2.txt", "other", false, true},
                 {"db.dat", "out3.txt", dbKey, true, true}};
    for (const auto &c : cases) {
        QString source = app.filePath(c.from), dest = app.filePath(c.to), key = c.key;
        QString init = DecodeText(DatabaseKeys::storedInitText());
        const QString given = source + dest + key + init;
        QCOMPARE(CryptFile(8, source, dest, true, key, init), c.ok);
        QCOMPARE(source + dest + key + init, c.blanked ? QString() : given);
    }
    QCOMPARE(app.readFile("out3.txt"), QByteArray("[[[1\r\nentry\r\n"));
    QCOMPARE(app.readFile("dest.txt"), QByteArray("keep me"));
    QCOMPARE(QDir(app.path()).entryList(QDir::Files),
             QStringList({"db.dat", "dest.txt", "empty.dat", "out3.txt"}));
}

void TestCipher::cryptBytes()
{
    // Every selector but 13 (no cipher) round-trips, others fail cleanly; an
    // initialisation text shorter than 8 characters is padded with spaces.
    const QByteArray plain("secret text");
    for (int selector = -1; selector <= 14; ++selector) {
        QByteArray data = EncryptBytes(selector, plain, "k", "ab      ");
        if (data.isEmpty())
            data = plain;
        QString key = "k", init = "ab";
        const QByteArray expected = selector >= 0 && selector <= 12 ? plain : QByteArray();
        QCOMPARE(CryptBytes(selector, data, key, init), expected);
        QVERIFY(data.isEmpty() && key.isEmpty() && init.isEmpty());
    }
}

void TestCipher::hashString()
{
    // Bytes are digested as they are, NUL and high bytes included.
    const QByteArray bytes("\0\xff\x80z", 4);
    using H = QCryptographicHash;
    const H::Algorithm algorithms[] = {H::Sha256, H::Md5, H::Sha512, H::Sha1};
    for (int selector = 0; selector < 4; ++selector)
        QCOMPARE(HashString(selector, bytes), H::hash(bytes, algorithms[selector]).toHex());
    QVERIFY(HashString(1, QByteArray()).isEmpty());
    QVERIFY(HashString(4, bytes).isEmpty() && HashString(-1, bytes).isEmpty());
}

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
