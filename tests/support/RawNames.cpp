#include "tests/support/RawNames.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

void writeRawName(const QString &folder, const QByteArray &name, const QByteArray &bytes)
{
    QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(folder) + "/" + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size())
        qFatal("cannot write a file of a raw name in %s", qPrintable(folder));
    ::close(fd);
}

void removeRawNames(const QString &folder)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_type != DT_DIR)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}
