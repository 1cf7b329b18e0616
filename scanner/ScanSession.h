#pragma once

#include "language/LanguageTexts.h"
#include "platform/AppPaths.h"
#include "platform/RegistryBackend.h"
#include "scanner/AllowList.h"
#include "scanner/ContentCheck.h"
#include "scanner/Engine.h"
#include "scanner/NameCheckIndex.h"
#include "scanner/ResultListModel.h"
#include "scanner/ScanReport.h"
#include "scanner/ScanState.h"

#include <atomic>
#include <functional>
#include <memory>

class ProgressIndicator;

// Opens the registry of the Windows installation whose root folder is given.
using RegistryOpener =
    std::function<std::unique_ptr<RegistryBackend>(const QString &root, RegistryAccess access)>;

// What a scan and a removal call back into while they run.  Every callback
// is called on the thread that runs the scan or the removal (the window's
// thread in the window), never on a worker thread.
struct ScanCallbacks {
    // Lets pending window events run.  Called often: at every folder entry,
    // at every committed walk entry, after each cookie file, while waiting for
    // worker threads, between registry entries and removed rows.  What runs in
    // it may read the session (the live display reads ScanState and the result
    // rows) and may call requestStop(); it must not start another scan, a
    // removal or an update on the same session, nor destroy the session: a
    // scan and a removal are not re-entrant, which is why the window disables
    // those commands while one runs.  Empty: nothing is processed.
    std::function<void()> processEvents;
    // The bar the walk moves in units of 10,240,000 bytes; none when null.
    ProgressIndicator *progress = nullptr;
    // Opens the registry for the registry scan and the removal; empty: the
    // installation's registry (openInstallationRegistry).
    RegistryOpener openRegistry;
};

// One scan and what comes of it: the scan's state, the result rows, the
// report, the stop flag and the callbacks, over one engine.  The window keeps
// the session of its last scan for the removal, and starts a new session for
// each scan; the command-line tool and the tests do the same.
class ScanSession
{
public:
    ScanSession(EngineHandle engine, AppPaths paths, LanguageTexts texts,
                ScanCallbacks callbacks = {});
    ScanSession(const ScanSession &) = delete;
    ScanSession &operator=(const ScanSession &) = delete;

    const Engine &engine() const { return *m_engine; }
    const AppPaths &paths() const { return m_paths; }
    const LanguageTexts &texts() const { return m_texts; }
    QString Lingua(int n) const { return m_texts.Lingua(n); }

    ScanState &state() { return m_state; }
    const ScanState &state() const { return m_state; }
    ResultListModel &results() { return m_results; }
    const ResultListModel &results() const { return m_results; }
    ScanReport &report() { return m_report; }
    // The report file of the last scan (it may no longer be open).
    QString reportPath() const;

    // Asks the running scan to end after its current entry; may be called
    // from any thread.
    void requestStop() { m_stopRequested.store(true, std::memory_order_relaxed); }
    bool stopRequested() const { return m_stopRequested.load(std::memory_order_relaxed); }
    void clearStop() { m_stopRequested.store(false, std::memory_order_relaxed); }

    void processEvents() const;
    ProgressIndicator *progress() const { return m_callbacks.progress; }
    void setProgress(ProgressIndicator *progress) { m_callbacks.progress = progress; }
    std::unique_ptr<RegistryBackend> openRegistry(RegistryAccess access) const;

    // How many threads read and digest file contents during the walk: 1
    // reads them on the scan's thread.  One per processor unless set.
    int workerThreads() const { return m_workerThreads; }
    void setWorkerThreads(int count);

    // The folders and files of the last scan that could not be opened or read,
    // in walk order.
    const QStringList &unreadablePaths() const { return m_unreadable; }
    void recordUnreadable(const QString &path) { m_unreadable.append(path); }
    void clearUnreadable() { m_unreadable.clear(); }

    // The allow list the scan follows; empty unless set.
    const AllowList &allowList() const { return m_allowList; }
    void setAllowList(AllowList list) { m_allowList = std::move(list); }

    // The detections of the last scan that the allow list allowed, in the
    // order found: neither listed nor removed, but counted and reported.
    struct AllowedDetection {
        QString name;
        QString object;
    };
    const QList<AllowedDetection> &allowedDetections() const { return m_allowed; }
    void recordAllowed(const QString &name, const QString &object)
    {
        m_allowed.append({name, object});
    }
    // The paths of the last scan that a path rule kept the walk out of, in
    // walk order.
    const QStringList &excludedPaths() const { return m_excluded; }
    void recordExcluded(const QString &path) { m_excluded.append(path); }
    // Forgets the allowed detections and excluded paths of the scan before.
    void clearAllowedAndExcluded()
    {
        m_allowed.clear();
        m_excluded.clear();
    }

    // Scratch space of the name check and the content buffer of the scan's
    // thread.
    NameCheckIndex::Lookup &nameLookup() { return m_nameLookup; }
    ContentReader &contentReader() { return m_contentReader; }

private:
    EngineHandle m_engine;
    AppPaths m_paths;
    LanguageTexts m_texts;
    ScanCallbacks m_callbacks;
    ScanState m_state;
    ResultListModel m_results;
    ScanReport m_report;
    std::atomic<bool> m_stopRequested{false};
    int m_workerThreads;
    QStringList m_unreadable;
    AllowList m_allowList;
    QList<AllowedDetection> m_allowed;
    QStringList m_excluded;
    NameCheckIndex::Lookup m_nameLookup;
    ContentReader m_contentReader;
};
