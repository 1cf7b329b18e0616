// The cookie-store removal on a mutated database (see CookieStoreFuzzing.h
// for the input's layout): the first lines read, and one line no row has,
// are removed.  A store that is not changed keeps every byte; a changed one
// is a sound database without the rows removed; nothing else is ever left in
// its folder.
#include "fuzz/CookieStoreFuzzing.h"
#include "fuzz/FuzzEnvironment.h"
#include "platform/SqliteConnection.h"
#include "removal/CookieStoreRemoval.h"

#include <QFile>

#include <sqlite3.h>

#include <sys/stat.h>

namespace {

bool passesIntegrityCheck(int file)
{
    const SqliteConnection db = SqliteConnection::openDescriptor(file);
    const SqliteStatement check = db.prepare("PRAGMA integrity_check");
    return check && sqlite3_step(check.get()) == SQLITE_ROW &&
           QByteArrayView(reinterpret_cast<const char *>(sqlite3_column_text(check.get(), 0))) ==
               "ok";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    prepareStoreFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedStore store = writeFuzzedStore(data, size);
    // Read as the scan would, before the removal.
    const QList<QByteArray> lines = readCheckedLines(store);
    QList<QByteArray> asked = lines.mid(0, 2);
    asked.append("absent.test\tFALSE\t/\tFALSE\t0\tname\tvalue\n");
    struct stat st {
    };
    FUZZ_CHECK(::fstat(store.file.get(), &st) == 0);
    store.file.reset();

    const CookieStoreRemovalResult result =
        removeCookieStoreLines(store.folder.get(), store.name, store.kind,
                               {quint64(st.st_dev), quint64(st.st_ino)}, asked);
    FUZZ_CHECK(result.lines.size() == asked.size());
    FUZZ_CHECK(storeFolderEntries() == QStringList{QString::fromLatin1(store.name)});
    const bool removed = result.lines.contains(CookieLineRemoval::Removed);
    FUZZ_CHECK(!removed || result.failure == CookieStoreRemovalFailure::None);
    QFile file(store.folderPath + QLatin1Char('/') + QString::fromLatin1(store.name));
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    if (!removed) {
        FUZZ_CHECK(file.readAll() == store.content);
        return 0;
    }
    FUZZ_CHECK(passesIntegrityCheck(file.handle()));
    const QList<QByteArray> left = readCheckedLines(reopenStore(store));
    for (qsizetype i = 0; i < asked.size(); ++i)
        FUZZ_CHECK(result.lines.at(i) != CookieLineRemoval::Removed || !left.contains(asked.at(i)));
    return 0;
}
