#pragma once

#include "platform/RegistryBackend.h"

#include <QString>
#include <QVariant>

#include <optional>

// The registry operations shared by the registry scan and the removal.

// The predefined key a root name of the registry database stands for: one of
// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
// "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
// "HKEY_DYN_DATA"; none for any other text.
std::optional<PredefinedKey> registryRootFromName(const QString &name, Qt::CaseSensitivity cs);

// The value name of a value-form entry: walking back from the last character,
// the characters up to the second double quote seen, without the quotes.
QString GetSubKey(QString stringa);

// The registry of the scanned installation, open while the object lives, so
// that a scan or a removal opens every hive once.  Its operations keep the
// result code of the last one in LastRegResult().
class RegistrySession
{
public:
    explicit RegistrySession(std::unique_ptr<RegistryBackend> registry);
    RegistrySession(const RegistrySession &) = delete;
    RegistrySession &operator=(const RegistrySession &) = delete;

    // True when the key subkey under root exists.
    bool KeyExists(PredefinedKey root, const QString &subkey);
    // A text value's text (cut at its first NUL) as a QString, a 32-bit
    // number value as a qint32; every other type, a missing value or a failed
    // read as the empty QString.
    QVariant QueryValue(PredefinedKey root, const QString &subkey, const QString &name);
    // Deletes the value name of the key when the key exists; otherwise does
    // nothing (FileNotFound).  The outcome is only in LastRegResult().
    void DeleteValue(PredefinedKey root, const QString &subkey, const QString &name);
    // Deletes the key with all its subkeys and values.  A predefined key or a
    // key standing for a whole hive is never deleted.  The outcome is in
    // LastRegResult().
    void DeleteKey(PredefinedKey root, const QString &subkey);

    // The result code of the last operation above (0 = success, otherwise a
    // Windows error number).
    qint32 LastRegResult() const { return m_lastRegResult; }

    // Makes the session's changes lasting; returns the stores (hive files)
    // that could not be opened for a change or written.  Until then a change
    // is seen only inside this session.
    QStringList commit();

    // The registry itself, for what a removal keeps before it deletes and a
    // restore puts back.
    RegistryBackend &backend() { return *m_registry; }

private:
    std::unique_ptr<RegistryBackend> m_registry;
    qint32 m_lastRegResult = RegistryResult::Success;
};
