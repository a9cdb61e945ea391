#include "shell/file_manager_bus.h"
#include "support/printers.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// Stands in for a file manager on the bus and records what it was asked.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList uris() {
        QMutexLocker lock(&m_mutex);
        return m_uris;
    }
    QString startupId() {
        QMutexLocker lock(&m_mutex);
        return m_startupId;
    }

public Q_SLOTS:
    void ShowItemProperties(const QStringList& uris, const QString& startupId) {
        QMutexLocker lock(&m_mutex);
        m_uris = uris;
        m_startupId = startupId;
    }

private:
    QMutex m_mutex;
    QStringList m_uris;
    QString m_startupId;
};

// A message bus of the test's own, so that no desktop service answers.
// `activatable` declares a file manager that the bus can start but that
// fails to start.
class PrivateBus : public ::testing::Test {
protected:
    void start(bool activatable) {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        const QString services = dir.filePath(QStringLiteral("services"));
        ASSERT_TRUE(QDir().mkpath(services));
        if (activatable)
            writeFile(services + QStringLiteral("/fm.service"),
                      "[D-BUS Service]\nName=org.freedesktop.FileManager1\nExec=/bin/false\n");
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        writeFile(
            config,
            "<busconfig><type>session</type><listen>unix:dir=" + QFile::encodeName(dir.path()) +
                "</listen><auth>EXTERNAL</auth><servicedir>" + QFile::encodeName(services) +
                "</servicedir><policy context=\"default\">"
                "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                "</policy></busconfig>");
        process.start(daemon, {QStringLiteral("--config-file=") + config,
                               QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(process.waitForStarted(5000));
        while (!process.canReadLine())
            ASSERT_TRUE(process.waitForReadyRead(5000)) << "the bus printed no address";
        address = QString::fromUtf8(process.readLine()).trimmed();
        ASSERT_FALSE(address.isEmpty());
    }

    // False when the bus could not be had; the test then ends as it stands.
    bool started(bool activatable) {
        start(activatable);
        return !IsSkipped() && !HasFatalFailure();
    }

    // Puts the fake file manager on the bus, answering from a thread of its
    // own while the test's call blocks.
    void registerFileManager() {
        fake.moveToThread(&worker);
        worker.start();
        QDBusConnection service = QDBusConnection::connectToBus(address, QStringLiteral("fm"));
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(
            service.registerObject(DBusFileManager::path, &fake, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(DBusFileManager::service));
    }

    DBusFileManager client() {
        return DBusFileManager(QDBusConnection::connectToBus(address, QStringLiteral("client")),
                               3000);
    }

    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("fm"));
        worker.quit();
        worker.wait();
        process.terminate();
        process.waitForFinished(5000);
    }

    static void writeFile(const QString& path, const QByteArray& content) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    QTemporaryDir dir;
    QProcess process;
    QString address;
    QThread worker;
    FakeFileManager fake;
};

TEST_F(PrivateBus, NoFileManagerIsNotAvailable) {
    if (!started(false))
        return;
    DBusFileManager bus = client();
    EXPECT_FALSE(bus.available());
    EXPECT_FALSE(bus.showItemProperties({QStringLiteral("file:///tmp")}, QString()));

    DBusFileManager unconnected(QDBusConnection(QStringLiteral("never-connected")));
    EXPECT_FALSE(unconnected.available());
    EXPECT_FALSE(unconnected.showItemProperties({QStringLiteral("file:///tmp")}, QString()));
}

TEST_F(PrivateBus, RegisteredFileManagerIsAskedForTheProperties) {
    if (!started(false))
        return;
    registerFileManager();
    ASSERT_FALSE(HasFatalFailure());
    DBusFileManager bus = client();
    EXPECT_TRUE(bus.available());
    const QStringList uris{QStringLiteral("file:///tmp/a%20b"), QStringLiteral("file:///tmp/c")};
    EXPECT_TRUE(bus.showItemProperties(uris, QStringLiteral("id-1")));
    EXPECT_EQ(fake.uris(), uris);
    EXPECT_EQ(fake.startupId(), QStringLiteral("id-1"));
}

TEST_F(PrivateBus, ActivatableFileManagerThatFailsToStartReportsFailure) {
    if (!started(true))
        return;
    DBusFileManager bus = client();
    EXPECT_TRUE(bus.available()) << "the bus can start one";
    EXPECT_FALSE(bus.showItemProperties({QStringLiteral("file:///tmp")}, QString()));
}

} // namespace

#include "test_file_manager_bus.moc"
