#include "update/widgets/DesktopShellOpen.h"

#include <QDesktopServices>

bool DesktopShellOpen::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
