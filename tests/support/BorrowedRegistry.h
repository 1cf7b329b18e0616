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

private:
    RegistryBackend &m_backend;
};
