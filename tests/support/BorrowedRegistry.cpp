#include "tests/support/BorrowedRegistry.h"

bool BorrowedRegistry::keyExists(PredefinedKey root, const QString &subkey)
{
    return m_backend.keyExists(root, subkey);
}

QVariant BorrowedRegistry::queryValue(PredefinedKey root, const QString &subkey,
                                      const QString &name)
{
    return m_backend.queryValue(root, subkey, name);
}

qint32 BorrowedRegistry::deleteValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    return m_backend.deleteValue(root, subkey, name);
}

qint32 BorrowedRegistry::deleteKey(PredefinedKey root, const QString &subkey)
{
    return m_backend.deleteKey(root, subkey);
}

QStringList BorrowedRegistry::commit()
{
    return m_backend.commit();
}
