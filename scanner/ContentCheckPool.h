#pragma once

#include "platform/FileHandle.h"
#include "scanner/ContentCheck.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Engine;

// What a worker does with one file.
enum class ContentWork {
    // The content check; with its digest when the check finds the file.
    Check,
    CheckAndDigest,
    // Only the SHA-256 digest of the whole file, whatever its size (a file
    // found by its name, for the allow list's sha256 rules).
    DigestOnly,
};

// The content check of one file, handed to the worker threads.
class ContentJob
{
public:
    ContentJob(FileHandle file, ContentWork work) : m_file(std::move(file)), m_work(work) {}

    // Valid once the pool says the job is done.
    const ContentVerdict &verdict() const { return m_verdict; }
    // The file could not be read (an error of the system, not a file that
    // grew past the size limit).
    bool readFailed() const { return m_readFailed; }
    // The SHA-256 digest of the content, when the work asked for it and the
    // file was read whole.
    const std::optional<QByteArray> &sha256() const { return m_sha256; }

private:
    friend class ContentCheckPool;
    FileHandle m_file;
    ContentWork m_work;
    ContentVerdict m_verdict;
    std::optional<QByteArray> m_sha256;
    bool m_readFailed = false;
    bool m_done = false;
};

// Worker threads that read and digest file contents and search the
// signatures of one engine.  Jobs are taken in the order they are submitted;
// the walk commits their verdicts in walk order itself.  The workers touch
// nothing but their job and the engine, which never changes.
class ContentCheckPool
{
public:
    ContentCheckPool(const Engine &engine, int workers);
    // Drops the jobs not yet started and waits for the ones being read.
    ~ContentCheckPool();
    ContentCheckPool(const ContentCheckPool &) = delete;
    ContentCheckPool &operator=(const ContentCheckPool &) = delete;

    std::shared_ptr<ContentJob> submit(FileHandle file, ContentWork work = ContentWork::Check);
    // Waits up to timeout for job to be done; true when it is.
    bool waitFor(const ContentJob &job, std::chrono::milliseconds timeout);

private:
    void work();

    const Engine &m_engine;
    std::mutex m_mutex;
    std::condition_variable m_jobReady;
    std::condition_variable m_jobDone;
    std::deque<std::shared_ptr<ContentJob>> m_queue;
    bool m_closing = false;
    std::vector<std::thread> m_workers;
};
