#include "tests/support/TestAppFolder.h"

#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseTables.h"
#include "language/Lingua.h"
#include "platform/StartupState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

TestAppFolder::TestAppFolder()
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
    setApplicationFolderOverride(m_dir.path());
    resetStartupState();
    resetDatabaseTables();
    resetLanguageState();
    deriveApplicationPaths();
}

TestAppFolder::~TestAppFolder()
{
    setApplicationFolderOverride(QString());
}

QString TestAppFolder::filePath(const QString &name) const
{
    return m_dir.path() + QLatin1Char('/') + name;
}

void TestAppFolder::writeDatabase(const QString &name, const QByteArray &plainText) const
{
    writeFile(name, encodeDatabase(plainText));
}

void TestAppFolder::writeFile(const QString &name, const QByteArray &bytes) const
{
    writeTestFile(filePath(name), bytes);
}

QByteArray TestAppFolder::readFile(const QString &name) const
{
    return readTestFile(filePath(name));
}

void writeTestFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readTestFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
