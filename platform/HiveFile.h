#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <hivex.h>

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

// One registry hive file opened through hivex.  Lookups match names without
// regard to letter case; every failure of hivex reads as "absent".  A hive
// opened for writing keeps its changes in memory until commitReplacing().
class HiveFile
{
public:
    // Null when the file cannot be read or is not a sound hive (for instance
    // a bad header checksum), and, for writing, when it is a symbolic link.
    static std::unique_ptr<HiveFile> open(const QString &path, bool writable);
    ~HiveFile();
    HiveFile(const HiveFile &) = delete;
    HiveFile &operator=(const HiveFile &) = delete;

    QString path() const { return m_path; }
    bool isChanged() const { return m_changed; }

    hive_node_h root() const;
    // 0 when the key has no such subkey.
    hive_node_h child(hive_node_h node, const QString &name) const;
    // 0 when the key has no such value; the empty name is the default value.
    hive_value_h value(hive_node_h node, const QString &name) const;

    // The subkeys and values of a key, and the names of each; empty when the
    // hive cannot say.
    std::vector<hive_node_h> children(hive_node_h node) const;
    std::vector<hive_value_h> values(hive_node_h node) const;
    QString name(hive_node_h node) const;
    QString valueName(hive_value_h value) const;

    struct ValueData {
        qint32 type = 0;
        QByteArray bytes;
    };
    std::optional<ValueData> valueData(hive_value_h value) const;

    // False when hivex refuses; the hive is then unchanged.
    bool removeValue(hive_node_h node, hive_value_h value);
    bool removeKey(hive_node_h node);

    // Writes the hive to a new file in the same folder and renames it over
    // the hive, so the file holds either the old or the whole new hive.
    bool commitReplacing();

private:
    HiveFile(const QString &path, hive_h *hive);

    QString m_path;
    hive_h *m_hive;
    bool m_changed = false;
    // The subkeys of each key looked into, by case-folded name: keys such as
    // Classes\CLSID have thousands of subkeys, and hivex compares one by one.
    mutable std::unordered_map<hive_node_h, QHash<QString, hive_node_h>> m_subkeyIndex;
};
