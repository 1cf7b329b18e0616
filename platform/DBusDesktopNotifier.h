#pragma once

#include "platform/DesktopNotifier.h"

#include <QDBusConnection>

// Notifications through the freedesktop notification service
// (org.freedesktop.Notifications) on the user's session bus.  Each
// notification names the program's desktop entry, so the desktop shows the
// program's name and icon with it.
class DBusDesktopNotifier : public DesktopNotifier
{
public:
    static constexpr int DefaultCallTimeoutMs = 5000;

    // The session bus of the environment.  When the environment names none
    // (no DBUS_SESSION_BUS_ADDRESS and no bus socket in XDG_RUNTIME_DIR) no
    // connection is tried, so no bus is ever started on the program's
    // behalf, and every notify returns false.
    DBusDesktopNotifier();
    explicit DBusDesktopNotifier(const QDBusConnection &bus);

    bool notify(const QString &title, const QString &text) override;

    // How long a call waits for the service's answer.
    void setCallTimeout(int milliseconds) { m_callTimeoutMs = milliseconds; }

private:
    QDBusConnection m_bus;
    int m_callTimeoutMs = DefaultCallTimeoutMs;
};
