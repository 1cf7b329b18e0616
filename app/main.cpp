#include "app/ModAvvio.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Torvakine"));
    QApplication::setApplicationVersion(QStringLiteral("6.4"));
    return runTorvakine();
}
