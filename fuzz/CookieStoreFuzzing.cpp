#include "fuzz/CookieStoreFuzzing.h"

#include "fuzz/FuzzEnvironment.h"
#include "scanner/CookieScan.h"
#include "scanner/CookieStoreReader.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>

namespace {

QString storeFolder()
{
    return fuzzFolder() + QStringLiteral("/store");
}

} // namespace

void prepareStoreFolder()
{
    QDir(fuzzFolder()).mkpath(QStringLiteral("store"));
}

FuzzedStore writeFuzzedStore(const uint8_t *data, size_t size)
{
    FuzzedStore store;
    store.folderPath = storeFolder();
    const bool chromium = size > 0 && (data[0] & 1);
    store.kind = chromium ? CookieStoreKind::Chromium : CookieStoreKind::Firefox;
    store.name = chromium ? QByteArray("Cookies") : QByteArray("cookies.sqlite");
    store.content = size > 0 ? fuzzBytes(data + 1, size - 1) : QByteArray();
    QDir dir(store.folderPath);
    for (const QString &entry :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        FUZZ_CHECK(dir.remove(entry));
    writeFuzzFile(dir.filePath(QString::fromLatin1(store.name)), store.content);
    return reopenStore(store);
}

FuzzedStore reopenStore(const FuzzedStore &store)
{
    FuzzedStore again;
    again.folderPath = store.folderPath;
    again.name = store.name;
    again.kind = store.kind;
    again.content = store.content;
    again.folder = UniqueFd(::open(QFile::encodeName(again.folderPath).constData(),
                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    again.file = UniqueFd(::openat(again.folder.get(), again.name.constData(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    FUZZ_CHECK(again.folder.isOpen() && again.file.isOpen());
    return again;
}

QList<QByteArray> readCheckedLines(const FuzzedStore &store)
{
    QList<QByteArray> lines;
    const CookieStoreReadResult result =
        readCookieStore({store.folder.get(), store.name, store.file.get()}, store.kind,
                        [&](const QByteArray &line) {
                            FUZZ_CHECK(line.endsWith('\n'));
                            FUZZ_CHECK(line.count('\t') >= 6);
                            FUZZ_CHECK(line.size() <= kMaxCookieLineBytes);
                            lines.append(line);
                            return true;
                        });
    FUZZ_CHECK(result.linesDelivered == lines.size());
    FUZZ_CHECK(!result.fromPrivateCopy);
    return lines;
}

QStringList storeFolderEntries()
{
    return QDir(storeFolder())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}
