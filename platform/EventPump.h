#pragma once

#include <QElapsedTimer>

// Lets pending window events run during long work on the window's thread.
// Every loop that yields calls processPendingEvents(); Qt is entered at most
// about every 15 ms, so the window stays live while a scan does not pay for an
// event-loop pass per pattern or per file.  One pump belongs to one window.
class EventPump
{
public:
    void processPendingEvents();
    // Enters Qt now, whatever the time since the last pass (used where a single
    // yield must take effect, such as drawing a pressed picture).
    void processPendingEventsNow();

private:
    QElapsedTimer m_sinceLastPass;
};
