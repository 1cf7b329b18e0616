#include "language/LanguageSwitch.h"

#include "platform/AppPaths.h"
#include "platform/FileWriter.h"

#include <QFile>

QString languageFileName(int index)
{
    static const char *const names[6] = {"english",
                                         "fran\xc3\xa7"
                                         "ais",
                                         "italiano",
                                         "deutsch",
                                         "espa\xc3\xb1"
                                         "ol",
                                         "nederlands"};
    if (index < 0 || index > 5)
        return {};
    return QString::fromUtf8(names[index]);
}

bool installLanguage(const AppPaths &paths, int index, FileWriter &files)
{
    const QString name = languageFileName(index);
    if (name.isEmpty())
        return false;
    QFile source(paths.LanguageFolder + name);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return false;
    return files.replaceFile(paths.writeFile(QStringLiteral("lang.dat")), bytes);
}

QString languageNativeName(int index)
{
    static const char *const names[6] = {"English",
                                         "Fran\xc3\xa7"
                                         "ais",
                                         "Italiano",
                                         "Deutsch",
                                         "Espa\xc3\xb1"
                                         "ol",
                                         "Nederlands"};
    return index >= 0 && index < 6 ? QString::fromUtf8(names[index]) : QString();
}
