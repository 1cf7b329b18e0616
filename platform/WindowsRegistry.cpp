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

// Keys below a key that one copy takes at most, as the registry nests them.
constexpr int kDeepestCopy = 512;

// Reads the open key with everything below it into tree; false when
// something cannot be read or the values' data pass *budget bytes.
bool readTree(HKEY key, int depth, qint64 *budget, RegistryKeyTree *tree)
{
    if (depth > kDeepestCopy)
        return false;
    DWORD subkeys = 0, longestSubkey = 0, values = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longestSubkey, nullptr, &values,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    std::wstring name(size_t(longestName) + 1, L'\0');
    QByteArray data(qsizetype(longestData), '\0');
    for (DWORD i = 0; i < values; ++i) {
        DWORD nameLength = DWORD(name.size());
        DWORD dataLength = DWORD(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE *>(data.data()), &dataLength) != ERROR_SUCCESS)
            return false;
        *budget -= qint64(dataLength) + 64;
        if (*budget < 0)
            return false;
        tree->values.append({QString::fromWCharArray(name.data(), int(nameLength)), qint32(type),
                             data.left(qsizetype(dataLength))});
    }
    std::wstring subName(size_t(longestSubkey) + 1, L'\0');
    for (DWORD i = 0; i < subkeys; ++i) {
        DWORD length = DWORD(subName.size());
        if (RegEnumKeyExW(key, i, subName.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            return false;
        RegistryKeyTree sub;
        sub.name = QString::fromWCharArray(subName.data(), int(length));
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, subName.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS)
            return false;
        const bool read = readTree(child, depth + 1, budget, &sub);
        RegCloseKey(child);
        if (!read)
            return false;
        tree->subkeys.append(std::move(sub));
    }
    return true;
}

LSTATUS setValue(HKEY key, const RegistryValueData &value)
{
    return RegSetValueExW(key, wide(value.name), 0, DWORD(value.type),
                          reinterpret_cast<const BYTE *>(value.data.constData()),
                          DWORD(value.data.size()));
}

// Writes tree's values and subkeys into the open, new key.
LSTATUS writeTree(HKEY key, const RegistryKeyTree &tree)
{
    for (const RegistryValueData &value : tree.values) {
        const LSTATUS status = setValue(key, value);
        if (status != ERROR_SUCCESS)
            return status;
    }
    for (const RegistryKeyTree &sub : tree.subkeys) {
        HKEY child = nullptr;
        LSTATUS status = RegCreateKeyExW(key, wide(sub.name), 0, nullptr, 0, KEY_ALL_ACCESS,
                                         nullptr, &child, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        status = writeTree(child, sub);
        RegCloseKey(child);
        if (status != ERROR_SUCCESS)
            return status;
    }
    return ERROR_SUCCESS;
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

std::optional<QList<RegistryKeyCopy>>
WindowsRegistry::readKey(PredefinedKey root, const QString &subkey, qint64 maxBytes)
{
    HKEY key = nullptr;
    const LSTATUS status =
        RegOpenKeyExW(predefinedHandle(root), wide(nativePath(subkey)), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return QList<RegistryKeyCopy>();
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    RegistryKeyCopy copy;
    const QStringList parts = registryPathParts(subkey);
    copy.tree.name = parts.isEmpty() ? QString() : parts.last();
    qint64 budget = maxBytes;
    const bool read = readTree(key, 0, &budget, &copy.tree);
    RegCloseKey(key);
    if (!read)
        return std::nullopt;
    return QList<RegistryKeyCopy>{copy};
}

std::optional<QList<RegistryValueCopy>>
WindowsRegistry::readValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    HKEY key = nullptr;
    LSTATUS status =
        RegOpenKeyExW(predefinedHandle(root), wide(nativePath(subkey)), 0, KEY_READ, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return QList<RegistryValueCopy>();
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExW(key, wide(name), nullptr, &type, nullptr, &size);
    QByteArray data(qsizetype(size), '\0');
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExW(key, wide(name), nullptr, &type,
                                  reinterpret_cast<BYTE *>(data.data()), &size);
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND)
        return QList<RegistryValueCopy>();
    if (status != ERROR_SUCCESS)
        return std::nullopt;
    return QList<RegistryValueCopy>{{QString(), {name, qint32(type), data.left(qsizetype(size))}}};
}

qint32 WindowsRegistry::restoreKey(PredefinedKey root, const QString &subkey,
                                   const RegistryKeyCopy &copy)
{
    const QString path = nativePath(subkey);
    if (!m_writable || path.isEmpty() || !copy.store.isEmpty())
        return RegistryResult::AccessDenied;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('\\'));
    HKEY parent = nullptr;
    LSTATUS status =
        RegOpenKeyExW(predefinedHandle(root), wide(slash < 0 ? QString() : path.left(slash)), 0,
                      KEY_CREATE_SUB_KEY, &parent);
    if (status != ERROR_SUCCESS)
        return qint32(status);
    HKEY key = nullptr;
    DWORD disposition = 0;
    status = RegCreateKeyExW(parent, wide(path.mid(slash + 1)), 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, &key, &disposition);
    RegCloseKey(parent);
    if (status != ERROR_SUCCESS)
        return qint32(status);
    if (disposition != REG_CREATED_NEW_KEY) {
        RegCloseKey(key);
        return RegistryResult::AlreadyExists;
    }
    status = writeTree(key, copy.tree);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        // A key restored in part is taken away again.
        RegDeleteTreeW(predefinedHandle(root), wide(path));
        RegDeleteKeyW(predefinedHandle(root), wide(path));
    }
    return qint32(status);
}

qint32 WindowsRegistry::restoreValue(PredefinedKey root, const QString &subkey,
                                     const RegistryValueCopy &copy)
{
    if (!m_writable || !copy.store.isEmpty())
        return RegistryResult::AccessDenied;
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(predefinedHandle(root), wide(nativePath(subkey)), 0,
                                   KEY_QUERY_VALUE | KEY_SET_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return qint32(status);
    status = RegQueryValueExW(key, wide(copy.value.name), nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS)
        status = ERROR_ALREADY_EXISTS;
    else if (status == ERROR_FILE_NOT_FOUND)
        status = setValue(key, copy.value);
    RegCloseKey(key);
    return qint32(status);
}

#endif
