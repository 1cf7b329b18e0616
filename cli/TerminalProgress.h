#pragma once

#include "platform/ProgressIndicator.h"

#include <QObject>
#include <QTimer>

class ScanSession;

// The command-line tool's live line on standard error while a scan runs:
// entries examined, detections and the current path, redrawn a few times a
// second.  Used only when standard error is a terminal.
class TerminalProgress : public QObject, public SilentProgress
{
    Q_OBJECT
public:
    // Shows the state of session, which must outlive the line.
    TerminalProgress(const ScanSession &session, bool enabled);
    ~TerminalProgress() override;

private:
    void redraw();

    const ScanSession &m_session;
    QTimer m_timer;
    bool m_enabled;
};
