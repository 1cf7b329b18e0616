// The reader of the trojan signature database: every line that is not a
// version line becomes an entry, in order; the last version line wins.
#include "databases/DatabaseTables.h"
#include "fuzz/DatabaseFuzzing.h"
#include "fuzz/FuzzEnvironment.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray plain = fuzzBytes(data, size);
    if (!loadFuzzedDatabase(DatabaseFile::TrojSig, plain))
        return 0;
    QStringList entries{QString()};
    QString version;
    for (const QString &line : referenceLines(plain)) {
        if (line.startsWith(QLatin1String("[[[")))
            version = line;
        else
            entries.append(line);
    }
    const DatabaseTables &t = databaseTables();
    FUZZ_CHECK(t.TrojSigEntries == entries);
    FUZZ_CHECK(t.TrojSigCount == entries.size() - 1);
    FUZZ_CHECK(t.TrojSigVersion == version);
    return 0;
}
