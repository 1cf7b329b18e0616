#include "scanner/CookieStoreKind.h"

#include "platform/SqliteConnection.h"
#include "scanner/CookieStoreSchema.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kSqliteHeader[16] = "SQLite format 3"; // with its final NUL

} // namespace

CookieStoreKind cookieStoreKindOfName(QStringView name)
{
    if (name.compare(QLatin1String("cookies.sqlite"), Qt::CaseInsensitive) == 0)
        return CookieStoreKind::Firefox;
    if (name.compare(QLatin1String("Cookies"), Qt::CaseInsensitive) == 0)
        return CookieStoreKind::Chromium;
    return CookieStoreKind::None;
}

bool hasSqliteHeader(int file)
{
    char header[sizeof kSqliteHeader];
    ssize_t got;
    do {
        got = ::pread(file, header, sizeof header, 0);
    } while (got < 0 && errno == EINTR);
    return got == ssize_t(sizeof header) && std::memcmp(header, kSqliteHeader, sizeof header) == 0;
}

CookieStoreKind recogniseCookieStore(QStringView name, int file)
{
    const CookieStoreKind kind = cookieStoreKindOfName(name);
    struct stat st {
    };
    if (kind == CookieStoreKind::None || file < 0 || ::fstat(file, &st) != 0 ||
        !S_ISREG(st.st_mode))
        return CookieStoreKind::None;
    if (kind == CookieStoreKind::Firefox)
        return kind;
    if (!hasSqliteHeader(file))
        return CookieStoreKind::None;
    try {
        const SqliteConnection db = SqliteConnection::openDescriptor(file);
        return holdsCookieTable(db, kind) ? kind : CookieStoreKind::None;
    } catch (...) {
        return CookieStoreKind::None;
    }
}

QString cookieStorePrefix(CookieStoreKind kind)
{
    switch (kind) {
    case CookieStoreKind::Firefox:
        return QStringLiteral("firefox:");
    case CookieStoreKind::Chromium:
        return QStringLiteral("chromium:");
    case CookieStoreKind::None:
        break;
    }
    return QString();
}
