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

// The content check of one file, handed to the worker threads.
class ContentJob
{
public:
    explicit ContentJob(FileHandle file) : m_file(std::move(file)) {}

    // Valid once the pool says the job is done.
    const ContentVerdict &verdict() const { return m_verdict; }
    // The file could not be read (an error of the system, not a file that
    // grew past the size limit).
    bool readFailed() const { return m_readFailed; }

private:
    friend class ContentCheckPool;
    FileHandle m_file;
    ContentVerdict m_verdict;
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

    std::shared_ptr<ContentJob> submit(FileHandle file);
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
