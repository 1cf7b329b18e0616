#include "platform/SingleInstance.h"

#include <QDir>
#include <QLockFile>

SingleInstance::SingleInstance(const QString &folder)
    : m_lock(std::make_unique<QLockFile>(lockPathFor(folder)))
{
    m_lock->setStaleLockTime(0); // a lock of a dead process is always stale
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryAcquire()
{
    return m_lock->tryLock(0);
}

QString SingleInstance::lockPathFor(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral(".torvakine.lock"));
}
