#include "core/text_formats.h"
#include "dialogs/property_sheet.h"
#include "shell/file_manager_bus.h"
#include "shell/qt_platform.h"
#include "support/temp_tree.h"

#include <QApplication>
#include <QDBusConnection>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
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
    EXPECT_FALSE(sheet->isModal());
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("notes.txt Properties"));
    EXPECT_EQ(label(sheet, "lblFolder"), tree.path());
    EXPECT_EQ(label(sheet, "lblSize"), QStringLiteral("1,234 bytes"));
    EXPECT_EQ(label(sheet, "lblModified"), TextFormats().longDateTimeText(t.toSecsSinceEpoch()));
    EXPECT_EQ(label(sheet, "lblPermissions"), QStringLiteral("rw-r----- (0640)"));
    EXPECT_TRUE(label(sheet, "lblOwner").contains(QStringLiteral(", group ")));
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

    QPointer<PropertySheet> closed = sheets[0];
    closed->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return closed.isNull(); })) << "deleted when closed";
    EXPECT_EQ(openSheets().size(), 1) << "the other sheet stays";
}

TEST(QtPlatformShell, WithoutSessionBusPropertiesUseTheOwnSheetAndMissingFilesFail) {
    // The session bus connection is made on first use; point it nowhere first.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/duoscope-test-bus");
    if (QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "a session bus was reached before this test";
    TempTree tree;
    tree.write(QStringLiteral("x.txt"));
    const QByteArray folder = QFile::encodeName(tree.path());
    QtPlatform platform;
    EXPECT_TRUE(platform.showProperties(nullptr, folder + "/x.txt"));
    ASSERT_EQ(openSheets().size(), 1);
    EXPECT_EQ(label(openSheets()[0], "lblName"), QStringLiteral("x.txt"));
    qDeleteAll(openSheets());
    EXPECT_FALSE(platform.showProperties(nullptr, folder + "/none"));
    EXPECT_FALSE(platform.openDefault(folder + "/none"));
    EXPECT_FALSE(platform.openDefault(QByteArray()));
    EXPECT_TRUE(openSheets().isEmpty());
}

} // namespace
