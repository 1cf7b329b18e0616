// Loading the three databases into their tables.
#include "databases/DatabaseLoader.h"
#include "databases/DatabaseTables.h"
#include "platform/ProgressIndicator.h"
#include "platform/StartupState.h"
#include "tests/support/TestAppFolder.h"

#include <QDir>
#include <QTest>

class TestDatabaseLoader : public QObject
{
    Q_OBJECT
private slots:
    void cookDbSectionsAndMarkers();
    void versionLineInTheMiddleOfTrojSig();
    void missingAndCorruptFilesLoadNothingAndStay();
    void failedReloadClearsTheCount();
    void leavesNoScratchFile();
    void preparoVersioniTwice();
    void lineEnds();
    void folderTokens();
    void progressFollowsTheLines();
};

namespace {
void loadAll()
{
    SilentProgress bar;
    LoadDatabases(bar);
}
} // namespace

void TestDatabaseLoader::cookDbSectionsAndMarkers()
{
    TestAppFolder app;
    app.writeDatabase("cookdb.dat", "***Adware.Sample\n\\Path\\MixedCase.EXE\n[[[2007.1\n--ME-\n"
                                    "Sample.exe\n<<<>>\nnever stored\n");
    loadAll();
    const DatabaseTables &t = databaseTables();
    QVERIFY(t.CookDbLoaded);
    QCOMPARE(t.CookDbCount, 2);
    QCOMPARE(t.CookDbEntries.mid(1), QStringList({"***Adware.Sample", "\\path\\mixedcase.exe"}));
    QCOMPARE(t.MemDbCount, 1);
    QCOMPARE(t.MemDbEntries.mid(1), QStringList({"Sample.exe"}));
    QCOMPARE(t.CookDbVersion, QStringLiteral("[[[2007.1"));
    PreparoVersioni();
    QCOMPARE(t.CookDbVersion, QStringLiteral("2007.1"));

    // Without its markers the counts stay at what they were: 0 on a first load.
    resetDatabaseTables();
    app.writeDatabase("cookdb.dat", "***A\nx\ny\n");
    loadAll();
    QVERIFY(databaseTables().CookDbLoaded);
    QCOMPARE(databaseTables().CookDbCount, 0);
}

void TestDatabaseLoader::versionLineInTheMiddleOfTrojSig()
{
    TestAppFolder app;
    app.writeDatabase("trojsig.dat", "aaa one\n[[[5\nbbb two\n");
    app.writeDatabase("regdb.dat", "***X\nHKEY_USERS\\a\n[[[7\n");
    loadAll();
    const DatabaseTables &t = databaseTables();
    QCOMPARE(t.TrojSigCount, 2);
    QCOMPARE(t.TrojSigEntries.mid(1), QStringList({"aaa one", "bbb two"}));
    QCOMPARE(t.TrojSigVersion, QStringLiteral("[[[5"));
    QCOMPARE(t.RegDbCount, 2);
    QCOMPARE(t.RegDbVersion, QStringLiteral("[[[7"));
}

void TestDatabaseLoader::missingAndCorruptFilesLoadNothingAndStay()
{
    TestAppFolder app;
    app.writeDatabase("cookdb.dat", "***A\nx\n--ME-\n<<<>>\n");
    app.writeFile("trojsig.dat", QByteArray());
    loadAll();
    const DatabaseTables &t = databaseTables();
    QVERIFY(t.CookDbLoaded);
    QVERIFY(!t.TrojSigLoaded);
    QCOMPARE(t.TrojSigCount, 0);
    QVERIFY(!t.RegDbLoaded);
    QCOMPARE(t.RegDbCount, 0);
    QVERIFY(t.TrojSigVersion.isEmpty());
    // A file that failed to load is never deleted.
    QVERIFY(QFile::exists(app.filePath("trojsig.dat")));

    app.writeFile("trojsig.dat", "bm90IGEgZGF0YWJhc2U=\r\n");
    loadAll();
    QVERIFY(!databaseTables().TrojSigLoaded);
    QCOMPARE(app.readFile("trojsig.dat"), QByteArray("bm90IGEgZGF0YWJhc2U=\r\n"));
}

void TestDatabaseLoader::failedReloadClearsTheCount()
{
    TestAppFolder app;
    app.writeDatabase("trojsig.dat", "[[[1\na\nb\nc\n");
    loadAll();
    QCOMPARE(databaseTables().TrojSigCount, 3);
    PreparoVersioni();
    app.writeFile("trojsig.dat", "garbage");
    loadAll();
    const DatabaseTables &t = databaseTables();
    QVERIFY(!t.TrojSigLoaded);
    QCOMPARE(t.TrojSigCount, 0);
    // The version of the last good load stays, so the next update fetches a
    // newer file.
    QCOMPARE(t.TrojSigVersion, QStringLiteral("1"));
}

void TestDatabaseLoader::leavesNoScratchFile()
{
    TestAppFolder app;
    QTemporaryDir cwd;
    const QString before = QDir::currentPath();
    QDir::setCurrent(cwd.path());
    // A stale scratch file of an earlier run is no obstacle.
    writeTestFile(cwd.filePath("Temp"), "stale");
    app.writeDatabase("cookdb.dat", "***A\nx\n--ME-\n<<<>>\n");
    app.writeDatabase("regdb.dat", "***R\n");
    loadAll();
    QDir::setCurrent(before);
    QVERIFY(databaseTables().CookDbLoaded);
    QVERIFY(databaseTables().RegDbLoaded);
    QCOMPARE(QDir(cwd.path()).entryList(QDir::Files), QStringList({"Temp"}));
    QCOMPARE(QDir(app.path()).entryList(QDir::Files), QStringList({"cookdb.dat", "regdb.dat"}));
}

void TestDatabaseLoader::preparoVersioniTwice()
{
    TestAppFolder app;
    app.writeDatabase("regdb.dat", "[[[[[[nested\n");
    loadAll();
    PreparoVersioni();
    QCOMPARE(databaseTables().RegDbVersion, QStringLiteral("[[[nested"));
    databaseTables().RegDbVersion = QStringLiteral("plain");
    PreparoVersioni();
    PreparoVersioni();
    QCOMPARE(databaseTables().RegDbVersion, QStringLiteral("plain"));
}

void TestDatabaseLoader::lineEnds()
{
    QCOMPARE(databaseLines("a\r\nb\rc\nd\r\n"), QStringList({"a", "b", "c\nd"}));
    QCOMPARE(databaseLines("a\r\n\r\nlast"), QStringList({"a", "", "last"}));
    // Windows-1252 bytes arrive as their characters.
    QCOMPARE(databaseLines("caf\xe9 \x80"), QStringList({QStringLiteral("caf\u00e9 \u20ac")}));
}

void TestDatabaseLoader::folderTokens()
{
    TestAppFolder app;
    app.writeDatabase("cookdb.dat", "***A\n%system%\\Bad.dll\n%windir%\\x\\%windir%\\y\n"
                                    "x%system%\\z\n%sy%windir%\\q\n--ME-\n<<<>>\n");
    loadAll();
    startupState().SystemFolder = QStringLiteral("\\windows\\system32\\");
    startupState().WindowsFolder = QStringLiteral("\\windows\\");
    ExpandFolderTokens();
    QCOMPARE(databaseTables().CookDbEntries.mid(1),
             QStringList({"***A", "\\windows\\system32\\bad.dll", "\\windows\\x\\\\windows\\y",
                          "x%system%\\z", "%sy%windir%\\q"}));
}

void TestDatabaseLoader::progressFollowsTheLines()
{
    TestAppFolder app;
    app.writeDatabase("trojsig.dat", "12345\n123\n");
    SilentProgress bar;
    bar.setMaximum(1000);
    bar.setValue(500);
    LoadDatabases(bar);
    // Maximum is the plain file's length; the position advanced by the
    // characters of each line after it was reset for trojsig.dat.
    QCOMPARE(bar.maximum(), 12.0); // "12345\r\n123\r\n"
    QCOMPARE(bar.value(), 8.0);
}

QTEST_GUILESS_MAIN(TestDatabaseLoader)
#include "tst_database_loader.moc"
