// Registry hive changes through the hive helper: a hive the hive library
// aborts on, a helper that hangs, ends at once or is missing, and the rule of
// the scanned tree for hives (no link on the way, only the file opened, its
// owner and mode kept).  None of them may end, hang or misdirect the program,
// and this test runs them all in its own process.
#include "platform/HelperProgram.h"
#include "platform/HiveFile.h"
#include "platform/HiveRegistry.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UnprivilegedUser.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using enum PredefinedKey;

namespace {

} // namespace

class TestHiveHelper : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void helperBesideTheProgram();
    void hiveTheLibraryAbortsOn();
    void helpersThatFail();
    void hivesFollowTheTreeRule();

private:
    QString root() const { return m_dir->filePath("install"); }
    QString software() const { return machineHivePath(root(), "SOFTWARE"); }
    QStringList configFiles() const
    {
        return QDir(QFileInfo(software()).path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    // Whether the hive on disk has the key.
    bool hasKey(const QString &keyPath) const
    {
        return HiveRegistry(root(), RegistryAccess::ReadOnly).keyExists(LocalMachine, keyPath);
    }
    // A shell script as the helper program.
    QString script(const QString &name, const QByteArray &body) const
    {
        const QString path = m_dir->filePath(name);
        writeTestFile(path, "#!/bin/sh\n" + body + "\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        return path;
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestHiveHelper::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    HiveBuilder hive(software());
    hive.setText("Vendor\\Bad", "Path", "bad.exe");
    hive.setText("Vendor\\Good", "Path", "good.exe");
    hive.setText("Run", "BadTool", "bad.exe");
    hive.setText("Run", "GoodTool", "good.exe");
    hive.addKey("Tracker");
    hive.commit();
}

void TestHiveHelper::helperBesideTheProgram()
{
    // The build puts a copy of the helper beside the test programs, as it
    // stages one beside torvakine and torvakine-cli.
    const QString helper = hiveHelperProgram();
    QCOMPARE(QFileInfo(helper).absolutePath(),
             QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath());
    QVERIFY(QFileInfo(helper).isExecutable());
    QCOMPARE(QFileInfo(helper).fileName(), QString("torvakine-hive-helper"));
}

void TestHiveHelper::hiveTheLibraryAbortsOn()
{
    // The data offset of the value BadTool (bytes 8 to 11 of its record)
    // points far beyond the file, and the class name cell of the key Tracker
    // (0x30 bytes into its record) does not exist: the hive library aborts
    // the process that removes either.  Here that is the helper: each of
    // these changes fails alone, the changes around them go through, and
    // the hive is written with exactly those.
    QVERIFY(patchHiveRecord(software(), "Run", "BadTool", 0x08, 0xFF000000));
    QVERIFY(patchHiveRecord(software(), "Tracker", nullptr, 0x30, 0xFD));
    {
        HiveRegistry registry(root(), RegistryAccess::ReadWrite);
        QCOMPARE(registry.deleteKey(LocalMachine, "SOFTWARE\\Vendor\\Bad"),
                 RegistryResult::Success);
        QCOMPARE(registry.deleteValue(LocalMachine, "SOFTWARE\\Run", "BadTool"),
                 RegistryResult::WriteFault);
        QCOMPARE(registry.deleteKey(LocalMachine, "SOFTWARE\\Tracker"), RegistryResult::WriteFault);
        // The helper that aborted is replaced; its successor is given the
        // change that went through before.
        QVERIFY(registry.keyExists(LocalMachine, "SOFTWARE\\Tracker"));
        QVERIFY(!registry.keyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        QCOMPARE(registry.deleteValue(LocalMachine, "SOFTWARE\\Vendor\\Good", "Path"),
                 RegistryResult::Success);
        QVERIFY(!registryValueIsPresent(
            registry.queryValue(LocalMachine, "SOFTWARE\\Vendor\\Good", "Path")));
        QCOMPARE(registry.commit(), QStringList());
    }
    QVERIFY(!hasKey("SOFTWARE\\Vendor\\Bad") && hasKey("SOFTWARE\\Vendor\\Good") &&
            hasKey("SOFTWARE\\Tracker") && hasKey("SOFTWARE\\Run"));
    QVERIFY(
        !registryValueIsPresent(HiveRegistry(root(), RegistryAccess::ReadOnly)
                                    .queryValue(LocalMachine, "SOFTWARE\\Vendor\\Good", "Path")));
    QCOMPARE(configFiles(), QStringList{"SOFTWARE"});
}

void TestHiveHelper::helpersThatFail()
{
    // Helpers that fail in every way: one that never reads the hive, one that
    // reads it and then never answers a change, one that ends at once, a
    // path that is no program, none at all.  No change is made and the hive
    // stays as it was.  A helper that hung is stopped at the time-out and not
    // started again for that hive: each start adds a line to "starts".
    const QByteArray before = readTestFile(software());
    const QString starts = m_dir->filePath("starts");
    const QByteArray counted = "echo start >> '" + QFile::encodeName(starts) + "'\n";
    const std::pair<QString, int> helpers[] = {
        {script("silent", counted + "exec /bin/sleep 600"), 1},
        {script("mute", counted + "printf '\\000' >&0\nexec /bin/sleep 600"), 1},
        {script("quitting", counted + "exit 0"), 1},
        {m_dir->filePath("missing"), 0},
        {QString(), 0}};
    for (const auto &[program, startCount] : helpers) {
        QFile::remove(starts);
        HiveChangeSettings settings;
        settings.helperProgram = program;
        settings.timeout = std::chrono::milliseconds(300);
        HiveRegistry registry(root(), RegistryAccess::ReadWrite, settings);
        QCOMPARE(registry.deleteKey(LocalMachine, "SOFTWARE\\Vendor\\Bad"),
                 RegistryResult::WriteFault);
        QCOMPARE(registry.deleteKey(LocalMachine, "SOFTWARE\\Tracker"), RegistryResult::WriteFault);
        QVERIFY(registry.keyExists(LocalMachine, "SOFTWARE\\Vendor\\Bad"));
        QCOMPARE(registry.commit(), QStringList());
        QCOMPARE(readTestFile(starts).count('\n'), startCount);
        QCOMPARE(readTestFile(software()), before);
        QCOMPARE(configFiles(), QStringList{"SOFTWARE"});
    }
    // A hive opened for reading is never changed.
    const std::unique_ptr<HiveFile> readOnly = HiveFile::open(software());
    QVERIFY(readOnly && !readOnly->removeKey(readOnly->child(readOnly->root(), "Tracker")));
}

void TestHiveHelper::hivesFollowTheTreeRule()
{
    // The hive belongs to a user, with a mode of its own: the rewritten hive
    // keeps both.
    const QString config = QFileInfo(software()).path();
    giveToUnprivilegedUser(root());
    openPathToEveryone(m_dir->path());
    QVERIFY(::chmod(QFile::encodeName(software()).constData(), 0640) == 0);
    {
        HiveRegistry registry(root(), RegistryAccess::ReadWrite);
        QCOMPARE(registry.deleteKey(LocalMachine, "SOFTWARE\\Vendor\\Bad"),
                 RegistryResult::Success);
        QCOMPARE(registry.commit(), QStringList());
    }
    QVERIFY(!hasKey("SOFTWARE\\Vendor\\Bad"));
    const struct stat rewritten = statusOf(software());
    QCOMPARE(rewritten.st_uid, kUnprivilegedUser);
    QCOMPARE(rewritten.st_gid, kUnprivilegedGroup);
    QCOMPARE(rewritten.st_mode & 07777, mode_t(0640));

    // The user swaps the hive for another file after the change was made and
    // before it is written: neither file is changed.
    {
        HiveRegistry registry(root(), RegistryAccess::ReadWrite);
        QCOMPARE(registry.deleteKey(LocalMachine, "SOFTWARE\\Vendor\\Good"),
                 RegistryResult::Success);
        const QByteArray hive = QFile::encodeName(software());
        const QByteArray away = QFile::encodeName(config + "/SOFTWARE.away");
        QVERIFY(asUnprivilegedUser([&] {
            if (::rename(hive.constData(), away.constData()) != 0)
                return false;
            const int fd = ::open(hive.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            return fd >= 0 && ::write(fd, "swapped", 7) == 7 && ::close(fd) == 0;
        }));
        QCOMPARE(registry.commit(), QStringList{software()});
    }
    QCOMPARE(readTestFile(software()), QByteArray("swapped"));
    QVERIFY(QFile::remove(software()) && QFile::rename(config + "/SOFTWARE.away", software()));
    QVERIFY(hasKey("SOFTWARE\\Vendor\\Good"));
    QCOMPARE(configFiles(), QStringList{"SOFTWARE"});

    // A folder on the way to the hive is a link (to another installation):
    // that hive is read by the scan but never changed.
    const QString other = m_dir->filePath("other");
    QVERIFY(QDir().rename(root() + "/Windows", other));
    QVERIFY(QFile::link(other, root() + "/Windows"));
    const QByteArray before = readTestFile(other + "/System32/config/SOFTWARE");
    QVERIFY(hasKey("SOFTWARE\\Vendor\\Good"));
    {
        HiveRegistry registry(root(), RegistryAccess::ReadWrite);
        registry.deleteKey(LocalMachine, "SOFTWARE\\Vendor\\Good");
        QCOMPARE(registry.commit(), QStringList{software()});
    }
    QCOMPARE(readTestFile(other + "/System32/config/SOFTWARE"), before);
}

QTEST_GUILESS_MAIN(TestHiveHelper)
#include "tst_hive_helper.moc"
