// A hostile quarantine manifest: decoded, written again and read back to the
// same records; then put into a quarantine folder beside an item file, where
// the store opens it, reads every item (none passes its check unless it is
// whole), removes the first and still holds the others.  Nothing outside the
// folder is ever touched.
#include "fuzz/FuzzEnvironment.h"
#include "removal/QuarantineManifest.h"
#include "removal/QuarantineStore.h"

#include <QCryptographicHash>
#include <QDir>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const QuarantineManifest::Decoded decoded = QuarantineManifest::decode(bytes);
    if (!decoded.unknownFormat) {
        const QuarantineManifest::Decoded again =
            QuarantineManifest::decode(QuarantineManifest::encode(decoded.records));
        FUZZ_CHECK(again.damagedLines == 0 && !again.unknownFormat);
        FUZZ_CHECK(again.records == decoded.records);
    }
    for (const QuarantineRecord &r : decoded.records) {
        FUZZ_CHECK(r.id.size() == 32 && r.sha256.size() == 32 && r.key.size() == 32);
        FUZZ_CHECK(r.size >= 0);
    }

    const QString dataFolder = fuzzFolder() + QStringLiteral("/data");
    const QString folder = dataFolder + QStringLiteral("/Quarantine");
    QDir(dataFolder).removeRecursively();
    FUZZ_CHECK(QDir().mkpath(folder));
    writeFuzzFile(folder + QStringLiteral("/manifest.dat"), bytes);
    // The first record's item holds the start of the input.
    if (!decoded.records.isEmpty())
        writeFuzzFile(folder + QLatin1Char('/') + QString::fromLatin1(decoded.records[0].id),
                      bytes.left(64));
    std::unique_ptr<QuarantineStore> store = QuarantineStore::open(dataFolder, false);
    FUZZ_CHECK(bool(store) == !decoded.unknownFormat);
    if (!store)
        return 0;
    FUZZ_CHECK(store->records() == decoded.records);
    for (const QuarantineRecord &r : store->records()) {
        const std::optional<QByteArray> item = store->readItem(r, 1 << 16);
        FUZZ_CHECK(!item ||
                   QCryptographicHash::hash(*item, QCryptographicHash::Sha256) == r.sha256);
    }
    if (decoded.records.isEmpty())
        return 0;
    FUZZ_CHECK(store->remove({decoded.records[0].id}));
    store.reset();
    store = QuarantineStore::open(dataFolder, false);
    FUZZ_CHECK(store && store->records() == decoded.records.mid(1));
    FUZZ_CHECK(
        !QFileInfo::exists(folder + QLatin1Char('/') + QString::fromLatin1(decoded.records[0].id)));
    return 0;
}
