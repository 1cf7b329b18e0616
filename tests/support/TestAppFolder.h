#pragma once

#include "databases/DatabaseTables.h"
#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "scanner/Engine.h"
#include "scanner/ScanSession.h"
#include "tests/support/TestFiles.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A temporary application folder for one test, and what the program makes of
// it: its paths, its databases as loaded tables or as an engine, its texts and
// scan sessions in it.
class TestAppFolder
{
public:
    TestAppFolder();

    QString path() const { return m_dir.path(); }
    // path + "/" + name.
    QString filePath(const QString &name) const;
    AppPaths paths() const { return AppPaths::forFolder(path()); }

    // Writes name (cookdb.dat, trojsig.dat, regdb.dat) enciphered from plain
    // database text; lines may end with LF.
    void writeDatabase(const QString &name, const QByteArray &plainText) const;
    void writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

    // The three database files, loaded as the loading window loads them.
    DatabaseTables loadTables() const;
    // The same tables prepared as the main window prepares them, as an engine.
    EngineHandle loadEngine() const;
    // lang.dat, read as the main window reads it.
    LanguageTexts texts() const;
    // A scan session in this folder with texts(), over engine (over empty
    // tables when null).
    std::unique_ptr<ScanSession> newSession(EngineHandle engine = nullptr,
                                            ScanCallbacks callbacks = {}) const;

private:
    QTemporaryDir m_dir;
};
