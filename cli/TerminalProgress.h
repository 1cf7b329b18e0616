#pragma once

#include "platform/ProgressIndicator.h"

#include <QObject>
#include <QTimer>

// The command-line tool's live line on standard error while a scan runs:
// entries examined, detections and the current path, redrawn a few times a
// second.  Used only when standard error is a terminal.
class TerminalProgress : public QObject, public SilentProgress
{
    Q_OBJECT
public:
    explicit TerminalProgress(bool enabled);
    ~TerminalProgress() override;

private:
    void redraw();

    QTimer m_timer;
    bool m_enabled;
};
