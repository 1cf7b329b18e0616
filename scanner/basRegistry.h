#pragma once

#include "platform/RegistryBackend.h"

#include <QString>
#include <QVariant>

#include <optional>

// The registry operations shared by the registry scan and the removal.  They
// work on the registry of the installation at scanState().ScanRoot: inside a
// RegistrySession on the registry the session opened, otherwise each call
// opens it for itself.

// The predefined key a root name of the registry database stands for: one of
// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
// "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
// "HKEY_DYN_DATA"; none for any other text.
std::optional<PredefinedKey> registryRootFromName(const QString &name, Qt::CaseSensitivity cs);

// The value name of a value-form entry: walking back from the last character,
// the characters up to the second double quote seen, without the quotes.
QString GetSubKey(QString stringa);

// True when the key subkey under root exists.
bool KeyExists(PredefinedKey root, const QString &subkey);
// A text value's text (cut at its first NUL) as a QString, a 32-bit number
// value as a qint32; every other type, a missing value or a failed read as
// the empty QString.
QVariant QueryValue(PredefinedKey root, const QString &subkey, const QString &name);
// Deletes the value name of the key when the key exists; otherwise does
// nothing (FileNotFound).  The outcome is only in LastRegResult().
void DeleteValue(PredefinedKey root, const QString &subkey, const QString &name);
// Deletes the key with all its subkeys and values.  A predefined key or a key
// standing for a whole hive is never deleted.  The outcome is in
// LastRegResult().
void DeleteKey(PredefinedKey root, const QString &subkey);

// The result code of the last operation above (0 = success, otherwise a
// Windows error number).
qint32 LastRegResult();

// Keeps the registry of the scanned installation open while it lives, so a
// scan or a removal opens every hive once.  A session made while another
// lives (a scan started during a removal) takes its place until it ends.
class RegistrySession
{
public:
    explicit RegistrySession(RegistryAccess access);
    ~RegistrySession();
    RegistrySession(const RegistrySession &) = delete;
    RegistrySession &operator=(const RegistrySession &) = delete;

    // Makes the session's changes lasting; returns the stores (hive files)
    // that could not be opened for a change or written.
    QStringList commit();

private:
    RegistryBackend *m_previous;
    std::unique_ptr<RegistryBackend> m_owned;
    RegistryBackend *m_registry;
};

// Makes every registry operation use backend (not owned) in place of the
// installation's registry; null restores the installation's registry.
void setRegistryBackendForTesting(RegistryBackend *backend);
