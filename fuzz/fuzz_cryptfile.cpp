// CryptFile on a fuzzed (usually mutated database) file.  The first byte
// picks the cipher selector (0 to 15, so unknown selectors are tried too)
// and whether the file is Base64; the rest is the source file.  Whatever the
// bytes: the texts handed in are blanked, the destination exists exactly
// when the call succeeds and then holds what the in-memory path gives, and
// the source file is left as it was.
#include "databases/DatabaseKeys.h"
#include "databases/modCipher.h"
#include "fuzz/FuzzEnvironment.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const int selector = (data[0] >> 1) % 16;
    const bool fromBase64 = (data[0] & 1) != 0;
    const QByteArray content = fuzzBytes(data + 1, size - 1);
    const QString sourceName = fuzzFolder() + QStringLiteral("/cookdb.dat");
    const QString destName = fuzzFolder() + QStringLiteral("/Temp");
    writeFuzzFile(sourceName, content);
    QFile::remove(destName);

    QString source = sourceName;
    QString dest = destName;
    QString key = DecodeText(DatabaseKeys::storedKeyText());
    QString init = DecodeText(DatabaseKeys::storedInitText());
    const bool ok = CryptFile(selector, source, dest, fromBase64, key, init);
    FUZZ_CHECK(source.isEmpty() && dest.isEmpty() && key.isEmpty() && init.isEmpty());
    FUZZ_CHECK(QFile::exists(destName) == ok);
    if (content.isEmpty())
        FUZZ_CHECK(!ok);

    QString again = sourceName;
    key = DecodeText(DatabaseKeys::storedKeyText());
    init = DecodeText(DatabaseKeys::storedInitText());
    QByteArray plain;
    const bool inMemory = CryptFileToMemory(selector, again, fromBase64, key, init, &plain);
    FUZZ_CHECK(inMemory == ok);
    if (ok) {
        QFile written(destName);
        FUZZ_CHECK(written.open(QIODevice::ReadOnly));
        FUZZ_CHECK(written.readAll() == plain);
    }

    // A destination that exists already is refused and kept as it is.
    if (ok) {
        QString source2 = sourceName;
        QString dest2 = destName;
        key = DecodeText(DatabaseKeys::storedKeyText());
        init = DecodeText(DatabaseKeys::storedInitText());
        FUZZ_CHECK(!CryptFile(selector, source2, dest2, fromBase64, key, init));
        FUZZ_CHECK(source2 == sourceName && dest2 == destName);
    }

    QFile source3(sourceName);
    FUZZ_CHECK(source3.open(QIODevice::ReadOnly));
    FUZZ_CHECK(source3.readAll() == content);
    QFile::remove(destName);
    return 0;
}
