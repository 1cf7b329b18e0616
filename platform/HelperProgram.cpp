#include "platform/HelperProgram.h"

#include <QCoreApplication>
#include <QFileInfo>

QString hiveHelperProgram()
{
    const QString name = QStringLiteral("torvakine-hive-helper");
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString &folder : {here, here + QStringLiteral("/../lib/torvakine"),
                                  here + QStringLiteral("/../libexec/torvakine")}) {
        const QFileInfo program(folder + QLatin1Char('/') + name);
        if (program.isFile() && program.isExecutable())
            return program.canonicalFilePath();
    }
    return {};
}
