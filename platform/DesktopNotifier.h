#pragma once

#include <QString>

// The desktop's notification service: one short message shown outside the
// program's windows, for example when a scheduled scan ends.
class DesktopNotifier
{
public:
    virtual ~DesktopNotifier() = default;
    // Shows one notification with a title and a plain text.  True when the
    // service took it; false, without any message, when the desktop has no
    // such service or it did not answer.
    virtual bool notify(const QString &title, const QString &text) = 0;
};
