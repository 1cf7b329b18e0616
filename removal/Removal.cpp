#include "removal/Removal.h"

#include "platform/TreeChange.h"
#include "platform/TreeRestore.h"
#include "removal/CookieLineFilter.h"
#include "removal/CookieStoreRowRemoval.h"
#include "removal/QuarantineKeeping.h"
#include "removal/QuarantineStore.h"
#include "removal/RegistryRowRemoval.h"
#include "scanner/ScanSession.h"

#include <QFile>

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace {

constexpr qint64 kReadPiece = 1 << 16;

// The folder of the file found, reached from the scan root, when it is still
// the folder the scan listed the file in.
TreeFolder folderOf(const ScanSession &session, const FoundFile &found)
{
    TreeFolder folder =
        TreeFolder::reach(QFile::encodeName(session.state().ScanRoot), found.nativePath);
    if (!folder.isOpen() || !folder.status().isSameObject(found.folder))
        return {};
    return folder;
}

// What the quarantine records of an object of the session's tree.
QuarantineRecord recordOf(const ScanSession &session, const QString &threat, const QString &object,
                          const QByteArray &path)
{
    QuarantineRecord record;
    record.threat = threat;
    record.object = object;
    record.root = QFile::encodeName(session.state().ScanRoot);
    record.path = path;
    return record;
}

// Rewrites the cookie file found without its lines equal to cookieLine and
// without its lines that are a lone LF; returns the identity of the file that
// takes its place.  With a quarantine, the line is kept there before the
// rewritten file takes the old one's place, and goes from it again when that
// fails.
std::optional<FileStatus> rewriteCookieFile(const ScanSession &session, const FoundFile &found,
                                            const QByteArray &cookieLine,
                                            QuarantineStore *quarantine,
                                            const QuarantineRecord &record)
{
    const TreeFolder folder = folderOf(session, found);
    const FileHandle original = folder.openEntry();
    FileStatus st;
    if (!original.status(&st) || !st.isSameObject(found.file))
        return std::nullopt;
    // The companion is named as the cookie file with "new" for its last three
    // characters, followed by a random suffix.
    const QByteArray &name = folder.entryName();
    FileRewrite rewrite(folder, found.file, name.left(name.size() - 3) + "new");
    if (!rewrite.isOpen())
        return std::nullopt;
    CookieLineFilter filter(cookieLine, [&rewrite](const char *data, qint64 size) {
        return rewrite.write(data, size);
    });
    QByteArray piece(kReadPiece, Qt::Uninitialized);
    for (;;) {
        const qint64 got = original.read(piece.data(), piece.size());
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        if (!filter.feed(piece.constData(), got))
            return std::nullopt;
    }
    if (!filter.finish())
        return std::nullopt;
    std::optional<QByteArray> kept;
    if (quarantine && filter.cookieLinesLeftOut() > 0) {
        kept = keepCookieLine(*quarantine, record, cookieLine);
        if (!kept)
            return std::nullopt;
    }
    if (!rewrite.replaceOriginal()) {
        if (kept)
            quarantine->remove({*kept});
        return std::nullopt;
    }
    return rewrite.replacement();
}

// The cookie line of a cookie row's text after its browser prefix: what
// follows the path of the cookie file found and a "+".  None when the text
// does not begin with that path.
std::optional<QByteArray> cookieLineOf(const QString &rest, const FoundFile &found)
{
    const QString path = QFile::decodeName(found.nativePath);
    if (path.isEmpty() || !rest.startsWith(path + QLatin1Char('+')))
        return std::nullopt;
    // The line's bytes were carried one character per byte.
    return rest.mid(path.size() + 1).toLatin1();
}

// Why the file found was not changed: it is no longer the one the scan found,
// or it is and the change was refused.
RemovalOutcome whyUnchanged(const ScanSession &session, const std::optional<FoundFile> &found)
{
    if (!found)
        return RemovalOutcome::Changed;
    const TreeFolder folder = folderOf(session, *found);
    FileStatus st;
    if (!folder.entryStatus(&st) || !st.isSameObject(found->file))
        return RemovalOutcome::Changed;
    return RemovalOutcome::Refused;
}

// Puts the entry of folder, still the file found, into the quarantine; the
// item's id, or none when it could not be kept (nothing is then removed).
std::optional<QByteArray> keepEntry(QuarantineStore &quarantine, const TreeFolder &folder,
                                    const FoundFile &found, const QuarantineRecord &record)
{
    FileStatus st;
    if (!folder.entryStatus(&st) || !st.isSameObject(found.file))
        return std::nullopt;
    if (st.kind == FileStatus::Kind::Link) {
        const std::optional<QByteArray> target = folder.linkTarget();
        return target ? keepLink(quarantine, record, *target) : std::nullopt;
    }
    const FileHandle file = folder.openEntry();
    FileStatus opened;
    const std::optional<RestoredAttributes> attributes = attributesOf(file);
    // A file its owner may not write to is not removed: no copy is made.
    if (!file.status(&opened) || !opened.isSameObject(found.file) || !attributes ||
        !(attributes->mode.value_or(0) & 0200))
        return std::nullopt;
    return keepFile(quarantine, record, file);
}

// The browser store a cookie-store row names by its prefix; None for any
// other row.
CookieStoreKind cookieStoreOfRow(const QString &location)
{
    if (location.startsWith(QLatin1String("firefox:")))
        return CookieStoreKind::Firefox;
    if (location.startsWith(QLatin1String("chromium:")))
        return CookieStoreKind::Chromium;
    return CookieStoreKind::None;
}

// The rows of one cookie store found by the scan, and what the quarantine
// records of each.
struct StoreRows {
    CookieStoreKind kind = CookieStoreKind::None;
    FoundFile found;
    QList<QByteArray> lines;
    // For each line, where its row's outcome stands in the removal's list.
    QList<qsizetype> outcomes;
    QList<QuarantineRecord> records;
};

// Keeps the rows each line takes away in the quarantine, each row an item;
// all or none.
bool keepStoreRows(QuarantineStore &quarantine, const StoreRows &store,
                   const QList<QList<CookieStoreRowCopy>> &rows)
{
    QList<QByteArray> kept;
    for (qsizetype i = 0; i < rows.size() && i < store.records.size(); ++i) {
        const std::optional<QList<QByteArray>> ids =
            keepCookieRows(quarantine, store.records.at(i), store.kind, rows.at(i));
        if (!ids) {
            quarantine.remove(kept);
            return false;
        }
        kept << *ids;
    }
    return true;
}

// Removes the rows of each store in one transaction; a row that could not be
// removed gets the failure record of its store.  With a quarantine, the
// rows go into it before the store is changed.
void removeStoreRows(ScanSession &session, const std::vector<StoreRows> &stores,
                     QList<RowRemoval> &outcomes, QuarantineStore *quarantine)
{
    for (const StoreRows &store : stores) {
        const TreeFolder folder = folderOf(session, store.found);
        CookieStoreRowsRemoved done;
        CookieStoreRowKeeper keep;
        if (quarantine) {
            keep = [quarantine, &store](const QList<QList<CookieStoreRowCopy>> &rows) {
                return keepStoreRows(*quarantine, store, rows);
            };
        }
        if (folder.isOpen())
            done = removeCookieStoreRows(folder, store.found, store.kind, store.lines, keep);
        for (qsizetype i = 0; i < store.lines.size(); ++i) {
            RemovalOutcome &outcome = outcomes[store.outcomes.at(i)].outcome;
            if (i < done.removed.size() && done.removed.at(i)) {
                outcome = RemovalOutcome::Removed;
                continue;
            }
            recordRemovalFailure(session, QFile::decodeName(store.found.nativePath));
            outcome = done.locked       ? RemovalOutcome::BrowserLocked
                      : folder.isOpen() ? RemovalOutcome::Refused
                                        : RemovalOutcome::Changed;
        }
        session.processEvents();
    }
}

} // namespace

void recordRemovalFailure(ScanSession &session, const QString &path)
{
    session.report().appendLines(
        session.reportPath(),
        {session.Lingua(31) + QLatin1Char(' ') + path, reportRecordSeparator()});
}

RemovalOutcome DestroyFile(ScanSession &session, const QString &FilePath,
                           const std::optional<FoundFile> &found, QuarantineStore *quarantine,
                           const QString &threat)
{
    if (found && !found->isCookieFile) {
        const TreeFolder folder = folderOf(session, *found);
        std::optional<QByteArray> kept;
        if (quarantine)
            kept = keepEntry(*quarantine, folder, *found,
                             recordOf(session, threat, FilePath, found->nativePath));
        const bool removed = (!quarantine || kept) && folder.removeEntry(found->file);
        if (removed)
            return RemovalOutcome::Removed;
        if (kept)
            quarantine->remove({*kept});
    }
    recordRemovalFailure(session, FilePath);
    return found && found->isCookieFile ? RemovalOutcome::Refused : whyUnchanged(session, found);
}

std::optional<FileStatus> RemoveMozillaCookie(ScanSession &session, const QString &Oggetto,
                                              const std::optional<FoundFile> &found,
                                              QuarantineStore *quarantine, const QString &threat)
{
    const QString rest = Oggetto.mid(Oggetto.startsWith(QLatin1String("mozilla:")) ? 8 : 9);
    const std::optional<QByteArray> line =
        found && found->isCookieFile ? cookieLineOf(rest, *found) : std::nullopt;
    const std::optional<FileStatus> rewritten =
        line ? rewriteCookieFile(session, *found, *line, quarantine,
                                 recordOf(session, threat, Oggetto, found->nativePath))
             : std::nullopt;
    if (!rewritten) {
        // The path as the row tells it: up to its first "+".
        const qsizetype plus = rest.indexOf(QLatin1Char('+'));
        recordRemovalFailure(session, line ? QFile::decodeName(found->nativePath)
                                           : rest.left(plus < 0 ? rest.size() : plus));
    }
    session.processEvents();
    return rewritten;
}

QList<RowRemoval> RemoveDetections(ScanSession &session, const QList<qsizetype> &rows,
                                   QuarantineStore *quarantine)
{
    const ResultListModel &list = session.results();
    QList<RowRemoval> outcomes;
    outcomes.reserve(rows.size());
    std::vector<StoreRows> stores;
    std::optional<RegistryRowRemoval> registry;
    // A cookie file with several listed cookies is rewritten once for each:
    // from the second on, the file to change is the one the rewrite before
    // put in the place of the file found.
    std::map<std::tuple<QByteArray, quint64, quint64>, FileStatus> rewritten;
    bool stopped = false;
    for (const qsizetype i : rows) {
        RowRemoval &done = outcomes.emplace_back(RowRemoval{i, RemovalOutcome::NotTried});
        if (stopped || i < 1 || i > list.count())
            continue;
        const ResultListModel::Row &row = list.row(i);
        const QString &location = row.location;
        if (location.isEmpty()) {
            stopped = true;
            continue;
        }
        if (location.startsWith(QLatin1String("HKEY"))) {
            if (!registry)
                registry.emplace(session.openRegistry(RegistryAccess::ReadWrite), quarantine,
                                 QFile::encodeName(session.state().ScanRoot));
            done.outcome = RemovalOutcome::Removed;
            if (!registry->removeRow(location, row.name)) {
                recordRemovalFailure(session, location);
                done.outcome = RemovalOutcome::Refused;
            }
        } else if (location.startsWith(QLatin1String("mozilla:")) ||
                   location.startsWith(QLatin1String("netscape:"))) {
            std::optional<FoundFile> found = row.found;
            const auto key =
                found ? std::make_tuple(found->nativePath, found->file.device, found->file.inode)
                      : std::tuple<QByteArray, quint64, quint64>();
            const auto earlier = found ? rewritten.find(key) : rewritten.end();
            if (earlier != rewritten.end())
                found->file = earlier->second;
            if (const std::optional<FileStatus> now =
                    RemoveMozillaCookie(session, location, found, quarantine, row.name)) {
                rewritten[key] = *now;
                done.outcome = RemovalOutcome::Removed;
            } else {
                done.outcome = whyUnchanged(session, found);
            }
        } else if (const CookieStoreKind kind = cookieStoreOfRow(location);
                   kind != CookieStoreKind::None) {
            const qsizetype prefix = location.indexOf(QLatin1Char(':')) + 1;
            const std::optional<QByteArray> line =
                row.found && row.found->isCookieFile
                    ? cookieLineOf(location.mid(prefix), *row.found)
                    : std::nullopt;
            if (!line) {
                recordRemovalFailure(session, location);
                done.outcome = RemovalOutcome::Changed;
                continue;
            }
            const auto sameStore = [&row](const StoreRows &s) {
                return s.found.nativePath == row.found->nativePath &&
                       s.found.file.isSameObject(row.found->file);
            };
            auto store = std::find_if(stores.begin(), stores.end(), sameStore);
            if (store == stores.end())
                store = stores.insert(stores.end(), {kind, *row.found, {}, {}, {}});
            store->lines << *line;
            store->outcomes << outcomes.size() - 1;
            store->records << recordOf(session, row.name, location, row.found->nativePath);
        } else {
            done.outcome = DestroyFile(session, location, row.found, quarantine, row.name);
        }
    }
    removeStoreRows(session, stores, outcomes, quarantine);
    if (registry) {
        const QStringList unsaved = registry->finish();
        for (const QString &hive : unsaved)
            recordRemovalFailure(session, hive);
        // Which rows a hive that could not be saved held is not known: none
        // of the registry rows counts as removed then.
        if (!unsaved.isEmpty()) {
            for (RowRemoval &done : outcomes) {
                if (done.outcome == RemovalOutcome::Removed &&
                    list.row(done.row).location.startsWith(QLatin1String("HKEY")))
                    done.outcome = RemovalOutcome::Refused;
            }
        }
    }
    return outcomes;
}

QList<RowRemoval> RemoveListedDetections(ScanSession &session, QuarantineStore *quarantine)
{
    QList<qsizetype> all;
    for (qsizetype i = 1; i <= session.results().count(); ++i)
        all.append(i);
    QList<RowRemoval> outcomes = RemoveDetections(session, all, quarantine);
    session.results().clear();
    return outcomes;
}
