#include "shell/file_manager_bus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

const QString DBusFileManager::service = QStringLiteral("org.freedesktop.FileManager1");
const QString DBusFileManager::path = QStringLiteral("/org/freedesktop/FileManager1");
const QString DBusFileManager::interface = QStringLiteral("org.freedesktop.FileManager1");

DBusFileManager::DBusFileManager(QDBusConnection connection, int timeoutMs)
    : m_connection(std::move(connection)), m_timeoutMs(timeoutMs) {}

bool DBusFileManager::available() {
    if (!m_connection.isConnected())
        return false;
    QDBusConnectionInterface* bus = m_connection.interface();
    if (!bus)
        return false;
    const QDBusReply<bool> registered = bus->isServiceRegistered(service);
    if (registered.isValid() && registered.value())
        return true;
    const QDBusReply<QStringList> activatable = bus->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

bool DBusFileManager::showItemProperties(const QStringList& uris, const QString& startupId) {
    if (!m_connection.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface,
                                                       QStringLiteral("ShowItemProperties"));
    call << uris << startupId;
    const QDBusMessage reply = m_connection.call(call, QDBus::Block, m_timeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}
