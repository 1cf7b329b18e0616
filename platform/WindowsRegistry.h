#pragma once

#ifdef Q_OS_WIN

#include "platform/RegistryBackend.h"

// The registry of the running Windows system, through the native calls.
// Changes take effect at once, so commit() has nothing left to write.
class WindowsRegistry final : public RegistryBackend
{
public:
    explicit WindowsRegistry(RegistryAccess access);

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
    bool m_writable;
};

#endif
