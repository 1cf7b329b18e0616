#include "tests/support/HiveBuilder.h"

#include "platform/HiveFile.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QtEndian>

bool patchHiveRecord(const QString &path, const QString &keyPath, const char *valueName, int offset,
                     quint32 word)
{
    // A HiveFile handle is the file offset of a cell, whose record follows
    // the cell's four-byte size.
    const std::unique_ptr<HiveFile> hive = HiveFile::open(path);
    hive_node_h node = hive ? hive->root() : 0;
    for (const QString &name : keyPath.split('\\'))
        node = node ? hive->child(node, name) : 0;
    const size_t cell = node && valueName ? hive->value(node, valueName) : node;
    QByteArray bytes = readTestFile(path);
    if (cell)
        qToLittleEndian<quint32>(word, bytes.data() + cell + 4 + offset);
    writeTestFile(path, bytes);
    return cell != 0;
}

QByteArray HiveBuilder::emptyHive(const QByteArray &rootName)
{
    // A base block and one bin at 0x1000 holding the root key cell at 0x20,
    // its security cell and a free cell; cell offsets count from the bin.
    const quint32 nkSize = quint32(0x50 + rootName.size() + 7) & ~7u, sk = 0x20 + nkSize;
    const quint32 none = 0xFFFFFFFF, bin = 0x1000, skSize = 0x30;
    QByteArray file(2 * bin, '\0');
    file.replace(0, 4, "regf").replace(bin, 4, "hbin").replace(bin + 0x24, 2, "nk");
    file.replace(bin + sk + 4, 2, "sk").replace(bin + 0x70, rootName.size(), rootName);
    const std::pair<quint32, quint32> fields[] = {
        // Sequence numbers, version 1.5, primary file, direct memory load, root, bins, cluster.
        {0x04, 1},
        {0x08, 1},
        {0x14, 1},
        {0x18, 5},
        {0x20, 1},
        {0x24, 0x20},
        {0x28, bin},
        {0x2C, 1},
        {bin + 0x08, bin},
        // The root key: hive entry, not deletable, ASCII name; no parent, subkeys, values, class.
        {bin + 0x20, -nkSize},
        {bin + 0x26, 0x2C},
        {bin + 0x34, none},
        {bin + 0x40, none},
        {bin + 0x44, none},
        {bin + 0x4C, none},
        {bin + 0x50, sk},
        {bin + 0x54, none},
        {bin + 0x6C, quint32(rootName.size())},
        // Its security cell: linked to itself, one reference, a self-relative
        // descriptor of revision 1 without owner, group or lists.  Then a free cell.
        {bin + sk, -skSize},
        {bin + sk + 0x08, sk},
        {bin + sk + 0x0C, sk},
        {bin + sk + 0x10, 1},
        {bin + sk + 0x14, 20},
        {bin + sk + 0x18, 1},
        {bin + sk + 0x1A, 0x8000},
        {bin + sk + skSize, bin - sk - skSize}};
    for (const auto &[offset, value] : fields)
        qToLittleEndian<quint32>(value, file.data() + offset);
    quint32 checksum = 0;
    for (int i = 0; i < 127; ++i)
        checksum ^= qFromLittleEndian<quint32>(file.constData() + 4 * i);
    qToLittleEndian<quint32>(checksum, file.data() + 0x1FC);
    return file;
}

HiveBuilder::HiveBuilder(const QString &path) : m_path(path)
{
    writeTestFile(path, emptyHive());
    m_hive.reset(hivex_open(QFile::encodeName(path).constData(), HIVEX_OPEN_WRITE));
    if (!m_hive)
        qFatal("hivex cannot open the generated hive %s", qPrintable(path));
}

hive_node_h HiveBuilder::keyNode(const QString &path)
{
    hive_node_h node = hivex_root(m_hive.get());
    for (const QString &name : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        const QByteArray utf8 = name.toUtf8();
        hive_node_h child = hivex_node_get_child(m_hive.get(), node, utf8.constData());
        if (!child && !(child = hivex_node_add_child(m_hive.get(), node, utf8.constData())))
            qFatal("cannot add the key %s", qPrintable(path));
        node = child;
    }
    return node;
}

void HiveBuilder::setDword(const QString &keyPath, const QString &name, quint32 number)
{
    QByteArray data(4, '\0');
    qToLittleEndian<quint32>(number, data.data());
    setRaw(keyPath, name, hive_t_REG_DWORD, data);
}

void HiveBuilder::setRaw(const QString &keyPath, const QString &name, hive_type type,
                         const QByteArray &data)
{
    QByteArray key = name.toUtf8(), value = data;
    const hive_set_value v{key.data(), type, size_t(value.size()), value.data()};
    if (hivex_node_set_value(m_hive.get(), keyNode(keyPath), &v, 0) != 0)
        qFatal("cannot set the value %s of %s", qPrintable(name), qPrintable(keyPath));
}

void HiveBuilder::commit()
{
    if (hivex_commit(m_hive.get(), nullptr, 0) != 0)
        qFatal("cannot commit the hive %s", qPrintable(m_path));
}

QByteArray registryText(const QString &text)
{
    QByteArray bytes(2 * text.size() + 2, '\0');
    qToLittleEndian<quint16>(text.utf16(), text.size(), bytes.data());
    return bytes;
}
