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
    const FuzzedLoad load = loadFuzzedDatabase(DatabaseFile::TrojSig, plain);
    if (!load.loaded)
        return 0;
    const PlainTable expected = referencePlainTable(plain);
    const DatabaseTables &t = load.tables;
    FUZZ_CHECK(t.TrojSigEntries == expected.entries);
    FUZZ_CHECK(t.TrojSigCount == expected.entries.size() - 1);
    FUZZ_CHECK(t.TrojSigVersion == expected.version);
    return 0;
}
