#include "fuzz/HiveFuzzing.h"

#include "fuzz/FuzzEnvironment.h"

#include <QDir>
#include <QFile>

QString installationFolder()
{
    return fuzzFolder() + QStringLiteral("/install");
}

void prepareInstallation()
{
    QDir(fuzzFolder()).mkpath(QStringLiteral("install/Windows/System32/config"));
    QDir(fuzzFolder()).mkpath(QStringLiteral("install/Users/bob"));
}

QStringList writeFuzzedHives(const QByteArray &hive)
{
    const QString root = installationFolder();
    const QStringList paths = {root + QStringLiteral("/Windows/System32/config/SOFTWARE"),
                               root + QStringLiteral("/Windows/System32/config/SYSTEM"),
                               root + QStringLiteral("/Windows/System32/config/DEFAULT"),
                               root + QStringLiteral("/Users/bob/NTUSER.DAT")};
    for (const QString &path : paths)
        writeFuzzFile(path, hive);
    return paths;
}

QByteArray readFuzzFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
