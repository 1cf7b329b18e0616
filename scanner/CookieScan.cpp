#include "scanner/CookieScan.h"

#include "platform/FileHandle.h"
#include "scanner/CookieLineMatch.h"

#include <cstring>

namespace {

constexpr qsizetype kReadPiece = 65536;

} // namespace

QString cookiePrefix(const QString &Directory)
{
    const QString lower = Directory.toLower();
    if (lower.contains(QLatin1String("netscape")))
        return QStringLiteral("netscape:");
    if (lower.contains(QLatin1String("mozilla")))
        return QStringLiteral("mozilla:");
    return QString();
}

QString cookieObjectText(const QString &Directory, const QString &FileName, const QByteArray &line)
{
    return cookiePrefix(Directory) + Directory + FileName + QLatin1Char('+') +
           QString::fromLatin1(line);
}

void ScanMozilla(const CookiePatterns &patterns, const FileHandle &file,
                 const std::function<void(const QByteArray &line)> &onMatch)
{
    QByteArray piece(kReadPiece, Qt::Uninitialized);
    QByteArray line;
    bool overlong = false; // inside a line past kMaxCookieLineBytes
    for (;;) {
        const qint64 got = file.read(piece.data(), piece.size());
        if (got <= 0)
            return;
        const char *at = piece.constData();
        const char *end = at + got;
        while (at < end) {
            const char *lf = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
            const char *stop = lf ? lf + 1 : end;
            if (!overlong) {
                line.append(at, stop - at);
                if (line.size() > kMaxCookieLineBytes) {
                    overlong = true;
                    line.clear();
                }
            }
            at = stop;
            if (!lf)
                break;
            if (!overlong && cookieLineMatches(line, patterns.patterns))
                onMatch(line);
            line.clear();
            overlong = false;
        }
    }
}
