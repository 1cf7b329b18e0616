#include <QtGlobal>

#ifdef Q_OS_WIN

#include "platform/WindowsRegistry.h"

#include <windows.h>

namespace {

HKEY predefinedHandle(PredefinedKey root)
{
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<quint32>(root)));
}

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// The key path as the native calls take it: the parts joined by "\".
QString nativePath(const QString &subkey)
{
    return registryPathParts(subkey).join(QLatin1Char('\\'));
}

} // namespace

WindowsRegistry::WindowsRegistry(RegistryAccess access)
    : m_writable(access == RegistryAccess::ReadWrite)
{
}

bool WindowsRegistry::keyExists(PredefinedKey root, const QString &subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(predefinedHandle(root), wide(nativePath(subkey)), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

QVariant WindowsRegistry::queryValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(predefinedHandle(root), wide(nativePath(subkey)), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return QString();
    DWORD type = 0;
    DWORD size = 0;
    QVariant result = QString();
    if (RegQueryValueExW(key, wide(name), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_DWORD)) {
        QByteArray data(qsizetype(size), '\0');
        if (RegQueryValueExW(key, wide(name), nullptr, &type, reinterpret_cast<BYTE *>(data.data()),
                             &size) == ERROR_SUCCESS)
            result = registryValueFromData(qint32(type), data.left(qsizetype(size)));
    }
    RegCloseKey(key);
    return result;
}

qint32 WindowsRegistry::deleteValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    if (!m_writable)
        return RegistryResult::AccessDenied;
    HKEY key = nullptr;
    LSTATUS status =
        RegOpenKeyExW(predefinedHandle(root), wide(nativePath(subkey)), 0, KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return qint32(status);
    status = RegDeleteValueW(key, wide(name));
    RegCloseKey(key);
    return qint32(status);
}

qint32 WindowsRegistry::deleteKey(PredefinedKey root, const QString &subkey)
{
    const QString path = nativePath(subkey);
    if (!m_writable || path.isEmpty())
        return RegistryResult::AccessDenied;
    // RegDeleteTreeW empties the key; RegDeleteKeyW then removes it.
    LSTATUS status = RegDeleteTreeW(predefinedHandle(root), wide(path));
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyW(predefinedHandle(root), wide(path));
    return qint32(status);
}

QStringList WindowsRegistry::commit()
{
    return {};
}

#endif
