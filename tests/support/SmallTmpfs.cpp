#include "tests/support/SmallTmpfs.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

SmallTmpfs::SmallTmpfs(qint64 bytes)
{
    if (!m_dir.isValid()) {
        m_whyNot = QStringLiteral("no temporary folder");
        return;
    }
    if (::geteuid() != 0) {
        m_whyNot = QStringLiteral("not running as root");
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
    if (::mount("tmpfs", QFile::encodeName(path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.constData()) != 0) {
        m_whyNot = QStringLiteral("mount: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    m_mounted = true;
}

SmallTmpfs::~SmallTmpfs()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(path()).constData(), MNT_DETACH);
}

qint64 SmallTmpfs::freeBytes() const
{
    struct statvfs s {
    };
    if (::statvfs(QFile::encodeName(path()).constData(), &s) != 0)
        return -1;
    return qint64(s.f_bavail) * qint64(s.f_frsize);
}

qint64 SmallTmpfs::fill(qint64 leaveFree)
{
    QFile filler(path() + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::Append | QIODevice::Unbuffered))
        return freeBytes();
    const QByteArray block(4096, 'x');
    while (freeBytes() > leaveFree) {
        const qint64 chunk = qMin<qint64>(block.size(), freeBytes() - leaveFree);
        if (filler.write(block.constData(), chunk) != chunk)
            break;
    }
    return freeBytes();
}
