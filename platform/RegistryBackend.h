#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

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
constexpr qint32 NotSupported = 50;
constexpr qint32 AlreadyExists = 183;
} // namespace RegistryResult

// A registry value as stored: its name, its type number and its raw data.
struct RegistryValueData {
    QString name;
    qint32 type = 0;
    QByteArray data;
    bool operator==(const RegistryValueData &) const = default;
};

// A registry key with everything below it: its values and its subkeys.
struct RegistryKeyTree {
    QString name;
    QList<RegistryValueData> values;
    QList<RegistryKeyTree> subkeys;
    bool operator==(const RegistryKeyTree &) const = default;
};

// A key or value as one place keeps it.  store names the place: a hive file
// of an offline installation (its path below the installation's root), or
// empty for the registry of the running system.  A key such as
// HKEY_CURRENT_USER\Software\X can be kept in several places (one per user
// profile).
struct RegistryKeyCopy {
    QString store;
    RegistryKeyTree tree;
    bool operator==(const RegistryKeyCopy &) const = default;
};
struct RegistryValueCopy {
    QString store;
    RegistryValueData value;
    bool operator==(const RegistryValueCopy &) const = default;
};

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

    // What a removal keeps before it deletes, so that a restore can put it
    // back.  A copy per place that holds the key or value (none when it is
    // absent), or none at all when it cannot be read whole or its values'
    // data together pass maxBytes.  The key copy's tree carries the key's
    // own name.
    virtual std::optional<QList<RegistryKeyCopy>> readKey(PredefinedKey root, const QString &subkey,
                                                          qint64 maxBytes);
    virtual std::optional<QList<RegistryValueCopy>>
    readValue(PredefinedKey root, const QString &subkey, const QString &name);
    // Creates the key subkey (the last part of the path, under the key the
    // parts before it name) in the place copy.store with copy.tree's values
    // and subkeys, or puts the value copy.value into the key subkey there.
    // Success; AlreadyExists when the key (or value) is there; FileNotFound
    // when the parent key (or the key of the value) or the place is missing;
    // AccessDenied for a predefined key or a read-only registry; another
    // code when the change failed.  Nothing is changed unless Success.
    // Lasting after commit() as the deletions are.
    virtual qint32 restoreKey(PredefinedKey root, const QString &subkey,
                              const RegistryKeyCopy &copy);
    virtual qint32 restoreValue(PredefinedKey root, const QString &subkey,
                                const RegistryValueCopy &copy);
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
