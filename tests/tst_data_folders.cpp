// Where the program reads and writes: portable folder, installed tree, the
// user's data folder and its faults.
#include "platform/DataFolders.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;
constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kReadOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                         QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

// Permission bits stop everyone but root.  Run as root (as CI does), the
// test works as "nobody" and takes root back only to make another user's
// folder.
void switchEffectiveUser(uid_t uid)
{
    if (::seteuid(0) != 0 || ::setegid(uid == 0 ? 0 : kNobody) != 0 || ::seteuid(uid) != 0)
        qFatal("cannot switch the effective user to %u", unsigned(uid));
    // A change of user makes the process undumpable, which would keep the
    // leak checker from inspecting it.
    ::prctl(PR_SET_DUMPABLE, 1);
}

void makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("x") != 1)
        qFatal("cannot write %s", qPrintable(path));
}

// Every path below root with its size, to see that nothing was added.
QStringList listing(const QString &root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        out << it.filePath() + QLatin1Char(' ') + QString::number(it.fileInfo().size());
    }
    out.sort();
    return out;
}

QFile::Permissions modeOf(const QString &path)
{
    // Only the owner/group/other bits; the "user" bits repeat the owner's.
    return QFileInfo(path).permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

// A scratch tree: root/prefix/bin for the executable, root/home for HOME.
struct Tree {
    QTemporaryDir dir;
    QString root() const { return dir.path(); }
    QString bin() const { return root() + "/prefix/bin"; }
    QString share() const { return root() + "/prefix/share/torvakine"; }
    QString home() const { return root() + "/home"; }
    QString userFolder() const { return home() + "/.local/share/torvakine"; }

    Tree()
    {
        QDir().mkpath(bin());
        QDir().mkpath(home());
    }
    ~Tree()
    {
        // Read-only folders of a test cannot be emptied otherwise.
        QDirIterator it(root(), QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QFile::setPermissions(it.next(), kOwnerOnly);
    }
    DataFolderInputs inputs() const
    {
        DataFolderInputs in;
        in.executableFolder = bin();
        in.home = home();
        return in;
    }
};

} // namespace

class TestDataFolders : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void modes_data();
    void modes();
    void userFolderLocation_data();
    void userFolderLocation();
    void userFolderFaults_data();
    void userFolderFaults();
    void anotherUsersFolderIsRefused();
    void folderOthersCanChangeIsTightened();
    void userCopyTakesPrecedence();

private:
    bool m_root = false;
};

void TestDataFolders::initTestCase()
{
    m_root = ::geteuid() == 0;
    if (m_root)
        switchEffectiveUser(kNobody);
}

void TestDataFolders::cleanupTestCase()
{
    if (m_root)
        switchEffectiveUser(0);
}

void TestDataFolders::modes_data()
{
    QTest::addColumn<QStringList>("files");    // made below the tree's root
    QTest::addColumn<QStringList>("readOnly"); // folders made read-only
    QTest::addColumn<QString>("appFolder");    // --app-folder, relative to the root
    QTest::addColumn<bool>("portable");        // expected mode
    QTest::addColumn<QString>("readFolder");   // expected, relative to the root
    QTest::addColumn<QString>("writeFolder");  // expected; "user" for the user's folder

    // Files and read-only folders are separated by blanks.
    const char *dbs = "prefix/bin/cookdb.dat", *bin = "prefix/bin",
               *share = "prefix/share/torvakine";
    const char *installed = "prefix/share/torvakine/cookdb.dat "
                            "prefix/share/torvakine/Language/english";
    const struct {
        const char *tag, *files, *readOnly, *appFolder;
        bool portable;
        const char *readFolder, *writeFolder;
    } cases[] = {
        {"databases next to a writable executable", dbs, "", "", true, bin, bin},
        {"databases next to a read-only executable", dbs, bin, "", false, bin, "user"},
        {"installed tree, read-only programs folder", installed,
         "prefix/bin prefix/share/torvakine", "", false, share, "user"},
        // A user who unpacked the package owns its bin folder: still installed.
        {"installed tree, writable programs folder", installed, "", "", false, share, "user"},
        {"build without staged data", "", "", "", true, bin, bin},
        {"read-only folder without any data", "", bin, "", false, share, "user"},
        {"--app-folder, writable, even without databases", "app/readme", "", "app", true, "app",
         "app"},
        {"--app-folder, read-only", "app/regdb.dat", "app", "app", false, "app", "user"},
        {"--app-folder wins over databases next to the executable",
         "prefix/bin/cookdb.dat app/trojsig.dat", "", "app", true, "app", "app"},
        // Only a database marks a portable folder.
        {"language files alone next to the executable",
         "prefix/bin/lang.dat prefix/bin/Language/english", "", "", true, bin, bin},
    };
    for (const auto &c : cases)
        QTest::newRow(c.tag) << QString(c.files).split(' ', Qt::SkipEmptyParts)
                             << QString(c.readOnly).split(' ', Qt::SkipEmptyParts)
                             << QString(c.appFolder) << c.portable << QString(c.readFolder)
                             << QString(c.writeFolder);
}

void TestDataFolders::modes()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, readOnly);
    QFETCH(QString, appFolder);
    QFETCH(bool, portable);
    QFETCH(QString, readFolder);
    QFETCH(QString, writeFolder);

    Tree t;
    for (const QString &f : files)
        makeFile(t.root() + "/" + f);
    for (const QString &d : readOnly)
        QVERIFY(QFile::setPermissions(t.root() + "/" + d, kReadOnly));
    DataFolderInputs in = t.inputs();
    if (!appFolder.isEmpty())
        in.appFolderOverride = t.root() + "/" + appFolder;
    const QStringList before = listing(t.root());

    const DataFolderResult r = resolveDataFolders(in);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.folders.mode, portable ? DataFolders::Mode::Portable : DataFolders::Mode::Installed);
    QCOMPARE(r.folders.readFolder, t.root() + "/" + readFolder);
    const QString expectedWrite =
        writeFolder == QLatin1String("user") ? t.userFolder() : t.root() + "/" + writeFolder;
    QCOMPARE(r.folders.writeFolder, expectedWrite);
    if (portable) {
        // Nothing made anywhere, no probe file left behind.
        QCOMPARE(listing(t.root()), before);
    } else {
        QVERIFY(QFileInfo(t.userFolder()).isDir());
        QCOMPARE(modeOf(t.userFolder()), kOwnerOnly);
        QVERIFY(listing(t.root()).size() > before.size());
    }
}

void TestDataFolders::userFolderLocation_data()
{
    QTest::addColumn<QString>("xdgDataHome"); // relative to the root; "/" prefix kept as given
    QTest::addColumn<bool>("homeSet");
    QTest::addColumn<QString>("appData");
    QTest::addColumn<QString>("expected");    // relative to the root
    QTest::addColumn<QStringList>("created"); // folders the resolver must make owner-only

    QTest::newRow("XDG_DATA_HOME unset")
        << "" << true << ""
        << "home/.local/share/torvakine"
        << QStringList{"home/.local", "home/.local/share", "home/.local/share/torvakine"};
    QTest::newRow("XDG_DATA_HOME set, missing")
        << "ROOT/xdg/data" << true << ""
        << "xdg/data/torvakine" << QStringList{"xdg", "xdg/data", "xdg/data/torvakine"};
    QTest::newRow("XDG_DATA_HOME set, HOME unset")
        << "ROOT/xdg" << false << ""
        << "xdg/torvakine" << QStringList{"xdg", "xdg/torvakine"};
    // A relative XDG_DATA_HOME is invalid and ignored.
    QTest::newRow("XDG_DATA_HOME relative")
        << "xdg" << true << ""
        << "home/.local/share/torvakine" << QStringList{"home/.local/share/torvakine"};
    QTest::newRow("Windows application data folder")
        << "ROOT/xdg" << true << "ROOT/AppData/Local"
        << "AppData/Local/Torvakine" << QStringList{"AppData/Local/Torvakine"};
}

void TestDataFolders::userFolderLocation()
{
    QFETCH(QString, xdgDataHome);
    QFETCH(bool, homeSet);
    QFETCH(QString, appData);
    QFETCH(QString, expected);
    QFETCH(QStringList, created);

    Tree t;
    makeFile(t.share() + "/cookdb.dat");
    DataFolderInputs in = t.inputs();
    in.xdgDataHome = QString(xdgDataHome).replace("ROOT", t.root());
    in.appData = QString(appData).replace("ROOT", t.root());
    if (!homeSet)
        in.home.clear();
    const QFile::Permissions homeMode = modeOf(t.home());
    const DataFolderResult r = resolveDataFolders(in);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.folders.mode, DataFolders::Mode::Installed);
    QCOMPARE(r.folders.writeFolder, t.root() + "/" + expected);
    for (const QString &folder : created)
        QCOMPARE(modeOf(t.root() + "/" + folder), kOwnerOnly);
    // The home folder was there before and keeps its permissions.
    QCOMPARE(modeOf(t.home()), homeMode);
    // Found again, unchanged, on the next start.
    const DataFolderResult again = resolveDataFolders(in);
    QVERIFY(again.ok());
    QCOMPARE(again.folders.writeFolder, r.folders.writeFolder);
}

void TestDataFolders::userFolderFaults_data()
{
    QTest::addColumn<QString>("home");      // "ROOT/..." or a literal value
    QTest::addColumn<QString>("prepare");   // what stands in the way
    QTest::addColumn<QString>("errorText"); // part of the expected error
    const char *cases[][4] = {
        {"HOME unset", "", "", "HOME is not set"},
        {"HOME relative", "home", "", "not an absolute path"},
        {"HOME missing", "ROOT/missing", "", "does not exist"},
        {"HOME read-only", "ROOT/home", "read-only home", "cannot create the per-user data folder"},
        {"data folder is a file", "ROOT/home", "file", "is not a folder"},
        {"data folder read-only", "ROOT/home", "read-only data folder", "is not writable"},
    };
    for (const auto &c : cases)
        QTest::newRow(c[0]) << QString(c[1]) << QString(c[2]) << QString(c[3]);
}

void TestDataFolders::userFolderFaults()
{
    QFETCH(QString, home);
    QFETCH(QString, prepare);
    QFETCH(QString, errorText);

    Tree t;
    makeFile(t.share() + "/cookdb.dat");
    if (prepare == QLatin1String("read-only home")) {
        QVERIFY(QFile::setPermissions(t.home(), kReadOnly));
    } else if (prepare == QLatin1String("file")) {
        makeFile(t.userFolder());
    } else if (prepare == QLatin1String("read-only data folder")) {
        QVERIFY(QDir().mkpath(t.userFolder()));
        QVERIFY(QFile::setPermissions(t.userFolder(), kReadOnly));
    }
    DataFolderInputs in = t.inputs();
    in.home = QString(home).replace("ROOT", t.root());
    const QStringList before = listing(t.root());

    const DataFolderResult r = resolveDataFolders(in);
    QVERIFY(!r.ok());
    QVERIFY2(r.error.contains(errorText), qPrintable(r.error));
    // The same situation never writes into the portable or installed data.
    QCOMPARE(listing(t.root()), before);
}

void TestDataFolders::anotherUsersFolderIsRefused()
{
    if (!m_root)
        QSKIP("needs root to make a folder owned by another user");
    Tree t;
    makeFile(t.share() + "/cookdb.dat");
    QVERIFY(QDir().mkpath(t.home() + "/.local/share"));
    // Root makes the folder and lets everyone write into it: writable, but
    // not this user's own.
    switchEffectiveUser(0);
    const bool made = QDir().mkdir(t.userFolder()) &&
                      QFile::setPermissions(t.userFolder(), QFile::Permissions(0x7777));
    switchEffectiveUser(kNobody);
    QVERIFY(made);

    const DataFolderResult r = resolveDataFolders(t.inputs());
    QVERIFY(!r.ok());
    QVERIFY2(r.error.contains("belongs to another user"), qPrintable(r.error));
    QVERIFY(QDir(t.userFolder()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    switchEffectiveUser(0);
    QDir().rmdir(t.userFolder());
    switchEffectiveUser(kNobody);
}

void TestDataFolders::folderOthersCanChangeIsTightened()
{
    Tree t;
    makeFile(t.share() + "/cookdb.dat");
    QVERIFY(QDir().mkpath(t.userFolder()));
    makeFile(t.userFolder() + "/upd.dat");
    const QFile::Permissions loose = kOwnerOnly | QFile::ReadGroup | QFile::WriteGroup |
                                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(t.userFolder(), loose));

    const DataFolderResult r = resolveDataFolders(t.inputs());
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(modeOf(t.userFolder()), kOwnerOnly);
    QVERIFY(QFileInfo::exists(t.userFolder() + "/upd.dat"));

    // Readable by others but not writable: the user's own choice, kept.
    const QFile::Permissions readable =
        kOwnerOnly | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(t.userFolder(), readable));
    QVERIFY(resolveDataFolders(t.inputs()).ok());
    QCOMPARE(modeOf(t.userFolder()), readable);
}

void TestDataFolders::userCopyTakesPrecedence()
{
    Tree t;
    makeFile(t.share() + "/cookdb.dat");
    makeFile(t.share() + "/trojsig.dat");
    makeFile(t.share() + "/lang.dat");
    const DataFolderResult r = resolveDataFolders(t.inputs());
    QVERIFY2(r.ok(), qPrintable(r.error));
    const DataFolders &f = r.folders;

    // Nothing of the user's yet: the installed files, and the missing
    // database is named where the installed one would be.
    QCOMPARE(f.readPath("cookdb.dat"), t.share() + "/cookdb.dat");
    QCOMPARE(f.readPath("regdb.dat"), t.share() + "/regdb.dat");
    QCOMPARE(f.writePath("cookdb.dat"), t.userFolder() + "/cookdb.dat");

    // A downloaded database and a chosen language replace the installed ones
    // at once; a folder of the same name is not a file and does not.
    makeFile(t.userFolder() + "/cookdb.dat");
    makeFile(t.userFolder() + "/lang.dat");
    QVERIFY(QDir().mkpath(t.userFolder() + "/trojsig.dat"));
    QCOMPARE(f.readPath("cookdb.dat"), t.userFolder() + "/cookdb.dat");
    QCOMPARE(f.readPath("lang.dat"), t.userFolder() + "/lang.dat");
    QCOMPARE(f.readPath("trojsig.dat"), t.share() + "/trojsig.dat");

    // The installed copy is the fallback again once the user's one is gone.
    QVERIFY(QFile::remove(t.userFolder() + "/cookdb.dat"));
    QCOMPARE(f.readPath("cookdb.dat"), t.share() + "/cookdb.dat");

    // Portable: one folder for both.
    Tree p;
    makeFile(p.bin() + "/cookdb.dat");
    const DataFolderResult pr = resolveDataFolders(p.inputs());
    QVERIFY(pr.ok());
    QCOMPARE(pr.folders.readPath("cookdb.dat"), p.bin() + "/cookdb.dat");
    QCOMPARE(pr.folders.writePath("upd.dat"), p.bin() + "/upd.dat");
}

QTEST_GUILESS_MAIN(TestDataFolders)
#include "tst_data_folders.moc"
