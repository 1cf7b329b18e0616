#include "app/RemovalMessage.h"

#include "language/LanguageTexts.h"

#include <QLocale>

#include <algorithm>

QString removalMessage(const LanguageTexts &texts, const QList<RowRemoval> &outcomes)
{
    const auto removed = std::count_if(outcomes.cbegin(), outcomes.cend(), [](const RowRemoval &r) {
        return r.outcome == RemovalOutcome::Removed;
    });
    const qsizetype notRemoved = outcomes.size() - removed;
    const bool browser = std::any_of(outcomes.cbegin(), outcomes.cend(), [](const RowRemoval &r) {
        return r.outcome == RemovalOutcome::BrowserLocked;
    });
    const QLocale locale;
    QStringList lines{
        texts.Lingua(27),
        texts.Lingua(RemovedCountText) + QLatin1Char(' ') + locale.toString(qint64(removed)),
        texts.Lingua(NotRemovedCountText) + QLatin1Char(' ') + locale.toString(qint64(notRemoved))};
    if (notRemoved > 0)
        lines << texts.Lingua(28);
    if (browser)
        lines << texts.Lingua(CloseBrowserText);
    return lines.join(QLatin1Char('\n'));
}
