#include "platform/DBusDesktopNotifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAppName = QStringLiteral("Torvakine");
// The desktop entry's name without ".desktop", which is also the icon's.
const QString kDesktopId = QStringLiteral("com.torvakine.Antispyware");

QDBusConnection sessionBusIfAny()
{
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const bool named = !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") ||
                       (!runtimeDir.isEmpty() && QFileInfo::exists(runtimeDir + "/bus"));
    if (!named)
        return QDBusConnection(QStringLiteral("torvakine-no-session-bus"));
    // Qt registers the types of the messages it delivers when it first
    // needs them.  A program that ends right after its calls can get there
    // only while it ends, with the type registry already gone, and Qt then
    // warns on standard error; registered now, they are there to the end.
    qRegisterMetaType<QDBusMessage>();
    qRegisterMetaType<QDBusError>();
    return QDBusConnection::sessionBus();
}

} // namespace

DBusDesktopNotifier::DBusDesktopNotifier() : m_bus(sessionBusIfAny()) {}

DBusDesktopNotifier::DBusDesktopNotifier(const QDBusConnection &bus) : m_bus(bus) {}

bool DBusDesktopNotifier::notify(const QString &title, const QString &text)
{
    if (!m_bus.isConnected())
        return false;
    const QDBusMessage capabilities =
        m_bus.call(QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                  QStringLiteral("GetCapabilities")),
                   QDBus::Block, m_callTimeoutMs);
    if (capabilities.type() != QDBusMessage::ReplyMessage)
        return false;
    // A service that reads the body as markup gets &, <, > and " as
    // entities, so that a name or a path is shown as it is.
    const bool markup = !capabilities.arguments().isEmpty() &&
                        capabilities.arguments().constFirst().toStringList().contains(
                            QStringLiteral("body-markup"));

    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), kDesktopId}};
    call << kAppName << uint(0) << kDesktopId << title << (markup ? text.toHtmlEscaped() : text)
         << QStringList() << hints << qint32(-1);
    return m_bus.call(call, QDBus::Block, m_callTimeoutMs).type() == QDBusMessage::ReplyMessage;
}
