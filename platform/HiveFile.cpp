#include "platform/HiveFile.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Values whose data are larger than this are stored by Windows in chained
// data cells, which hivex reads but does not write back.
constexpr size_t kLargestSingleCellData = 16344;

bool isAscii(const QByteArray &utf8)
{
    for (const char c : utf8) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

QString takeUtf8(char *text)
{
    const QString s = QString::fromUtf8(text);
    std::free(text);
    return s;
}

// The type word of a value is whatever number the hive file holds, which
// hivex's enumeration need not cover: it is only ever copied as a number,
// never read as the enumeration.
qint32 typeNumber(const hive_type &type)
{
    static_assert(sizeof(qint32) == sizeof(hive_type));
    qint32 number = 0;
    std::memcpy(&number, &type, sizeof number);
    return number;
}

// Reads the hive of the open regular file into memory.  hivex maps a file
// opened for reading, and a mapped file that its owner cuts short while it
// is read ends the process; the flag for writing makes hivex read the file
// into memory whole instead.  Nothing is ever written through it.
hive_h *readHive(const FileHandle &file)
{
    FileStatus st;
    if (!file.status(&st) || st.kind != FileStatus::Kind::Regular)
        return nullptr;
    const std::string path = "/proc/self/fd/" + std::to_string(file.native());
    return hivex_open(path.c_str(), HIVEX_OPEN_WRITE);
}

} // namespace

std::unique_ptr<HiveFile> HiveFile::open(const QString &path)
{
    // Only a regular file is opened, and never waiting: a FIFO put in the
    // hive's place meanwhile must not hang the scan.
    const QByteArray native = QFile::encodeName(path);
    struct stat st = {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    FileHandle file =
        FileHandle::adopt(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC), native);
    hive_h *hive = readHive(file);
    if (!hive)
        return nullptr;
    return std::unique_ptr<HiveFile>(new HiveFile(path, std::move(file), hive));
}

std::unique_ptr<HiveFile> HiveFile::openForChange(TreeFolder folder, const QString &path,
                                                  HiveChangeSettings settings)
{
    FileHandle file = folder.openEntry();
    hive_h *hive = readHive(file);
    if (!hive)
        return nullptr;
    std::unique_ptr<HiveFile> opened(new HiveFile(path, std::move(file), hive));
    opened->m_folder = std::move(folder);
    opened->m_settings = std::move(settings);
    return opened;
}

HiveFile::HiveFile(const QString &path, FileHandle file, hive_h *hive)
    : m_path(path), m_file(std::move(file)), m_hive(hive)
{
    m_file.status(&m_identity);
}

HiveFile::~HiveFile()
{
    // The helper goes first: it holds the hive file too.
    m_helper.reset();
    hivex_close(m_hive);
}

hive_node_h HiveFile::root() const
{
    return hivex_root(m_hive);
}

hive_node_h HiveFile::child(hive_node_h node, const QString &name) const
{
    auto index = m_subkeyIndex.find(node);
    if (index == m_subkeyIndex.end()) {
        index = m_subkeyIndex.emplace(node, QHash<QString, hive_node_h>()).first;
        hive_node_h *children = hivex_node_children(m_hive, node);
        for (size_t i = 0; children && children[i]; ++i) {
            char *childName = hivex_node_name(m_hive, children[i]);
            if (childName)
                index->second.insert(takeUtf8(childName).toCaseFolded(), children[i]);
        }
        std::free(children);
    }
    const hive_node_h found = index->second.value(name.toCaseFolded(), 0);
    return m_removedKeys.count(found) ? 0 : found;
}

bool HiveFile::isRemoved(hive_node_h node, hive_value_h value) const
{
    const auto removed = m_removedValues.find(node);
    return removed != m_removedValues.end() && removed->second.count(value);
}

hive_value_h HiveFile::value(hive_node_h node, const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    if (isAscii(utf8) && !m_removedValues.count(node))
        return hivex_node_get_value(m_hive, node, utf8.constData());
    hive_value_h *values = hivex_node_values(m_hive, node);
    if (!values)
        return 0;
    hive_value_h found = 0;
    for (size_t i = 0; values[i] && !found; ++i) {
        if (isRemoved(node, values[i]))
            continue;
        char *key = hivex_value_key(m_hive, values[i]);
        if (key && takeUtf8(key).compare(name, Qt::CaseInsensitive) == 0)
            found = values[i];
    }
    std::free(values);
    return found;
}

std::vector<hive_node_h> HiveFile::children(hive_node_h node) const
{
    std::vector<hive_node_h> out;
    hive_node_h *list = hivex_node_children(m_hive, node);
    for (size_t i = 0; list && list[i]; ++i) {
        if (!m_removedKeys.count(list[i]))
            out.push_back(list[i]);
    }
    std::free(list);
    return out;
}

std::vector<hive_value_h> HiveFile::values(hive_node_h node) const
{
    std::vector<hive_value_h> out;
    hive_value_h *list = hivex_node_values(m_hive, node);
    for (size_t i = 0; list && list[i]; ++i) {
        if (!isRemoved(node, list[i]))
            out.push_back(list[i]);
    }
    std::free(list);
    return out;
}

QString HiveFile::name(hive_node_h node) const
{
    char *text = hivex_node_name(m_hive, node);
    return text ? takeUtf8(text) : QString();
}

QString HiveFile::valueName(hive_value_h value) const
{
    char *text = hivex_value_key(m_hive, value);
    return text ? takeUtf8(text) : QString();
}

std::optional<HiveFile::ValueData> HiveFile::valueData(hive_value_h value) const
{
    hive_type type{};
    size_t length = 0;
    char *data = hivex_value_value(m_hive, value, &type, &length);
    if (!data)
        return std::nullopt;
    ValueData result{typeNumber(type), QByteArray(data, qsizetype(length))};
    std::free(data);
    return result;
}

bool HiveFile::removeValue(hive_node_h node, hive_value_h value)
{
    if (!m_folder.isOpen())
        return false;
    // The helper replaces the whole value list of a key, so the values that
    // stay are read here and sent along unchanged.
    hive_value_h *values = hivex_node_values(m_hive, node);
    if (!values)
        return false;
    HiveChangeProtocol::Request request{HiveChangeProtocol::Operation::SetValues, node, {}, {}};
    bool readable = true;
    for (size_t i = 0; values[i] && readable; ++i) {
        if (values[i] == value || isRemoved(node, values[i]))
            continue;
        char *key = hivex_value_key(m_hive, values[i]);
        const std::optional<ValueData> data = valueData(values[i]);
        readable = key && data && size_t(data->bytes.size()) <= kLargestSingleCellData;
        if (readable)
            request.values.push_back({std::string(key), data->type,
                                      std::string(data->bytes.constData(), data->bytes.size())});
        std::free(key);
    }
    std::free(values);
    if (!readable)
        return false;
    const auto added = m_addedValues.find(node);
    if (added != m_addedValues.end())
        request.values.insert(request.values.end(), added->second.begin(), added->second.end());
    if (!change(request))
        return false;
    m_removedValues[node].insert(value);
    return true;
}

bool HiveFile::removeKey(hive_node_h node)
{
    if (node == root() || !change({HiveChangeProtocol::Operation::DeleteKey, node, {}, {}}))
        return false;
    m_removedKeys.insert(node);
    return true;
}

bool HiveFile::change(const HiveChangeProtocol::Request &request)
{
    if (!m_folder.isOpen())
        return false;
    if (!m_helper)
        m_helper = std::make_unique<HiveChangeHelper>(m_settings, m_file.native());
    if (!m_helper->change(request))
        return false;
    m_changed = true;
    return true;
}

namespace {

std::optional<HiveChangeProtocol::Value> protocolValue(const RegistryValueData &v)
{
    if (size_t(v.data.size()) > kLargestSingleCellData)
        return std::nullopt;
    return HiveChangeProtocol::Value{v.name.toStdString(), v.type,
                                     std::string(v.data.constData(), size_t(v.data.size()))};
}

// The keys of tree, depth first, each after its parent, for one request.
bool flatten(const RegistryKeyTree &tree, std::int32_t parent,
             std::vector<HiveChangeProtocol::NewKey> *keys)
{
    HiveChangeProtocol::NewKey key{parent, tree.name.toStdString(), {}};
    for (const RegistryValueData &v : tree.values) {
        const std::optional<HiveChangeProtocol::Value> value = protocolValue(v);
        if (!value)
            return false;
        key.values.push_back(*value);
    }
    keys->push_back(std::move(key));
    const std::int32_t self = std::int32_t(keys->size() - 1);
    for (const RegistryKeyTree &sub : tree.subkeys) {
        if (!flatten(sub, self, keys))
            return false;
    }
    return true;
}

} // namespace

bool HiveFile::addValue(hive_node_h node, const RegistryValueData &value)
{
    const std::optional<HiveChangeProtocol::Value> added = protocolValue(value);
    if (!added)
        return false;
    // The key's values become those it has, those put back before and this.
    HiveChangeProtocol::Request request{HiveChangeProtocol::Operation::SetValues, node, {}, {}};
    for (const hive_value_h v : values(node)) {
        const std::optional<ValueData> data = valueData(v);
        if (!data || size_t(data->bytes.size()) > kLargestSingleCellData)
            return false;
        request.values.push_back({valueName(v).toStdString(), data->type,
                                  std::string(data->bytes.constData(), data->bytes.size())});
    }
    std::vector<HiveChangeProtocol::Value> &earlier = m_addedValues[node];
    request.values.insert(request.values.end(), earlier.begin(), earlier.end());
    request.values.push_back(*added);
    if (!change(request))
        return false;
    earlier.push_back(*added);
    return true;
}

bool HiveFile::addKey(hive_node_h node, const RegistryKeyTree &tree)
{
    HiveChangeProtocol::Request request{HiveChangeProtocol::Operation::AddKeys, node, {}, {}};
    return flatten(tree, -1, &request.keys) && change(request);
}

bool HiveFile::commitReplacing()
{
    if (!m_helper)
        return false;
    FileRewrite rewrite(m_folder, m_identity, m_folder.entryName() + ".new");
    if (!rewrite.isOpen() || !m_helper->writeTo(rewrite.companion()) || !rewrite.replaceOriginal())
        return false;
    m_changed = false;
    return true;
}
