#pragma once

#include <QString>

#include <hivex.h>

#include <memory>

// The UTF-16LE bytes of text and a NUL, as the registry stores text values.
QByteArray registryText(const QString &text);

// Where an installation keeps its machine hive name (SOFTWARE, SYSTEM, DEFAULT).
inline QString machineHivePath(const QString &root, const QString &name)
{
    return root + QStringLiteral("/Windows/System32/config/") + name;
}

// Overwrites the 32-bit word at offset into the record of the key keyPath
// ("\" between names) of the hive file at path, or of its value valueName: a
// hive damaged where the hive library does not look before it acts.  False
// when there is no such key or value.
bool patchHiveRecord(const QString &path, const QString &keyPath, const char *valueName, int offset,
                     quint32 word);

// Writes a registry hive file for a test: keys (with every missing key above
// them; paths use "\") and values are added to an empty hive through hivex and
// written by commit().  Any failure ends the test program.
class HiveBuilder
{
public:
    explicit HiveBuilder(const QString &path);
    // The bytes of an empty hive whose root key is called rootName.
    static QByteArray emptyHive(const QByteArray &rootName = "ROOT");

    void addKey(const QString &path) { keyNode(path); }
    void setText(const QString &keyPath, const QString &name, const QString &text,
                 hive_type type = hive_t_REG_SZ)
    {
        setRaw(keyPath, name, type, registryText(text));
    }
    void setDword(const QString &keyPath, const QString &name, quint32 number);
    void setRaw(const QString &keyPath, const QString &name, hive_type type,
                const QByteArray &data);
    void commit();

private:
    hive_node_h keyNode(const QString &path);

    QString m_path;
    std::unique_ptr<hive_h, int (*)(hive_h *)> m_hive{nullptr, hivex_close};
};
