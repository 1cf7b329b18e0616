#include "platform/EventPump.h"

#include <QCoreApplication>

namespace {
constexpr qint64 kIntervalMs = 15;
} // namespace

void EventPump::processPendingEvents()
{
    if (m_sinceLastPass.isValid() && m_sinceLastPass.elapsed() < kIntervalMs)
        return;
    processPendingEventsNow();
}

void EventPump::processPendingEventsNow()
{
    m_sinceLastPass.start();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}
