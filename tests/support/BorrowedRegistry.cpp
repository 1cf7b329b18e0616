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

std::optional<QList<RegistryKeyCopy>>
BorrowedRegistry::readKey(PredefinedKey root, const QString &subkey, qint64 maxBytes)
{
    return m_backend.readKey(root, subkey, maxBytes);
}

std::optional<QList<RegistryValueCopy>>
BorrowedRegistry::readValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    return m_backend.readValue(root, subkey, name);
}

qint32 BorrowedRegistry::restoreKey(PredefinedKey root, const QString &subkey,
                                    const RegistryKeyCopy &copy)
{
    return m_backend.restoreKey(root, subkey, copy);
}

qint32 BorrowedRegistry::restoreValue(PredefinedKey root, const QString &subkey,
                                      const RegistryValueCopy &copy)
{
    return m_backend.restoreValue(root, subkey, copy);
}
