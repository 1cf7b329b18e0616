#pragma once

#include "platform/DiskFileWriter.h"

#include <QSet>
#include <QStringList>

// The file writer over the real file system, except that writes to the
// chosen file names fail as on a full disk: the file stays as it was and the
// write returns false.
class FailingFileWriter final : public FileWriter
{
public:
    // name is a file name without folder, such as "cookdb.dat".
    void failWritesTo(const QString &name) { m_failing.insert(name); }
    bool replaceFile(const QString &path, const QByteArray &bytes) override;
    // The names of the files whose writes failed, in order.
    const QStringList &failed() const { return m_failed; }

private:
    DiskFileWriter m_disk;
    QSet<QString> m_failing;
    QStringList m_failed;
};
