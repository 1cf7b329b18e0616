#pragma once

#include <QString>

class DesktopNotifier;
class LanguageTexts;

// The desktop notification of torvakine-cli scan --notify, sent once when the
// scan has ended, in the language of texts.  Title: Lingua(9) ("No threats
// found"), or ThreatsFoundTitleText and the number of detections.  Text: the
// summary line and, when the command ended with an error (the report could
// not be written), that error on a line of its own.  False, silently, when
// the desktop has no notification service (no session bus, for one) or it
// did not take the notification.
bool notifyScanEnd(DesktopNotifier &notifier, const LanguageTexts &texts, const QString &summary,
                   qint32 detections, const QString &error);
