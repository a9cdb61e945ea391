#include "base/message_style.h"
#include "compare/content_check.h"
#include "fileops/side_copy.h"
#include "fileops/sync_run.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"
#include "fs/file_system_kind.h"
#include "fs/local_side.h"
#include "support/scripted_host.h"
#include "support/sync_trees.h"
#include "support/temp_tree.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A side whose files this machine does not read: a remote host's, as far as
// the content check can tell, so its contents are known by digest.
class ElsewhereSide final : public LocalSide {
public:
    std::optional<int> localFolder(const SidePlace&) const override { return std::nullopt; }
};

class FolderSideTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.write(QStringLiteral("a.txt"), "same bytes");
        tree.write(QStringLiteral("b.txt"), "same bytes");
        tree.write(QStringLiteral("c.txt"), "other byte");
        tree.write(QStringLiteral("d.txt"), "longer bytes");
        tree.write(QStringLiteral("sub/inner.txt"), "inner");
        tree.mkdir(QStringLiteral("empty"));
        ASSERT_EQ(::symlink("a.txt", path("link").constData()), 0);
        ASSERT_TRUE(walk->openTop(top, false));
    }
    QByteArray path(const char* name) const { return top + '/' + name; }
    bool present(const char* name) const {
        struct stat st {};
        return side.stat(walk->place(), name, st);
    }

    TempTree tree;
    const QByteArray top = QFile::encodeName(tree.path());
    mutable LocalSide side;
    std::unique_ptr<SideWalk> walk = side.walk();
};

TEST_F(FolderSideTest, ListsStatsAndNeverFollowsALinkPlantedForAFolder) {
    FilterSettings all;
    all.showSubfolders = 1;
    ScanOptions identities;
    identities.identities = true;
    const FolderListing level = side.list(walk->place(), top + '/', all, identities);
    QByteArrayList names;
    qsizetype a = -1;
    for (qsizetype i = 0; i < level.count(); ++i) {
        names << level.fileName(i).toByteArray();
        if (names.back() == "a.txt")
            a = i;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, QByteArrayList({"a.txt", "b.txt", "c.txt", "d.txt", "empty", "link", "sub"}));
    struct stat st {};
    ASSERT_TRUE(side.stat(walk->place(), "a.txt", st));
    ASSERT_GE(a, 0);
    EXPECT_EQ(level.stat(a).identity, FileIdentity::of(st));
    ASSERT_TRUE(side.stat(walk->place(), "link", st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(side.linkTarget(walk->place(), "link"), QByteArray("a.txt"));

    // A link put where a folder was is refused, not walked through.
    ASSERT_TRUE(side.remove(walk->place(), "empty", path("empty")).ok());
    ASSERT_EQ(::symlink("sub", path("empty").constData()), 0);
    EXPECT_FALSE(walk->enter("empty"));
    EXPECT_TRUE(errno == ELOOP || errno == ENOTDIR) << errno;
    // A time given to a link is its own; "" is the folder held itself.
    const struct timespec when { 1600000000, 5 };
    ASSERT_TRUE(side.setModified(walk->place(), "link", when));
    ASSERT_TRUE(walk->enter("sub"));
    ASSERT_TRUE(side.setModified(walk->place(), "", when));
    EXPECT_TRUE(present("inner.txt"));
    EXPECT_TRUE(walk->leave());
    for (const char* name : {"link", "sub", "a.txt"}) {
        ASSERT_TRUE(side.stat(walk->place(), name, st));
        EXPECT_EQ(st.st_mtim.tv_nsec == 5, name != QByteArray("a.txt")) << name;
    }
    EXPECT_FALSE(side.digest(walk->place(), "link")) << "a link's digest is not its file's";
}

// A folder held is listed whole each time through its descriptor, and the
// walk asks which file system it is on once, not at every folder.
TEST_F(FolderSideTest, ListsAFolderAgainWholeAndAsksItsFileSystemOnce) {
    static int asked = 0;
    static unsigned long (*const real)(int) = fileSystemTypeOf;
    fileSystemTypeOf = [](int fd) { return ++asked, real(fd); };
    FilterSettings all;
    all.showSubfolders = 1;
    for (int round = 0; round < 2; ++round) {
        for (const char* below : {"sub", "empty", "sub"}) {
            EXPECT_TRUE(walk->enter(below));
            EXPECT_EQ(side.list(walk->place(), path(below) + '/', all, {}).count(),
                      below[0] == 's');
            EXPECT_TRUE(walk->leave());
        }
        EXPECT_EQ(side.list(walk->place(), top + '/', all, {}).count(), 7) << "round " << round;
    }
    fileSystemTypeOf = real;
    EXPECT_EQ(asked, 1);
}

TEST_F(FolderSideTest, ComparesContentsReadHereOrByDigest) {
    ElsewhereSide elsewhere;
    const struct {
        const char *a, *b;
        ContentVerdict verdict;
    } cases[] = {
        {"a.txt", "b.txt", ContentVerdict::Equal},
        {"a.txt", "c.txt", ContentVerdict::Differ},
        {"a.txt", "d.txt", ContentVerdict::Differ},
        {"a.txt", "link", ContentVerdict::Unreadable},
        {"a.txt", "missing", ContentVerdict::Unreadable},
    };
    const std::atomic<bool> never{false};
    for (FolderSide* other :
         {static_cast<FolderSide*>(&side), static_cast<FolderSide*>(&elsewhere)})
        for (const auto& c : cases)
            EXPECT_EQ(
                compareSideFiles({side, walk->place()}, c.a, {*other, walk->place()}, c.b, never),
                c.verdict)
                << c.a << " " << c.b << (other == &side ? " here" : " by digest");
}

TEST_F(FolderSideTest, DeletesAndTrashesAndTakesBack) {
    const SidePlace here = walk->place();
    EXPECT_TRUE(side.remove(here, "c.txt", path("c.txt")).ok());
    EXPECT_TRUE(side.remove(here, "link", path("link")).ok());
    EXPECT_TRUE(side.remove(here, "empty", path("empty")).ok());
    EXPECT_FALSE(side.remove(here, "sub", path("sub")).ok()) << "a folder that holds files stays";
    EXPECT_FALSE(present("c.txt") || present("link") || present("empty"));
    EXPECT_TRUE(present("a.txt"));

    TrashEntry file, folder;
    ASSERT_TRUE(side.trash(here, "a.txt", path("a.txt"), file).ok());
    ASSERT_TRUE(side.trash(here, "sub", path("sub"), folder).ok());
    EXPECT_FALSE(present("a.txt") || present("sub"));
    EXPECT_TRUE(side.restore(file).ok());
    EXPECT_TRUE(side.restore(folder).ok());
    EXPECT_EQ(tree.read(QStringLiteral("a.txt")), "same bytes");
    EXPECT_EQ(tree.read(QStringLiteral("sub/inner.txt")), "inner");
}

TEST_F(FolderSideTest, CopiesAtThePlacesHeldNotAtTheirPaths) {
    const std::unique_ptr<SideWalk> in = side.walk();
    ASSERT_TRUE(in->openTop(top, false) && in->enter("sub"));
    // Another folder put at the name once the walk stands in it.
    ASSERT_EQ(::rename(path("sub").constData(), path("moved").constData()), 0);
    tree.write(QStringLiteral("sub/inner.txt"), "planted");

    CopyOptions options;
    ASSERT_TRUE(lendPlaces(options, {side, in->place(), path("sub")}, {side, walk->place(), top}));
    ASSERT_TRUE(copyFile({path("sub"), "inner.txt"}, {top, "copy.txt"}, Existing::Keep, options));
    EXPECT_EQ(tree.read(QStringLiteral("copy.txt")), "inner");
}

TEST_F(FolderSideTest, APasteWithASideElsewhereTakesNothingFromItsPathsHere) {
    ScriptedPlatform platform;
    ScriptedHost host(platform);
    for (const int elsewhere : {0, 1})
        for (const char* name : {"a.txt", "sub"}) {
            Transfer t{{top, name}, name[0] == 's', path("empty"), true, false};
            t.sides[elsewhere] = std::make_shared<ElsewhereSide>();
            runTransfers(host, {t}, {});
            EXPECT_FALSE(present(QByteArray("empty/") + name)) << elsewhere << name;
        }
    ASSERT_EQ(platform.shown.size(), 4);
    for (const auto& shown : platform.shown)
        EXPECT_TRUE(shown.text.contains(QString::fromLocal8Bit(strerror(EREMOTE))));
}

TEST_F(FolderSideTest, AFolderToDeleteIsCountedAlikeHereAndThroughTheListingsElsewhere) {
    tree.write(QStringLiteral("sub/deeper/.two"), "two");
    ASSERT_EQ(::symlink("..", path("sub/deeper/up").constData()), 0);
    ScriptedPlatform platform; // each question answered No
    ScriptedHost host(platform);
    for (const auto& on :
         {std::shared_ptr<FolderSide>(), std::shared_ptr<FolderSide>(new ElsewhereSide)})
        EXPECT_FALSE(deleteFileAsked(host, {top, "sub"}, DeleteWay::Permanently, nullptr, true,
                                     nullptr, {on, top}));
    ASSERT_EQ(platform.shown.size(), 2);
    EXPECT_TRUE(platform.shown[0].text.endsWith(" 3 files in it?"))
        << platform.shown[0].text.toStdString();
    EXPECT_EQ(platform.shown[1].text, platform.shown[0].text);
}

TEST_F(FolderSideTest, UndoTakesACopyBackAsTheSideElsewhereToldIt) {
    UndoJournal journal;
    journal.begin(QStringLiteral("Paste"));
    journal.record({UndoStep::Kind::Copied, path("a.txt"), {}, {}, {}},
                   std::make_shared<ElsewhereSide>());
    journal.end();
    EXPECT_EQ(undoRecord(journal.takeLast(), {}), QStringList());
    EXPECT_FALSE(present("a.txt"));
    EXPECT_EQ(tree.trashed(), QByteArrayList()) << "the copy as it was made goes for good";
}

// This machine's side, noting the commands that change its folders.
class RecordingSide final : public LocalSide {
public:
    QByteArrayList calls;
    FsResult trash(const SidePlace& p, const QByteArray& name, const QByteArray& path,
                   TrashEntry& entry) override {
        calls << "trash " + name;
        return LocalSide::trash(p, name, path, entry);
    }
    FsResult restore(const TrashEntry& entry, bool replace) override {
        calls << "restore " + FileLocation::of(entry.originalPath).name;
        return LocalSide::restore(entry, replace);
    }
    FsResult removeFile(const SidePlace& p, const QByteArray& name, const QByteArray& path,
                        struct stat* left) override {
        calls << "removeFile " + name;
        return LocalSide::removeFile(p, name, path, left);
    }
    bool makeFolder(const SidePlace& p, const QByteArray& name, mode_t mode) override {
        calls << "makeFolder " + name;
        return LocalSide::makeFolder(p, name, mode);
    }
    bool rename(const SidePlace& from, const QByteArray& name, const SidePlace& to,
                const QByteArray& as) override {
        calls << "rename " + name;
        return LocalSide::rename(from, name, to, as);
    }
};

TEST_F(FolderSideTest, AFlattenedRowIsDeletedOrRenamedThroughItsSideNeverThroughALink) {
    const struct {
        int command;          // to the Trash, for good, renamed
        bool swapped;         // its folder moved away once it was chosen, a link left for it
        QByteArrayList calls; // the command's, then its Undo's
    } cases[] = {{0, false, {"trash inner.txt", "restore inner.txt"}},
                 {1, false, {"removeFile inner.txt"}},
                 {2, false, {"rename inner.txt", "rename renamed.txt"}},
                 {0, true, {}},
                 {1, true, {}},
                 {2, true, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.command) + (c.swapped ? " swapped" : ""));
        const FileLocation file{path("sub"), "inner.txt"};
        const FileIdentity chosen = *FileIdentity::of(file.path());
        if (c.swapped) {
            ASSERT_TRUE(::rename(path("sub").constData(), path("moved").constData()) == 0 &&
                        ::symlink("moved", path("sub").constData()) == 0);
        }
        const auto recording = std::make_shared<RecordingSide>();
        ScriptedPlatform platform;
        platform.answers = {Answer::Yes};
        ScriptedHost host(platform);
        UndoJournal journal;
        journal.begin(QStringLiteral("Command"));
        EXPECT_EQ(c.command == 2 ? renameInFolder(file, QStringLiteral("renamed.txt"), &journal,
                                                  &chosen, {recording, top})
                                       .ok()
                                 : deleteFileAsked(host, file, DeleteWay(c.command), &journal,
                                                   false, &chosen, {recording, top}),
                  !c.swapped);
        journal.end();
        EXPECT_TRUE(!journal.canUndo() || undoRecord(journal.takeLast(), {}).isEmpty());
        EXPECT_EQ(recording->calls, c.calls);
        EXPECT_EQ(tree.read(QString::fromLatin1(c.swapped ? "moved/inner.txt" : "sub/inner.txt")),
                  c.command == 1 && !c.swapped ? QByteArray() : QByteArray("inner"));
        ::unlink(path("sub").constData()); // the link, where one was put
        ASSERT_TRUE(!c.swapped ||
                    ::rename(path("moved").constData(), path("sub").constData()) == 0);
        tree.write(QStringLiteral("sub/inner.txt"), "inner");
    }
}

using SideSync = SyncTrees;

TEST_F(SideSync, DeletesCopiesAndUndoesThroughTheSidesOfTheRun) {
    const struct {
        DeleteWay way;
        QByteArrayList calls; // on the destination, the run's then its Undo's
    } cases[] = {
        {DeleteWay::ToTrash,
         {"trash x.txt", "trash alone_right.txt", "makeFolder lonedir", "restore differs.txt",
          "removeFile alone_left.txt", "restore alone_right.txt", "restore x.txt"}},
        {DeleteWay::Permanently,
         {"removeFile x.txt", "removeFile alone_right.txt", "makeFolder lonedir"}},
    };
    for (const auto& c : cases) {
        dest.write(QStringLiteral("rightdir/hidden.o"), "kept by the filters");
        const SyncPlan p = plan(SyncMode::Mirror);
        const auto left = std::make_shared<RecordingSide>(),
                   right = std::make_shared<RecordingSide>();
        ScriptedPlatform platform;
        ScriptedHost host(platform);
        UndoJournal journal;
        runSyncPlan(host, p, c.way, &journal, left, right);
        EXPECT_EQ(dest.read(QStringLiteral("rightdir/hidden.o")), "kept by the filters");
        if (journal.canUndo()) {
            EXPECT_EQ(undoRecord(journal.takeLast(), {}), QStringList());
        }
        right->calls.removeIf([](const QByteArray& call) {
            return !QByteArrayList{"x.txt", "alone_left.txt", "alone_right.txt", "differs.txt",
                                   "lonedir"}
                        .contains(call.split(' ').last());
        });
        EXPECT_EQ(right->calls, c.calls);
        EXPECT_EQ(left->calls, QByteArrayList());
        for (const TempTree* t : {&source, &dest}) // the trees as they were, for the next way
            ASSERT_TRUE(QDir(t->path()).removeRecursively() && QDir().mkpath(t->path()));
        SetUp();
    }
}

} // namespace
