#include "tests/support/HiveBuilder.h"

#include "tests/support/TestAppFolder.h"

#include <QFile>
#include <QtEndian>

namespace
{

constexpr int kBlockSize = 0x1000;
constexpr quint32 kNoOffset = 0xFFFFFFFF;
// Key flags of a hive's root key: hive entry, not deletable, ASCII name.
constexpr quint16 kRootKeyFlags = 0x0004 | 0x0008 | 0x0020;

void put32(QByteArray &bytes, int offset, quint32 value)
{
    qToLittleEndian<quint32>(value, bytes.data() + offset);
}

void put16(QByteArray &bytes, int offset, quint16 value)
{
    qToLittleEndian<quint16>(value, bytes.data() + offset);
}

int cellSize(int contentSize)
{
    return (contentSize + 4 + 7) & ~7;
}

// A self-relative security descriptor with no owner, group or lists.
QByteArray minimalSecurityDescriptor()
{
    QByteArray sd(20, '\0');
    sd[0] = 1;            // revision
    put16(sd, 2, 0x8000); // SE_SELF_RELATIVE
    return sd;
}

} // namespace

QByteArray HiveBuilder::emptyHive(const QByteArray &rootName)
{
    QByteArray file(2 * kBlockSize, '\0');

    // Base block.
    file.replace(0, 4, "regf");
    put32(file, 0x04, 1);          // primary sequence number
    put32(file, 0x08, 1);          // secondary sequence number
    put32(file, 0x14, 1);          // major version
    put32(file, 0x18, 5);          // minor version
    put32(file, 0x1C, 0);          // primary file
    put32(file, 0x20, 1);          // direct memory load format
    put32(file, 0x24, 0x20);       // root cell offset
    put32(file, 0x28, kBlockSize); // size of the hive bins data
    put32(file, 0x2C, 1);          // clustering factor
    quint32 checksum = 0;
    for (int i = 0; i < 127; ++i)
        checksum ^= qFromLittleEndian<quint32>(file.constData() + 4 * i);
    put32(file, 0x1FC, checksum);

    // The one bin; cell offsets count from its start.
    const int bin = kBlockSize;
    file.replace(bin, 4, "hbin");
    put32(file, bin + 0x04, 0);
    put32(file, bin + 0x08, kBlockSize);

    const int nkOffset = 0x20;
    const int nkSize = cellSize(0x4C + rootName.size());
    const int skOffset = nkOffset + nkSize;
    const QByteArray sd = minimalSecurityDescriptor();
    const int skSize = cellSize(0x14 + sd.size());
    const int freeOffset = skOffset + skSize;

    int nk = bin + nkOffset;
    put32(file, nk, quint32(-nkSize));
    nk += 4;
    file.replace(nk, 2, "nk");
    put16(file, nk + 0x02, kRootKeyFlags);
    put32(file, nk + 0x10, kNoOffset); // parent
    put32(file, nk + 0x1C, kNoOffset); // subkey list
    put32(file, nk + 0x20, kNoOffset); // volatile subkey list
    put32(file, nk + 0x28, kNoOffset); // value list
    put32(file, nk + 0x2C, quint32(skOffset));
    put32(file, nk + 0x30, kNoOffset); // class name
    put16(file, nk + 0x48, quint16(rootName.size()));
    file.replace(nk + 0x4C, rootName.size(), rootName);

    int sk = bin + skOffset;
    put32(file, sk, quint32(-skSize));
    sk += 4;
    file.replace(sk, 2, "sk");
    put32(file, sk + 0x04, quint32(skOffset)); // next: itself
    put32(file, sk + 0x08, quint32(skOffset)); // previous: itself
    put32(file, sk + 0x0C, 1);                 // reference count
    put32(file, sk + 0x10, quint32(sd.size()));
    file.replace(sk + 0x14, sd.size(), sd);

    put32(file, bin + freeOffset, quint32(kBlockSize - freeOffset));
    return file;
}

HiveBuilder::HiveBuilder(const QString &path) : m_path(path)
{
    writeTestFile(path, emptyHive());
    m_hive = hivex_open(QFile::encodeName(path).constData(), HIVEX_OPEN_WRITE);
    if (!m_hive)
        qFatal("hivex cannot open the generated hive %s", qPrintable(path));
}

HiveBuilder::~HiveBuilder()
{
    if (m_hive)
        hivex_close(m_hive);
}

hive_node_h HiveBuilder::keyNode(const QString &path)
{
    hive_node_h node = hivex_root(m_hive);
    QString keyPath;
    for (const QString &name : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        keyPath += QLatin1Char('\\') + name.toCaseFolded();
        hive_node_h &child = m_keys[keyPath];
        if (!child)
            child = hivex_node_add_child(m_hive, node, name.toUtf8().constData());
        if (!child)
            qFatal("cannot add the key %s", qPrintable(path));
        node = child;
    }
    return node;
}

void HiveBuilder::addKey(const QString &path)
{
    keyNode(path);
}

void HiveBuilder::setText(const QString &keyPath, const QString &name, const QString &text,
                          hive_type type)
{
    setRaw(keyPath, name, type, registryText(text));
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
    const hive_node_h node = keyNode(keyPath);
    QByteArray key = name.toUtf8();
    QByteArray value = data;
    const hive_set_value v{key.data(), type, size_t(value.size()), value.data()};
    if (hivex_node_set_value(m_hive, node, &v, 0) != 0)
        qFatal("cannot set the value %s of %s", qPrintable(name), qPrintable(keyPath));
}

void HiveBuilder::commit()
{
    if (hivex_commit(m_hive, nullptr, 0) != 0)
        qFatal("cannot commit the hive %s", qPrintable(m_path));
}

QByteArray registryText(const QString &text)
{
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    bytes.append(2, '\0');
    return bytes;
}

QString machineHivePath(const QString &root, const QString &name)
{
    return root + QStringLiteral("/Windows/System32/config/") + name;
}
