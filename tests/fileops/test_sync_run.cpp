#include "fileops/plan_walk.h"
#include "fileops/sync_run.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"
#include "sync/sync_plan.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime early(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC);
const QDateTime later = early.addSecs(3600);

QByteArray bytes(const TempTree& t, const char* name = "") {
    return QFile::encodeName(t.path()) + (*name ? QByteArray("/") + name : QByteArray());
}

SyncPlan plan(const TempTree& s, const TempTree& d, SyncMode mode, bool contents = false,
              bool filtered = false) {
    TreeOptions options;
    options.contents = contents;
    options.filters.fileTypes = filtered ? QStringLiteral("*.txt") : QStringLiteral("*.*");
    options.filters.excludeNames = filtered ? QStringLiteral("cache") : QString();
    return planSync(bytes(s), bytes(d), mode, options);
}

// The run's outcomes, and the texts of the messages it showed.
std::vector<SyncOutcome> run(const SyncPlan& p, DeleteWay way = DeleteWay::Permanently,
                             QStringList* shown = nullptr) {
    ScriptedPlatform platform;
    ScriptedHost host(platform);
    const std::vector<SyncOutcome> outcomes = runSyncPlan(host, p, way);
    QStringList none;
    for (const auto& m : platform.shown)
        (shown ? *shown : none) << m.text;
    return outcomes;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every entry of a tree, itself included: kind, contents or link target, time to the nanosecond.
std::map<QString, QString> entries(const QString& top) {
    std::map<QString, QString> all;
    QDirIterator it(top, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    for (QString path = top; !path.isEmpty(); path = it.hasNext() ? it.next() : QString()) {
        struct stat st {};
        EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0);
        const QString name = path.mid(top.size() + 1);
        const QFileInfo f(path);
        char to[256] = {};
        all[name] = (f.isSymLink() && ::readlink(QFile::encodeName(path), to, 255) > 0
                         ? QStringLiteral("-> ") + QString::fromUtf8(to)
                     : f.isDir()  ? QStringLiteral("/")
                     : f.isFile() ? QString::fromUtf8(contents(path))
                                  : QStringLiteral("special")) +
                    QStringLiteral(" @%1.%2").arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
    }
    return all;
}

TEST(SyncRun, AFolderSwappedForALinkBeforeEachKindOfStepLeavesWhatTheLinkLeadsToAlone) {
    // D/sub is replaced by a link to a folder outside both trees (or by that
    // folder itself) right before the run reaches it; that folder holds
    // files as the plan saw D/sub's.
    struct Case {
        const char* kind;
        SyncMode mode;
        DeleteWay way;
        bool moved = false;
    };
    const Case cases[] = {
        {"copy", SyncMode::UpdateDestination, DeleteWay::ToTrash},
        {"replace", SyncMode::Mirror, DeleteWay::ToTrash},
        {"delete to the Trash", SyncMode::Mirror, DeleteWay::ToTrash},
        {"delete for good", SyncMode::Mirror, DeleteWay::Permanently},
        {"delete for good, another folder", SyncMode::Mirror, DeleteWay::Permanently, true},
    };
    for (const Case& c : cases) {
        TempTree s, d, outside;
        if (QByteArray(c.kind) == "copy") {
            s.write(QStringLiteral("sub/new"), "new", early);
            d.mkdir(QStringLiteral("sub"));
        } else if (QByteArray(c.kind) == "replace") {
            s.write(QStringLiteral("sub/f"), "newer", later);
            d.write(QStringLiteral("sub/f"), "old", early);
            outside.write(QStringLiteral("f"), "old", early);
        } else {
            s.mkdir(QStringLiteral("sub"));
            d.write(QStringLiteral("sub/extra"), "extra", early);
            outside.write(QStringLiteral("extra"), "extra", early);
        }
        const SyncPlan p = plan(s, d, c.mode);
        ASSERT_EQ(p.entries.size(), 1u) << c.kind;
        const auto before = entries(outside.path());
        bool swapped = false;
        PlanWalker::beforeReachForTests() = [&](const QByteArray& top, QByteArrayView folder) {
            if (swapped || top != bytes(d) + '/' || folder != "sub")
                return;
            swapped = ::rename(bytes(d, "sub"), bytes(d, "sub.real")) == 0 &&
                      (c.moved ? ::rename(bytes(outside), bytes(d, "sub"))
                               : ::symlink(bytes(outside), bytes(d, "sub"))) == 0;
        };
        QStringList shown;
        EXPECT_EQ(run(p, c.way, &shown), std::vector{SyncOutcome::Changed}) << c.kind;
        PlanWalker::beforeReachForTests() = nullptr;
        EXPECT_TRUE(swapped) << c.kind;
        EXPECT_EQ(entries(c.moved ? d.filePath(QStringLiteral("sub")) : outside.path()), before)
            << c.kind;
        EXPECT_TRUE(shown.size() == 1 &&
                    shown[0].endsWith('\n' + QFile::decodeName(bytes(d, "sub"))))
            << shown.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(d.trashed().isEmpty() && outside.trashed().isEmpty()) << c.kind;
    }
}

TEST(SyncRun, MirrorCopiesLinksAsLinksAndConvergesWithoutWritingThroughOne) {
    TempTree s, d, outside;
    outside.write(QStringLiteral("target"), "theirs", early);
    s.write(QStringLiteral("f"), "file", early);
    d.write(QStringLiteral("f"), "file", early);
    s.write(QStringLiteral("sub/in"), "in", early);
    ASSERT_EQ(::symlink("f", bytes(s, "to_file")), 0);
    ASSERT_EQ(::symlink("sub", bytes(s, "to_folder")), 0);
    ASSERT_EQ(::symlink("f", bytes(s, "same_target")), 0);
    ASSERT_EQ(::symlink("f", bytes(d, "same_target")), 0); // made at another time
    const struct timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, bytes(d, "same_target"), old, AT_SYMLINK_NOFOLLOW), 0);
    s.write(QStringLiteral("was_link"), "mine", early);
    ASSERT_EQ(::symlink(bytes(outside, "target"), bytes(d, "was_link")), 0);

    const SyncPlan first = plan(s, d, SyncMode::Mirror, true);
    // sub/, to_file, to_folder, was_link: not same_target, whose link's own time alone differs.
    EXPECT_EQ(syncSummary(first), QStringLiteral("4 → 5 bytes"));
    const auto target = entries(outside.path());
    QStringList shown;
    EXPECT_EQ(run(first, DeleteWay::Permanently, &shown),
              std::vector<SyncOutcome>(first.entries.size(), SyncOutcome::Done));
    EXPECT_TRUE(shown.isEmpty()) << shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(entries(d.path()), entries(s.path()))
        << "links as links, was_link a file, times included";
    EXPECT_EQ(entries(outside.path()), target);
    EXPECT_EQ(syncSummary(plan(s, d, SyncMode::Mirror, true)), QStringLiteral("nothing to do"));
}

TEST(SyncRun, MirrorMakesDestinationExactlySourceTimesIncluded) {
    TempTree s, d;
    // Same contents at other times (with the content rule), a copy, a
    // deletion, folders whose times the run moves or that differ already, and
    // a folder taking a deleted file's name, whose freed inode it may get.
    s.write(QStringLiteral("a/same"), "abc", early);
    d.write(QStringLiteral("a/same"), "abc", later);
    s.write(QStringLiteral("a/b/new"), "new", early);
    d.write(QStringLiteral("a/b/kept"), "k", early);
    s.write(QStringLiteral("a/b/kept"), "k", early);
    s.write(QStringLiteral("top"), "t", early);
    d.write(QStringLiteral("top"), "t", early);
    s.write(QStringLiteral("clash/in"), "folder here", early);
    d.write(QStringLiteral("clash"), "file", early);
    const SyncPlan p = plan(s, d, SyncMode::Mirror, true);
    EXPECT_EQ(run(p), std::vector<SyncOutcome>(p.entries.size(), SyncOutcome::Done));
    EXPECT_EQ(entries(d.path()), entries(s.path()));
    EXPECT_EQ(syncSummary(plan(s, d, SyncMode::Mirror, true)), QStringLiteral("nothing to do"));
}

TEST(SyncRun, AFolderDeletedWholeHoldsNothingTheFiltersHide) {
    // What a filter hides in a folder alone in Destination (mirror), or in
    // one deleted from Source since the last two-way run.
    struct Case {
        const char* what;
        std::function<void(TempTree&)> add;
    };
    const Case cases[] = {
        {"hidden", [](TempTree& t) { t.write(QStringLiteral("dir/.hidden.txt"), "h"); }},
        {"excluded", [](TempTree& t) { t.write(QStringLiteral("dir/sub/cache/keep.txt"), "k"); }},
        {"pattern", [](TempTree& t) { t.write(QStringLiteral("dir/notes.md"), "n"); }},
        {"fifo", [](TempTree& t) { ::mkfifo(QFile::encodeName(t.filePath("dir/p.txt")), 0600); }},
        {"empty folder", [](TempTree& t) { t.mkdir(QStringLiteral("dir/empty")); }},
    };
    for (const Case& c : cases) {
        const bool empty = QByteArray(c.what) == "empty folder";
        TempTree s, d;
        d.write(QStringLiteral("dir/shown.txt"), "s", early);
        c.add(d);
        const SyncPlan mirror = plan(s, d, SyncMode::Mirror, false, true);
        ASSERT_EQ(mirror.entries.size(), 1u);
        EXPECT_EQ(mirror.note.contains(QLatin1String("dir/")), !empty) << c.what;
        const auto before = entries(d.path());
        EXPECT_EQ(run(mirror), std::vector{SyncOutcome::Done}) << c.what;
        EXPECT_EQ(QFileInfo::exists(d.filePath(QStringLiteral("dir"))), !empty) << c.what;
        EXPECT_FALSE(QFileInfo::exists(d.filePath(QStringLiteral("dir/shown.txt")))) << c.what;
        EXPECT_EQ(entries(d.path()).size(), empty ? 1 : before.size() - 1) << c.what;

        // Two-way: the state knew dir/shown.txt on both sides; Source's dir went since.
        TempTree a, b;
        for (TempTree* t : {&a, &b})
            for (const QString& name : {QStringLiteral("dir/shown.txt"), QStringLiteral("top.txt")})
                t->write(name, "s", early); // top.txt: Source not emptied, which two-way refuses
        run(plan(a, b, SyncMode::TwoWay, false, true));
        ASSERT_TRUE(QDir(a.filePath(QStringLiteral("dir"))).removeRecursively());
        c.add(b);
        const SyncPlan twoWay = plan(a, b, SyncMode::TwoWay, false, true);
        ASSERT_EQ(twoWay.entries.size(), 1u) << c.what;
        EXPECT_EQ(twoWay.entries[0].action, SyncAction::Conflict) << c.what;
    }
}

} // namespace
