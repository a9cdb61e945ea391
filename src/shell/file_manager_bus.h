#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

// The desktop file manager's session-bus service, as far as the program uses
// it: whether one is there, and asking it to show the properties of items.
class FileManagerBus {
public:
    virtual ~FileManagerBus() = default;

    // True when a file manager is registered on the bus or can be started by it.
    virtual bool available() = 0;
    // Asks the file manager to show the properties dialog of the items at
    // `uris`. True when it answered without an error.
    virtual bool showItemProperties(const QStringList& uris, const QString& startupId) = 0;
};

// The service as Qt D-Bus reaches it.
class DBusFileManager : public FileManagerBus {
public:
    static const QString service;   // "org.freedesktop.FileManager1"
    static const QString path;      // "/org/freedesktop/FileManager1"
    static const QString interface; // "org.freedesktop.FileManager1"

    // `timeoutMs` bounds the wait for an answer, which covers starting a file
    // manager that is only activatable.
    explicit DBusFileManager(QDBusConnection connection = QDBusConnection::sessionBus(),
                             int timeoutMs = 5000);

    bool available() override;
    bool showItemProperties(const QStringList& uris, const QString& startupId) override;

private:
    QDBusConnection m_connection;
    int m_timeoutMs;
};
