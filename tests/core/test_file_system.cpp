#include "fs/file_properties.h"
#include "fs/file_system.h"
#include "fs/folder_paths.h"
#include "fs/folder_scan.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <climits>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Tree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"plain.txt", ".hidden", "locked.txt"})
            tree.write(QString::fromLatin1(name), "x");
        ASSERT_EQ(::chmod(at("locked.txt").constData(), 0400), 0);
        tree.mkdir(QStringLiteral("sub"));
        ASSERT_EQ(::mkfifo(at("pipe").constData(), 0600), 0);
        // Each link name, then what it holds.
        const char* const links[] = {"tofile",  "plain.txt", "todir", "sub",         "broken",
                                     "nowhere", "loop",      "loop",  "throughfile", "plain.txt/x"};
        for (size_t i = 0; i < std::size(links); i += 2)
            ASSERT_EQ(::symlink(links[i + 1], at(links[i])), 0);
    }
    QByteArray at(const char* name = "") const {
        return QFile::encodeName(tree.path()) + '/' + name;
    }
    QString list(int mask, const QString& pattern = QStringLiteral("*.*"),
                 bool folders = false) const {
        FilterSettings filters;
        filters.fileTypes = pattern;
        filters.showSubfolders = folders;
        filters.showHidden = (mask & Attr::Hidden) != 0;
        filters.showSystem = (mask & Attr::System) != 0;
        const FolderListing listing = listFiles(at(), filters);
        QStringList out;
        for (qsizetype i = 0; i < listing.count(); ++i)
            out << listing.name(i) + (listing.isFolder(i) ? QStringLiteral("/") : QString());
        out.sort();
        return out.join(QLatin1Char(' '));
    }
    // A file of the listing by its name: its length and time.
    std::optional<FileStat> listed(const QByteArray& folder, QByteArrayView name) const {
        FilterSettings all;
        all.showHidden = all.showSystem = 1;
        const FolderListing listing = listFiles(folder, all);
        for (qsizetype i = 0; i < listing.count(); ++i) {
            if (listing.fileName(i) == name)
                return listing.stat(i);
        }
        return std::nullopt;
    }
    TempTree tree;
};

TEST(FolderPaths, MadeAbsoluteAsCdTakesThemWithTheirBytesKept) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"a", "/base/dir/a"},     {"./a//b/", "/base/dir/a/b"}, {"../x", "/base/x"},
        {"../../../..", "/"},     {"/abs/./p/../q", "/abs/q"},  {"", "/base/dir"},
        {"~/doc", "/home/u/doc"}, {"~x", "/base/dir/~x"},       {"n\xff\\e", "/base/dir/n\xff\\e"}};
    for (const auto& c : cases)
        EXPECT_EQ(absolutePath(c.path, "/base/dir/", "/home/u"), QByteArray(c.expected)) << c.path;

    TempTree tree;
    tree.write(QStringLiteral("a/file"));
    const QByteArray a = QFile::encodeName(tree.filePath(QStringLiteral("a")));
    EXPECT_EQ(nearestFolder(a + "/gone/deeper"), a);
    EXPECT_EQ(nearestFolder(a + "/file/x"), a) << "a file is no folder";
    EXPECT_EQ(nearestFolder("/no-such-top/x"), "/");
}

TEST_F(Tree, ListingAdmitsHiddenAndSystemOnlyWithTheirBitsAndFoldersOnlyWhenAsked) {
    EXPECT_EQ(list(Attr::Archive | Attr::ReadOnly), QStringLiteral("locked.txt plain.txt tofile"));
    EXPECT_EQ(list(Attr::Hidden, QStringLiteral("*.TXT")), QStringLiteral("locked.txt plain.txt"));
    EXPECT_EQ(list(Attr::Hidden | Attr::System),
              QStringLiteral(".hidden broken locked.txt loop pipe plain.txt throughfile tofile"));
    // Folders, a link to one included: the hidden switch applies, the pattern does not.
    tree.mkdir(QStringLiteral(".hid"));
    EXPECT_EQ(list(Attr::Archive, QStringLiteral("*.TXT"), true),
              QStringLiteral("locked.txt plain.txt sub/ todir/"));
    EXPECT_EQ(list(Attr::Hidden | Attr::System, QStringLiteral("t*"), true),
              QStringLiteral(".hid/ sub/ throughfile todir/ tofile"));
    QString bits;
    for (const char* name : {"plain.txt", "locked.txt", ".hidden", "pipe", "loop", "sub", "none"})
        bits += QString::number(FileSystem::attributes(at(name))) + QLatin1Char(' ');
    EXPECT_EQ(bits, QStringLiteral("32 33 34 4 4 16 -1 ")) << "archive, read-only, hidden...";
    EXPECT_FALSE(FileSystem::exists(tree.filePath(QStringLiteral(".hidden")), 0));
    EXPECT_TRUE(FileSystem::exists(tree.filePath(QStringLiteral(".hidden")), Attr::All));
}

TEST_F(Tree, LinksToNoFileHaveTheirOwnSizeAndTimeAndGoneFilesAreNoError) {
    // Each is its own entry, as long as the text it holds.
    for (const auto& [name, size] : {std::pair{"broken", 7}, {"loop", 4}, {"throughfile", 11}}) {
        EXPECT_TRUE(FileSystem::stat(at(name)).dangling) << name;
        const std::optional<FileStat> st = listed(at(), name);
        EXPECT_TRUE(st && st->dangling && st->size == size) << name;
    }
    EXPECT_EQ(listed(at(), "plain.txt")->size, 1);
    EXPECT_THROW(FileSystem::stat(at("gone")), FsError);
    EXPECT_EQ(listFiles(at("none/"), FilterSettings()).count(), 0);
    try {
        listFiles(at("loop/"), FilterSettings());
        ADD_FAILURE() << "a folder that cannot be read is an error";
    } catch (const FsError& e) {
        EXPECT_EQ(e.number(), ELOOP);
    }

    // Names past PATH_MAX are reached from their folder.
    QByteArray deep = at("sub");
    while (deep.size() < PATH_MAX - 100)
        ASSERT_EQ(::mkdir((deep += '/' + QByteArray(200, 'd')).constData(), 0700), 0);
    const int dir = ::open(deep.constData(), O_RDONLY | O_DIRECTORY);
    const QByteArray name(200, 'n');
    ASSERT_EQ(::close(::openat(dir, name.constData(), O_CREAT | O_WRONLY, 0600)), 0);
    EXPECT_EQ(listFiles(deep + '/', FilterSettings()).count(), 1);
    EXPECT_EQ(listed(deep + '/', name)->size, 0);
    // The temporary folder's own clean-up goes by full paths, too long here.
    EXPECT_EQ(::unlinkat(dir, name.constData(), 0), 0);
    ::close(dir);
}

TEST_F(Tree, FailuresAreReportedRenameNeverReplacesRemoveNeverTakesAFolder) {
    EXPECT_EQ(FileSystem::renameFile(at("plain.txt"), at("locked.txt")).error().number(), EEXIST);
    EXPECT_FALSE(FileSystem::removeFile(at("sub")).ok());
    for (const int bits : {Attr::ReadOnly | Attr::Archive, Attr::Archive}) {
        ASSERT_TRUE(FileSystem::setAttributes(at("plain.txt"), bits));
        EXPECT_EQ(FileSystem::attributes(at("plain.txt")), bits);
    }
}

TEST_F(Tree, AListingClearsAwayWhatNoRunningCopyHoldsAndListsNone) {
    // A copy's killed, a copy's under way, a move's killed before its removal (twice), the user's.
    for (const char* name :
         {".duoscope-copy-Ab3dEf", ".duoscope-copy-held12", "taken", ".duoscope-move-Xy12ab-moved",
          ".duoscope-move-Zz99zz-taken", ".duoscope-copy-mine"})
        tree.write(name, QByteArray(name).right(6));
    const int held = ::open(at(".duoscope-copy-held12"), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(list(Attr::Hidden), ".duoscope-copy-mine .hidden Copy of taken locked.txt moved "
                                  "plain.txt taken tofile");
    EXPECT_EQ(tree.read("moved") + tree.read("Copy of taken") + tree.read("taken"),
              "-moved-takentaken");
    EXPECT_TRUE(QFile::exists(tree.filePath(".duoscope-copy-held12")) &&
                !QFile::exists(tree.filePath(".duoscope-copy-Ab3dEf")));
    ::close(held);
}

TEST_F(Tree, PropertiesOfALinkAreWhatItLeadsToOrItsOwn) {
    EXPECT_EQ(readFileProperties(tree.filePath(QStringLiteral("tofile")))->size, 1);
    EXPECT_TRUE(readFileProperties(tree.filePath(QStringLiteral("broken"))).has_value());
    EXPECT_EQ(permissionsText(04644) + permissionsOctal(01776), QStringLiteral("rwSr--r--1776"));
}

} // namespace
