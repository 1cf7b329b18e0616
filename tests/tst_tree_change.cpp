// The one way the program changes the scanned tree: folders reached from the
// scan root without links, only the file recorded changed, rewrites through a
// companion nobody could plant, with the original's owner, group and mode.
#include "platform/TreeChange.h"
#include "tests/support/TestFiles.h"
#include "tests/support/UnprivilegedUser.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

FileStatus fileStatusOf(const QString &path)
{
    struct stat st = {};
    FileStatus s;
    if (::lstat(native(path).constData(), &st) != 0)
        return s;
    s.kind = S_ISDIR(st.st_mode)   ? FileStatus::Kind::Folder
             : S_ISREG(st.st_mode) ? FileStatus::Kind::Regular
             : S_ISLNK(st.st_mode) ? FileStatus::Kind::Link
                                   : FileStatus::Kind::Other;
    s.size = st.st_size;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    return s;
}

} // namespace

class TestTreeChange : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void foldersAreReachedWithoutLinks();
    void onlyTheRecordedFileIsRemoved();
    void rewriteKeepsOwnerModeAndSparseness();
    void rewriteChangesNothingWhenTheFileChanged();

private:
    QString root() const { return m_dir->path() + "/root"; }
    QString at(const QString &relative) const { return root() + "/" + relative; }
    TreeFolder reach(const QString &relative) const
    {
        return TreeFolder::reach(native(root()), native(at(relative)));
    }
    QStringList entries(const QString &relative) const
    {
        return QDir(at(relative))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTreeChange::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    writeTestFile(at("a/b/file"), "content");
    writeTestFile(m_dir->path() + "/outside/b/file", "outside");
}

void TestTreeChange::foldersAreReachedWithoutLinks()
{
    // The folder of the entry, reached one folder at a time.
    const TreeFolder folder = reach("a/b/file");
    QVERIFY(folder.isOpen());
    QVERIFY(folder.status().isSameObject(fileStatusOf(at("a/b"))));
    QCOMPARE(folder.entryName(), QByteArray("file"));
    FileStatus st;
    QVERIFY(folder.entryStatus(&st) && st.isSameObject(fileStatusOf(at("a/b/file"))));
    // An entry of the root itself, and a root given with its separator.
    QVERIFY(reach("top").status().isSameObject(fileStatusOf(root())));
    QVERIFY(TreeFolder::reach(native(root() + "/"), native(at("a/b/file"))).isOpen());

    // A link anywhere on the way, to a folder inside or outside the tree, is
    // never followed; nor are "." and "..", empty names, or a path that is
    // not below the root (also one that only begins with the root's text).
    QVERIFY(QFile::link(m_dir->path() + "/outside", at("out")));
    QVERIFY(QFile::link(at("a"), at("inside")));
    QVERIFY(::symlink("a", native(at("relative")).constData()) == 0);
    QDir().mkpath(at("deep/er"));
    QVERIFY(QFile::link(m_dir->path() + "/outside/b", at("deep/er/b")));
    for (const char *relative : {"out/b/file", "inside/b/file", "relative/b/file", "deep/er/b/file",
                                 "a/../a/b/file", "a/./b/file", "a//b/file", "a/b/.."})
        QVERIFY2(!reach(relative).isOpen(), relative);
    QVERIFY(!TreeFolder::reach(native(root()), native(m_dir->path() + "/outside/b/file")).isOpen());
    QVERIFY(!TreeFolder::reach(native(at("a")), native(at("ab/file"))).isOpen());
    QVERIFY(!TreeFolder::reach(QByteArray(), native(at("a/b/file"))).isOpen());
    // A link as the entry itself is reached (as a link): its folder is real.
    QVERIFY(reach("out").isOpen());
    QVERIFY(!reach("out").openEntry().isOpen());

    // Deeper than one system call takes a path: 600 levels of 10 bytes,
    // made (and removed again) one folder at a time.
    std::vector<int> levels{::open(native(at("a")).constData(), O_RDONLY | O_DIRECTORY)};
    QString deep = "a";
    for (int i = 0; i < 600; ++i) {
        const QByteArray name = "level-" + QByteArray::number(i).rightJustified(3, '0');
        QVERIFY(::mkdirat(levels.back(), name.constData(), 0755) == 0);
        levels.push_back(::openat(levels.back(), name.constData(), O_RDONLY | O_DIRECTORY));
        deep += "/" + name;
    }
    QVERIFY(native(at(deep)).size() > 4096);
    ::close(::openat(levels.back(), "file", O_WRONLY | O_CREAT, 0644));
    struct stat bottomStatus = {};
    struct stat fileStatus = {};
    QVERIFY(::fstat(levels.back(), &bottomStatus) == 0 &&
            ::fstatat(levels.back(), "file", &fileStatus, AT_SYMLINK_NOFOLLOW) == 0);
    // A path that long is followed one folder at a time, and a link on the
    // way is refused there too.
    QVERIFY(::symlinkat(".", levels.back(), "again") == 0);
    QVERIFY(!reach(deep + "/again/file").isOpen());
    QVERIFY(::unlinkat(levels.back(), "again", 0) == 0);
    const TreeFolder bottom = reach(deep + "/file");
    QVERIFY(bottom.isOpen() && bottom.status().inode == bottomStatus.st_ino);
    FileStatus recorded;
    recorded.device = fileStatus.st_dev;
    recorded.inode = fileStatus.st_ino;
    QVERIFY(bottom.removeEntry(recorded));
    QVERIFY(::faccessat(levels.back(), "file", F_OK, AT_SYMLINK_NOFOLLOW) != 0);
    for (size_t i = levels.size() - 1; i > 0; --i) {
        ::close(levels[i]);
        const QByteArray name = "level-" + QByteArray::number(qint64(i - 1)).rightJustified(3, '0');
        QVERIFY(::unlinkat(levels[i - 1], name.constData(), AT_REMOVEDIR) == 0);
    }
    ::close(levels.front());
}

void TestTreeChange::onlyTheRecordedFileIsRemoved()
{
    const FileStatus recorded = fileStatusOf(at("a/b/file"));
    // The same name for another file: left alone.
    QVERIFY(QFile::rename(at("a/b/file"), at("a/b/moved")));
    writeTestFile(at("a/b/file"), "another file of the same name");
    QVERIFY(!reach("a/b/file").removeEntry(recorded));
    QCOMPARE(readTestFile(at("a/b/file")), QByteArray("another file of the same name"));
    // The recorded file, under its recorded name: removed.
    QVERIFY(QFile::remove(at("a/b/file")) && QFile::rename(at("a/b/moved"), at("a/b/file")));
    QVERIFY(reach("a/b/file").removeEntry(recorded));
    QVERIFY(!QFile::exists(at("a/b/file")));
    QVERIFY(!reach("a/b/file").removeEntry(recorded));

    // Nothing forced: a file its owner may not write to and a folder stay; a
    // link goes itself, never its target.
    writeTestFile(at("a/b/read-only"), "keep");
    QVERIFY(QFile::setPermissions(at("a/b/read-only"), QFileDevice::ReadOwner));
    QVERIFY(!reach("a/b/read-only").removeEntry(fileStatusOf(at("a/b/read-only"))));
    QVERIFY(!reach("a/b").removeEntry(fileStatusOf(at("a/b"))));
    QVERIFY(QFile::link(m_dir->path() + "/outside/b/file", at("a/b/link")));
    QVERIFY(reach("a/b/link").removeEntry(fileStatusOf(at("a/b/link"))));
    QCOMPARE(entries("a/b"), QStringList{"read-only"});
    QCOMPARE(readTestFile(m_dir->path() + "/outside/b/file"), QByteArray("outside"));
}

void TestTreeChange::rewriteKeepsOwnerModeAndSparseness()
{
    // Another user's file of an unusual mode, with set-group: what root
    // writes in its place keeps all of it.
    const QString file = at("a/b/file");
    giveToUnprivilegedUser(file);
    QVERIFY(::chmod(native(file).constData(), 02640) == 0);
    const struct stat before = statusOf(file);
    {
        const TreeFolder folder = reach("a/b/file");
        FileRewrite rewrite(folder, fileStatusOf(file), "file.new");
        QVERIFY(rewrite.isOpen());
        // The companion is new, beside the file, and not the fixed name.
        QStringList names = entries("a/b");
        QCOMPARE(names.size(), 2);
        QVERIFY(names.removeAll("file") == 1 && names[0].startsWith("file.new.") &&
                names[0] != "file.new");
        // 1 MiB of zeros between two pieces of text stays a hole.
        QVERIFY(rewrite.write("head", 4));
        const QByteArray zeros(1 << 20, '\0');
        QVERIFY(rewrite.write(zeros.constData(), zeros.size()));
        QVERIFY(rewrite.write("tail", 4));
        QVERIFY(rewrite.write(zeros.constData(), 100));
        QVERIFY(rewrite.replaceOriginal());
    }
    const struct stat after = statusOf(file);
    QVERIFY(after.st_ino != before.st_ino);
    QCOMPARE(after.st_uid, kUnprivilegedUser);
    QCOMPARE(after.st_gid, kUnprivilegedGroup);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_size, 4 + (1 << 20) + 4 + 100);
    QVERIFY2(after.st_blocks * 512 < 256 * 1024, "the zeros were written out");
    const QByteArray content = readTestFile(file);
    QVERIFY(content.startsWith("head") && content.mid(4 + (1 << 20), 4) == "tail" &&
            content.count('\0') == (1 << 20) + 100);
    QCOMPARE(entries("a/b"), QStringList{"file"});
}

void TestTreeChange::rewriteChangesNothingWhenTheFileChanged()
{
    const QString file = at("a/b/file");
    const FileStatus recorded = fileStatusOf(file);
    // Swapped for another file while the rewrite ran: neither is touched.
    {
        const TreeFolder folder = reach("a/b/file");
        FileRewrite rewrite(folder, recorded, "file.new");
        QVERIFY(rewrite.isOpen() && rewrite.write("new", 3));
        QVERIFY(QFile::rename(file, at("a/b/kept")));
        writeTestFile(file, "swapped in");
        QVERIFY(!rewrite.replaceOriginal());
    }
    QCOMPARE(readTestFile(file), QByteArray("swapped in"));
    QCOMPARE(readTestFile(at("a/b/kept")), QByteArray("content"));
    QCOMPARE(entries("a/b"), QStringList({"file", "kept"}));
    // Not the recorded file from the start, a file its owner may not write
    // to, a folder its owner may not write to, a link: no rewrite begins.
    {
        const TreeFolder folder = reach("a/b/file");
        QVERIFY(!FileRewrite(folder, recorded, "file.new").isOpen());
    }
    QVERIFY(QFile::remove(file) && QFile::rename(at("a/b/kept"), file));
    QVERIFY(::chmod(native(file).constData(), 0444) == 0);
    {
        const TreeFolder folder = reach("a/b/file");
        QVERIFY(!FileRewrite(folder, recorded, "file.new").isOpen());
    }
    QVERIFY(::chmod(native(file).constData(), 0644) == 0 &&
            ::chmod(native(at("a/b")).constData(), 0555) == 0);
    {
        const TreeFolder folder = reach("a/b/file");
        QVERIFY(!FileRewrite(folder, recorded, "file.new").isOpen());
    }
    QVERIFY(::chmod(native(at("a/b")).constData(), 0755) == 0);
    QVERIFY(QFile::link(file, at("a/b/link")));
    {
        const TreeFolder folder = reach("a/b/link");
        QVERIFY(!FileRewrite(folder, fileStatusOf(at("a/b/link")), "link.new").isOpen());
        QVERIFY(!FileRewrite(folder, recorded, "link.new").isOpen());
    }
    // A rewrite that is given up leaves the folder as it was.
    {
        const TreeFolder folder = reach("a/b/file");
        FileRewrite rewrite(folder, recorded, "file.new");
        QVERIFY(rewrite.isOpen() && rewrite.write("half", 4));
    }
    QCOMPARE(entries("a/b"), QStringList({"file", "link"}));
    QCOMPARE(readTestFile(file), QByteArray("content"));
}

QTEST_GUILESS_MAIN(TestTreeChange)
#include "tst_tree_change.moc"
