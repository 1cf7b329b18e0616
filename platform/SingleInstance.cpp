#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>

SingleInstance::SingleInstance(const QString &appFolder)
    : m_lock(std::make_unique<QLockFile>(lockPathFor(appFolder)))
{
    m_lock->setStaleLockTime(0); // a lock of a dead process is always stale
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryAcquire()
{
    return m_lock->tryLock(0);
}

QString SingleInstance::lockPathFor(const QString &appFolder)
{
    const QByteArray key = QCryptographicHash::hash(
        QDir::cleanPath(QDir(appFolder).absolutePath()).toUtf8(), QCryptographicHash::Sha1);
    return QDir::temp().filePath("torvakine-" + QString::fromLatin1(key.toHex().left(16)) +
                                 ".lock");
}
