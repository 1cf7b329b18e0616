#include "scanner/CookiePatterns.h"

#include "databases/DatabaseTables.h"
#include "scanner/PatternMatch.h"

#include <algorithm>

namespace {
constexpr qint32 kSectionReach = 20000;
} // namespace

QString trackingCookieName()
{
    return QStringLiteral("Tracking Cookie");
}

CookiePatterns CookiePatterns::fromTables(const DatabaseTables &tables)
{
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
    CookiePatterns result;
    result.found = true;
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
        result.patterns.append(pattern);
    }
    return result;
}

bool CookiePatterns::matchAny(const QString &text) const
{
    return std::any_of(patterns.cbegin(), patterns.cend(), [&text](const QString &pattern) {
        return PatternMatch::matches(text, pattern);
    });
}
