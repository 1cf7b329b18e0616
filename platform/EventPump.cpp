#include "platform/EventPump.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {
constexpr qint64 kIntervalMs = 15;

QElapsedTimer &sinceLastPass()
{
    static QElapsedTimer timer;
    return timer;
}
} // namespace

void EventPump::processPendingEvents()
{
    QElapsedTimer &timer = sinceLastPass();
    if (timer.isValid() && timer.elapsed() < kIntervalMs)
        return;
    processPendingEventsNow();
}

void EventPump::processPendingEventsNow()
{
    sinceLastPass().start();
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}
