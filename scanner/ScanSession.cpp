#include "scanner/ScanSession.h"

ScanSession::ScanSession(EngineHandle engine, AppPaths paths, LanguageTexts texts,
                         ScanCallbacks callbacks)
    : m_engine(std::move(engine)), m_paths(std::move(paths)), m_texts(std::move(texts)),
      m_callbacks(std::move(callbacks))
{
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
