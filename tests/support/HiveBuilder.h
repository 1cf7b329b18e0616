#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <hivex.h>

// Writes a registry hive file for a test.  The constructor lays down an empty
// hive (base block, one bin with the root key and its security cell); keys and
// values are then added through hivex and written by commit().
class HiveBuilder
{
public:
    explicit HiveBuilder(const QString &path);
    ~HiveBuilder();
    HiveBuilder(const HiveBuilder &) = delete;
    HiveBuilder &operator=(const HiveBuilder &) = delete;

    // The bytes of an empty hive whose root key is called rootName.
    static QByteArray emptyHive(const QByteArray &rootName = "ROOT");

    // Creates the key and every missing key above it; path uses "\".
    void addKey(const QString &path);
    // A REG_SZ (or another text type) value: UTF-16LE text with its NUL.
    void setText(const QString &keyPath, const QString &name, const QString &text,
                 hive_type type = hive_t_REG_SZ);
    void setDword(const QString &keyPath, const QString &name, quint32 number);
    void setRaw(const QString &keyPath, const QString &name, hive_type type,
                const QByteArray &data);
    // Writes the hive back to its file; fails the test on error.
    void commit();

    QString path() const { return m_path; }

private:
    hive_node_h keyNode(const QString &path);

    QString m_path;
    hive_h *m_hive = nullptr;
    // Every key made so far, by its case-folded path: the builder makes all
    // keys of its hive, so it need not ask hivex whether one exists.
    QHash<QString, hive_node_h> m_keys;
};

// Where an installation rooted at root keeps its machine hive name
// (SOFTWARE, SYSTEM, DEFAULT): root/Windows/System32/config/name.
QString machineHivePath(const QString &root, const QString &name);

// The UTF-16LE bytes of text followed by a NUL character, as the registry
// stores text values.
QByteArray registryText(const QString &text);
