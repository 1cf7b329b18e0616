#include "TorvakineVersion.h"
#include "app/ModAvvio.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvakine"));
    QApplication::setApplicationVersion(QStringLiteral(TORVAKINE_VERSION));
    return runTorvakine();
}
