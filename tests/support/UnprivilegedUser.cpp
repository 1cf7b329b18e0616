#include "tests/support/UnprivilegedUser.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void giveOne(const QString &path)
{
    if (::lchown(QFile::encodeName(path).constData(), kUnprivilegedUser, kUnprivilegedGroup) != 0)
        qFatal("cannot give %s to the unprivileged user", qPrintable(path));
}

} // namespace

void giveToUnprivilegedUser(const QString &path)
{
    giveOne(path);
    if (!QFileInfo(path).isDir() || QFileInfo(path).isSymLink())
        return;
    QDirIterator it(path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        giveOne(it.next());
}

void openPathToEveryone(const QString &path)
{
    for (QDir dir(path); !dir.isRoot(); dir.cdUp()) {
        const QByteArray native = QFile::encodeName(dir.absolutePath());
        struct stat st = {};
        if (::stat(native.constData(), &st) == 0)
            ::chmod(native.constData(), (st.st_mode & 07777) | 0711);
    }
}

bool asUnprivilegedUser(const std::function<bool()> &steps)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedGroup) == 0 &&
                             ::setuid(kUnprivilegedUser) == 0 && ::setuid(0) != 0;
        ::_exit(dropped && steps() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
