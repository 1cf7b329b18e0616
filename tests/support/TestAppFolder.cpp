#include "tests/support/TestAppFolder.h"

#include "databases/DatabaseEncoder.h"
#include "databases/DatabaseLoader.h"
#include "language/LanguageFile.h"
#include "platform/ProgressIndicator.h"

TestAppFolder::TestAppFolder()
{
    if (!m_dir.isValid())
        qFatal("cannot create a temporary folder");
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

DatabaseTables TestAppFolder::loadTables() const
{
    DatabaseTables tables;
    SilentProgress bar;
    LoadDatabases(paths(), tables, bar);
    return tables;
}

EngineHandle TestAppFolder::loadEngine() const
{
    DatabaseTables tables = loadTables();
    prepareLoadedTables(tables);
    return makeEngine(std::move(tables));
}

LanguageTexts TestAppFolder::texts() const
{
    LanguageTexts texts;
    readCurrentLanguage(paths(), texts);
    return texts;
}

std::unique_ptr<ScanSession> TestAppFolder::newSession(EngineHandle engine,
                                                       ScanCallbacks callbacks) const
{
    if (!engine)
        engine = makeEngine(DatabaseTables{});
    return std::make_unique<ScanSession>(std::move(engine), paths(), texts(), std::move(callbacks));
}
