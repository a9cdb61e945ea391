#include "core/text_formats.h"
#include "dialogs/property_sheet.h"
#include "shell/file_manager_bus.h"
#include "shell/qt_platform.h"
#include "support/temp_tree.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
    FakeFileManagerBus bus;
    TempTree tree;
};

TEST_F(PropertiesShown, FileManagerThatAnswersShowsThemAndNoSheetOpens) {
    tree.write(QStringLiteral("my file #1.txt"), "abc");
    EXPECT_TRUE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("my file #1.txt"))));
    ASSERT_EQ(bus.asked.size(), 1);
    EXPECT_EQ(bus.asked[0], QStringList(QStringLiteral("file://") + tree.path() +
                                        QStringLiteral("/my%20file%20%231.txt")));
    EXPECT_TRUE(openSheets().isEmpty());
}

TEST_F(PropertiesShown, WithoutAnAnsweringFileManagerTheOwnSheetOpens) {
    tree.write(QStringLiteral("a.txt"));
    bus.answers = false;
    EXPECT_TRUE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("a.txt"))));
    EXPECT_EQ(bus.asked.size(), 1);
    EXPECT_EQ(openSheets().size(), 1) << "a file manager that fails";

    bus.registered = false;
    EXPECT_TRUE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("a.txt"))));
    EXPECT_EQ(bus.asked.size(), 1) << "no file manager is not asked";
    EXPECT_EQ(openSheets().size(), 2);
}

TEST_F(PropertiesShown, MissingPathShowsNothing) {
    EXPECT_FALSE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("gone.txt"))));
    EXPECT_FALSE(showPropertiesOf(bus, nullptr, QString()));
    EXPECT_TRUE(bus.asked.isEmpty());
    EXPECT_TRUE(openSheets().isEmpty());
}

TEST_F(PropertiesShown, SheetTellsTheFactsOfAFile) {
    bus.registered = false;
    const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
    tree.write(QStringLiteral("notes.txt"), QByteArray(1234, 'n'), t);
    ASSERT_EQ(::chmod(QFile::encodeName(tree.filePath(QStringLiteral("notes.txt"))), 0640), 0);
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("notes.txt"))));
    ASSERT_EQ(openSheets().size(), 1);
    PropertySheet* sheet = openSheets()[0];

    EXPECT_FALSE(sheet->isModal());
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("notes.txt Properties"));
    EXPECT_EQ(label(sheet, "lblName"), QStringLiteral("notes.txt"));
    EXPECT_EQ(label(sheet, "lblFolder"), tree.path());
    EXPECT_EQ(label(sheet, "lblSize"), QStringLiteral("1,234 bytes"));
    EXPECT_EQ(label(sheet, "lblModified"), TextFormats().longDateTimeText(t.toSecsSinceEpoch()));
    EXPECT_EQ(label(sheet, "lblPermissions"), QStringLiteral("rw-r----- (0640)"));
    EXPECT_TRUE(label(sheet, "lblOwner").contains(QStringLiteral(", group ")));
    EXPECT_FALSE(label(sheet, "lblType").isEmpty());
}

TEST_F(PropertiesShown, FolderSheetsCountItemsAndStandSideBySide) {
    bus.registered = false;
    tree.write(QStringLiteral("one/a"));
    tree.write(QStringLiteral("many/a"));
    tree.write(QStringLiteral("many/b"));
    tree.mkdir(QStringLiteral("many/c"));
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("one"))));
    ASSERT_TRUE(showPropertiesOf(bus, nullptr, tree.filePath(QStringLiteral("many/"))));

    const QList<PropertySheet*> sheets = openSheets();
    ASSERT_EQ(sheets.size(), 2) << "one sheet per call";
    QStringList counts;
    for (PropertySheet* s : sheets)
        counts << label(s, "lblName") + QLatin1Char('=') + label(s, "lblSize");
    counts.sort();
    EXPECT_EQ(counts, QStringList({QStringLiteral("many=3 items"), QStringLiteral("one=1 item")}));

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
    QtPlatform platform;
    EXPECT_TRUE(platform.showProperties(nullptr, tree.filePath(QStringLiteral("x.txt"))));
    ASSERT_EQ(openSheets().size(), 1);
    EXPECT_EQ(label(openSheets()[0], "lblName"), QStringLiteral("x.txt"));
    qDeleteAll(openSheets());

    EXPECT_FALSE(platform.showProperties(nullptr, tree.filePath(QStringLiteral("none"))));
    EXPECT_FALSE(platform.openDefault(tree.filePath(QStringLiteral("none"))));
    EXPECT_FALSE(platform.openDefault(QString()));
    EXPECT_TRUE(openSheets().isEmpty());
}

} // namespace
