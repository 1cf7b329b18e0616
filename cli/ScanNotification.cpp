#include "cli/ScanNotification.h"

#include "language/LanguageTexts.h"
#include "platform/DesktopNotifier.h"

#include <QLocale>

bool notifyScanEnd(DesktopNotifier &notifier, const LanguageTexts &texts, const QString &summary,
                   qint32 detections, const QString &error)
{
    const QString title = detections > 0 ? texts.Lingua(ThreatsFoundTitleText) + QLatin1Char(' ') +
                                               QLocale().toString(detections)
                                         : texts.Lingua(9);
    QString text = summary;
    if (!error.isEmpty())
        text += QLatin1Char('\n') + error;
    return notifier.notify(title, text);
}
