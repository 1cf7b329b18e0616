#include "removal/QuarantineRestore.h"

#include "platform/TreeRestore.h"
#include "removal/CookieStoreRemoval.h"
#include "removal/QuarantineCookieRowItem.h"
#include "removal/QuarantineRegistryItem.h"
#include "removal/QuarantineStore.h"
#include "scanner/basRegistry.h"

#include <QFile>
#include <QSet>

#include <map>

namespace {

// The largest kept link target, cookie line, cookie row or registry copy
// read back into memory.
constexpr qint64 kMaxLinkTarget = 1 << 16;
constexpr qint64 kMaxCookieLine = 1 << 20;
constexpr qint64 kMaxCookieRow = 16 << 20;
constexpr qint64 kMaxRegistryCopy = 256 << 20;

struct Outcome {
    RestoreOutcome outcome = RestoreOutcome::Failed;
    QString detail;
};

Outcome outcomeOf(RestorePlaceOutcome o)
{
    switch (o) {
    case RestorePlaceOutcome::Done:
        return {RestoreOutcome::Restored, {}};
    case RestorePlaceOutcome::Exists:
        return {RestoreOutcome::Exists, {}};
    case RestorePlaceOutcome::FolderMissing:
        return {RestoreOutcome::PlaceMissing, {}};
    case RestorePlaceOutcome::Refused:
        return {RestoreOutcome::Failed,
                QStringLiteral("a link, another file system or no permission on the way")};
    case RestorePlaceOutcome::WriteFailed:
        return {RestoreOutcome::Failed, QStringLiteral("it could not be written")};
    case RestorePlaceOutcome::ContentRefused:
        return {RestoreOutcome::Damaged, {}};
    }
    return {};
}

RestoredAttributes attributesOf(const QuarantineRecord &r)
{
    return {r.mode, r.owner, r.group, r.mtimeSeconds, r.mtimeNanoseconds};
}

Outcome restoreFile(const QuarantineStore &store, const QuarantineRecord &r)
{
    RestorePlaceOutcome why;
    const RestorePlace place = RestorePlace::reach(r.root, r.path, &why);
    if (!place.isOpen())
        return outcomeOf(why);
    return outcomeOf(place.createFile(attributesOf(r), [&](const RestoreWriter &write) {
        return store.readItem(
            r, [&write](const char *data, qint64 size) { return write(data, size); });
    }));
}

Outcome restoreLink(const QuarantineStore &store, const QuarantineRecord &r)
{
    const std::optional<QByteArray> target = store.readItem(r, kMaxLinkTarget);
    if (!target)
        return {RestoreOutcome::Damaged, {}};
    RestorePlaceOutcome why;
    const RestorePlace place = RestorePlace::reach(r.root, r.path, &why);
    if (!place.isOpen())
        return outcomeOf(why);
    return outcomeOf(place.createLink(*target));
}

// Whether the open cookie file holds line as one of its lines.  A line longer
// than the one looked for is passed over without being kept.
bool holdsLine(const FileHandle &file, const QByteArray &line)
{
    QByteArray pending;
    bool tooLong = false;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(chunk.data(), chunk.size());
        if (got <= 0)
            return false;
        const QByteArrayView piece(chunk.constData(), qsizetype(got));
        qsizetype start = 0;
        for (qsizetype lf; (lf = piece.indexOf('\n', start)) >= 0; start = lf + 1) {
            if (!tooLong) {
                pending.append(piece.sliced(start, lf - start + 1));
                if (pending == line)
                    return true;
            }
            pending.clear();
            tooLong = false;
        }
        if (!tooLong)
            pending.append(piece.sliced(start));
        if (pending.size() > line.size()) {
            tooLong = true;
            pending.clear();
        }
    }
}

Outcome restoreCookieLine(const QuarantineStore &store, const QuarantineRecord &r)
{
    const std::optional<QByteArray> line = store.readItem(r, kMaxCookieLine);
    if (!line || line->isEmpty())
        return {RestoreOutcome::Damaged, {}};
    RestorePlaceOutcome why;
    const RestorePlace place = RestorePlace::reach(r.root, r.path, &why);
    if (!place.isOpen())
        return outcomeOf(why);
    const FileHandle file = place.folder().openEntry();
    if (file.isOpen() && holdsLine(file, *line))
        return {RestoreOutcome::Exists, {}};
    return outcomeOf(place.appendLine(*line));
}

QString storeFailure(CookieStoreRemovalFailure failure)
{
    switch (failure) {
    case CookieStoreRemovalFailure::Locked:
        return QStringLiteral("the browser has the store open");
    case CookieStoreRemovalFailure::ReadOnly:
        return QStringLiteral("the store cannot be written");
    case CookieStoreRemovalFailure::Changed:
        return QStringLiteral("the store changed while it was read");
    case CookieStoreRemovalFailure::Unusable:
        return QStringLiteral("the store cannot be read or changed soundly");
    case CookieStoreRemovalFailure::NotReplaced:
    case CookieStoreRemovalFailure::NotKept:
    case CookieStoreRemovalFailure::None:
        break;
    }
    return QStringLiteral("the changed store could not be put in place");
}

Outcome restoreCookieRow(const QuarantineStore &store, const QuarantineRecord &r,
                         const RestoreSettings &settings)
{
    const std::optional<QByteArray> bytes = store.readItem(r, kMaxCookieRow);
    const std::optional<QuarantinedCookieRow> item =
        bytes ? decodeQuarantinedCookieRow(*bytes) : std::nullopt;
    if (!item)
        return {RestoreOutcome::Damaged, {}};
    RestorePlaceOutcome why;
    const RestorePlace place = RestorePlace::reach(r.root, r.path, &why);
    if (!place.isOpen())
        return outcomeOf(why);
    FileStatus st;
    if (!place.folder().entryStatus(&st))
        return {RestoreOutcome::PlaceMissing, {}};
#ifdef Q_OS_WIN
    Q_UNUSED(settings);
    return {RestoreOutcome::Failed, QStringLiteral("cookie stores are not changed here")};
#else
    const CookieStoreInsertionResult inserted =
        insertCookieStoreRow(place.folder().handle().native(), place.folder().entryName(),
                             item->kind, {st.device, st.inode}, item->row, settings.scratchFolder);
    switch (inserted.outcome) {
    case CookieStoreInsertion::Inserted:
        return {RestoreOutcome::Restored, {}};
    case CookieStoreInsertion::Exists:
        return {RestoreOutcome::Exists, {}};
    case CookieStoreInsertion::Failed:
        break;
    }
    return {RestoreOutcome::Failed, storeFailure(inserted.failure)};
#endif
}

// The registry of one installation, open for the restores of its items and
// committed once at the end.
struct OpenRegistry {
    std::unique_ptr<RegistryBackend> backend;
    // The items restored in it, with the places (stores) each one changed.
    std::map<qsizetype, QSet<QString>> changed;
};

Outcome restoreRegistry(const QuarantineStore &store, const QuarantineRecord &r,
                        RegistryBackend &registry, QSet<QString> *changedStores)
{
    const std::optional<QByteArray> bytes = store.readItem(r, kMaxRegistryCopy);
    const std::optional<QuarantinedRegistry> item =
        bytes ? decodeQuarantinedRegistry(*bytes) : std::nullopt;
    const std::optional<PredefinedKey> root =
        item ? registryRootFromName(item->rootName, Qt::CaseSensitive) : std::nullopt;
    const bool isValue = r.kind == QuarantineRecord::Kind::RegistryValue;
    if (!item || !root || isValue == item->valueName.isEmpty())
        return {RestoreOutcome::Damaged, {}};
    // Each place gets back what it held, where it has nothing in its stead.
    QList<qint32> codes;
    for (const RegistryValueCopy &copy : item->values) {
        codes << registry.restoreValue(*root, item->keyPath, copy);
        if (codes.last() == RegistryResult::Success)
            changedStores->insert(copy.store);
    }
    for (const RegistryKeyCopy &copy : item->keys) {
        codes << registry.restoreKey(*root, item->keyPath, copy);
        if (codes.last() == RegistryResult::Success)
            changedStores->insert(copy.store);
    }
    if (codes.contains(RegistryResult::Success))
        return {RestoreOutcome::Restored, {}};
    if (!codes.isEmpty() && codes.count(RegistryResult::AlreadyExists) == codes.size())
        return {RestoreOutcome::Exists, {}};
    if (codes.contains(RegistryResult::FileNotFound))
        return {RestoreOutcome::PlaceMissing, {}};
    return {RestoreOutcome::Failed, QStringLiteral("the registry refused the change")};
}

} // namespace

QList<RestoreResult> restoreQuarantined(QuarantineStore &store, const QList<QByteArray> &ids,
                                        const RestoreSettings &settings)
{
    QList<RestoreResult> results;
    std::map<QByteArray, OpenRegistry> registries;
    for (const QByteArray &id : ids) {
        RestoreResult result;
        result.id = id;
        const QuarantineRecord *r = store.record(id);
        if (!r) {
            result.outcome = RestoreOutcome::Damaged;
            result.detail = QStringLiteral("no such item");
            results.append(result);
            continue;
        }
        result.object = r->object;
        Outcome o;
        switch (r->kind) {
        case QuarantineRecord::Kind::File:
            o = restoreFile(store, *r);
            break;
        case QuarantineRecord::Kind::Link:
            o = restoreLink(store, *r);
            break;
        case QuarantineRecord::Kind::CookieLine:
            o = restoreCookieLine(store, *r);
            break;
        case QuarantineRecord::Kind::CookieRow:
            o = restoreCookieRow(store, *r, settings);
            break;
        case QuarantineRecord::Kind::RegistryValue:
        case QuarantineRecord::Kind::RegistryKey: {
            OpenRegistry &registry = registries[r->root];
            if (!registry.backend) {
                const QString root = QFile::decodeName(r->root);
                registry.backend = settings.openRegistry
                                       ? settings.openRegistry(root, RegistryAccess::ReadWrite)
                                       : openInstallationRegistry(root, RegistryAccess::ReadWrite);
            }
            QSet<QString> stores;
            o = restoreRegistry(store, *r, *registry.backend, &stores);
            registry.changed[results.size()] = stores;
            break;
        }
        }
        result.outcome = o.outcome;
        result.detail = o.detail;
        results.append(result);
    }
    // The registry changes last only once written: an item whose every
    // changed place could not be written is not restored after all.
    for (auto &[root, registry] : registries) {
        const QStringList failed = registry.backend->commit();
        for (const auto &[index, stores] : registry.changed) {
            RestoreResult &result = results[index];
            if (result.outcome != RestoreOutcome::Restored || failed.isEmpty())
                continue;
            bool anyWritten = false;
            for (const QString &s : stores) {
                bool storeFailed = false;
                for (const QString &f : failed)
                    storeFailed = storeFailed || f.endsWith(s);
                anyWritten = anyWritten || !storeFailed;
            }
            if (!anyWritten) {
                result.outcome = RestoreOutcome::Failed;
                result.detail = QStringLiteral("the registry could not be written");
            }
        }
    }
    QList<QByteArray> restored;
    for (const RestoreResult &result : results) {
        if (result.outcome == RestoreOutcome::Restored)
            restored.append(result.id);
    }
    store.remove(restored);
    return results;
}

QList<QByteArray> quarantinedBefore(const QuarantineStore &store, int days, const QDateTime &now)
{
    const QDateTime limit = now.addDays(-days);
    QList<QByteArray> ids;
    for (const QuarantineRecord &r : store.records()) {
        if (r.time < limit)
            ids.append(r.id);
    }
    return ids;
}
