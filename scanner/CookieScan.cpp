#include "scanner/CookieScan.h"

#include "platform/Cp1252.h"
#include "platform/FileHandle.h"
#include "scanner/RecordDetection.h"
#include "scanner/ScanSession.h"

#include <QFile>

#include <cstring>

namespace {

constexpr qsizetype kReadPiece = 65536;

bool isTrackingCookie(const QByteArray &line, const CookiePatterns &patterns)
{
    return line.size() >= 3 && line.at(0) != '#' && patterns.matchAny(Cp1252::toUnicode(line));
}

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

void scanCookieLines(const CookiePatterns &patterns, const FileHandle &file,
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
            if (!overlong && isTrackingCookie(line, patterns))
                onMatch(line);
            line.clear();
            overlong = false;
        }
    }
}

void ScanMozilla(ScanSession &session, const QString &Directory, const QString &FileName)
{
    try {
        const CookiePatterns &patterns = session.engine().cookiePatterns();
        if (!patterns.found)
            return;
        session.state().CurrentThreatName = trackingCookieName();
        const FileHandle file =
            FileHandle::openRegularFile(QFile::encodeName(Directory + FileName));
        if (!file.isOpen())
            return;
        scanCookieLines(patterns, file, [&](const QByteArray &line) {
            RecordDetection(session, trackingCookieName(),
                            cookieObjectText(Directory, FileName, line));
        });
    } catch (...) {
        // The detections recorded so far stay.
    }
}
