// The cookie-store reader on a mutated database (see CookieStoreFuzzing.h for
// the input's layout).  Recognising and reading never change the store or
// its folder, and every line handed over is a whole line of seven fields.
#include "fuzz/CookieStoreFuzzing.h"
#include "fuzz/FuzzEnvironment.h"
#include "scanner/CookieStoreKind.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzEnvironment(argc, argv);
    prepareStoreFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const FuzzedStore store = writeFuzzedStore(data, size);
    const CookieStoreKind recognised =
        recogniseCookieStore(QString::fromLatin1(store.name), store.file.get());
    FUZZ_CHECK(recognised == CookieStoreKind::None || recognised == store.kind);
    readCheckedLines(store);

    FUZZ_CHECK(storeFolderEntries() == QStringList{QString::fromLatin1(store.name)});
    QFile file(store.folderPath + QLatin1Char('/') + QString::fromLatin1(store.name));
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    FUZZ_CHECK(file.readAll() == store.content);
    return 0;
}
