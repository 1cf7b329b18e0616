#include "platform/RegistryBackend.h"

#ifdef Q_OS_WIN
#include "platform/WindowsRegistry.h"
#else
#include "platform/HiveRegistry.h"
#endif

std::unique_ptr<RegistryBackend> openInstallationRegistry(const QString &installationRoot,
                                                          RegistryAccess access)
{
#ifdef Q_OS_WIN
    Q_UNUSED(installationRoot);
    return std::make_unique<WindowsRegistry>(access);
#else
    return std::make_unique<HiveRegistry>(installationRoot, access);
#endif
}

// A registry that keeps nothing for a restore: a removal through it is a
// deletion for good.
std::optional<QList<RegistryKeyCopy>> RegistryBackend::readKey(PredefinedKey, const QString &,
                                                               qint64)
{
    return std::nullopt;
}

std::optional<QList<RegistryValueCopy>> RegistryBackend::readValue(PredefinedKey, const QString &,
                                                                   const QString &)
{
    return std::nullopt;
}

qint32 RegistryBackend::restoreKey(PredefinedKey, const QString &, const RegistryKeyCopy &)
{
    return RegistryResult::NotSupported;
}

qint32 RegistryBackend::restoreValue(PredefinedKey, const QString &, const RegistryValueCopy &)
{
    return RegistryResult::NotSupported;
}

QStringList registryPathParts(const QString &subkey)
{
    return subkey.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

QVariant registryValueFromData(qint32 type, const QByteArray &data)
{
    if (type == RegistryType::Text) {
        QString text(data.size() / 2, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); ++i) {
            text[i] = QChar(char16_t(quint8(data[2 * i]) | (quint8(data[2 * i + 1]) << 8)));
        }
        const qsizetype nul = text.indexOf(QChar(0));
        return nul < 0 ? text : text.left(nul);
    }
    if (type == RegistryType::Number && data.size() <= 4) {
        // A shorter value reads as its bytes with the missing high bytes 0.
        quint32 number = 0;
        for (qsizetype i = 0; i < data.size(); ++i)
            number |= quint32(quint8(data[i])) << (8 * i);
        return qint32(number);
    }
    return QString();
}

bool registryValueIsPresent(const QVariant &value)
{
    return value.typeId() != QMetaType::QString || !value.toString().isEmpty();
}
