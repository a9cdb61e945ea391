#include "core/file_system.h"
#include "support/failing_device.h"
#include "support/temp_tree.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

QStringList names(const std::vector<ListedName>& listed) {
    QStringList out;
    for (const ListedName& n : listed)
        out << n.name;
    std::sort(out.begin(), out.end());
    return out;
}

QByteArray bytes(const TempTree& t, const QString& name) {
    return QFile::encodeName(t.filePath(name));
}

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        tree.write(QStringLiteral("plain.txt"), "x");
        tree.write(QStringLiteral(".hidden"), "x");
        tree.mkdir(QStringLiteral("sub"));
        tree.mkdir(QStringLiteral(".hiddendir"));
        ASSERT_EQ(::mkfifo(bytes(tree, QStringLiteral("pipe")).constData(), 0600), 0);
        ASSERT_EQ(::symlink("plain.txt", bytes(tree, QStringLiteral("tofile")).constData()), 0);
        ASSERT_EQ(::symlink("sub", bytes(tree, QStringLiteral("todir")).constData()), 0);
        ASSERT_EQ(::symlink("nowhere", bytes(tree, QStringLiteral("broken")).constData()), 0);
        tree.write(QStringLiteral("locked.txt"), "x");
        ASSERT_TRUE(QFile::setPermissions(tree.filePath(QStringLiteral("locked.txt")),
                                          QFileDevice::ReadOwner));
    }
    QStringList list(int mask, const QString& pattern = QStringLiteral("*.*")) {
        return names(FileSystem::listFolder(tree.path() + QLatin1Char('/'), pattern, mask));
    }
    TempTree tree;
};

TEST_F(Listing, MaskAdmitsHiddenAndSystemOnlyWithTheirBits) {
    const QStringList normal = {QStringLiteral("locked.txt"), QStringLiteral("plain.txt"),
                                QStringLiteral("tofile")};
    EXPECT_EQ(list(0), normal);
    EXPECT_EQ(list(Attr::Archive | Attr::ReadOnly), normal) << "read-only never filters";
    EXPECT_EQ(list(Attr::Hidden),
              QStringList({QStringLiteral(".hidden"), QStringLiteral("locked.txt"),
                           QStringLiteral("plain.txt"), QStringLiteral("tofile")}));
    EXPECT_EQ(
        list(Attr::System),
        QStringList({QStringLiteral("broken"), QStringLiteral("locked.txt"), QStringLiteral("pipe"),
                     QStringLiteral("plain.txt"), QStringLiteral("tofile")}));
}

TEST_F(Listing, FoldersAndLinksToFoldersNeverList) {
    const QStringList all = list(Attr::All);
    EXPECT_FALSE(all.contains(QStringLiteral("sub")));
    EXPECT_FALSE(all.contains(QStringLiteral(".hiddendir")));
    EXPECT_FALSE(all.contains(QStringLiteral("todir")));
    EXPECT_EQ(all.size(), 6);
}

TEST_F(Listing, PatternFiltersNames) {
    EXPECT_EQ(list(0, QStringLiteral("*.TXT")),
              QStringList({QStringLiteral("locked.txt"), QStringLiteral("plain.txt")}));
    EXPECT_EQ(list(0, QStringLiteral("p*")), QStringList({QStringLiteral("plain.txt")}));
}

TEST_F(Listing, AttributesFollowTheLinuxMapping) {
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("plain.txt"))), Attr::Archive);
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("locked.txt"))),
              Attr::Archive | Attr::ReadOnly);
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral(".hidden"))),
              Attr::Archive | Attr::Hidden);
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("pipe"))), Attr::System);
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("sub"))), Attr::Folder);
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("missing"))), -1);

    EXPECT_TRUE(FileSystem::exists(tree.filePath(QStringLiteral("plain.txt")), 0));
    EXPECT_FALSE(FileSystem::exists(tree.filePath(QStringLiteral(".hidden")), 0));
    EXPECT_TRUE(FileSystem::exists(tree.filePath(QStringLiteral(".hidden")), Attr::All));
    EXPECT_FALSE(FileSystem::exists(tree.filePath(QStringLiteral("sub")), Attr::All));
}

TEST(ListFolder, MissingFolderListsNothingUnreadableFolderThrows) {
    TempTree tree;
    EXPECT_TRUE(
        FileSystem::listFolder(tree.filePath(QStringLiteral("none/")), QStringLiteral("*.*"), 0)
            .empty());
    tree.write(QStringLiteral("file"), "x");
    EXPECT_TRUE(
        FileSystem::listFolder(tree.filePath(QStringLiteral("file/")), QStringLiteral("*.*"), 0)
            .empty())
        << "a file is no folder";
    // A link loop cannot be opened even by root.
    ASSERT_EQ(::symlink("loop", bytes(tree, QStringLiteral("loop")).constData()), 0);
    try {
        FileSystem::listFolder(tree.filePath(QStringLiteral("loop/")), QStringLiteral("*.*"), 0);
        FAIL() << "expected an error";
    } catch (const FsError& e) {
        EXPECT_EQ(e.number(), ELOOP);
        EXPECT_TRUE(e.description().contains(tree.filePath(QStringLiteral("loop"))));
    }
}

TEST(ListFolder, NonUtf8NameListsReadablyAndReachesItsFile) {
    TempTree tree;
    tree.writeRaw("caf\xe9.txt", "12345");
    const auto listed =
        FileSystem::listFolder(tree.path() + QLatin1Char('/'), QStringLiteral("*.txt"), 0);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, QStringLiteral("caf\\xE9.txt"));
    EXPECT_EQ(FileSystem::stat(QFile::encodeName(tree.path()) + '/' + listed[0].fileName).size, 5);
}

TEST(Stat, SizeTimeAndMissingFile) {
    TempTree tree;
    const QDateTime when(QDate(2020, 5, 6), QTime(7, 8, 9), Qt::UTC);
    tree.write(QStringLiteral("a"), "hello", when);
    const FileStat st = FileSystem::stat(bytes(tree, QStringLiteral("a")));
    EXPECT_EQ(st.size, 5);
    EXPECT_EQ(st.modified, when.toSecsSinceEpoch());
    EXPECT_FALSE(st.folder);
    EXPECT_FALSE(st.dangling);
    EXPECT_THROW(FileSystem::stat(bytes(tree, QStringLiteral("gone"))), FsError);

    tree.mkdir(QStringLiteral("d"));
    EXPECT_TRUE(FileSystem::stat(bytes(tree, QStringLiteral("d"))).folder);
    ASSERT_EQ(::symlink("gone", bytes(tree, QStringLiteral("broken")).constData()), 0);
    const FileStat link = FileSystem::stat(bytes(tree, QStringLiteral("broken")));
    EXPECT_TRUE(link.dangling) << "a link that leads nowhere still has its own size and time";
    EXPECT_EQ(link.size, 4); // the length of its target's name
}

TEST(CopyFile, CopiesContentPermissionsAndTimeReplacingTheTarget) {
    TempTree tree;
    const QDateTime when(QDate(2021, 1, 2), QTime(3, 4, 5), Qt::UTC);
    tree.write(QStringLiteral("src"), "new content", when);
    ASSERT_TRUE(QFile::setPermissions(tree.filePath(QStringLiteral("src")),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    tree.write(QStringLiteral("dst"), "old");
    ASSERT_TRUE(FileSystem::copyFile(bytes(tree, QStringLiteral("src")),
                                     bytes(tree, QStringLiteral("dst"))));
    EXPECT_EQ(tree.read(QStringLiteral("dst")), "new content");
    const QFileInfo info(tree.filePath(QStringLiteral("dst")));
    EXPECT_EQ(info.lastModified().toSecsSinceEpoch(), when.toSecsSinceEpoch());
    EXPECT_EQ(info.permissions() & (QFileDevice::WriteOwner | QFileDevice::ExeOwner),
              QFileDevice::ExeOwner);
    EXPECT_EQ(QDir(tree.path()).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "no scratch file left behind";
}

TEST(CopyFile, NeverCopiesAFileOntoItself) {
    TempTree tree;
    tree.write(QStringLiteral("a"), "keep me");
    ASSERT_EQ(::link(bytes(tree, QStringLiteral("a")).constData(),
                     bytes(tree, QStringLiteral("hard")).constData()),
              0);
    ASSERT_EQ(::symlink("a", bytes(tree, QStringLiteral("soft")).constData()), 0);
    for (const char* target : {"a", "hard", "soft"}) {
        const FsResult r = FileSystem::copyFile(bytes(tree, QStringLiteral("a")),
                                                bytes(tree, QString::fromLatin1(target)));
        EXPECT_FALSE(r.ok()) << target;
        EXPECT_EQ(tree.read(QStringLiteral("a")), "keep me") << target;
    }
}

TEST(CopyFile, FailureLeavesTheTargetAndReportsTheFile) {
    TempTree tree;
    tree.write(QStringLiteral("dst"), "precious");
    const FsResult missing = FileSystem::copyFile(bytes(tree, QStringLiteral("nope")),
                                                  bytes(tree, QStringLiteral("dst")));
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().number(), ENOENT);
    EXPECT_TRUE(missing.error().path().endsWith(QStringLiteral("nope")));
    EXPECT_EQ(tree.read(QStringLiteral("dst")), "precious");

    tree.write(QStringLiteral("src"), "x");
    const FsResult noFolder = FileSystem::copyFile(bytes(tree, QStringLiteral("src")),
                                                   bytes(tree, QStringLiteral("absent/dst")));
    EXPECT_FALSE(noFolder.ok());
}

TEST(CopyData, WriteErrorIsReportedNotSwallowed) {
    QByteArray data(200000, 'z');
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    FailingDevice out(70000);
    const FsResult r = FileSystem::copyData(in, out, QStringLiteral("/t/target"));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().path(), QStringLiteral("/t/target"));
    EXPECT_TRUE(r.error().reason().contains(QStringLiteral("No space")));
    EXPECT_EQ(out.written(), 70000);

    QBuffer in2(&data);
    in2.open(QIODevice::ReadOnly);
    FailingDevice roomy(1 << 20);
    EXPECT_TRUE(FileSystem::copyData(in2, roomy, QStringLiteral("t")).ok());
    EXPECT_EQ(roomy.written(), data.size());
}

TEST(RenameFile, RenamesButNeverReplaces) {
    TempTree tree;
    tree.write(QStringLiteral("a"), "A");
    tree.write(QStringLiteral("b"), "B");
    const FsResult clash =
        FileSystem::renameFile(bytes(tree, QStringLiteral("a")), bytes(tree, QStringLiteral("b")));
    ASSERT_FALSE(clash.ok());
    EXPECT_EQ(clash.error().number(), EEXIST);
    EXPECT_EQ(tree.read(QStringLiteral("b")), "B");
    ASSERT_TRUE(
        FileSystem::renameFile(bytes(tree, QStringLiteral("a")), bytes(tree, QStringLiteral("A"))));
    EXPECT_EQ(tree.read(QStringLiteral("A")), "A");
    EXPECT_FALSE(QFileInfo::exists(tree.filePath(QStringLiteral("a"))));
    EXPECT_FALSE(FileSystem::renameFile(bytes(tree, QStringLiteral("gone")),
                                        bytes(tree, QStringLiteral("c")))
                     .ok());
}

TEST(RemoveAndAttributes, RemoveFilesOnlyAndToggleReadOnly) {
    TempTree tree;
    tree.write(QStringLiteral("f"), "x");
    tree.mkdir(QStringLiteral("d"));
    EXPECT_FALSE(FileSystem::removeFile(bytes(tree, QStringLiteral("d"))).ok());
    EXPECT_TRUE(QFileInfo(tree.filePath(QStringLiteral("d"))).isDir());

    ASSERT_TRUE(FileSystem::setAttributes(bytes(tree, QStringLiteral("f")),
                                          Attr::ReadOnly | Attr::Archive));
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("f"))),
              Attr::ReadOnly | Attr::Archive);
    ASSERT_TRUE(FileSystem::setAttributes(bytes(tree, QStringLiteral("f")), Attr::Archive));
    EXPECT_EQ(FileSystem::attributes(tree.filePath(QStringLiteral("f"))), Attr::Archive);

    ASSERT_TRUE(FileSystem::removeFile(bytes(tree, QStringLiteral("f"))));
    EXPECT_FALSE(QFileInfo::exists(tree.filePath(QStringLiteral("f"))));
    const FsResult again = FileSystem::removeFile(bytes(tree, QStringLiteral("f")));
    EXPECT_EQ(again.error().number(), ENOENT);
}

} // namespace
