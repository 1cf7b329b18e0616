#include "removal/QuarantineKeeping.h"

#include "platform/FileHandle.h"
#include "platform/TreeRestore.h"
#include "removal/QuarantineCookieRowItem.h"
#include "removal/QuarantineRegistryItem.h"
#include "removal/QuarantineStore.h"

namespace {

// The most of the registry's values one item keeps.
constexpr qint64 kMaxRegistryCopy = 64 << 20;

} // namespace

std::optional<QByteArray> keepFile(QuarantineStore &store, QuarantineRecord record,
                                   const FileHandle &file)
{
    FileStatus before;
    const std::optional<RestoredAttributes> was = attributesOf(file);
    if (!was || !file.status(&before) || before.kind != FileStatus::Kind::Regular)
        return std::nullopt;
    record.kind = QuarantineRecord::Kind::File;
    record.mode = was->mode;
    record.owner = was->owner;
    record.group = was->group;
    record.mtimeSeconds = was->mtimeSeconds;
    record.mtimeNanoseconds = was->mtimeNanoseconds;
    std::unique_ptr<QuarantineStore::Addition> addition = store.begin(record);
    if (!addition->isOpen())
        return std::nullopt;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), buffer.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        if (!addition->write(buffer.constData(), got))
            return std::nullopt;
    }
    // A file written to meanwhile is not the one whose copy was made.
    FileStatus after;
    const std::optional<RestoredAttributes> now = attributesOf(file);
    if (!now || !file.status(&after) || after.size != before.size ||
        now->mtimeSeconds != was->mtimeSeconds || now->mtimeNanoseconds != was->mtimeNanoseconds)
        return std::nullopt;
    return store.commit(std::move(addition));
}

std::optional<QByteArray> keepLink(QuarantineStore &store, QuarantineRecord record,
                                   const QByteArray &target)
{
    record.kind = QuarantineRecord::Kind::Link;
    return store.add(record, target);
}

std::optional<QByteArray> keepCookieLine(QuarantineStore &store, QuarantineRecord record,
                                         const QByteArray &line)
{
    record.kind = QuarantineRecord::Kind::CookieLine;
    return store.add(record, line);
}

std::optional<QList<QByteArray>> keepCookieRows(QuarantineStore &store, QuarantineRecord record,
                                                CookieStoreKind kind,
                                                const QList<CookieStoreRowCopy> &rows)
{
    record.kind = QuarantineRecord::Kind::CookieRow;
    QList<QByteArray> ids;
    for (const CookieStoreRowCopy &row : rows) {
        const std::optional<QByteArray> id =
            store.add(record, encodeQuarantinedCookieRow({kind, row}));
        if (!id) {
            store.remove(ids);
            return std::nullopt;
        }
        ids.append(*id);
    }
    return ids;
}

std::optional<QByteArray> keepRegistryRow(QuarantineStore &store, QuarantineRecord record,
                                          const RegistryRow &row, RegistryBackend &registry,
                                          QStringList *stores)
{
    QuarantinedRegistry item;
    item.rootName = row.rootName;
    item.keyPath = row.keyPath;
    item.valueName = row.valueName;
    if (row.valueName.isEmpty()) {
        record.kind = QuarantineRecord::Kind::RegistryKey;
        const std::optional<QList<RegistryKeyCopy>> keys =
            registry.readKey(row.root, row.keyPath, kMaxRegistryCopy);
        if (!keys)
            return std::nullopt;
        item.keys = *keys;
    } else {
        record.kind = QuarantineRecord::Kind::RegistryValue;
        const std::optional<QList<RegistryValueCopy>> values =
            registry.readValue(row.root, row.keyPath, row.valueName);
        if (!values)
            return std::nullopt;
        item.values = *values;
    }
    for (const RegistryKeyCopy &copy : item.keys)
        stores->append(copy.store);
    for (const RegistryValueCopy &copy : item.values)
        stores->append(copy.store);
    if (item.keys.isEmpty() && item.values.isEmpty())
        return QByteArray();
    return store.add(record, encodeQuarantinedRegistry(item));
}
