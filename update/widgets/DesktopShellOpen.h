#pragma once

#include "platform/ShellOpen.h"

// The desktop's open request through QDesktopServices.
class DesktopShellOpen : public ShellOpen
{
public:
    bool openUrl(const QUrl &url) override;
};
