// Reads a browser cookie store of many rows, for measuring the reader's
// memory and speed (see README.md and cookie-store-memory.sh).
//   torvakine-cookie-store-bench make PATH [ROWS]   writes a Firefox store
//   torvakine-cookie-store-bench scan PATH          reads it, testing every
//                                                   line against a pattern
#include "platform/UniqueFd.h"
#include "scanner/CookieLineMatch.h"
#include "scanner/CookieStoreKind.h"
#include "scanner/CookieStoreReader.h"
#include "tests/support/CookieStoreBuilder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

#include <fcntl.h>

namespace {

int make(const QString &path, qint64 rows)
{
    // Hosts, names and values of the lengths browsers keep; one row in a
    // thousand is a tracker.
    const auto cookieAt = [](qint64 i) {
        TestCookie c;
        c.host = (i % 1000 == 0 ? ".ad" : ".site") + QByteArray::number(i) +
                 (i % 1000 == 0 ? ".doubleclick.net" : ".example");
        c.path = "/";
        c.name = "cookie" + QByteArray::number(i % 97);
        c.value = QByteArray::number(i * 2654435761u, 16).repeated(4);
        c.secure = i % 2;
        c.expiry = 1700000000 + i;
        return c;
    };
    QString error;
    if (!writeCookieStore(path, CookieStoreLayout::Firefox2020, rows, cookieAt, {}, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    return 0;
}

int scan(const QString &path)
{
    const QFileInfo info(path);
    const UniqueFd folder(
        ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const QByteArray name = QFile::encodeName(info.fileName());
    const UniqueFd file(
        ::openat(folder.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const CookieStoreKind kind = recogniseCookieStore(info.fileName(), file.get());
    if (kind == CookieStoreKind::None) {
        std::fprintf(stderr, "%s is no cookie store\n", qPrintable(path));
        return 1;
    }
    const QStringList patterns = {QStringLiteral("*doubleclick.net*")};
    qint64 matches = 0;
    QElapsedTimer timer;
    timer.start();
    const CookieStoreReadResult result =
        readCookieStore({folder.get(), name, file.get()}, kind, [&](const QByteArray &line) {
            matches += cookieLineMatches(line, patterns);
            return true;
        });
    std::printf("lines %lld, tracking cookies %lld, from a private copy: %s, %.2f s\n",
                static_cast<long long>(result.linesDelivered), static_cast<long long>(matches),
                result.fromPrivateCopy ? "yes" : "no", double(timer.elapsed()) / 1000);
    return result.outcome == CookieStoreReadOutcome::Read ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const QByteArray command = argc > 1 ? argv[1] : "";
    if (command == "make" && (argc == 3 || argc == 4))
        return make(QFile::decodeName(argv[2]), argc == 4 ? std::atoll(argv[3]) : 1000000);
    if (command == "scan" && argc == 3)
        return scan(QFile::decodeName(argv[2]));
    std::fprintf(stderr, "usage: %s make PATH [ROWS] | scan PATH\n", argv[0]);
    return 2;
}
