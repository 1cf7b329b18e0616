#include "tests/support/FailingFileWriter.h"

#include <QFileInfo>

bool FailingFileWriter::replaceFile(const QString &path, const QByteArray &bytes)
{
    const QString name = QFileInfo(path).fileName();
    if (m_failing.contains(name)) {
        m_failed.append(name);
        return false;
    }
    return m_disk.replaceFile(path, bytes);
}
