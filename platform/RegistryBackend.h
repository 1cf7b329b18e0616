#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

// The seven predefined registry keys, numbered as Windows numbers their
// handles.
enum class PredefinedKey : quint32 {
    ClassesRoot = 0x80000000,
    CurrentUser = 0x80000001,
    LocalMachine = 0x80000002,
    Users = 0x80000003,
    PerformanceData = 0x80000004,
    CurrentConfig = 0x80000005,
    DynData = 0x80000006,
};

enum class RegistryAccess { ReadOnly, ReadWrite };

// Result codes of registry operations, the Windows error numbers.
namespace RegistryResult {
constexpr qint32 Success = 0;
constexpr qint32 FileNotFound = 2;
constexpr qint32 AccessDenied = 5;
constexpr qint32 InvalidHandle = 6;
constexpr qint32 WriteFault = 29;
} // namespace RegistryResult

// Registry value types the program tells apart.
namespace RegistryType {
constexpr qint32 Text = 1;   // REG_SZ
constexpr qint32 Number = 4; // REG_DWORD (little-endian)
} // namespace RegistryType

// One registry as the scan and the removal see it.  Key paths are the parts
// after the predefined key, separated by "\"; empty parts are ignored, so an
// empty path is the predefined key itself.  Names are matched without regard
// to letter case.
class RegistryBackend
{
public:
    virtual ~RegistryBackend() = default;

    virtual bool keyExists(PredefinedKey root, const QString &subkey) = 0;

    // A REG_SZ value as its text cut at the first NUL, a REG_DWORD value as a
    // qint32; anything else (other types, a missing key or value, a failed
    // read) as an empty QString.
    virtual QVariant queryValue(PredefinedKey root, const QString &subkey, const QString &name) = 0;

    // Each returns a RegistryResult code.
    virtual qint32 deleteValue(PredefinedKey root, const QString &subkey, const QString &name) = 0;
    // Deletes the key with all its subkeys and values.  A predefined key, or a
    // key that stands for a whole hive or for another predefined key, is
    // never deleted (AccessDenied).
    virtual qint32 deleteKey(PredefinedKey root, const QString &subkey) = 0;

    // Makes the changes lasting.  Returns the files (or other stores) that
    // could not be opened for a change or written; those are left as they
    // were.
    virtual QStringList commit() = 0;
};

// The registry of the Windows installation whose root folder is
// installationRoot: on Windows the running system's registry, elsewhere the
// installation's hive files.
std::unique_ptr<RegistryBackend> openInstallationRegistry(const QString &installationRoot,
                                                          RegistryAccess access);

// The parts of a key path, without empty parts.
QStringList registryPathParts(const QString &subkey);

// The value the program reads from raw registry data: REG_SZ data (UTF-16LE)
// as text cut at the first NUL, REG_DWORD data of at most 4 bytes as a qint32,
// anything else as an empty QString.
QVariant registryValueFromData(qint32 type, const QByteArray &data);

// True when a value read by queryValue() counts as holding data: any number,
// zero included, or a text that is not empty.
bool registryValueIsPresent(const QVariant &value);
