#pragma once

#include "platform/DesktopNotifier.h"

#include <QList>

// Notifications kept in memory, for tests of the code that sends them.
class FakeDesktopNotifier : public DesktopNotifier
{
public:
    struct Notification {
        QString title;
        QString text;
    };

    // False: behaves as a desktop without a notification service.
    bool serviceAvailable = true;
    QList<Notification> sent;

    bool notify(const QString &title, const QString &text) override
    {
        if (!serviceAvailable)
            return false;
        sent.append({title, text});
        return true;
    }
};
