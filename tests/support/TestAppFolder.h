#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary application folder for one test: the program's paths point
// into it while the object lives, and the shared state starts afresh.
class TestAppFolder
{
public:
    TestAppFolder();
    ~TestAppFolder();

    QString path() const { return m_dir.path(); }
    // path + "/" + name.
    QString filePath(const QString &name) const;

    // Writes name (cookdb.dat, trojsig.dat, regdb.dat) enciphered from plain
    // database text; lines may end with LF.
    void writeDatabase(const QString &name, const QByteArray &plainText) const;
    void writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

private:
    QTemporaryDir m_dir;
};

// Writes bytes to path, creating its folder; fails the test on error.
void writeTestFile(const QString &path, const QByteArray &bytes);
QByteArray readTestFile(const QString &path);
