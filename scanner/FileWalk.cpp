#include "scanner/FileWalk.h"

#include "platform/FileHandle.h"
#include "platform/ProgressIndicator.h"
#include "scanner/ContentCheck.h"
#include "scanner/ContentCheckPool.h"
#include "scanner/ContentDigest.h"
#include "scanner/CookieScan.h"
#include "scanner/CookieStoreScan.h"
#include "scanner/NameCheck.h"
#include "scanner/RecordDetection.h"
#include "scanner/ScanRun.h"
#include "scanner/ScanSession.h"
#include "scanner/TrimNull.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <deque>
#include <optional>
#include <vector>

// The walk runs in two parts on the scan's thread.  The walker goes through
// the tree ahead and does everything that reads the file system: it lists the
// folders, opens the files, checks the names, reads the cookie files and hands
// the contents to the worker threads (or checks them itself when the session
// has one worker).  Each of its steps is then committed in walk order: the
// counters, the live values, the detections, the stop.  Nothing the walker
// does ahead is visible until its step is committed, so a stop, and every
// output, is the same with one worker or many.

namespace {

const QChar kSeparator = QDir::separator();
const char kNativeSeparator = kSeparator.toLatin1();

// The walker goes at most this many steps, and this many contents per
// worker, ahead of the commit.  The workers' queue must outlast the time the
// walker waits for a core of its own while they keep both busy: a few
// milliseconds, dozens of small files.  A content ahead holds only its open
// file; a worker reads it when it takes it.
constexpr size_t kStepsAhead = 256;
constexpr size_t kContentsAheadPerWorker = 32;

// One step of the walk, in the order the walk takes effect.
struct WalkStep {
    enum class Kind {
        Entry,        // one entry of a folder
        SubfolderEnd, // the walk of the subfolder an entry led into is over
    };
    Kind kind = Kind::Entry;
    // The level of the folder the entry is listed in: 1 for the starting
    // folder.  For SubfolderEnd the level of the entry that led into it.
    size_t depth = 0;

    QString path;          // CurrentFilePath
    QByteArray nativePath; // the same in the file system's bytes
    // The entry's size, when it could be read (otherwise CurrentEntrySize
    // keeps its value).
    std::optional<double> size;
    bool isFolder = false;
    bool entered = false; // a subfolder whose own steps follow
    // A path rule of the allow list keeps the walk out: the entry is neither
    // looked at, entered nor read.
    bool excluded = false;

    // The file and its folder as the walk saw them (files only).
    FoundFile found;
    bool cookieFile = false;
    bool cookieScanned = false;
    QStringList cookieObjects;
    NameVerdict name;
    std::shared_ptr<ContentJob> job;            // the content check on a worker
    std::optional<ContentVerdict> localVerdict; // the content check done here
    // The content's SHA-256 digest made here, for a file found (allow list).
    std::optional<QByteArray> localSha256;
    bool unreadable = false;
};

struct Folder {
    QString path;          // ends with the separator
    QByteArray nativePath; // the same in the file system's bytes
    FileStatus identity;
    std::vector<FolderEntry> entries;
    size_t next = 0;
    bool insideSubfolder = false; // the current entry's subfolder is being walked
};

bool isTheFolder(const FileHandle &handle, const FileStatus &identity)
{
    FileStatus st;
    return handle.status(&st) && st.kind == FileStatus::Kind::Folder && st.isSameObject(identity);
}

// Lists the open folder.  Every name is read at once, so the walk holds only
// the open folder it is in, at any depth.  "." and ".." are left out of the
// starting folder only.
bool listFolder(Folder &folder, const FileHandle &handle, bool isStart)
{
    if (!handle.status(&folder.identity) || !handle.list(&folder.entries))
        return false;
    if (isStart) {
        std::erase_if(folder.entries,
                      [](const FolderEntry &e) { return e.name == "." || e.name == ".."; });
    }
    return true;
}

bool isBeingWalked(const std::vector<Folder> &stack, const FileStatus &st)
{
    for (const Folder &f : stack) {
        if (f.identity.isSameObject(st))
            return true;
    }
    return false;
}

// Goes through the tree and makes the steps of the walk.
class Walker
{
public:
    Walker(ScanSession &session, ContentCheckPool *pool) : m_session(session), m_pool(pool) {}

    // Opens and lists the starting folder; false when it cannot be.
    bool start(const QString &path);
    // The next step, or none at the end of the walk.
    std::optional<WalkStep> next();

private:
    FileHandle climbBack(FileHandle here, size_t depth) const;
    bool isExcluded(const QByteArray &name, const QString &path) const;
    void checkFile(WalkStep &step, const FolderEntry &entry, const Folder &folder,
                   const QString &name, FileHandle file, bool regular);
    bool checkCookieStore(WalkStep &step, const FolderEntry &entry, const Folder &folder,
                          const QString &name, FileHandle &file);

    ScanSession &m_session;
    ContentCheckPool *m_pool;
    std::vector<Folder> m_stack;
    // The open folder the entries are opened and looked at in, and its depth
    // (the stack size when it was on top).
    FileHandle m_here;
    size_t m_hereDepth = 1;
    FileStatus m_start;
};

bool Walker::start(const QString &path)
{
    Folder start;
    start.path = path.endsWith(kSeparator) ? path : path + kSeparator;
    start.nativePath = QFile::encodeName(start.path);
    m_here = FileHandle::openFolder(start.nativePath);
    if (!listFolder(start, m_here, true))
        return false;
    m_start = start.identity;
    m_stack.push_back(std::move(start));
    return true;
}

// Opens the folder on top of the stack again once the walk of its subfolders
// is over; here is the open folder depth levels down from the start.  Its
// ".." leads back at any depth, however long the path; when that is no longer
// the same folder (it was moved meanwhile) the folder's own path is tried.
// Closed when neither is the folder any more.
FileHandle Walker::climbBack(FileHandle here, size_t depth) const
{
    const Folder &top = m_stack.back();
    for (; depth > m_stack.size() && here.isOpen(); --depth)
        here = here.openParent();
    if (isTheFolder(here, top.identity))
        return here;
    FileHandle byPath = FileHandle::openFolder(top.nativePath);
    return isTheFolder(byPath, top.identity) ? std::move(byPath) : FileHandle();
}

std::optional<WalkStep> Walker::next()
{
    while (!m_stack.empty()) {
        Folder &folder = m_stack.back();
        if (folder.insideSubfolder) {
            folder.insideSubfolder = false;
            WalkStep end;
            end.kind = WalkStep::Kind::SubfolderEnd;
            end.depth = m_stack.size();
            return end;
        }
        if (folder.next >= folder.entries.size()) {
            m_stack.pop_back();
            continue;
        }
        if (m_hereDepth != m_stack.size()) {
            m_here = climbBack(std::move(m_here), m_hereDepth);
            m_hereDepth = m_stack.size();
            if (!m_here.isOpen()) {
                // The folder went away during the walk of its subfolders:
                // what it still held cannot be reached.
                m_stack.pop_back();
                continue;
            }
        }
        const FolderEntry &entry = folder.entries[folder.next++];
        WalkStep step;
        step.depth = m_stack.size();
        const QString name = TrimNull(QFile::decodeName(entry.name));
        step.path = folder.path + name;
        step.nativePath = folder.nativePath + entry.name;
        if (isExcluded(entry.name, step.path)) {
            step.excluded = true;
            return step;
        }

        // A file listed as regular is opened once: the open file gives its
        // size and, later, its content.  Every other entry is only looked at.
        FileStatus st;
        FileHandle file;
        bool looked = false;
        if (entry.hint == FolderEntry::Hint::Regular) {
            file = m_here.openFileIn(entry.name);
            looked = file.status(&st);
        }
        if (!looked)
            looked = m_here.statusIn(entry.name, &st, false);
        step.isFolder =
            looked ? st.kind == FileStatus::Kind::Folder : entry.hint == FolderEntry::Hint::Folder;
        if (looked && st.kind == FileStatus::Kind::Link) {
            // A link counts as the size of what it leads to.
            FileStatus target;
            if (m_here.statusIn(entry.name, &target, true) &&
                target.kind != FileStatus::Kind::Folder)
                step.size = double(target.size);
        } else if (looked && !step.isFolder) {
            step.size = double(st.size);
        }

        if (!step.isFolder) {
            step.found = {step.nativePath, looked ? st : FileStatus{}, folder.identity, false};
            checkFile(step, entry, folder, name, std::move(file),
                      looked && st.kind == FileStatus::Kind::Regular);
            return step;
        }
        if (looked && !name.startsWith(QLatin1Char('.')) && m_session.state().RecurseSubfolders &&
            st.device == m_start.device && !isBeingWalked(m_stack, st)) {
            FileHandle subHandle = m_here.openFolderIn(entry.name);
            Folder sub;
            sub.path = step.path + kSeparator;
            sub.nativePath = step.nativePath + kNativeSeparator;
            if (isTheFolder(subHandle, st) && listFolder(sub, subHandle, false)) {
                folder.insideSubfolder = true;
                m_stack.push_back(std::move(sub)); // folder is not used past here
                m_here = std::move(subHandle);
                m_hereDepth = m_stack.size();
                step.entered = true;
            } else if (m_here.statusIn(entry.name, &st, false)) {
                // Still there, yet it could not be opened or listed.
                step.unreadable = true;
            }
        }
        return step;
    }
    return std::nullopt;
}

// "." and ".." name no object of their own: no path rule keeps them out.
bool Walker::isExcluded(const QByteArray &name, const QString &path) const
{
    const AllowList &allow = m_session.allowList();
    return allow.hasPathRules() && name != "." && name != ".." && allow.excludesPath(path);
}

// The name check, the cookie scan and the content check of one file, as far
// as they read: their outcome is committed with the step.
void Walker::checkFile(WalkStep &step, const FolderEntry &entry, const Folder &folder,
                       const QString &name, FileHandle file, bool regular)
{
    const Engine &engine = m_session.engine();
    try {
        if (isCookieFileName(name)) {
            step.cookieFile = true;
            const CookiePatterns &patterns = engine.cookiePatterns();
            if (patterns.found) {
                step.cookieScanned = true;
                const FileHandle cookies = m_here.openFileIn(entry.name);
                FileStatus st;
                if (cookies.status(&st) && st.kind == FileStatus::Kind::Regular) {
                    step.found.file = st;
                    step.found.isCookieFile = true;
                    ScanMozilla(patterns, cookies, [&](const QByteArray &line) {
                        step.cookieObjects << cookieObjectText(folder.path, name, line);
                    });
                } else if (regular && !cookies.isOpen()) {
                    step.unreadable = true;
                }
            }
        } else if (!(regular && mayBeCookieStore(name) &&
                     checkCookieStore(step, entry, folder, name, file))) {
            step.name = Checkfile(engine, folder.path, name, m_session.nameLookup());
        }
    } catch (...) {
        // A failing name check or cookie scan counts as no match.
        step.name = NameVerdict{};
    }
    // The allow list's sha256 rules need the digest of a file found.
    const bool wantDigest = m_session.allowList().hasSha256Rules();
    if (step.name.matched) {
        if (!wantDigest || !regular)
            return;
        if (!file.isOpen())
            file = m_here.openFileIn(entry.name);
        if (m_pool && file.isOpen())
            step.job = m_pool->submit(std::move(file), ContentWork::DigestOnly);
        else if (file.isOpen())
            step.localSha256 = contentSha256(file);
        return;
    }
    if (!regular || !step.size || *step.size > kContentCheckLimit)
        return;
    if (!file.isOpen())
        file = m_here.openFileIn(entry.name);
    if (!file.isOpen()) {
        step.unreadable = true;
        return;
    }
    if (m_pool) {
        step.job = m_pool->submit(std::move(file),
                                  wantDigest ? ContentWork::CheckAndDigest : ContentWork::Check);
        return;
    }
    QByteArray content;
    const ContentReader::Outcome read = m_session.contentReader().read(file, &content);
    step.unreadable = read == ContentReader::Outcome::Failed;
    if (read == ContentReader::Outcome::Read) {
        step.localVerdict = FileScan(engine, content, [this] { m_session.processEvents(); });
        if (wantDigest && step.localVerdict->matched)
            step.localSha256 = contentSha256(content);
    }
}

// A browser cookie store is scanned for tracking cookies in place of the name
// check, as a cookie file is; false when the file is no store.  The content
// check follows as for any file.
bool Walker::checkCookieStore(WalkStep &step, const FolderEntry &entry, const Folder &folder,
                              const QString &name, FileHandle &file)
{
    if (!file.isOpen())
        file = m_here.openFileIn(entry.name);
    if (!file.isOpen())
        return false;
    const CookiePatterns &patterns = m_session.engine().cookiePatterns();
    const CookieStoreScan store = scanCookieStore(m_here, entry.name, name, file, patterns, [this] {
        m_session.processEvents();
        return !m_session.stopRequested();
    });
    if (store.kind == CookieStoreKind::None)
        return false;
    step.cookieFile = true;
    step.cookieScanned = patterns.found;
    step.found.isCookieFile = true;
    for (const QByteArray &line : store.trackingLines)
        step.cookieObjects << store.prefix + folder.path + name + QLatin1Char('+') +
                                  QString::fromLatin1(line);
    return true;
}

// Commits the steps of the walk in order.
class Committer
{
public:
    explicit Committer(ScanSession &session) : m_session(session), m_s(session.state()) {}

    // Commits one step; true when the walk is to end there.
    bool commit(const WalkStep &step);

private:
    bool finishEntry(size_t depth, bool counted = true);
    void moveProgress() const;
    void record(const QString &name, const QString &object, const FoundFile &found,
                const std::optional<QByteArray> &sha256 = std::nullopt);

    ScanSession &m_session;
    ScanState &m_s;
};

bool Committer::commit(const WalkStep &step)
{
    if (step.kind == WalkStep::Kind::SubfolderEnd)
        return finishEntry(step.depth);
    if (step.excluded) {
        // Left out, so not examined: counted apart from ObjectsScanned.
        m_session.recordExcluded(step.path);
        return finishEntry(step.depth, false);
    }
    m_s.CurrentFilePath = step.path;
    if (step.size)
        m_s.CurrentEntrySize = *step.size;
    m_s.BytesScanned += m_s.CurrentEntrySize;
    moveProgress();
    if (step.isFolder) {
        m_session.processEvents();
    } else if (step.cookieFile) {
        if (step.cookieScanned)
            m_s.CurrentThreatName = trackingCookieName();
        for (const QString &object : step.cookieObjects)
            record(trackingCookieName(), object, step.found);
    } else {
        if (step.name.threatName)
            m_s.CurrentThreatName = *step.name.threatName;
    }
    const std::optional<QByteArray> &sha256 = step.job ? step.job->sha256() : step.localSha256;
    if (step.name.matched)
        record(m_s.CurrentThreatName, m_s.CurrentFilePath, step.found, sha256);
    const ContentVerdict *content = step.name.matched ? nullptr
                                    : step.job
                                        ? &step.job->verdict()
                                        : (step.localVerdict ? &*step.localVerdict : nullptr);
    if (content) {
        if (content->threatName)
            m_s.CurrentThreatName = *content->threatName;
        if (content->matched)
            record(m_s.CurrentThreatName, m_s.CurrentFilePath, step.found, sha256);
    }
    if (step.unreadable || (step.job && step.job->readFailed()))
        m_session.recordUnreadable(step.path);
    if (step.entered)
        return false; // the entry ends with its subfolder
    return finishEntry(step.depth);
}

// Ends the current entry of the folder at depth: counts it (unless it was
// left out) and, when a stop has been asked for, ends that folder and, one
// after the other, the entries of the folders around it that led into it.
bool Committer::finishEntry(size_t depth, bool counted)
{
    if (counted)
        ++m_s.ObjectsScanned;
    m_session.processEvents();
    if (!m_session.stopRequested())
        return false;
    for (; depth > 1; --depth) {
        ++m_s.ObjectsScanned;
        m_session.processEvents();
    }
    return true;
}

void Committer::moveProgress() const
{
    const double bytes = m_s.BytesScanned;
    if (bytes > kProgressUnit && m_session.progress())
        m_session.progress()->setValue(std::floor(bytes / kProgressUnit));
}

void Committer::record(const QString &name, const QString &object, const FoundFile &found,
                       const std::optional<QByteArray> &sha256)
{
    RecordDetection(m_session, name, object, found, sha256);
}

} // namespace

void ScanFolder(ScanSession &session, const QString &path)
{
    if (path.isEmpty())
        return;
    const QString start = path.endsWith(kSeparator) && path.size() > 1 ? path.chopped(1) : path;
    if (session.allowList().hasPathRules() && session.allowList().excludesPath(start)) {
        session.recordExcluded(start);
        return;
    }
    const int workers = session.workerThreads();
    std::optional<ContentCheckPool> pool;
    if (workers > 1)
        pool.emplace(session.engine(), workers);
    Walker walker(session, pool ? &*pool : nullptr);
    if (!walker.start(path)) {
        if (QFileInfo::exists(path))
            session.recordUnreadable(path);
        return;
    }
    Committer committer(session);
    std::deque<WalkStep> ahead;
    size_t contentsAhead = 0;
    const size_t contentsLimit = kContentsAheadPerWorker * size_t(workers);
    bool walked = false;
    for (;;) {
        // With one worker every step is committed as soon as it is made.
        while (!walked && ahead.size() < (pool ? kStepsAhead : 1) &&
               contentsAhead < contentsLimit) {
            std::optional<WalkStep> step = walker.next();
            if (!step) {
                walked = true;
                break;
            }
            contentsAhead += step->job ? 1 : 0;
            ahead.push_back(std::move(*step));
        }
        if (ahead.empty())
            return;
        const WalkStep &head = ahead.front();
        if (head.job) {
            while (!pool->waitFor(*head.job, std::chrono::milliseconds(10)))
                session.processEvents();
            --contentsAhead;
        }
        if (committer.commit(head))
            return;
        ahead.pop_front();
    }
}
