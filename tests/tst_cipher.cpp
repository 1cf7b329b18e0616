// The text transform, Base64, the file cipher and the digests.
#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseKeys.h"
#include "databases/modCipher.h"
#include "tests/support/TestAppFolder.h"

#include <QTest>

class TestCipher : public QObject
{
    Q_OBJECT
private slots:
    void decodeTextIsItsOwnInverse();
    void base64Groups();
    void base64LineBreaksAndPadding();
    void base64EmptyIsAnError();
    void cryptFileRefusalsTouchNothing();
    void cryptFileBlanksTextsAfterUse();
    void cryptBytesPadsTheInitialisationText();
    void hashStringDigests();
};

void TestCipher::decodeTextIsItsOwnInverse()
{
    QCOMPARE(DecodeText(QString()), QString());
    QCOMPARE(DecodeText(QStringLiteral("A")), QString(QChar('A' ^ 1)));
    QString all;
    for (int i = 0; i < 255; ++i)
        all += QChar((i * 37 + 11) % 256);
    QCOMPARE(DecodeText(DecodeText(all)), all);
    QCOMPARE(DecodeText(DatabaseKeys::storedKeyText()).size(), 36);
    QCOMPARE(DecodeText(DatabaseKeys::storedInitText()).size(), 33);
}

void TestCipher::base64Groups()
{
    bool ok = false;
    QCOMPARE(Base64Decode("TWFu", &ok), QByteArray("Man"));
    QVERIFY(ok);
    QCOMPARE(Base64Decode("TWE=", &ok), Base64Decode("TWE", &ok));
    QCOMPARE(Base64Decode("TWE", &ok), QByteArray("Ma"));
    QCOMPARE(Base64Decode("TQ", &ok), QByteArray("M"));
    // A remainder of one value adds a single 0 byte.
    QCOMPARE(Base64Decode("TWFuT", &ok), QByteArray("Man\0", 4));
    // Bytes outside the alphabet decode as 0, like "A".
    QCOMPARE(Base64Decode("T!Fu", &ok), Base64Decode("TAFu", &ok));
    const QByteArray random = QByteArray::fromHex("00ff10e0c3a5017f80");
    QCOMPARE(Base64Decode(random.toBase64(), &ok), random);
}

void TestCipher::base64LineBreaksAndPadding()
{
    bool ok = false;
    QCOMPARE(Base64Decode("TW\r\nFu", &ok), QByteArray("Man"));
    // A lone LF is a value of its own and shifts the rest.
    QCOMPARE(Base64Decode("TW\nFu", &ok), Base64Decode("TWAFu", &ok));
    QCOMPARE(Base64Decode("TW\nFu", &ok).size(), 4);
}

void TestCipher::base64EmptyIsAnError()
{
    bool ok = true;
    QVERIFY(Base64Decode("", &ok).isEmpty());
    QVERIFY(!ok);
    ok = true;
    Base64Decode("==\r\n", &ok);
    QVERIFY(!ok);
}

void TestCipher::cryptFileRefusalsTouchNothing()
{
    TestAppFolder app;
    app.writeFile("source.dat", encodeDatabase("line\r\n"));
    app.writeFile("dest.txt", "keep me");
    QString source = app.filePath("source.dat");
    QString dest = app.filePath("dest.txt");
    QString key = QStringLiteral("k");
    QString init = QStringLiteral("i");
    QVERIFY(!CryptFile(8, source, dest, true, key, init));
    QCOMPARE(app.readFile("dest.txt"), QByteArray("keep me"));
    QVERIFY(!source.isEmpty() && !dest.isEmpty() && key == "k" && init == "i");

    QString missing = app.filePath("missing.dat");
    QString fresh = app.filePath("fresh.txt");
    QVERIFY(!CryptFile(8, missing, fresh, true, key, init));
    QVERIFY(!missing.isEmpty() && key == "k" && !QFile::exists(fresh));
}

void TestCipher::cryptFileBlanksTextsAfterUse()
{
    TestAppFolder app;
    app.writeFile("empty.dat", QByteArray());
    QString source = app.filePath("empty.dat");
    QString dest = app.filePath("out1.txt");
    QString key = DecodeText(DatabaseKeys::storedKeyText());
    QString init = DecodeText(DatabaseKeys::storedInitText());
    QVERIFY(!CryptFile(8, source, dest, true, key, init));
    QVERIFY(source.isEmpty() && dest.isEmpty() && key.isEmpty() && init.isEmpty());

    app.writeFile("db.dat", encodeDatabase("[[[1\nentry\n"));
    source = app.filePath("db.dat");
    dest = app.filePath("out2.txt");
    key = DecodeText(DatabaseKeys::storedKeyText());
    init = DecodeText(DatabaseKeys::storedInitText());
    QVERIFY(CryptFile(8, source, dest, true, key, init));
    QVERIFY(source.isEmpty() && dest.isEmpty() && key.isEmpty() && init.isEmpty());
    QCOMPARE(app.readFile("out2.txt"), QByteArray("[[[1\r\nentry\r\n"));

    // The wrong key fails the padding check of the cipher.
    source = app.filePath("db.dat");
    dest = app.filePath("out3.txt");
    key = QStringLiteral("another key");
    init = DecodeText(DatabaseKeys::storedInitText());
    QVERIFY(!CryptFile(8, source, dest, true, key, init));
}

void TestCipher::cryptBytesPadsTheInitialisationText()
{
    const QByteArray plain("secret text");
    QByteArray data = EncryptBytes(8, plain, QStringLiteral("key"), QStringLiteral("ab      "));
    QString key = QStringLiteral("key");
    QString init = QStringLiteral("ab");
    QCOMPARE(CryptBytes(8, data, key, init), plain);
    QVERIFY(data.isEmpty() && key.isEmpty() && init.isEmpty());

    data = EncryptBytes(8, plain, QStringLiteral("key"), QStringLiteral("12345678901"));
    key = QStringLiteral("key");
    init = QStringLiteral("12345678901");
    QCOMPARE(CryptBytes(8, data, key, init), plain);

    key = QStringLiteral("key");
    init = QStringLiteral("ab");
    data = plain;
    QVERIFY(CryptBytes(14, data, key, init).isEmpty());
    QVERIFY(CryptBytes(-1, data, key, init).isEmpty());
    // Every selector of the table either round-trips or fails cleanly.
    for (int selector = 0; selector <= 13; ++selector) {
        QByteArray enciphered = EncryptBytes(selector, plain, "k", "i");
        QString k = "k", i = "i";
        const QByteArray back = CryptBytes(selector, enciphered, k, i);
        QVERIFY2(back == plain || (back.isEmpty() && selector == 13), qPrintable(QString::number(selector)));
    }
}

void TestCipher::hashStringDigests()
{
    QVERIFY(HashString(1, QByteArray()).isEmpty());
    QCOMPARE(HashString(1, "abc"), QByteArray("900150983cd24fb0d6963f7d28e17f72"));
    QCOMPARE(HashString(3, "abc"), QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d"));
    QCOMPARE(HashString(0, "abc").size(), 64);
    QCOMPARE(HashString(2, "abc").size(), 128);
    QVERIFY(HashString(4, "abc").isEmpty());
    // Bytes are digested as they are, NUL and high bytes included.
    const QByteArray binary("\0\xff\x80z", 4);
    QCOMPARE(HashString(1, binary), QCryptographicHash::hash(binary, QCryptographicHash::Md5).toHex());
}

QTEST_GUILESS_MAIN(TestCipher)
#include "tst_cipher.moc"
