#include "scanner/ScanSession.h"

#include <algorithm>
#include <thread>

ScanSession::ScanSession(EngineHandle engine, AppPaths paths, LanguageTexts texts,
                         ScanCallbacks callbacks)
    : m_engine(std::move(engine)), m_paths(std::move(paths)), m_texts(std::move(texts)),
      m_callbacks(std::move(callbacks)),
      m_workerThreads(std::max(1, int(std::thread::hardware_concurrency())))
{
}

void ScanSession::setWorkerThreads(int count)
{
    m_workerThreads = std::max(1, count);
}

QString ScanSession::reportPath() const
{
    return m_paths.ReportFolder + m_state.ReportBaseName + QStringLiteral(".txt");
}

void ScanSession::processEvents() const
{
    if (m_callbacks.processEvents)
        m_callbacks.processEvents();
}

std::unique_ptr<RegistryBackend> ScanSession::openRegistry(RegistryAccess access) const
{
    if (m_callbacks.openRegistry)
        return m_callbacks.openRegistry(m_state.ScanRoot, access);
    return openInstallationRegistry(m_state.ScanRoot, access);
}
