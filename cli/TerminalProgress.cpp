#include "cli/TerminalProgress.h"

#include "scanner/ScanSession.h"

#include <QTextStream>

namespace {
constexpr int kWidth = 100;
}

TerminalProgress::TerminalProgress(const ScanSession &session, bool enabled)
    : m_session(session), m_enabled(enabled)
{
    if (!m_enabled)
        return;
    connect(&m_timer, &QTimer::timeout, this, &TerminalProgress::redraw);
    m_timer.start(200);
}

TerminalProgress::~TerminalProgress()
{
    if (m_enabled)
        QTextStream(stderr) << '\r' << QString(kWidth, QLatin1Char(' ')) << '\r';
}

void TerminalProgress::redraw()
{
    const ScanState &s = m_session.state();
    QString line =
        QStringLiteral("%1 examined, %2 found  ").arg(s.ObjectsScanned).arg(s.DetectionCount);
    QString current = s.RegistryScanActive ? s.CurrentRegistryEntry : s.CurrentFilePath;
    current.replace(QLatin1Char('\n'), QLatin1Char(' '))
        .replace(QLatin1Char('\r'), QLatin1Char(' '));
    const int room = kWidth - int(line.size());
    if (current.size() > room)
        current = QStringLiteral("...") + current.right(room - 3);
    line += current;
    QTextStream(stderr) << '\r' << line.leftJustified(kWidth, QLatin1Char(' ')) << Qt::flush;
}
