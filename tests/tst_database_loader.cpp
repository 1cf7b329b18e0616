// Loading the three databases into their tables.
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "platform/ProgressIndicator.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QTest>

class TestDatabaseLoader : public QObject
{
    Q_OBJECT
private slots:
    void sectionsVersionsAndTokens();
    void failedLoadKeepsFileAndVersion();
};

void TestDatabaseLoader::sectionsVersionsAndTokens()
{
    TestAppFolder app;
    app.writeDatabase("cookdb.dat", "***Adware\n\\Path\\MixedCase.EXE\n%system%\\Bad.dll\n"
                                    "%windir%\\x\\%windir%\\y\nx%system%\\z\n%sy%windir%\\q\n"
                                    "[[[2007.1\n--ME-\nSample.exe\n<<<>>\nnever stored\n");
    app.writeDatabase("trojsig.dat", "aaa one\n[[[5\nbbb two\n");
    app.writeDatabase("regdb.dat", "***X\nHKEY_USERS\\a\n[[[7\n");
    // The plain text never reaches the disk, here or in the working folder.
    QTemporaryDir cwd;
    const QString before = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    SilentProgress bar;
    bar.setValue(50);
    DatabaseTables t;
    LoadDatabases(app.paths(), t, bar);
    QDir::setCurrent(before);
    QVERIFY(QDir(cwd.path()).isEmpty());
    QCOMPARE(QDir(app.path()).entryList(QDir::Files),
             QStringList({"cookdb.dat", "regdb.dat", "trojsig.dat"}));
    // The bar spans the last file's plain length, up to its characters without line ends.
    QCOMPARE(bar.maximum(), 26.0);
    QCOMPARE(bar.value(), 20.0);
    QCOMPARE(QList<qint32>({t.CookDbCount, t.MemDbCount, t.TrojSigCount, t.RegDbCount}),
             QList<qint32>({6, 1, 2, 2}));
    QCOMPARE(t.MemDbEntries.mid(1), QStringList({"Sample.exe"}));
    QCOMPARE(t.TrojSigEntries.mid(1), QStringList({"aaa one", "bbb two"}));
    QCOMPARE(t.RegDbEntries.mid(1), QStringList({"***X", "HKEY_USERS\\a"}));
    // Only a token at the start of an entry names a folder.
    ExpandFolderTokens(t, "\\windows\\system32\\", "\\windows\\");
    QCOMPARE(t.CookDbEntries.mid(1),
             QStringList({"***Adware", "\\path\\mixedcase.exe", "\\windows\\system32\\bad.dll",
                          "\\windows\\x\\\\windows\\y", "x%system%\\z", "%sy%windir%\\q"}));
    // The window strips the versions whenever it loads; a second pass leaves them.
    for (int pass = 0; pass < 2; ++pass) {
        PreparoVersioni(t);
        QCOMPARE(QStringList({t.CookDbVersion, t.TrojSigVersion, t.RegDbVersion}),
                 QStringList({"2007.1", "5", "7"}));
    }
    // A reload of a file without its section markers keeps no earlier count.
    app.writeDatabase("cookdb.dat", "***Adware\nbad.exe\nother.exe\nSample.exe\n");
    LoadDatabases(app.paths(), t, bar);
    QVERIFY(t.CookDbLoaded);
    QCOMPARE(QList<qint32>({t.CookDbCount, t.MemDbCount}), QList<qint32>({0, 0}));
    // A lone CR ends a line, a lone LF does not.
    QCOMPARE(databaseLines("a\r\nb\rc\nd\r\n\r\ncaf\xe9 \x80"),
             QStringList({"a", "b", "c\nd", "", QStringLiteral("caf\u00e9 \u20ac")}));
}

void TestDatabaseLoader::failedLoadKeepsFileAndVersion()
{
    TestAppFolder app;
    app.writeDatabase("trojsig.dat", "[[[1\na\nb\nc\n");
    SilentProgress bar;
    DatabaseTables t;
    LoadDatabases(app.paths(), t, bar);
    QVERIFY(t.TrojSigLoaded && !t.RegDbLoaded); // regdb.dat is missing
    QCOMPARE(t.TrojSigCount, 3);
    PreparoVersioni(t);
    app.writeFile("trojsig.dat", "bm90IGEgZGF0YWJhc2U=\r\n");
    LoadDatabases(app.paths(), t, bar);
    QVERIFY(!t.TrojSigLoaded);
    QCOMPARE(t.TrojSigCount, 0);
    // The version of the last good load stays, so the next update fetches a
    // newer file; the file that failed is never deleted or changed.
    QCOMPARE(t.TrojSigVersion, QStringLiteral("1"));
    QCOMPARE(app.readFile("trojsig.dat"), QByteArray("bm90IGEgZGF0YWJhc2U=\r\n"));
}

QTEST_GUILESS_MAIN(TestDatabaseLoader)
#include "tst_database_loader.moc"
