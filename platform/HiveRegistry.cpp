#include "platform/HiveRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <set>

namespace {

// Links are followed at most this many times within one lookup, so a loop of
// links ends.
constexpr int kMostLinkHops = 8;
constexpr qint32 kLinkType = 6; // REG_LINK

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// The entry of folder called name in any letter case; empty when none is.
QString findEntry(const QString &folder, const QString &name)
{
    const QString exact = joinPath(folder, name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden |
                                                       QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return joinPath(folder, entry);
    }
    return {};
}

QString findPath(const QString &root, const QStringList &parts)
{
    QString path = root;
    for (const QString &part : parts) {
        path = findEntry(path, part);
        if (path.isEmpty())
            return {};
    }
    return path;
}

bool sameName(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// The hive file of a profile folder as the ProfileList writes it, for
// instance "%SystemDrive%\Users\bob" or "C:\Documents and Settings\bob",
// relative to the installation's root.
QStringList profileFolderParts(QString imagePath)
{
    imagePath.replace(QLatin1String("%SystemDrive%"), QString(), Qt::CaseInsensitive);
    imagePath.replace(QLatin1String("%SystemRoot%"), QLatin1String("\\Windows"),
                      Qt::CaseInsensitive);
    imagePath.replace(QLatin1String("%windir%"), QLatin1String("\\Windows"), Qt::CaseInsensitive);
    if (imagePath.size() >= 2 && imagePath[1] == QLatin1Char(':'))
        imagePath.remove(0, 2);
    QStringList parts = imagePath.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.contains(QLatin1String("..")) || imagePath.contains(QLatin1Char('%')))
        return {};
    return parts;
}

// Keys below a key that one copy takes at most: the registry itself nests
// keys no deeper than 512.
constexpr int kDeepestCopy = 512;

// Reads the key node of hive with everything below it into tree; false when
// something cannot be read, the data pass *budget bytes, or the nesting is
// deeper than any registry's (a damaged hive whose keys lead in a circle).
bool readTree(const HiveFile &hive, hive_node_h node, int depth, qint64 *budget,
              RegistryKeyTree *tree)
{
    if (depth > kDeepestCopy)
        return false;
    tree->name = hive.name(node);
    for (const hive_value_h value : hive.values(node)) {
        const std::optional<HiveFile::ValueData> data = hive.valueData(value);
        if (!data)
            return false;
        *budget -= data->bytes.size() + 64;
        if (*budget < 0)
            return false;
        tree->values.append({hive.valueName(value), data->type, data->bytes});
    }
    for (const hive_node_h child : hive.children(node)) {
        RegistryKeyTree sub;
        if (!readTree(hive, child, depth + 1, budget, &sub))
            return false;
        tree->subkeys.append(std::move(sub));
    }
    return true;
}

} // namespace

HiveRegistry::HiveRegistry(const QString &installationRoot, RegistryAccess access,
                           HiveChangeSettings settings)
    : m_root(installationRoot), m_writable(access == RegistryAccess::ReadWrite),
      m_settings(std::move(settings))
{
}

HiveRegistry::~HiveRegistry() = default;

HiveFile *HiveRegistry::hive(const QString &path)
{
    if (path.isEmpty())
        return nullptr;
    const auto known = m_hivesByPath.find(path);
    if (known != m_hivesByPath.end())
        return known->second;
    std::unique_ptr<HiveFile> opened =
        m_writable ? HiveFile::openForChange(
                         TreeFolder::reach(QFile::encodeName(m_root), QFile::encodeName(path)),
                         path, m_settings)
                   : HiveFile::open(path);
    HiveFile *file = nullptr;
    if (opened) {
        const auto key = std::make_pair(opened->identity().device, opened->identity().inode);
        file = m_hives.emplace(key, std::move(opened)).first->second.get();
    } else if (m_writable) {
        m_unopenable.append(path);
    }
    m_hivesByPath.emplace(path, file);
    return file;
}

QString HiveRegistry::machineHivePath(const QString &name)
{
    if (m_root.isEmpty())
        return {};
    auto it = m_machineHivePaths.find(name);
    if (it == m_machineHivePaths.end()) {
        const QString path =
            findPath(m_root, {QStringLiteral("Windows"), QStringLiteral("System32"),
                              QStringLiteral("config"), name});
        it = m_machineHivePaths.emplace(name, path).first;
    }
    return it->second;
}

HiveFile *HiveRegistry::machineHive(const QString &name)
{
    return hive(machineHivePath(name));
}

const QStringList &HiveRegistry::userHivePaths()
{
    if (m_userHives)
        return *m_userHives;
    m_userHives.emplace();
    if (m_root.isEmpty())
        return *m_userHives;
    std::set<QString> seen;
    for (const char *profiles : {"Users", "Documents and Settings"}) {
        const QString folder = findEntry(m_root, QLatin1String(profiles));
        if (folder.isEmpty() || QFileInfo(folder).isSymLink())
            continue;
        // Links such as "All Users" or "Default User" lead to profiles that
        // are listed under their own names.
        const QFileInfoList entries = QDir(folder).entryInfoList(
            QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks,
            QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo &profile : entries) {
            const QString hivePath = findEntry(profile.filePath(), QStringLiteral("NTUSER.DAT"));
            if (!hivePath.isEmpty() && QFileInfo(hivePath).isFile() &&
                seen.insert(QFileInfo(hivePath).canonicalFilePath()).second)
                m_userHives->append(hivePath);
        }
    }
    return *m_userHives;
}

QString HiveRegistry::profileHivePath(const QString &sid)
{
    const std::optional<KeyLocation> profile = locateMachineKey(
        {QStringLiteral("SOFTWARE"), QStringLiteral("Microsoft"), QStringLiteral("Windows NT"),
         QStringLiteral("CurrentVersion"), QStringLiteral("ProfileList"), sid},
        0);
    if (!profile)
        return {};
    const hive_value_h value =
        profile->hive->value(profile->node, QStringLiteral("ProfileImagePath"));
    const std::optional<HiveFile::ValueData> data =
        value ? profile->hive->valueData(value) : std::nullopt;
    if (!data)
        return {};
    // The path is usually REG_EXPAND_SZ; read it as text whatever its type.
    const QString imagePath = registryValueFromData(RegistryType::Text, data->bytes).toString();
    const QStringList parts = profileFolderParts(imagePath);
    if (parts.isEmpty())
        return {};
    return findPath(m_root, parts + QStringList{QStringLiteral("NTUSER.DAT")});
}

QString HiveRegistry::currentControlSetName()
{
    HiveFile *system = machineHive(QStringLiteral("SYSTEM"));
    if (!system)
        return {};
    const hive_node_h select = system->child(system->root(), QStringLiteral("Select"));
    const hive_value_h current = select ? system->value(select, QStringLiteral("Current")) : 0;
    const std::optional<HiveFile::ValueData> data =
        current ? system->valueData(current) : std::nullopt;
    if (!data)
        return {};
    const QVariant number = registryValueFromData(data->type, data->bytes);
    if (number.typeId() != QMetaType::Int)
        return {};
    return QStringLiteral("ControlSet%1").arg(number.toInt(), 3, 10, QLatin1Char('0'));
}

std::optional<QStringList> HiveRegistry::linkTarget(HiveFile *hive, hive_node_h node) const
{
    const hive_value_h link = hive->value(node, QStringLiteral("SymbolicLinkValue"));
    const std::optional<HiveFile::ValueData> data = link ? hive->valueData(link) : std::nullopt;
    if (!data || data->type != kLinkType)
        return std::nullopt;
    // "\REGISTRY\MACHINE\SYSTEM\...", UTF-16LE without a closing NUL.
    const QString target = registryValueFromData(RegistryType::Text, data->bytes).toString();
    QStringList parts = registryPathParts(target);
    if (parts.size() < 3 || !sameName(parts[0], "REGISTRY") || !sameName(parts[1], "MACHINE"))
        return QStringList();
    return parts.mid(2);
}

std::optional<HiveRegistry::KeyLocation> HiveRegistry::walk(HiveFile *hive,
                                                            const QStringList &parts, int hops)
{
    if (!hive)
        return std::nullopt;
    // Compared by path, so walking another hive never opens SYSTEM.
    const bool isSystem = hive->path() == machineHivePath(QStringLiteral("SYSTEM"));
    hive_node_h node = hive->root();
    bool redirected = false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        QString name = parts[i];
        redirected = false;
        if (isSystem && i == 0 && sameName(name, "CurrentControlSet")) {
            const QString controlSet = currentControlSetName();
            if (!controlSet.isEmpty()) {
                name = controlSet;
                redirected = true;
            }
        }
        node = hive->child(node, name);
        if (!node)
            return std::nullopt;
        if (const std::optional<QStringList> target = linkTarget(hive, node)) {
            if (target->isEmpty() || hops >= kMostLinkHops)
                return std::nullopt;
            std::optional<KeyLocation> linked =
                locateMachineKey(*target + parts.mid(i + 1), hops + 1);
            if (linked && i + 1 == parts.size())
                linked->standsForRoot = true;
            return linked;
        }
    }
    return KeyLocation{hive, node, redirected || node == hive->root()};
}

std::optional<HiveRegistry::KeyLocation> HiveRegistry::locateMachineKey(const QStringList &parts,
                                                                        int hops)
{
    if (parts.isEmpty())
        return std::nullopt;
    if (!sameName(parts[0], "SOFTWARE") && !sameName(parts[0], "SYSTEM"))
        return std::nullopt;
    return walk(machineHive(parts[0].toUpper()), parts.mid(1), hops);
}

QList<HiveRegistry::KeyLocation> HiveRegistry::locate(PredefinedKey root, const QStringList &parts)
{
    QList<KeyLocation> found;
    const auto add = [&found](const std::optional<KeyLocation> &location) {
        if (location)
            found.append(*location);
    };
    switch (root) {
    case PredefinedKey::LocalMachine:
        if (parts.isEmpty()) {
            add(walk(machineHive(QStringLiteral("SOFTWARE")), {}, 0));
            add(walk(machineHive(QStringLiteral("SYSTEM")), {}, 0));
        } else {
            add(locateMachineKey(parts, 0));
        }
        break;
    case PredefinedKey::CurrentUser:
        for (const QString &path : userHivePaths())
            add(walk(hive(path), parts, 0));
        break;
    case PredefinedKey::Users:
        if (parts.isEmpty()) {
            add(walk(machineHive(QStringLiteral("DEFAULT")), {}, 0));
            for (const QString &path : userHivePaths())
                add(walk(hive(path), {}, 0));
        } else if (sameName(parts[0], ".DEFAULT") || sameName(parts[0], "S-1-5-18")) {
            // The local system account's hive is the default hive.
            add(walk(machineHive(QStringLiteral("DEFAULT")), parts.mid(1), 0));
        } else {
            add(walk(hive(profileHivePath(parts[0])), parts.mid(1), 0));
        }
        break;
    case PredefinedKey::ClassesRoot:
        add(locateMachineKey(
            QStringList{QStringLiteral("SOFTWARE"), QStringLiteral("Classes")} + parts, 0));
        break;
    case PredefinedKey::CurrentConfig:
        add(locateMachineKey(
            QStringList{QStringLiteral("SYSTEM"), QStringLiteral("CurrentControlSet"),
                        QStringLiteral("Hardware Profiles"), QStringLiteral("Current")} +
                parts,
            0));
        break;
    case PredefinedKey::PerformanceData:
    case PredefinedKey::DynData:
        break;
    }
    // A location reached with no part of the path is the predefined key.
    if (parts.isEmpty()) {
        for (KeyLocation &location : found)
            location.standsForRoot = true;
    }
    return found;
}

bool HiveRegistry::keyExists(PredefinedKey root, const QString &subkey)
{
    return !locate(root, registryPathParts(subkey)).isEmpty();
}

QVariant HiveRegistry::queryValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    QVariant result = QString();
    for (const KeyLocation &location : locate(root, registryPathParts(subkey))) {
        const hive_value_h value = location.hive->value(location.node, name);
        const std::optional<HiveFile::ValueData> data =
            value ? location.hive->valueData(value) : std::nullopt;
        if (!data)
            continue;
        result = registryValueFromData(data->type, data->bytes);
        // Of several user profiles, the first that holds data decides.
        if (registryValueIsPresent(result))
            break;
    }
    return result;
}

qint32 HiveRegistry::deleteValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    if (!m_writable)
        return RegistryResult::AccessDenied;
    qint32 result = RegistryResult::FileNotFound;
    for (const KeyLocation &location : locate(root, registryPathParts(subkey))) {
        const hive_value_h value = location.hive->value(location.node, name);
        if (!value)
            continue;
        if (!location.hive->removeValue(location.node, value))
            result = RegistryResult::WriteFault;
        else if (result == RegistryResult::FileNotFound)
            result = RegistryResult::Success;
    }
    return result;
}

qint32 HiveRegistry::deleteKey(PredefinedKey root, const QString &subkey)
{
    if (!m_writable)
        return RegistryResult::AccessDenied;
    const QList<KeyLocation> locations = locate(root, registryPathParts(subkey));
    if (locations.isEmpty())
        return RegistryResult::FileNotFound;
    for (const KeyLocation &location : locations) {
        if (location.standsForRoot)
            return RegistryResult::AccessDenied;
    }
    qint32 result = RegistryResult::Success;
    for (const KeyLocation &location : locations) {
        if (!location.hive->removeKey(location.node))
            result = RegistryResult::WriteFault;
    }
    return result;
}

QStringList HiveRegistry::commit()
{
    QStringList failed = m_unopenable;
    m_unopenable.clear();
    for (const auto &[identity, hive] : m_hives) {
        if (hive->isChanged() && !hive->commitReplacing())
            failed.append(hive->path());
    }
    return failed;
}

QString HiveRegistry::storeName(const HiveFile *hive) const
{
    return QDir(m_root).relativeFilePath(hive->path());
}

std::optional<QList<RegistryKeyCopy>> HiveRegistry::readKey(PredefinedKey root,
                                                            const QString &subkey, qint64 maxBytes)
{
    QList<RegistryKeyCopy> copies;
    qint64 budget = maxBytes;
    for (const KeyLocation &location : locate(root, registryPathParts(subkey))) {
        RegistryKeyCopy copy;
        copy.store = storeName(location.hive);
        if (!readTree(*location.hive, location.node, 0, &budget, &copy.tree))
            return std::nullopt;
        copies.append(std::move(copy));
    }
    return copies;
}

std::optional<QList<RegistryValueCopy>>
HiveRegistry::readValue(PredefinedKey root, const QString &subkey, const QString &name)
{
    QList<RegistryValueCopy> copies;
    for (const KeyLocation &location : locate(root, registryPathParts(subkey))) {
        const hive_value_h value = location.hive->value(location.node, name);
        if (!value)
            continue;
        const std::optional<HiveFile::ValueData> data = location.hive->valueData(value);
        if (!data)
            return std::nullopt;
        copies.append(
            {storeName(location.hive), {location.hive->valueName(value), data->type, data->bytes}});
    }
    return copies;
}

std::optional<HiveRegistry::KeyLocation>
HiveRegistry::locateIn(PredefinedKey root, const QStringList &parts, const QString &store)
{
    for (const KeyLocation &location : locate(root, parts)) {
        if (storeName(location.hive) == store)
            return location;
    }
    return std::nullopt;
}

qint32 HiveRegistry::restoreKey(PredefinedKey root, const QString &subkey,
                                const RegistryKeyCopy &copy)
{
    QStringList parts = registryPathParts(subkey);
    if (!m_writable || parts.isEmpty())
        return RegistryResult::AccessDenied;
    const QString name = parts.takeLast();
    const std::optional<KeyLocation> parent = locateIn(root, parts, copy.store);
    if (!parent)
        return RegistryResult::FileNotFound;
    if (parent->hive->child(parent->node, name))
        return RegistryResult::AlreadyExists;
    RegistryKeyTree tree = copy.tree;
    if (tree.name.compare(name, Qt::CaseInsensitive) != 0)
        tree.name = name;
    return parent->hive->addKey(parent->node, tree) ? RegistryResult::Success
                                                    : RegistryResult::WriteFault;
}

qint32 HiveRegistry::restoreValue(PredefinedKey root, const QString &subkey,
                                  const RegistryValueCopy &copy)
{
    if (!m_writable)
        return RegistryResult::AccessDenied;
    const std::optional<KeyLocation> key = locateIn(root, registryPathParts(subkey), copy.store);
    if (!key)
        return RegistryResult::FileNotFound;
    if (key->hive->value(key->node, copy.value.name))
        return RegistryResult::AlreadyExists;
    return key->hive->addValue(key->node, copy.value) ? RegistryResult::Success
                                                      : RegistryResult::WriteFault;
}
