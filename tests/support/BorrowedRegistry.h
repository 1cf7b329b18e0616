#pragma once

#include "platform/RegistryBackend.h"

// A registry that hands every call on to a backend it does not own, so that
// one fake serves as every registry that a scan and a removal open.
class BorrowedRegistry final : public RegistryBackend
{
public:
    explicit BorrowedRegistry(RegistryBackend &backend) : m_backend(backend) {}

    bool keyExists(PredefinedKey root, const QString &subkey) override;
    QVariant queryValue(PredefinedKey root, const QString &subkey, const QString &name) override;
    qint32 deleteValue(PredefinedKey root, const QString &subkey, const QString &name) override;
    qint32 deleteKey(PredefinedKey root, const QString &subkey) override;
    QStringList commit() override;
    std::optional<QList<RegistryKeyCopy>> readKey(PredefinedKey root, const QString &subkey,
                                                  qint64 maxBytes) override;
    std::optional<QList<RegistryValueCopy>> readValue(PredefinedKey root, const QString &subkey,
                                                      const QString &name) override;
    qint32 restoreKey(PredefinedKey root, const QString &subkey,
                      const RegistryKeyCopy &copy) override;
    qint32 restoreValue(PredefinedKey root, const QString &subkey,
                        const RegistryValueCopy &copy) override;

private:
    RegistryBackend &m_backend;
};
