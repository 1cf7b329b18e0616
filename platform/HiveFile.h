#pragma once

#include "platform/FileHandle.h"
#include "platform/HiveChangeHelper.h"
#include "platform/RegistryBackend.h"
#include "platform/TreeChange.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <hivex.h>

#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// One registry hive file opened through hivex.  Lookups match names without
// regard to letter case; every failure of hivex reads as "absent".
//
// The hive is read into this process's memory whole and never changed there.
// A hive opened for a change has its changes made by the hive helper
// (HiveChangeHelper); this object only remembers which keys and values went,
// so that its lookups see them gone, and at the end has the helper write the
// changed hive into a companion file that replaces the hive.
class HiveFile
{
public:
    // The hive at path, for reading (links followed).  Null when the file
    // cannot be read or is not a sound hive (for instance a bad header
    // checksum).
    static std::unique_ptr<HiveFile> open(const QString &path);
    // The hive that is the entry of folder (reached from the scan root by the
    // rule of TreeChange.h), for changing; path is how it is named in
    // reports.  Null as for open(), and when the entry is a link or not a
    // regular file.
    static std::unique_ptr<HiveFile> openForChange(TreeFolder folder, const QString &path,
                                                   HiveChangeSettings settings);
    ~HiveFile();
    HiveFile(const HiveFile &) = delete;
    HiveFile &operator=(const HiveFile &) = delete;

    QString path() const { return m_path; }
    // The device and inode of the file as opened.
    const FileStatus &identity() const { return m_identity; }
    bool isChanged() const { return m_changed; }

    hive_node_h root() const;
    // 0 when the key has no such subkey.
    hive_node_h child(hive_node_h node, const QString &name) const;
    // 0 when the key has no such value; the empty name is the default value.
    hive_value_h value(hive_node_h node, const QString &name) const;

    // The subkeys and values of a key (those not removed), and the names of
    // each; empty when the hive cannot say.
    std::vector<hive_node_h> children(hive_node_h node) const;
    std::vector<hive_value_h> values(hive_node_h node) const;
    QString name(hive_node_h node) const;
    QString valueName(hive_value_h value) const;

    struct ValueData {
        qint32 type = 0;
        QByteArray bytes;
    };
    std::optional<ValueData> valueData(hive_value_h value) const;

    // False when the hive was opened for reading only, or the helper could
    // not make the change; the hive is then unchanged.
    bool removeValue(hive_node_h node, hive_value_h value);
    bool removeKey(hive_node_h node);
    // Puts a value (which the key does not hold) into the key, or makes a
    // new subkey of the key with everything below it (a registry item put
    // back from the quarantine).  False as for the removals, and for data
    // larger than one cell of the hive holds.  What was put back is seen by
    // later changes of the same key, not by the lookups above.
    bool addValue(hive_node_h node, const RegistryValueData &value);
    bool addKey(hive_node_h node, const RegistryKeyTree &tree);

    // Writes the changed hive into a companion file beside the hive and puts
    // it in the hive's place (FileRewrite), so the file holds either the old
    // or the whole new hive, and only while it is still the file opened.
    bool commitReplacing();

private:
    HiveFile(const QString &path, FileHandle file, hive_h *hive);
    bool isRemoved(hive_node_h node, hive_value_h value) const;
    bool change(const HiveChangeProtocol::Request &request);

    QString m_path;
    FileHandle m_file;
    FileStatus m_identity;
    hive_h *m_hive;
    bool m_changed = false;
    // Set for a hive opened for changing.
    TreeFolder m_folder;
    HiveChangeSettings m_settings;
    std::unique_ptr<HiveChangeHelper> m_helper;
    // What the helper removed: keys (with everything below them) and values.
    std::unordered_set<hive_node_h> m_removedKeys;
    std::unordered_map<hive_node_h, std::unordered_set<hive_value_h>> m_removedValues;
    // What was put back: values by key, keys by the key they were made in.
    std::unordered_map<hive_node_h, std::vector<HiveChangeProtocol::Value>> m_addedValues;
    // The subkeys of each key looked into, by case-folded name: keys such as
    // Classes\CLSID have thousands of subkeys, and hivex compares one by one.
    mutable std::unordered_map<hive_node_h, QHash<QString, hive_node_h>> m_subkeyIndex;
};
