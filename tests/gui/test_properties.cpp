#include "base/text_formats.h"
#include "dialogs/property_sheet.h"
#include "shell/file_manager_bus.h"
#include "support/temp_tree.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QLabel>
#include <QMutex>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file manager as the tests want it: there or not, answering or failing.
class FakeFileManagerBus : public FileManagerBus {
public:
    bool registered = true;
    bool answers = true;
    QList<QStringList> asked;

    bool available() override { return registered; }
    bool showItemProperties(const QStringList& uris, const QString&) override {
        asked << uris;
        return answers;
    }
};

QList<PropertySheet*> openSheets() {
    QList<PropertySheet*> sheets;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* sheet = qobject_cast<PropertySheet*>(w); sheet && sheet->isVisible())
            sheets << sheet;
    }
    return sheets;
}

QString label(QWidget* sheet, const char* name) {
    const QLabel* l = sheet->findChild<QLabel*>(QLatin1String(name));
    return l ? l->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

class PropertiesShown : public ::testing::Test {
protected:
    void TearDown() override { qDeleteAll(openSheets()); }
    QByteArray path(const char* name) const { return QFile::encodeName(tree.path()) + '/' + name; }
    FakeFileManagerBus bus;
    TempTree tree;
};

TEST_F(PropertiesShown, FileManagerIsAskedFirstAndTheOwnSheetServesWithoutOne) {
    tree.write(QStringLiteral("my file #1.txt"), "abc");
    EXPECT_TRUE(showPropertiesOf(bus, nullptr, path("my file #1.txt")));
    bus.answers = false;
    EXPECT_TRUE(showPropertiesOf(bus, nullptr, path("my file #1.txt")));
    bus.registered = false;
    EXPECT_TRUE(showPropertiesOf(bus, nullptr, path("my file #1.txt")));
    EXPECT_FALSE(showPropertiesOf(bus, nullptr, path("gone.txt")));
    EXPECT_FALSE(showPropertiesOf(bus, nullptr, QByteArray()));
    const QString url = QStringLiteral("file://%1/my%20file%20%231.txt").arg(tree.path());
    EXPECT_EQ(bus.asked, QList<QStringList>(2, QStringList(url))) << "only while there is one";
    EXPECT_EQ(openSheets().size(), 2) << "for the one that failed, and without one";
}

TEST_F(PropertiesShown, SheetTellsTheFactsOfAFileReachedByItsBytes) {
    bus.registered = false;
    const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
    tree.write(QStringLiteral("notes.txt"), QByteArray(1234, 'n'), t);
    ASSERT_EQ(::chmod(path("notes.txt").constData(), 0640), 0);
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, path("notes.txt")));
    ASSERT_EQ(openSheets().size(), 1);
    PropertySheet* sheet = openSheets()[0];
    EXPECT_EQ(label(sheet, "lblFolder"), tree.path());
    EXPECT_EQ(label(sheet, "lblSize"), QStringLiteral("1,234 bytes"));
    EXPECT_EQ(label(sheet, "lblModified"), TextFormats().longDateTimeText(t.toSecsSinceEpoch()));
    EXPECT_EQ(label(sheet, "lblPermissions"), QStringLiteral("rw-r----- (0640)"));
    EXPECT_EQ(label(sheet, "lblType"), QStringLiteral("plain text document"));
    delete sheet;

    tree.writeRaw("bad\xffname.txt", "12");
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, path("bad\xffname.txt")));
    ASSERT_EQ(openSheets().size(), 1);
    EXPECT_EQ(label(openSheets()[0], "lblName"), QStringLiteral("bad\\xFFname.txt"));
    EXPECT_EQ(label(openSheets()[0], "lblSize"), QStringLiteral("2 bytes"));
    ::unlink(path("bad\xffname.txt").constData()); // the temporary folder cannot remove it
}

TEST_F(PropertiesShown, FolderSheetsCountItemsAndStandSideBySide) {
    bus.registered = false;
    tree.write(QStringLiteral("one/a"));
    tree.write(QStringLiteral("many/a"));
    tree.write(QStringLiteral("many/.b"));
    tree.mkdir(QStringLiteral("many/c"));
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, path("one")));
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, path("many/")));
    const QList<PropertySheet*> sheets = openSheets();
    ASSERT_EQ(sheets.size(), 2) << "one sheet per call";
    QStringList counts;
    for (PropertySheet* s : sheets) {
        counts << label(s, "lblName") + QLatin1Char('=') + label(s, "lblSize");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(s));
        EXPECT_TRUE(s->screen()->availableGeometry().contains(s->frameGeometry()));
    }
    counts.sort();
    EXPECT_EQ(counts, QStringList({"many=3 items", "one=1 item"}));
    EXPECT_FALSE(sheets[0]->frameGeometry().intersects(sheets[1]->frameGeometry()));
}

// Stands in for a file manager on the bus and records what it was asked.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList asked() { // the addresses, then the start-up id

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
class PrivateBus : public ::testing::Test {
protected:
    void start(bool activatable) { // `activatable`: a file manager the bus fails to start
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        ASSERT_FALSE(daemon.isEmpty()) << "dbus-daemon is in the packages to install";
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

TEST_F(PrivateBus, AFileManagerThatFailsToStartFailsAndARegisteredOneIsAsked) {
    ASSERT_NO_FATAL_FAILURE(start(true));
    DBusFileManager bus = client();
    EXPECT_TRUE(bus.available()) << "the bus can start one";
    EXPECT_FALSE(bus.showItemProperties({QStringLiteral("file:///tmp")}, QString()));

    ASSERT_NO_FATAL_FAILURE(registerFileManager());
    const QStringList uris{QStringLiteral("file:///tmp/a%20b"), QStringLiteral("file:///tmp/c")};
    EXPECT_TRUE(bus.showItemProperties(uris, QStringLiteral("id-1")));
    EXPECT_EQ(fake.asked(), uris + QStringList(QStringLiteral("id-1")));
}

} // namespace

#include "test_properties.moc"
