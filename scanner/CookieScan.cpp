#include "scanner/CookieScan.h"

#include "databases/DatabaseTables.h"
#include "platform/Cp1252.h"
#include "scanner/FileDescriptor.h"
#include "scanner/PatternMatch.h"
#include "scanner/RecordDetection.h"
#include "scanner/ScanState.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace {

constexpr qint32 kSectionReach = 20000;
constexpr qsizetype kReadPiece = 65536;

// Tests one complete line (line feed included) and records it on a match.
void testLine(const QByteArray &line, const QStringList &patterns, const QString &objectHead)
{
    if (line.size() < 3 || line.at(0) == '#')
        return;
    const QString text = Cp1252::toUnicode(line);
    for (const QString &pattern : patterns) {
        if (PatternMatch::matches(text, pattern)) {
            RecordDetection(trackingCookieName(), objectHead + QString::fromLatin1(line));
            return;
        }
    }
}

} // namespace

QString trackingCookieName()
{
    return QStringLiteral("Tracking Cookie");
}

QStringList cookiePatterns(bool *found)
{
    *found = false;
    const DatabaseTables &tables = databaseTables();
    const QStringList &entries = tables.CookDbEntries;
    const qint32 count = std::clamp<qint32>(tables.CookDbCount, 0, qint32(entries.size()) - 1);
    qint32 header = 0;
    for (qint32 i = 1; i <= count && header == 0; ++i) {
        if (entries.at(i).contains(trackingCookieName()))
            header = i;
    }
    if (header == 0)
        return {};
    qint32 next = 0;
    const qint32 last = std::min<qint32>(count, header + kSectionReach);
    for (qint32 i = header + 1; i <= last && next == 0; ++i) {
        if (entries.at(i).startsWith(QLatin1String("***")))
            next = i;
    }
    if (next == 0)
        return {};
    *found = true;
    QStringList patterns;
    for (qint32 i = header + 1; i < next; ++i) {
        const QString &e = entries.at(i);
        // Twelve framing characters in front and four behind leave nothing
        // of a shorter entry; it is passed over alone.
        if (e.size() < 16)
            continue;
        QString pattern = e.mid(12, e.size() - 16);
        if (!pattern.startsWith(QLatin1Char('*')))
            pattern.prepend(QLatin1Char('*'));
        if (pattern == QLatin1String("*mb*") || pattern == QLatin1String("*com*") ||
            pattern == QLatin1String("*2006*"))
            continue;
        patterns.append(pattern);
    }
    return patterns;
}

QString cookiePrefix(const QString &Directory)
{
    const QString lower = Directory.toLower();
    if (lower.contains(QLatin1String("netscape")))
        return QStringLiteral("netscape:");
    if (lower.contains(QLatin1String("mozilla")))
        return QStringLiteral("mozilla:");
    return QString();
}

void ScanMozilla(const QString &Directory, const QString &FileName)
{
    try {
        const QString objectHead =
            cookiePrefix(Directory) + Directory + FileName + QLatin1Char('+');
        bool found = false;
        const QStringList patterns = cookiePatterns(&found);
        if (!found)
            return;
        scanState().CurrentThreatName = trackingCookieName();

        const FileDescriptor file =
            FileDescriptor::openRegularFile(QFile::encodeName(Directory + FileName));
        if (!file.isOpen())
            return;
        QByteArray piece(kReadPiece, Qt::Uninitialized);
        QByteArray line;
        bool overlong = false; // inside a line past kMaxCookieLineBytes
        for (;;) {
            const ssize_t got = ::read(file.get(), piece.data(), size_t(piece.size()));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
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
                if (!overlong)
                    testLine(line, patterns, objectHead);
                line.clear();
                overlong = false;
            }
        }
    } catch (...) {
        // The detections recorded so far stay.
    }
}
