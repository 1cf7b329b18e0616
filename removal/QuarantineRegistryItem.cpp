#include "removal/QuarantineRegistryItem.h"

#include "removal/QuarantineManifest.h"

#include <vector>

namespace {

const QByteArray kHeader = "TORVAKINE-REGISTRY 1";
// Keys nested deeper than the registry allows are no copy of it.
constexpr int kDeepest = 512;

QByteArray text(const QString &s)
{
    return QuarantineManifest::escapeField(s.toUtf8());
}

std::optional<QString> textOf(const QByteArray &field)
{
    const std::optional<QByteArray> bytes = QuarantineManifest::unescapeField(field);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

QByteArray valueLine(const RegistryValueData &v)
{
    return "value\t" + text(v.name) + '\t' + QByteArray::number(v.type) + '\t' + v.data.toHex() +
           "\r\n";
}

void putTree(QByteArray &out, const RegistryKeyTree &tree, int depth)
{
    out += "key\t" + QByteArray::number(depth) + '\t' + text(tree.name) + "\r\n";
    for (const RegistryValueData &v : tree.values)
        out += valueLine(v);
    for (const RegistryKeyTree &sub : tree.subkeys)
        putTree(out, sub, depth + 1);
}

std::optional<RegistryValueData> readValue(const QList<QByteArray> &f)
{
    if (f.size() != 4)
        return std::nullopt;
    const std::optional<QString> name = textOf(f[1]);
    bool ok = false;
    const qint32 type = f[2].toInt(&ok);
    const QByteArray data = QByteArray::fromHex(f[3]);
    if (!name || !ok || data.toHex() != f[3].toLower())
        return std::nullopt;
    return RegistryValueData{*name, type, data};
}

} // namespace

QByteArray encodeQuarantinedRegistry(const QuarantinedRegistry &item)
{
    QByteArray out = kHeader + "\r\n";
    out += "row\t" + text(item.rootName) + '\t' + text(item.keyPath) + '\t' + text(item.valueName) +
           "\r\n";
    for (const RegistryValueCopy &copy : item.values)
        out += "copy\t" + text(copy.store) + "\r\n" + valueLine(copy.value);
    for (const RegistryKeyCopy &copy : item.keys) {
        out += "copy\t" + text(copy.store) + "\r\n";
        putTree(out, copy.tree, 0);
    }
    return out;
}

std::optional<QuarantinedRegistry> decodeQuarantinedRegistry(const QByteArray &bytes)
{
    QList<QByteArray> lines = bytes.split('\n');
    if (lines.isEmpty() || !lines.last().isEmpty())
        return std::nullopt;
    lines.removeLast();
    for (QByteArray &line : lines) {
        if (!line.endsWith('\r'))
            return std::nullopt;
        line.chop(1);
    }
    if (lines.size() < 2 || lines[0] != kHeader)
        return std::nullopt;
    QuarantinedRegistry item;
    const QList<QByteArray> row = lines[1].split('\t');
    if (row.size() != 4 || row[0] != "row")
        return std::nullopt;
    const std::optional<QString> rootName = textOf(row[1]);
    const std::optional<QString> keyPath = textOf(row[2]);
    const std::optional<QString> valueName = textOf(row[3]);
    if (!rootName || !keyPath || !valueName)
        return std::nullopt;
    item.rootName = *rootName;
    item.keyPath = *keyPath;
    item.valueName = *valueName;
    const bool isValue = !item.valueName.isEmpty();

    // The keys of the copy being read, from its top to the latest one.
    std::vector<RegistryKeyTree *> path;
    bool copyOpen = false;
    bool valueRead = false; // the value of the value row's latest copy
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines[i].split('\t');
        if (f[0] == "copy" && f.size() == 2) {
            const std::optional<QString> store = textOf(f[1]);
            if (!store || (copyOpen && (isValue ? !valueRead : path.empty())))
                return std::nullopt;
            valueRead = false;
            if (isValue)
                item.values.append({*store, {}});
            else
                item.keys.append({*store, {}});
            path.clear();
            copyOpen = true;
        } else if (f[0] == "value" && copyOpen) {
            const std::optional<RegistryValueData> value = readValue(f);
            if (!value)
                return std::nullopt;
            if (isValue) {
                if (valueRead || value->name.compare(item.valueName, Qt::CaseInsensitive) != 0)
                    return std::nullopt;
                item.values.last().value = *value;
                valueRead = true;
            } else {
                if (path.empty())
                    return std::nullopt;
                path.back()->values.append(*value);
            }
        } else if (f[0] == "key" && f.size() == 3 && copyOpen && !isValue) {
            bool ok = false;
            const int depth = f[1].toInt(&ok);
            const std::optional<QString> name = textOf(f[2]);
            if (!ok || !name || depth < 0 || depth > kDeepest || size_t(depth) > path.size() ||
                (depth == 0) != path.empty())
                return std::nullopt;
            path.resize(size_t(depth));
            RegistryKeyTree *parent = depth == 0 ? nullptr : path.back();
            RegistryKeyTree *key = nullptr;
            if (parent) {
                parent->subkeys.append(RegistryKeyTree{*name, {}, {}});
                key = &parent->subkeys.last();
            } else {
                item.keys.last().tree.name = *name;
                key = &item.keys.last().tree;
            }
            path.push_back(key);
        } else {
            return std::nullopt;
        }
    }
    if (copyOpen && (isValue ? !valueRead : path.empty()))
        return std::nullopt;
    return item;
}
