// The durable write every file of the update and the language switch goes
// through: whole or not at all, no temporary file left behind, on a real
// full disk (a small tmpfs, when the tests run as root) and with the write
// failure the tests inject elsewhere.
#include "language/LanguageSwitch.h"
#include "platform/AppPaths.h"
#include "platform/DiskFileWriter.h"
#include "platform/TextFiles.h"
#include "tests/support/FailingFileWriter.h"
#include "tests/support/SmallTmpfs.h"
#include "tests/support/TestFiles.h"

#include <QtTest>

namespace {
QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}
} // namespace

class TestFileWriter : public QObject
{
    Q_OBJECT
private slots:
    void replacesWhole();
    void failureKeepsTheOldFile();
    void fullDisk();
    void languageSwitch();
};

void TestFileWriter::replacesWhole()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("upd.dat");
    QVERIFY(TextFiles::writeAtomically(file, QByteArray(100000, 'a')));
    QCOMPARE(readTestFile(file), QByteArray(100000, 'a'));
    // A shorter content leaves nothing of the longer one; empty is a content.
    QVERIFY(TextFiles::writeAtomically(file, "b\r\n"));
    QCOMPARE(readTestFile(file), "b\r\n");
    QVERIFY(TextFiles::writeAtomically(file, QByteArray()));
    QCOMPARE(QFileInfo(file).size(), 0);
    QCOMPARE(entriesOf(dir.path()), QStringList{"upd.dat"});
}

void TestFileWriter::failureKeepsTheOldFile()
{
    QTemporaryDir dir;
    // No folder to write in.
    QVERIFY(!TextFiles::writeAtomically(dir.filePath("missing/upd.dat"), "x"));
    // A folder in the file's place is not replaced.
    QVERIFY(QDir(dir.path()).mkdir("cookdb.dat"));
    writeTestFile(dir.filePath("cookdb.dat/inside"), "kept");
    QVERIFY(!TextFiles::writeAtomically(dir.filePath("cookdb.dat"), "x"));
    QCOMPARE(readTestFile(dir.filePath("cookdb.dat/inside")), "kept");
    QCOMPARE(entriesOf(dir.path()), QStringList{"cookdb.dat"});
    // The writer says the same as the function it wraps.
    DiskFileWriter disk;
    QVERIFY(!disk.replaceFile(dir.filePath("cookdb.dat"), "x"));
    QVERIFY(disk.replaceFile(dir.filePath("regdb.dat"), "y"));
    QCOMPARE(readTestFile(dir.filePath("regdb.dat")), "y");
}

void TestFileWriter::fullDisk()
{
    SmallTmpfs disk(256 * 1024);
    if (!disk.isMounted())
        QSKIP(qPrintable("no tmpfs (" + disk.whyNot() +
                         "); the injected write failures of the other tests stand in"));
    const QString file = disk.path() + "/cookdb.dat";
    const QByteArray old(20000, 'o');
    QVERIFY(TextFiles::writeAtomically(file, old));
    disk.fill(8 * 1024);
    // A new file larger than the space left: the write fails with ENOSPC,
    // and the old file stays whole.
    QVERIFY(!TextFiles::writeAtomically(file, QByteArray(64 * 1024, 'n')));
    QCOMPARE(readTestFile(file), old);
    QCOMPARE(entriesOf(disk.path()), (QStringList{"cookdb.dat", "filler"}));
    // Nothing at all left: not even a small file can be written.
    disk.fill(0);
    QVERIFY(!TextFiles::writeAtomically(disk.path() + "/upd.dat", "date\r\n"));
    QVERIFY(!QFile::exists(disk.path() + "/upd.dat"));

    // The language switch on the full disk keeps lang.dat and says so.
    const AppPaths paths = AppPaths::forFolder(disk.path());
    QVERIFY(QFile::remove(disk.path() + "/filler"));
    QVERIFY(TextFiles::writeAtomically(paths.writeFile("lang.dat"), "English\r\n"));
    QVERIFY(QDir(disk.path()).mkdir("Language"));
    QVERIFY(TextFiles::writeAtomically(paths.LanguageFolder + "italiano", "Avvia scansione\r\n"));
    disk.fill(0);
    DiskFileWriter writer;
    QVERIFY(!installLanguage(paths, 2, writer));
    QCOMPARE(readTestFile(paths.writeFile("lang.dat")), "English\r\n");
}

void TestFileWriter::languageSwitch()
{
    QTemporaryDir dir;
    const AppPaths paths = AppPaths::forFolder(dir.path());
    writeTestFile(paths.writeFile("lang.dat"), "English\r\n");
    writeTestFile(paths.LanguageFolder + QString::fromUtf8("fran\xc3\xa7"
                                                           "ais"),
                  "Balayage.\r\n");
    FailingFileWriter full;
    full.failWritesTo("lang.dat");
    QVERIFY(!installLanguage(paths, 1, full));
    QCOMPARE(full.failed(), QStringList{"lang.dat"});
    QCOMPARE(readTestFile(paths.writeFile("lang.dat")), "English\r\n");
    DiskFileWriter disk;
    QVERIFY(!installLanguage(paths, 3, disk)); // no deutsch file
    QVERIFY(!installLanguage(paths, 6, disk)); // no such button
    QCOMPARE(readTestFile(paths.writeFile("lang.dat")), "English\r\n");
    QVERIFY(installLanguage(paths, 1, disk));
    QCOMPARE(readTestFile(paths.writeFile("lang.dat")), "Balayage.\r\n");
}

QTEST_GUILESS_MAIN(TestFileWriter)
#include "tst_file_writer.moc"
