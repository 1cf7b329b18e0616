// UpdateManifest::parse on any bytes a server could serve as the update list:
// no crash, and every list it accepts is in the one exact form it writes (so
// two readings of the same bytes never differ), names only known databases
// within the size cap, and holds no line break in a field.
#include "fuzz/FuzzEnvironment.h"
#include "update/UpdateManifest.h"

#include <QSet>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    QString fault;
    const std::optional<UpdateManifest> m = UpdateManifest::parse(bytes, &fault);
    if (!m) {
        FUZZ_CHECK(!fault.isEmpty());
        return 0;
    }
    FUZZ_CHECK(m->toBytes() == bytes);
    FUZZ_CHECK(m->expires.isValid() && m->expires.timeSpec() == Qt::UTC);
    FUZZ_CHECK(!m->buildStamp.contains('\r') && !m->buildStamp.contains('\n'));
    FUZZ_CHECK(!m->databases.isEmpty() && m->databases.size() <= 3);
    QSet<QString> names;
    for (const ManifestDatabase &db : m->databases) {
        FUZZ_CHECK(db.fileName == QLatin1String("cookdb.dat") ||
                   db.fileName == QLatin1String("trojsig.dat") ||
                   db.fileName == QLatin1String("regdb.dat"));
        names.insert(db.fileName);
        FUZZ_CHECK(db.size >= 1 && db.size <= UpdateManifest::MaximumDatabaseSize);
        FUZZ_CHECK(db.sha256.size() == 32);
        FUZZ_CHECK(!db.version.contains('\r') && !db.version.contains('\n'));
        FUZZ_CHECK(m->database(db.fileName) == &db);
    }
    FUZZ_CHECK(names.size() == m->databases.size());
    return 0;
}
