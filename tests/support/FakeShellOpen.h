#pragma once

#include "platform/ShellOpen.h"

#include <QList>
#include <QUrl>

// The desktop's open request kept in memory, for tests of the windows that
// hand files and addresses to the desktop.
class FakeShellOpen : public ShellOpen
{
public:
    // False: behaves as a desktop with no program for the address.
    bool succeeds = true;
    QList<QUrl> opened;

    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return succeeds;
    }
};
