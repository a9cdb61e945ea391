// The per-file steps: what a copy keeps, when a move removes its source, what a failure leaves.
#include "fileops/file_copy.h"
#include "fileops/transfer_run.h"
#include "fs/folder_scan.h"
#include "support/file_faults.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFileInfo>
#include <acl/libacl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/xattr.h>

namespace {

QStringList entries(const TempTree& t) {
    return QDir(t.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                    QDir::NoDotAndDotDot);
}

// The bytes of a file's path, for the system calls of the tests.
#define P(t, name) (t).at(name).path().constData()

struct stat statOf(const TempTree& t, const char* name) {
    struct stat st {};
    return ::lstat(P(t, name), &st), st;
}

int errorOf(const FsResult& r) {
    return r.ok() ? 0 : r.error().number();
}

// An extended attribute, the ACL among them ("system.posix_acl_access").
QByteArray attribute(const TempTree& t, const char* name, const char* key) {
    char value[256];
    const ssize_t n = ::getxattr(P(t, name), key, value, sizeof value);
    return QByteArray(value, std::max<ssize_t>(n, 0));
}

TEST(FileCopy, KeepsWhatCpAKeepsOnNewOldAndLinkedTargets) {
    const QByteArray big(3 << 20, 'q'); // more than one chunk either way, then a hole
    const QDateTime when(QDate(2020, 5, 6), QTime(7, 8, 9), Qt::UTC);
    const bool root = ::geteuid() == 0;
    // Data in 3/32 of the file, then in half of it, as a half-full disk image.
    for (const auto& [offload, length] : {std::pair{true, 32 << 20}, {false, 6 << 20}}) {
        TempTree t;
        t.write("src", big);
        const timespec times[2] = {{0, UTIME_OMIT}, {when.toSecsSinceEpoch(), 0}};
        ASSERT_EQ(::truncate(P(t, "src"), length) + ::utimensat(AT_FDCWD, P(t, "src"), times, 0),
                  0);
        // Another user's where the test may give it away, with an ACL narrower than its group.
        ASSERT_EQ((root ? ::chown(P(t, "src"), 4321, 4321) : 0) + ::chmod(P(t, "src"), 06760), 0);
        acl_t acl = ::acl_from_text("u::rw-,u:1234:rw-,g::r--,m::rw-,o::r--");
        ASSERT_EQ(::acl_set_file(P(t, "src"), ACL_TYPE_ACCESS, acl) +
                      ::setxattr(P(t, "src"), "user.note", "kept", 4, 0) + ::acl_free(acl),
                  0);
        t.write("old", "old");
        t.write("elsewhere", "not me");
        ASSERT_EQ(::link(P(t, "old"), P(t, "second")) + ::symlink("elsewhere", P(t, "link")), 0);
        CopyOptions o;
        o.offload = offload;
        // A refresh meanwhile leaves the temporary that the copy holds.
        FilterSettings all;
        all.showHidden = all.showSystem = 1;
        o.onChunk = [&t, &all] { listFiles(t.at("").folder, all); };
        for (const char* target : {"new", "old", "link"}) {
            ASSERT_TRUE(copyFile(t.at("src"), t.at(target), Existing::Replace, o).ok()) << target;
            const struct stat a = statOf(t, "src"), b = statOf(t, target);
            EXPECT_TRUE(t.read(target) == t.read("src")) << target;
            EXPECT_EQ(b.st_mode, a.st_mode)
                << target << ": a link is replaced, not written through";
            EXPECT_TRUE(b.st_uid == a.st_uid && b.st_gid == a.st_gid && b.st_size == a.st_size &&
                        b.st_blocks <= a.st_blocks + 64)
                << target << ": owner, holes";
            EXPECT_EQ(QFileInfo(t.filePath(target)).lastModified(), when) << target;
            const char* access = "system.posix_acl_access";
            EXPECT_EQ(attribute(t, target, access), attribute(t, "src", access)) << target;
            EXPECT_EQ(attribute(t, target, "user.note"), "kept") << target;
        }
        EXPECT_EQ(t.read("second"), "old") << "another name of a replaced file keeps its data";
        if (root) { // not allowed to give the copy away: the copier's, without the set-ID bits
            ASSERT_EQ(::chmod(P(t, ""), 0777), 0);
            ::setfsgid(65534), ::setfsuid(65534); // this thread only
            const bool copied = copyFile(t.at("src"), t.at("mine"), Existing::Keep, o).ok();
            ::setfsuid(0), ::setfsgid(0);
            EXPECT_TRUE(copied && statOf(t, "mine").st_uid == 65534 &&
                        (statOf(t, "mine").st_mode & 07777) == 0664);
        }
        EXPECT_EQ(entries(t).size(), 6u + root) << "no temporary left";
    }
    // A file without attributes into a folder whose default ACL a new file
    // takes: the copy has the source's mode and no ACL, as with cp -a.
    TempTree t;
    t.write("plain", "p");
    t.mkdir("shared");
    acl_t inherited = ::acl_from_text("u::rwx,u:1234:rwx,g::r-x,m::rwx,o::r-x");
    ASSERT_EQ(::chmod(P(t, "plain"), 0640) +
                  ::acl_set_file(P(t, "shared"), ACL_TYPE_DEFAULT, inherited) +
                  ::acl_free(inherited),
              0);
    ASSERT_TRUE(copyFile(t.at("plain"), t.at("shared/plain"), Existing::Keep).ok());
    EXPECT_EQ(statOf(t, "shared/plain").st_mode & 07777, 0640u);
    EXPECT_EQ(attribute(t, "shared/plain", "system.posix_acl_access"), "");
}

TEST(FileCopy, RefusesOrFailsWithoutTouchingEitherFile) {
    TempTree t;
    t.mkdir("dir");
    t.write("a", QByteArray(1 << 20, 'a'));
    t.write("ro", "read-only");
    ASSERT_EQ(::chmod(P(t, "ro"), 0444) + ::link(P(t, "a"), P(t, "hard")), 0);
    ASSERT_EQ(::symlink("a", P(t, "soft")) + ::mkfifo(P(t, "fifo"), 0600), 0);
    t.write("old", "old");
    CopyOptions appearing; // another program takes the free name while the copy runs
    appearing.onChunk = [&t] { t.write("late", "theirs"); };
    const std::tuple<const char*, const char*, int, Existing, CopyOptions> failing[] = {
        {"a", "old", ENOSPC, Existing::Replace, failingAfter(300000)},
        {"a", "new", ENOSPC, Existing::Replace, failingAfter(300000)},
        {"a", "old", EIO, Existing::Replace, loggedFlushes(std::make_shared<QByteArray>(), 1)},
        {"a", "old", EEXIST, Existing::Keep, {}},
        {"a", "late", EEXIST, Existing::Keep, appearing}};
    // Source, target, errno (EINVAL 22, EACCES 13, EISDIR 21, ENOENT 2): refused before a write.
    const char* refused[] = {"a a 22",    "a dir/../a 22", "a hard 22",  "a soft 22",
                             "soft a 22", "a ro 13",       "a dir 21",   "fifo new 22",
                             "a fifo 22", "gone new 2",    "a nodir/x 2"};
    for (const char* c : refused) {
        const QList<QByteArray> w = QByteArray(c).split(' ');
        EXPECT_EQ(errorOf(copyFile(t.at(w[0]), t.at(w[1]), Existing::Replace)), w[2].toInt()) << c;
    }
    for (const auto& [source, target, number, existing, options] : failing)
        EXPECT_EQ(errorOf(copyFile(t.at(source), t.at(target), existing, options)), number)
            << target;
    EXPECT_EQ(t.read("a"), QByteArray(1 << 20, 'a'));
    EXPECT_EQ(t.read("ro") + t.read("old") + t.read("late"), "read-onlyoldtheirs");
    EXPECT_EQ(entries(t), QStringList({"a", "dir", "fifo", "hard", "late", "old", "ro", "soft"}));
}

TEST(FileMove, TheSourceGoesOnlyOnceItsCopyAndFolderAreOnDiskAndItIsUnchanged) {
    TempTree t;
    const QByteArray data(300000, 'm');
    const auto log = std::make_shared<QByteArray>();
    const auto move = [&](const char* to, const CopyOptions& o, bool& copied) {
        log->clear();
        t.write("a", data);
        return moveFile(t.at("a"), t.at(to), Existing::Keep, o, copied);
    };
    bool copied = false;
    // Copied as across file systems: the copy, then its folder, on disk before the source goes.
    ASSERT_TRUE(move("b", loggedFlushes(log), copied).ok());
    EXPECT_TRUE(copied && *log == "fd" && t.read("b") == data &&
                !QFileInfo::exists(t.filePath("a")));
    // A flush that fails keeps the source.
    for (const int n : {1, 2})
        EXPECT_TRUE(!move(n == 1 ? "c" : "d", loggedFlushes(log, n), copied).ok() &&
                    t.read("a") == data);
    // Written to after its copy was made: kept beside the copy, in one message.
    const FsResult changed =
        move("e", loggedFlushes(log, 0, [&] { t.write("a", data + "new"); }), copied);
    ASSERT_FALSE(changed.ok());
    EXPECT_TRUE(copied && changed.error().reason().contains("it is kept, and so is the copy"));
    EXPECT_TRUE(t.read("a") == data + "new" && t.read("e") == data);
    EXPECT_EQ(entries(t), QStringList({"a", "b", "d", "e"}));
    // A copy within the folder that replaces nothing needs no flush; one that
    // replaces does, unless the replaced file is kept in the Trash.
    log->clear();
    for (const int kept : {0, 1}) {
        for (const Existing existing : {Existing::Keep, Existing::Replace}) {
            CopyOptions o = loggedFlushes(log);
            o.replacedKept = kept;
            EXPECT_TRUE(copyFile(t.at("a"), t.at(kept ? "g" : "f"), existing, o).ok());
            EXPECT_EQ(std::exchange(*log, {}), existing == Existing::Keep || kept ? "" : "fd");
        }
    }
    // A link: what arrives is the file it leads to, whole, which stays as it was.
    ASSERT_EQ(::symlink("b", P(t, "link")), 0);
    ASSERT_TRUE(moveFile(t.at("link"), t.at("arrived"), Existing::Keep, {}, copied).ok());
    EXPECT_TRUE(copied && S_ISREG(statOf(t, "arrived").st_mode) && t.read("arrived") == data);
    EXPECT_TRUE(t.read("b") == data && !QFileInfo::exists(t.filePath("link")));
    // A copy whose source is written to meanwhile is made again, once; never committed half new.
    int writes = 1;
    CopyOptions o;
    o.onChunk = [&] { writes-- > 0 ? t.write("b", t.read("b") + "more") : void(); };
    ASSERT_TRUE(copyFile(t.at("b"), t.at("e"), Existing::Replace, o).ok());
    EXPECT_EQ(t.read("e"), data + "more");
    writes = 2;
    EXPECT_EQ(errorOf(copyFile(t.at("b"), t.at("e"), Existing::Replace, o)), EAGAIN);
    EXPECT_EQ(t.read("e"), data + "more");
}

// Files replaced for good by one command: all flushed at once, each given up
// only to its own copy. Another program rewrites "b" just before the flush.
TEST(FileCopy, ACommandGivesUpTheFilesItReplacesOnlyOnceAllTheirCopiesAreOnDisk) {
    // Cases: the flush fails; Escape after the first file.
    const std::tuple<int, int, const char*> cases[] = {
        {0, 0, "new atheirsnew c"}, {1, 0, "oldtheirsold"}, {0, 1, "new atheirsold"}};
    for (const auto& [failing, stop, after] : cases) {
        TempTree t;
        ForAll replace = ForAll::Replace;
        std::vector<Transfer> files;
        for (const char* name : {"a", "b", "c"}) {
            t.write(name, "old");
            t.write(QStringLiteral("new/") + name, QByteArray("new ") + name);
            files.push_back({t.at(QByteArray("new/") + name), false, QFile::encodeName(t.path())});
            files.back().forAll = &replace;
        }
        const auto log = std::make_shared<QByteArray>();
        QByteArray atFlush;
        ScriptedPlatform platform;
        ScriptedHost host(platform);
        host.stopWhen = [&, stop = stop] { return stop && host.value >= 1; };
        runTransfers(host, files, loggedFlushes(log, failing, [&] {
                         atFlush = t.read("a") + t.read("b") + t.read("c");
                         t.write("b", "theirs");
                     }));
        EXPECT_EQ(*log, "d") << "one flush of the file system";
        EXPECT_EQ(atFlush, "oldoldold");
        EXPECT_EQ(t.read("a") + t.read("b") + t.read("c"), after);
        EXPECT_EQ(platform.shown.size(), failing ? 3 : 1 - stop) << "each file not replaced told";
        EXPECT_EQ(entries(t), QStringList({"a", "b", "c", "new"})) << "no temporary left";
    }
}

} // namespace
