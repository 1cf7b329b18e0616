// The reader of the registry database: every line that is not a version
// line becomes an entry, in order; the last version line wins.
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
    const FuzzedLoad load = loadFuzzedDatabase(DatabaseFile::RegDb, plain);
    if (!load.loaded)
        return 0;
    const PlainTable expected = referencePlainTable(plain);
    const DatabaseTables &t = load.tables;
    FUZZ_CHECK(t.RegDbEntries == expected.entries);
    FUZZ_CHECK(t.RegDbCount == expected.entries.size() - 1);
    FUZZ_CHECK(t.RegDbVersion == expected.version);
    return 0;
}
