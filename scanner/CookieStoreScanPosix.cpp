#include "scanner/CookieStoreScan.h"

#include "platform/FileHandle.h"
#include "scanner/CookieLineMatch.h"
#include "scanner/CookieStoreReader.h"

namespace {
// Rows read between two questions whether to go on.
constexpr qint64 kRowsPerQuestion = 1024;
} // namespace

bool mayBeCookieStore(const QString &listedName)
{
    return cookieStoreKindOfName(listedName) != CookieStoreKind::None;
}

CookieStoreScan scanCookieStore(const FileHandle &folder, const QByteArray &name,
                                const QString &listedName, const FileHandle &file,
                                const CookiePatterns &patterns,
                                const std::function<bool()> &keepReading)
{
    CookieStoreScan scan;
    if (cookieStoreKindOfName(listedName) == CookieStoreKind::None)
        return scan;
    scan.kind = recogniseCookieStore(listedName, file.native());
    if (scan.kind == CookieStoreKind::None || !patterns.found)
        return scan;
    scan.prefix = cookieStorePrefix(scan.kind);
    qint64 rows = 0;
    readCookieStore({folder.native(), name, file.native()}, scan.kind, [&](const QByteArray &line) {
        if (cookieLineMatches(line, patterns.patterns))
            scan.trackingLines << line;
        return ++rows % kRowsPerQuestion != 0 || keepReading();
    });
    return scan;
}
