#include "TorvakineVersion.h"
#include "app/ModAvvio.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvakine"));
    QApplication::setApplicationVersion(QStringLiteral(TORVAKINE_VERSION));
    // The desktop entry's name: desktops match the window with its menu
    // entry and icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.torvakine.Antispyware"));
    return runTorvakine();
}
