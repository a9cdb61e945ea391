#include "shell/file_manager_bus.h"
#include "support/temp_tree.h"

#include <QDBusConnection>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// Stands in for a file manager on the bus and records what it was asked.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    // What it was asked last: the addresses, then the start-up id.
    QStringList asked() {
        QMutexLocker lock(&m_mutex);
        return m_asked;
    }

public Q_SLOTS:
    void ShowItemProperties(const QStringList& uris, const QString& startupId) {
        QMutexLocker lock(&m_mutex);
        m_asked = uris + QStringList(startupId);
    }

private:
    QMutex m_mutex;
    QStringList m_asked;
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
        dir.mkdir(QStringLiteral("services"));
        if (activatable)
            dir.write(QStringLiteral("services/fm.service"),
                      "[D-BUS Service]\nName=org.freedesktop.FileManager1\nExec=/bin/false\n");
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        dir.write(QStringLiteral("bus.conf"),
                  "<busconfig><type>session</type><listen>unix:dir=" +
                      QFile::encodeName(dir.path()) + "</listen><auth>EXTERNAL</auth><servicedir>" +
                      QFile::encodeName(dir.filePath(QStringLiteral("services"))) +
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

    TempTree dir;
    QProcess process;
    QString address;
    QThread worker;
    FakeFileManager fake;
};

TEST_F(PrivateBus, NoFileManagerIsNotAvailableAndFailsToShow) {
    start(false);
    if (IsSkipped() || HasFatalFailure())
        return;
    DBusFileManager unconnected(QDBusConnection(QStringLiteral("never-connected")));
    for (DBusFileManager bus : {client(), unconnected}) {
        EXPECT_FALSE(bus.available());
        EXPECT_FALSE(bus.showItemProperties({QStringLiteral("file:///tmp")}, QString()));
    }
}

TEST_F(PrivateBus, RegisteredFileManagerIsAskedForTheProperties) {
    start(false);
    if (IsSkipped() || HasFatalFailure())
        return;
    registerFileManager();
    ASSERT_FALSE(HasFatalFailure());
    DBusFileManager bus = client();
    EXPECT_TRUE(bus.available());
    const QStringList uris{QStringLiteral("file:///tmp/a%20b"), QStringLiteral("file:///tmp/c")};
    EXPECT_TRUE(bus.showItemProperties(uris, QStringLiteral("id-1")));
    EXPECT_EQ(fake.asked(), uris + QStringList(QStringLiteral("id-1")));
}

TEST_F(PrivateBus, ActivatableFileManagerThatFailsToStartReportsFailure) {
    start(true);
    if (IsSkipped() || HasFatalFailure())
        return;
    DBusFileManager bus = client();
    EXPECT_TRUE(bus.available()) << "the bus can start one";
    EXPECT_FALSE(bus.showItemProperties({QStringLiteral("file:///tmp")}, QString()));
}

} // namespace

#include "test_file_manager_bus.moc"
