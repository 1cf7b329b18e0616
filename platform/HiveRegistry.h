#pragma once

#include "platform/HiveFile.h"
#include "platform/RegistryBackend.h"

#include <map>
#include <optional>

// The registry of a Windows installation read from its hive files, found
// under the installation's root folder without regard to letter case:
//   HKEY_LOCAL_MACHINE\SOFTWARE and \SYSTEM: Windows/System32/config/SOFTWARE
//     and SYSTEM; SYSTEM\CurrentControlSet is the control set that
//     Select\Current names;
//   HKEY_CURRENT_USER: the NTUSER.DAT of every user profile under Users/ and
//     Documents and Settings/ (a key or value is present when one profile has
//     it; a deletion applies to every profile);
//   HKEY_USERS\.DEFAULT: config/DEFAULT; HKEY_USERS\<SID>: the NTUSER.DAT of
//     the profile that the ProfileList of SOFTWARE gives for the SID;
//   HKEY_CLASSES_ROOT: HKEY_LOCAL_MACHINE\SOFTWARE\Classes;
//   HKEY_CURRENT_CONFIG: SYSTEM\CurrentControlSet\Hardware Profiles\Current.
// HKEY_PERFORMANCE_DATA and HKEY_DYN_DATA have no hive: nothing exists under
// them.  A folder without these files has an empty registry.  Keys that are
// symbolic links into SOFTWARE or SYSTEM are followed.
//
// Opened for changes, each hive is reached from installationRoot by the rule
// of TreeChange.h (a hive behind a link is not changed and is reported by
// commit()), and its changes are made by the hive helper that settings name.
class HiveRegistry final : public RegistryBackend
{
public:
    HiveRegistry(const QString &installationRoot, RegistryAccess access,
                 HiveChangeSettings settings = HiveChangeSettings::standard());
    ~HiveRegistry() override;

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
    struct KeyLocation {
        HiveFile *hive;
        hive_node_h node;
        // The key is a hive's root or stands for another key (a predefined
        // key, a link or CurrentControlSet): it is never deleted.
        bool standsForRoot;
    };

    QList<KeyLocation> locate(PredefinedKey root, const QStringList &parts);
    std::optional<KeyLocation> locateMachineKey(const QStringList &parts, int hops);
    std::optional<KeyLocation> walk(HiveFile *hive, const QStringList &parts, int hops);
    std::optional<QStringList> linkTarget(HiveFile *hive, hive_node_h node) const;
    QString currentControlSetName();
    // The hive's path below the installation's root, as a copy names it.
    QString storeName(const HiveFile *hive) const;
    // The key that parts name in the place store.
    std::optional<KeyLocation> locateIn(PredefinedKey root, const QStringList &parts,
                                        const QString &store);

    HiveFile *hive(const QString &path);
    QString machineHivePath(const QString &name);
    HiveFile *machineHive(const QString &name);
    const QStringList &userHivePaths();
    QString profileHivePath(const QString &sid);

    QString m_root;
    bool m_writable;
    HiveChangeSettings m_settings;
    // Every hive opened, once per file (one file reached by two paths, such
    // as a profile listed under Users/ and in the ProfileList, is opened
    // once, so its changes are committed once).
    std::map<std::pair<quint64, quint64>, std::unique_ptr<HiveFile>> m_hives;
    // Every path asked for and its hive; null when it could not be opened.
    std::map<QString, HiveFile *> m_hivesByPath;
    // The files of SOFTWARE, SYSTEM and DEFAULT; empty when missing.
    std::map<QString, QString> m_machineHivePaths;
    // Hives that exist but could not be opened for a change.
    QStringList m_unopenable;
    std::optional<QStringList> m_userHives;
};
