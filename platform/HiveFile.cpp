#include "platform/HiveFile.h"

#include "platform/TextFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Values whose data are larger than this are stored by Windows in chained
// data cells, which hivex reads but does not write back.
constexpr size_t kLargestSingleCellData = 16344;

// hivex ends the whole process with a failed assertion when some damaged
// hives are changed.  A change is therefore first made in a copy of this
// process; only when the copy comes through it is the change made here,
// where the same call on the same memory gives the same result.
bool changeSucceedsInACopy(const std::function<int()> &change)
{
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        // The copy ends quietly, without the crash reports of this process.
        for (const int sig : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE})
            ::signal(sig, SIG_DFL);
        ::_exit(change() == 0 ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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

bool syncFile(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace

std::unique_ptr<HiveFile> HiveFile::open(const QString &path, bool writable)
{
    const QFileInfo info(path);
    // A hive that is a symbolic link is read, but never replaced: the new
    // file would take the link's place while the linked file kept the old.
    if (!info.isFile() || (writable && info.isSymLink()))
        return nullptr;
    hive_h *hive = hivex_open(QFile::encodeName(path).constData(), writable ? HIVEX_OPEN_WRITE : 0);
    if (!hive)
        return nullptr;
    return std::unique_ptr<HiveFile>(new HiveFile(path, hive));
}

HiveFile::HiveFile(const QString &path, hive_h *hive) : m_path(path), m_hive(hive) {}

HiveFile::~HiveFile()
{
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
    return index->second.value(name.toCaseFolded(), 0);
}

hive_value_h HiveFile::value(hive_node_h node, const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    if (isAscii(utf8))
        return hivex_node_get_value(m_hive, node, utf8.constData());
    hive_value_h *values = hivex_node_values(m_hive, node);
    if (!values)
        return 0;
    hive_value_h found = 0;
    for (size_t i = 0; values[i] && !found; ++i) {
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
    for (size_t i = 0; list && list[i]; ++i)
        out.push_back(list[i]);
    std::free(list);
    return out;
}

std::vector<hive_value_h> HiveFile::values(hive_node_h node) const
{
    std::vector<hive_value_h> out;
    hive_value_h *list = hivex_node_values(m_hive, node);
    for (size_t i = 0; list && list[i]; ++i)
        out.push_back(list[i]);
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
    // hivex replaces the whole value list of a key, so the values that stay
    // are read and written back unchanged.
    hive_value_h *values = hivex_node_values(m_hive, node);
    if (!values)
        return false;
    struct Kept {
        QByteArray key;
        qint32 type;
        QByteArray data;
    };
    std::vector<Kept> kept;
    bool readable = true;
    for (size_t i = 0; values[i] && readable; ++i) {
        if (values[i] == value)
            continue;
        char *key = hivex_value_key(m_hive, values[i]);
        const std::optional<ValueData> data = valueData(values[i]);
        readable = key && data && size_t(data->bytes.size()) <= kLargestSingleCellData;
        if (readable)
            kept.push_back({QByteArray(key), data->type, data->bytes});
        std::free(key);
    }
    std::free(values);
    if (!readable)
        return false;
    std::vector<hive_set_value> list;
    list.reserve(kept.size());
    for (Kept &k : kept) {
        list.push_back({k.key.data(), hive_t_REG_NONE, size_t(k.data.size()), k.data.data()});
        std::memcpy(&list.back().t, &k.type, sizeof k.type);
    }
    const auto setValues = [&] {
        return hivex_node_set_values(m_hive, node, list.size(), list.data(), 0);
    };
    if (!changeSucceedsInACopy(setValues) || setValues() != 0)
        return false;
    m_subkeyIndex.clear();
    m_changed = true;
    return true;
}

bool HiveFile::removeKey(hive_node_h node)
{
    const auto deleteKey = [&] { return hivex_node_delete_child(m_hive, node); };
    if (node == root() || !changeSucceedsInACopy(deleteKey) || deleteKey() != 0)
        return false;
    m_subkeyIndex.clear();
    m_changed = true;
    return true;
}

bool HiveFile::commitReplacing()
{
    const QFileInfo info(m_path);
    // A hive marked read-only, or lying in a folder marked read-only, stays as
    // it is: it is never replaced by force, not even with the rights to do so.
    const QFileInfo folder(info.absolutePath());
    if (!(info.permissions() & QFileDevice::WriteOwner) ||
        !(folder.permissions() & QFileDevice::WriteOwner))
        return false;
    QTemporaryFile temporary(m_path + QStringLiteral(".XXXXXX"));
    temporary.setAutoRemove(false);
    if (!temporary.open())
        return false;
    const QString temporaryPath = temporary.fileName();
    temporary.close();
    const bool written =
        hivex_commit(m_hive, QFile::encodeName(temporaryPath).constData(), 0) == 0 &&
        syncFile(temporaryPath) && QFile::setPermissions(temporaryPath, info.permissions()) &&
        TextFiles::replaceFile(temporaryPath, m_path);
    if (!written) {
        QFile::remove(temporaryPath);
        return false;
    }
    m_changed = false;
    return true;
}
