#include "platform/DriveList.h"

#include <QDir>
#include <QSet>
#include <QStorageInfo>

namespace {

bool isPseudoFileSystem(const QByteArray &type)
{
    static const QSet<QByteArray> pseudo = {
        "proc",        "sysfs",       "tmpfs",      "devtmpfs", "devpts",
        "cgroup",      "cgroup2",     "securityfs", "pstore",   "debugfs",
        "tracefs",     "configfs",    "fusectl",    "mqueue",   "hugetlbfs",
        "autofs",      "binfmt_misc", "bpf",        "efivarfs", "ramfs",
        "rpc_pipefs",  "nsfs",        "overlay",    "squashfs", "fuse.gvfsd-fuse",
        "fuse.portal", "nfsd"};
    return pseudo.contains(type);
}

} // namespace

QStringList DriveList::entries()
{
    QStringList list;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || isPseudoFileSystem(volume.fileSystemType()))
            continue;
        QString root = QDir::toNativeSeparators(volume.rootPath());
        if (!root.endsWith(QDir::separator()))
            root += QDir::separator();
        QString label = volume.name();
        if (label.isEmpty())
            label = QString::fromLocal8Bit(volume.device());
        list.append(root + " [" + label + "]");
    }
    return list;
}

DriveList::Sizes DriveList::sizesOf(const QString &path)
{
    const QStorageInfo volume(path);
    Sizes s;
    if (!volume.isValid() || !volume.isReady())
        return s;
    s.ok = true;
    s.totalBytes = volume.bytesTotal();
    s.freeBytes = volume.bytesFree();
    return s;
}
