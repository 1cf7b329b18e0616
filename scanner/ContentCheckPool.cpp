#include "scanner/ContentCheckPool.h"

#include "scanner/ContentDigest.h"

ContentCheckPool::ContentCheckPool(const Engine &engine, int workers) : m_engine(engine)
{
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

ContentCheckPool::~ContentCheckPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_closing = true;
        m_queue.clear();
    }
    m_jobReady.notify_all();
    for (std::thread &t : m_workers)
        t.join();
}

std::shared_ptr<ContentJob> ContentCheckPool::submit(FileHandle file, ContentWork work)
{
    auto job = std::make_shared<ContentJob>(std::move(file), work);
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(job);
    }
    m_jobReady.notify_one();
    return job;
}

bool ContentCheckPool::waitFor(const ContentJob &job, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_jobDone.wait_for(lock, timeout, [&job] { return job.m_done; });
}

void ContentCheckPool::work()
{
    ContentReader reader;
    for (;;) {
        std::shared_ptr<ContentJob> job;
        {
            std::unique_lock lock(m_mutex);
            m_jobReady.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_closing)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        ContentVerdict verdict;
        std::optional<QByteArray> sha256;
        bool readFailed = false;
        try {
            if (job->m_work == ContentWork::DigestOnly) {
                sha256 = contentSha256(job->m_file);
            } else {
                QByteArray content;
                const ContentReader::Outcome read = reader.read(job->m_file, &content);
                readFailed = read == ContentReader::Outcome::Failed;
                if (read == ContentReader::Outcome::Read)
                    verdict = FileScan(m_engine, content);
                if (verdict.matched && job->m_work == ContentWork::CheckAndDigest)
                    sha256 = contentSha256(content);
            }
        } catch (...) {
            verdict = ContentVerdict{};
            sha256.reset();
        }
        job->m_file = FileHandle();
        {
            std::lock_guard lock(m_mutex);
            job->m_verdict = std::move(verdict);
            job->m_sha256 = std::move(sha256);
            job->m_readFailed = readFailed;
            job->m_done = true;
        }
        m_jobDone.notify_all();
    }
}
