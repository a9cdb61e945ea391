#include "fileops/file_copy.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"
#include "fs/folder_chain.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every entry below `top`, by its path.
QStringList listed(const QString& top) {
    QStringList out;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    out.sort();
    return out;
}

class UndoTest : public ::testing::Test {
protected:
    QByteArray at(const char* name) const { return QFile::encodeName(tree.path()) + '/' + name; }
    bool present(const char* name) const { return FileIdentity::of(at(name)).has_value(); }
    QStringList undoLast() { return undoRecord(journal.takeLast(), {}); }
    TempTree tree;
    UndoJournal journal;
};

TEST_F(UndoTest, EachKindOfStepIsTakenBackLastFirst) {
    journal.begin(QStringLiteral("Paste"));
    journal.end();
    EXPECT_FALSE(journal.canUndo()) << "a command that changed nothing leaves no record";
    tree.write(QStringLiteral("new.txt"), "copy");
    tree.write(QStringLiteral("replaced.txt"), "old");
    tree.write(QStringLiteral("renamed.txt"), "r");
    tree.write(QStringLiteral("gone.txt"), "g");
    tree.write(QStringLiteral("twice.txt"), "1");

    journal.begin(QStringLiteral("Paste"));
    journal.record({UndoStep::Kind::Copied, at("new.txt"), {}, {}, {}});
    TrashEntry old;
    ASSERT_TRUE(Trash::linkIntoTrash(at("replaced.txt"), old).ok());
    tree.write(QStringLiteral(".tmp"), "replacement");
    ASSERT_EQ(::rename(at(".tmp").constData(), at("replaced.txt").constData()), 0);
    journal.record({UndoStep::Kind::Replaced, at("replaced.txt"), {}, {}, old});
    ASSERT_EQ(::rename(at("renamed.txt").constData(), at("other.txt").constData()), 0);
    journal.record({UndoStep::Kind::Renamed, at("other.txt"), at("renamed.txt"), {}, {}});
    TrashEntry deleted;
    ASSERT_TRUE(Trash::moveToTrash(at("gone.txt"), deleted).ok());
    journal.record({UndoStep::Kind::Trashed, {}, at("gone.txt"), {}, deleted});
    // Moved twice in one command: undone in the reverse order it lands home.
    ASSERT_EQ(::rename(at("twice.txt").constData(), at("b.txt").constData()), 0);
    journal.record({UndoStep::Kind::Moved, at("b.txt"), at("twice.txt"), {}, {}});
    ASSERT_EQ(::rename(at("b.txt").constData(), at("c.txt").constData()), 0);
    journal.record({UndoStep::Kind::Moved, at("c.txt"), at("b.txt"), {}, {}});
    journal.end();
    ASSERT_EQ(journal.undoTitle(), QStringLiteral("Paste of 6 Files"));

    EXPECT_EQ(undoLast(), QStringList());
    EXPECT_FALSE(present("new.txt"));
    EXPECT_EQ(tree.read(QStringLiteral("replaced.txt")), "old");
    EXPECT_EQ(tree.read(QStringLiteral("renamed.txt")), "r");
    EXPECT_EQ(tree.read(QStringLiteral("gone.txt")), "g");
    EXPECT_EQ(tree.read(QStringLiteral("twice.txt")), "1");
    EXPECT_FALSE(present("other.txt") || present("b.txt") || present("c.txt"));
    EXPECT_EQ(tree.trashed(), QByteArrayList({"replacement"})) << "a fresh copy goes for good";
    EXPECT_FALSE(journal.canUndo());
}

TEST_F(UndoTest, NeverDestroysWhatItDidNotMake) {
    for (const char* name : {"copy.txt", "same.txt", "inplace.txt", "pasted/a.txt", "moved.txt"})
        tree.write(QString::fromLatin1(name), "made");
    journal.begin(QStringLiteral("Paste"));
    for (const char* name : {"copy.txt", "same.txt", "inplace.txt"})
        journal.record({UndoStep::Kind::Copied, at(name), {}, {}, {}});
    journal.record({UndoStep::Kind::Moved, at("moved.txt"), at("back.txt"), {}, {}});
    journal.record({UndoStep::Kind::FolderMade, at("pasted"), {}, {}, {}});
    journal.record({UndoStep::Kind::Copied, at("pasted/a.txt"), {}, {}, {}});
    journal.end();
    tree.write(QStringLiteral("copy.txt"), "edited by another program");
    // Rewritten in place at the same size within the same second: only the
    // nanoseconds tell.
    const timespec made = FileIdentity::of(at("same.txt"))->modified;
    tree.write(QStringLiteral("same.txt"), "mine");
    const timespec times[2] = {{0, UTIME_OMIT}, {made.tv_sec, (made.tv_nsec + 1) % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at("same.txt").constData(), times, 0), 0);
    // Rewritten in place with its size and time put back: only the change time tells.
    const FileIdentity before = *FileIdentity::of(at("inplace.txt"));
    const int fd = ::open(at("inplace.txt").constData(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, "MADE", 4, 0), 4);
    const timespec kept[2] = {{0, UTIME_OMIT}, before.modified};
    ASSERT_EQ(::futimens(fd, kept), 0);
    ::close(fd);
    ASSERT_EQ(FileIdentity::of(at("inplace.txt"))->modified.tv_nsec, before.modified.tv_nsec);
    tree.write(QStringLiteral("back.txt"), "someone else's");
    tree.write(QStringLiteral("pasted/saved.txt"), "saved into the pasted folder since");

    const QStringList left = undoLast();
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(left[0].contains(QStringLiteral("moved.txt")) &&
                left[0].contains(QStringLiteral("taken")));
    EXPECT_EQ(tree.trashed(), QByteArrayList({"edited by another program", "MADE", "mine"}))
        << "copies changed since go to the Trash, the others for good";
    EXPECT_FALSE(present("copy.txt") || present("same.txt") || present("inplace.txt") ||
                 present("pasted/a.txt"));
    EXPECT_EQ(tree.read(QStringLiteral("pasted/saved.txt")), "saved into the pasted folder since");
    EXPECT_EQ(tree.read(QStringLiteral("back.txt")), "someone else's");
    EXPECT_EQ(tree.read(QStringLiteral("moved.txt")), "made");
}

// A folder on a file's way back swapped for a link to a folder elsewhere
// since the command: Undo does nothing through it, and says so.
TEST_F(UndoTest, NothingGoesThroughAFolderSwappedForALinkSince) {
    struct Case {
        const char* step;
        UndoStep::Kind kind;
        const char *from, *to, *swapped; // the file's way, and the folder swapped
    };
    const Case cases[] = {
        {"renamed", UndoStep::Kind::Renamed, "dir/a", "dir/b", "dir"},
        {"moved, the folder it left swapped", UndoStep::Kind::Moved, "from/a", "to/a", "from"},
        {"moved, the folder it is in swapped", UndoStep::Kind::Moved, "from/a", "to/a", "to"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        TempTree outside;
        tree.write(QString::fromLatin1(c.from), "file");
        tree.mkdir(QFileInfo(QString::fromLatin1(c.to)).path());
        ASSERT_EQ(::rename(at(c.from).constData(), at(c.to).constData()), 0);
        journal.begin(QStringLiteral("Paste"));
        journal.record({c.kind, at(c.to), at(c.from), {}, {}});
        journal.end();
        // The folder now stands elsewhere, a link to it at its old name.
        const QByteArray moved = QFile::encodeName(outside.filePath(c.swapped));
        ASSERT_EQ(::rename(at(c.swapped).constData(), moved.constData()), 0);
        ASSERT_EQ(::symlink(moved.constData(), at(c.swapped).constData()), 0);
        const QStringList entries = listed(outside.path());

        const QStringList left = undoLast();
        EXPECT_EQ(left.size(), 1);
        EXPECT_TRUE(left.join("").contains("now a link")) << left.join("").toStdString();
        EXPECT_EQ(listed(outside.path()), entries) << "the link's target untouched";
        ASSERT_EQ(::unlink(at(c.swapped).constData()), 0);
        for (const char* folder : {"dir", "from", "to"})
            QDir(tree.filePath(QString::fromLatin1(folder))).removeRecursively();
    }
    // A link on the way when the command ran was the user's: Undo goes where it led then.
    tree.write(QStringLiteral("real/b"), "file");
    ASSERT_EQ(::symlink(at("real").constData(), at("via").constData()), 0);
    journal.begin(QStringLiteral("Rename"), false);
    journal.record({UndoStep::Kind::Renamed, at("via/b"), at("via/a"), {}, {}});
    journal.end();
    EXPECT_EQ(undoLast(), QStringList());
    EXPECT_EQ(tree.read(QStringLiteral("real/a")), "file");
}

// Walks the chain of folders "d" below `top` one at a time (its paths are
// longer than a path may be), having made `make` of them with a file "f" in
// the one halfway and another name of it in the deepest: how deep it goes,
// and its files "f".
std::pair<int, int> deepChain(const QByteArray& top, int make = 0) {
    if (make)
        ::mkdir(top.constData(), 0700);
    int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY), depth = 0, files = 0, file = -1;
    for (int below; fd >= 0; fd = below, ++depth) {
        if (depth < make)
            ::mkdirat(fd, "d", 0700);
        if (make && depth == make / 2)
            file = ::openat(fd, "f", O_WRONLY | O_CREAT, 0600);
        if (make && depth == make)
            ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(file)).c_str(), fd, "f",
                     AT_SYMLINK_FOLLOW);
        files += ::faccessat(fd, "f", F_OK, AT_SYMLINK_NOFOLLOW) == 0;
        below = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
    }
    ::close(file);
    return {depth - 1, files};
}

// A copy of a tree deeper than a path may be long, with few descriptors
// free: noted and taken back whole, a file's two names included, with a number of folders entered
// in proportion to its depth (each step's folder reached from the one before, not from the root).
TEST_F(UndoTest, ADeepTreesCopyIsTakenBackWholeEnteringEachFolderAFewTimes) {
    constexpr int depth = 3000;
    const QByteArray from = at("from"), into = at("into");
    ASSERT_TRUE(::mkdir(from.constData(), 0700) == 0 && ::mkdir(into.constData(), 0700) == 0);
    ASSERT_EQ(deepChain(from + "/top", depth), std::pair(depth, 2));
    rlimit was{};
    ::getrlimit(RLIMIT_NOFILE, &was);
    rlimit few = was;
    few.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &few), 0);
    qint64 entered = 0;
    FolderChain::beforeEnterForTests() = [&](int, const QByteArray&) { ++entered; };
    ScriptedPlatform platform;
    ScriptedHost host(platform);
    journal.begin(QStringLiteral("Paste"));
    Transfer t{{from, "top"}, true, into, true, false};
    t.journal = &journal;
    runTransfers(host, {t}, {});
    journal.end();
    const qint64 copying = std::exchange(entered, 0);
    const std::pair<int, int> copied = deepChain(into + "/top");
    const QStringList left = undoLast();
    FolderChain::beforeEnterForTests() = {};
    ::setrlimit(RLIMIT_NOFILE, &was);
    EXPECT_EQ(copied, std::pair(depth, 2));
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_TRUE(left.isEmpty()) << left.size()
                                << " left, the first: " << left.value(0).right(100).toStdString();
    EXPECT_FALSE(present("into/top"));
    EXPECT_EQ(tree.trashed(), QByteArrayList()) << "both names of the linked copy go for good";
    // The plan's walk and the copy's two, each entering the top from the folder held above it.
    EXPECT_TRUE(copying <= 3 * depth + 3 && entered <= 3 * depth) << copying << ", " << entered;
    QProcess::execute(QStringLiteral("rm"),
                      {QStringLiteral("-rf"), QFile::decodeName(from), QFile::decodeName(into)});
}

} // namespace
