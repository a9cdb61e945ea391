#include "base/message_style.h"
#include "fileops/transfer_run.h"
#include "fileops/tree_transfer.h"
#include "fileops/undo_journal.h"
#include "fs/folder_chain.h"
#include "support/file_faults.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct stat lstatOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

QByteArray linkText(const QString& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return QByteArray(buffer, n > 0 ? int(n) : 0);
}

// Every entry below `top`: type and mode, time, and the data or where a link
// leads; a folder's time too when `folderTimes`.
QStringList snapshot(const QString& top, bool folderTimes = true) {
    QStringList out;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const struct stat st = lstatOf(path);
        QString line = path.mid(top.size()) + QString::number(st.st_mode, 8);
        if (!S_ISDIR(st.st_mode) || folderTimes)
            line += QStringLiteral(" %1.%2").arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
        if (S_ISLNK(st.st_mode))
            line += " -> " + QFile::decodeName(linkText(path));
        QFile f(path);
        if (S_ISREG(st.st_mode) && f.open(QIODevice::ReadOnly))
            line += " " + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex();
        out << line;
    }
    out.sort();
    return out;
}

class FolderCopyTest : public ::testing::Test {
protected:
    FolderCopyTest() {
        const timespec t[2] = {{1000000000, 5}, {1000000000, 123456789}};
        source.write("top/a.txt", "a", QDateTime::fromSecsSinceEpoch(1600000000));
        source.write("top/sub/b.bin", QByteArray(300000, 'b'));
        source.write("top/sub/deep/c", "c");
        source.mkdir("top/empty");
        ::symlink("../a.txt", QFile::encodeName(source.filePath("top/sub/link")).constData());
        for (const char* folder : {"top/empty", "top/sub/deep", "top/sub", "top"})
            ::utimensat(AT_FDCWD, QFile::encodeName(source.filePath(folder)).constData(), t, 0);
        ::chmod(QFile::encodeName(source.filePath("top/empty")).constData(), 0750);
    }
    // Pastes `name` of the source tree into `into` as one command.
    void paste(const QString& name, const QString& into, bool move = false,
               const CopyOptions& options = {}) {
        journal.begin(QStringLiteral("Paste"));
        Transfer t{source.at(name.toUtf8()), true, QFile::encodeName(into), true, move};
        t.keepReplaced = true;
        t.journal = &journal;
        runTransfers(host, {t}, options);
        journal.end();
    }
    QList<int> styles() const { return platform.styles(); }

    ScriptedPlatform platform;
    ScriptedHost host{platform};
    UndoJournal journal;
    TempTree source, dest;
};

TEST_F(FolderCopyTest, CopiesATreeWholeMergesIntoACopyAndUndoTakesBothBack) {
    ::mkfifo(QFile::encodeName(source.filePath("top/sub/fifo")).constData(), 0600);
    ::mkfifo(QFile::encodeName(source.filePath("top/fifo")).constData(), 0600);
    paste("top", dest.path());
    ASSERT_EQ(styles(), QList<int>({64})) << "one message for both special files";
    EXPECT_TRUE(platform.shown[0].text.contains(source.filePath("top/sub/fifo")));
    QStringList copied = snapshot(source.filePath("top"));
    copied.removeIf([](const QString& line) { return line.contains("fifo"); });
    EXPECT_EQ(snapshot(dest.filePath("top")), copied) << "modes, times, data and links";
    QProcess diff;
    diff.start("diff", {"-r", "--no-dereference", "-x", "fifo", source.filePath("top"),
                        dest.filePath("top")});
    ASSERT_TRUE(diff.waitForFinished());
    EXPECT_EQ(diff.exitCode(), 0) << diff.readAllStandardOutput().toStdString();
    EXPECT_EQ(journal.undoTitle(), "Paste of 4 Files");

    // A partial copy, partly changed: every file there is asked about.
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_FALSE(QFile::exists(dest.filePath("top")));
    EXPECT_EQ(dest.trashed(), QByteArrayList()) << "copies as they were made go for good";
    dest.write("top/sub/b.bin", "old b");
    dest.write("top/a.txt", "old a");
    dest.write("top/mine.txt", "kept");
    const QStringList before = snapshot(dest.path(), false);
    platform.shown.clear();
    platform.answers = {Answer::No, Answer::YesToAll};
    paste("top", dest.path());
    EXPECT_EQ(styles(), QList<int>({39, 39, 64})) << "and again one for the special files";
    EXPECT_EQ(dest.read("top/a.txt"), "old a");
    EXPECT_EQ(dest.read("top/sub/b.bin").size(), 300000);
    EXPECT_EQ(dest.read("top/mine.txt"), "kept");
    EXPECT_EQ(dest.read("top/sub/deep/c"), "c");
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_EQ(snapshot(dest.path(), false), before) << "the replaced file back, the rest gone";
    EXPECT_EQ(dest.trashed(), QByteArrayList({QByteArray(300000, 'b')})) << "the replacing copy";
}

TEST_F(FolderCopyTest, AFolderNeverGoesIntoItselfAndEscapeLeavesOnlyWholeFiles) {
    ::symlink(QFile::encodeName(source.filePath("top/sub")).constData(),
              QFile::encodeName(dest.filePath("elsewhere")).constData());
    for (const QString& into : {source.filePath("top"), dest.filePath("elsewhere/deep")}) {
        platform.shown.clear();
        paste("top", into);
        ASSERT_EQ(styles(), QList<int>({16})) << into.toStdString();
        EXPECT_TRUE(platform.shown[0].text.contains("cannot be put into itself"));
    }
    EXPECT_FALSE(QFile::exists(source.filePath("top/sub/deep/top")));

    for (int i = 0; i < 30; ++i)
        source.write(QStringLiteral("top/many/f%1").arg(i), QByteArray(100000, char('A' + i % 26)));
    TreePlan plan;
    ASSERT_TRUE(planTree(QFile::encodeName(source.filePath("top")), plan).ok());
    EXPECT_EQ(plan.files, 34);
    qint64 files = 0;
    TreeRun run;
    run.cancelled = [&files] { return files >= 12; }; // Escape during the twelfth file
    run.advanced = [&files](qint64 f, qint64) { files += f; };
    Transfer t{source.at("top"), true, QFile::encodeName(dest.path()), true, false};
    EXPECT_EQ(transferFolder(host, t, plan, {}, run), AfterFile::GoOn);
    int copied = 0;
    QDirIterator it(dest.filePath("top"), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next(), name = path.mid(dest.path().size() + 1);
        EXPECT_FALSE(path.contains(".duoscope-")) << "no temporary left";
        const struct stat st = lstatOf(path);
        if (S_ISREG(st.st_mode)) {
            EXPECT_EQ(dest.read(name), source.read(name)) << name.toStdString();
        }
        copied += !S_ISDIR(st.st_mode);
    }
    EXPECT_EQ(copied, 12) << "Escape during the twelfth: each one whole, none after";
    EXPECT_EQ(lstatOf(dest.filePath("top")).st_mtim.tv_nsec,
              lstatOf(source.filePath("top")).st_mtim.tv_nsec)
        << "a folder left unfinished is still given its time";

    // Into a bind mount of a folder below: ".." from there leaves the tree,
    // the plan's folders do not.
    dest.mkdir("bound");
    const QByteArray bound = QFile::encodeName(dest.filePath("bound"));
    if (::mount(QFile::encodeName(source.filePath("top/sub")).constData(), bound.constData(),
                nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not allowed here";
    const std::shared_ptr<void> unmount(
        nullptr, [&bound](void*) { ::umount2(bound.constData(), MNT_DETACH); });
    for (const bool move : {false, true}) {
        platform.shown.clear();
        paste("top", dest.filePath("bound"), move);
        EXPECT_EQ(styles(), QList<int>({16}));
        EXPECT_FALSE(QFile::exists(source.filePath("top/sub/top")));
    }
}

TEST_F(FolderCopyTest, CutMovesWhatIsSafeAndLeavesWhatFailedWhereItWas) {
    dest.write("top/sub/deep/c", "read-only");
    ::chmod(QFile::encodeName(dest.filePath("top/sub/deep/c")).constData(), 0444);
    platform.answers = {Answer::Yes};
    paste("top", dest.path(), true);
    EXPECT_EQ(styles(), QList<int>({36, 16})) << "the last file asked, then refused: read-only";
    EXPECT_EQ(dest.read("top/sub/deep/c"), "read-only");
    EXPECT_EQ(dest.read("top/sub/b.bin").size(), 300000);
    QStringList left;
    QDirIterator it(source.filePath("top"), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        left << it.next().mid(source.path().size());
    left.sort();
    EXPECT_EQ(left, QStringList({"/top/sub", "/top/sub/deep", "/top/sub/deep/c"}))
        << "the emptied folders went, those still holding a file stay";
    EXPECT_EQ(QFile::symLinkTarget(dest.filePath("top/sub/link")), dest.filePath("top/a.txt"));

    // To a free name on one file system: one rename, and Undo puts it back.
    source.write("second/x", "x");
    const ino_t inode = lstatOf(source.filePath("second")).st_ino;
    paste("second", dest.path(), true);
    EXPECT_EQ(lstatOf(dest.filePath("second")).st_ino, inode);
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_EQ(source.read("second/x"), "x");
    // Across file systems file by file; Undo makes the emptied folders again.
    TempTree other(QStringLiteral("/dev/shm"));
    source.write("second/in/y", "y");
    const QStringList before = snapshot(source.filePath("second"), false);
    paste("second", other.path(), true);
    EXPECT_EQ(other.read("second/in/y"), "y");
    EXPECT_FALSE(QFile::exists(source.filePath("second")));
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_EQ(snapshot(source.filePath("second"), false), before);
    EXPECT_FALSE(QFile::exists(other.filePath("second")));
    // A folder is renamed as a file is, never over another.
    EXPECT_TRUE(renameInFolder(source.at("second"), "third").ok());
    EXPECT_EQ(renameInFolder(source.at("third"), "top").error().number(), EEXIST);
    EXPECT_EQ(source.read("third/in/y"), "y");
}

// Across file systems a Cut flushes the copies of a batch once, then removes
// their sources: none goes before its copy is on disk, or once it changed.
TEST_F(FolderCopyTest, ACutAcrossFileSystemsFlushesOnceAndRemovesNoSourceBeforeIt) {
    TempTree other(QStringLiteral("/dev/shm"));
    const QStringList before = snapshot(source.filePath("top"), false);
    const auto log = std::make_shared<QByteArray>();
    // The flush fails: every source stays, the copies are told and Undo takes them back.
    paste("top", other.path(), true, loggedFlushes(log, 1));
    EXPECT_EQ(*log, "d") << "one flush for the whole tree";
    EXPECT_EQ(snapshot(source.filePath("top"), false), before);
    EXPECT_EQ(styles(), QList<int>({17, 17, 17, 16})) << "three files and a link kept";
    EXPECT_EQ(other.read("top/sub/b.bin").size(), 300000);
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_FALSE(QFile::exists(other.filePath("top")));
    // A source written to after its copy was made, before the flush: kept, the rest moved.
    log->clear();
    platform.shown.clear();
    paste("top", other.path(), true,
          loggedFlushes(log, 0, [&] { source.write("top/sub/b.bin", "changed"); }));
    EXPECT_EQ(*log, "d");
    EXPECT_EQ(source.read("top/sub/b.bin"), "changed");
    EXPECT_EQ(other.read("top/sub/b.bin").size(), 300000);
    EXPECT_FALSE(QFile::exists(source.filePath("top/a.txt")) ||
                 QFile::exists(source.filePath("top/sub/link")));
    ASSERT_EQ(styles(), QList<int>({17}));
    EXPECT_TRUE(platform.shown[0].text.contains("it is kept, and so is the copy"));
}

TEST_F(FolderCopyTest, DeleteAsksOnceWithTheCountAndTheTrashGivesTheTreeBack) {
    const QStringList before = snapshot(source.filePath("top"));
    platform.answers = {Answer::Yes, Answer::Yes};
    journal.begin(QStringLiteral("Delete"));
    EXPECT_TRUE(deleteFileAsked(host, source.at("top"), DeleteWay::ToTrash, &journal, true));
    journal.end();
    ASSERT_EQ(styles(), QList<int>({292}));
    EXPECT_EQ(platform.shown[0].text, "Are you sure you want to delete " + source.filePath("top") +
                                          " and the 4 files in it?");
    EXPECT_FALSE(QFile::exists(source.filePath("top")));
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_EQ(snapshot(source.filePath("top")), before);

    dest.write("outside", "stays");
    ::symlink(QFile::encodeName(dest.filePath("outside")).constData(),
              QFile::encodeName(source.filePath("top/sub/deep/out")).constData());
    EXPECT_TRUE(deleteFileAsked(host, source.at("top"), DeleteWay::Permanently, &journal, true));
    EXPECT_FALSE(QFile::exists(source.filePath("top")));
    EXPECT_EQ(dest.read("outside"), "stays") << "a link inside goes, not what it leads to";
    EXPECT_FALSE(journal.canUndo());

    source.mkdir("empty");
    platform.shown.clear();
    deleteFileAsked(host, source.at("empty"), DeleteWay::Permanently, &journal, true);
    EXPECT_EQ(platform.shown[0].text,
              "Are you sure you want to delete " + source.filePath("empty") + "?");
}

TEST_F(FolderCopyTest, FilesWithSeveralNamesInATreeKeepOneCopyWithAllItsNames) {
    TempTree other(QStringLiteral("/dev/shm"));
    for (const char* name : {"top/sub/h2", "top/sub/deep/h3"})
        ::link(QFile::encodeName(source.filePath("top/a.txt")).constData(),
               QFile::encodeName(source.filePath(name)).constData());
    for (const auto& [into, move] : {std::pair{dest.path(), false}, {other.path(), true}}) {
        SCOPED_TRACE(move ? "cut across file systems" : "copy");
        paste("top", into, move);
        const QDir d(into);
        const struct stat first = lstatOf(d.filePath("top/a.txt"));
        EXPECT_EQ(first.st_nlink, 3u);
        for (const char* name : {"top/sub/h2", "top/sub/deep/h3"})
            EXPECT_EQ(lstatOf(d.filePath(name)).st_ino, first.st_ino) << name;
        EXPECT_EQ(QFile(d.filePath("top/sub/h2")).size(), 1);
    }
    EXPECT_FALSE(QFile::exists(source.filePath("top"))) << "every name moved";
    ASSERT_TRUE(undoRecord(journal.takeLast(), {}).isEmpty());
    EXPECT_EQ(source.read("top/sub/deep/h3"), "a") << "and back";
}

TEST_F(FolderCopyTest, AFolderThatCannotBeEnteredIsToldOnceAndACutLeavesIt) {
    // As a user the folder's mode applies to (root enters any folder).
    const auto asUser = [this](bool move, const QString& into) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(100);
            paste("top", into, move);
            const bool told = styles() == QList<int>({16}) &&
                              platform.shown[0].text.startsWith("1 folder could not be read") &&
                              platform.shown[0].text.contains(source.filePath("top/sub"));
            ::_exit(told ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TempTree other(QStringLiteral("/dev/shm"));
    for (const QString& top : {source.path(), dest.path(), other.path()}) {
        QProcess::execute("chown", {"-R", "65534:65534", top});
        ::chmod(QFile::encodeName(top).constData(), 0755);
    }
    ::chmod(QFile::encodeName(source.filePath("top/sub")).constData(), 0444); // read, not enter
    for (const auto& [into, move] : {std::pair{dest.path(), false}, {other.path(), true}}) {
        SCOPED_TRACE(move ? "cut across file systems" : "copy");
        EXPECT_EQ(asUser(move, into), 0) << "one message, with the count and the folder";
        EXPECT_TRUE(QFile::exists(into + "/top/a.txt"));
        EXPECT_FALSE(QFile::exists(into + "/top/sub/b.bin"));
    }
    EXPECT_EQ(source.read("top/sub/b.bin").size(), 300000) << "what the cut could not reach stays";
    EXPECT_FALSE(QFile::exists(source.filePath("top/a.txt")));
}

// Each command that walks a tree, with a subfolder swapped for a link to a
// folder outside once the command has planned and is about to enter it.
TEST_F(FolderCopyTest, AFolderSwappedForALinkMidCommandIsNeverEntered) {
    TempTree other(QStringLiteral("/dev/shm"));
    struct Case {
        const char* command;
        std::function<void()> run;
        QString reached; // where the outside folder's file would end up
    };
    const std::vector<Case> cases = {
        {"copy", [&] { paste("top", dest.path()); }, dest.filePath("top/sub/secret")},
        {"cut across file systems", [&] { paste("top", other.path(), true); },
         other.filePath("top/sub/secret")},
        {"delete permanently",
         [&] {
             platform.answers = {Answer::Yes};
             deleteFileAsked(host, source.at("top"), DeleteWay::Permanently, nullptr, true);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        TempTree outside;
        outside.write("secret", "not yours");
        outside.write("deep/c", "not yours either");
        const QStringList before = snapshot(outside.path());
        int entered = 0;
        FolderChain::beforeEnterForTests() = [&](int, const QByteArray& name) {
            if (name != "sub" || ++entered != 2) // the first time is the plan's
                return;
            ::rename(QFile::encodeName(source.filePath("top/sub")).constData(),
                     QFile::encodeName(source.filePath("sub.orig")).constData());
            ::symlink(QFile::encodeName(outside.path()).constData(),
                      QFile::encodeName(source.filePath("top/sub")).constData());
        };
        platform.shown.clear();
        c.run();
        FolderChain::beforeEnterForTests() = nullptr;
        EXPECT_EQ(entered, 2);
        EXPECT_EQ(snapshot(outside.path()), before) << "the outside folder untouched";
        if (!c.reached.isEmpty()) {
            EXPECT_FALSE(QFile::exists(c.reached)) << "nothing of it copied";
        }
        ASSERT_FALSE(platform.shown.isEmpty()) << "the changed folder is told";
        EXPECT_TRUE(platform.shown.back().text.contains(source.filePath("top/sub")))
            << platform.shown.back().text.toStdString();
        // The tree as it was, for the next command.
        QDir(source.filePath("top")).removeRecursively();
        QDir(dest.filePath("top")).removeRecursively();
        QDir(other.filePath("top")).removeRecursively();
        ::unlink(QFile::encodeName(source.filePath("top/sub")).constData());
        source.write("top/a.txt", "a");
        ::rename(QFile::encodeName(source.filePath("sub.orig")).constData(),
                 QFile::encodeName(source.filePath("top/sub")).constData());
    }
}

} // namespace
