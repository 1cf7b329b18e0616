#pragma once

#include <QUrl>

// The desktop shell's open request: hands a URL to the user's default
// program for it (a web browser for http and https).  The caller does not
// wait for that program.
class ShellOpen
{
public:
    virtual ~ShellOpen() = default;
    virtual bool openUrl(const QUrl &url) = 0;
};
