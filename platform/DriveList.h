#pragma once

#include <QString>
#include <QStringList>

// The drives the user can scan.  On Linux these are the mounted local file
// systems (not proc, sysfs, tmpfs and the like), each shown as its root path
// followed by " [" + label or device + "]".
namespace DriveList {
QStringList entries();

struct Sizes {
    bool ok = false;
    qint64 totalBytes = 0;
    qint64 freeBytes = 0;
};
// TotalSize and FreeSpace of the drive that holds path.
Sizes sizesOf(const QString &path);
} // namespace DriveList
