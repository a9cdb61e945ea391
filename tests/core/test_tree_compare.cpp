#include "compare/content_check.h"
#include "compare/flat_rows.h"
#include "compare/reading_pool.h"
#include "compare/tree_compare.h"
#include "support/temp_tree.h"

#include <QFile>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QDateTime when(QDate(2022, 2, 2), QTime(2, 2, 2), Qt::UTC);

// What a walk tells, row by row: each row's final status by its path (a
// folder's ending with "/"; short paths only), the folders told unreadable,
// and the deepest row.
struct Told : TreeRows {
    void row(const FolderRows& rows, qsizetype r, const QByteArray& path, bool below) override {
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        QByteArray name =
            path + (i >= 0 ? rows.source.fileName(i) : rows.destination.fileName(j)).toByteArray();
        if ((i >= 0 && rows.source.isFolder(i)) || (j >= 0 && rows.destination.isFolder(j)))
            name += '/';
        depth = std::max(depth, qsizetype(name.count('/')));
        if (below)
            open.push_back(name);
        else if (name.size() < 256)
            status[name] = rows.status(r);
    }
    void settled(const FolderRows& rows, qsizetype r, const QByteArray&) override {
        if (open.back().size() < 256)
            status[open.back()] = rows.status(r);
        open.pop_back();
    }
    void unreadable(const QByteArray& path, int) override { unreadables.push_back(path); }
    std::map<QByteArray, RowStatus> status;
    std::vector<QByteArray> open, unreadables;
    qsizetype depth = 0;
};

// The flattened rows as a view takes them while the walk goes: after every
// step the walk tells.
struct Streamed : TreeRows {
    void take() {
        const FlatFeed::Batch batch = feed.take();
        batch.apply([&](qsizetype at, qsizetype first,
                        qsizetype count) { insertRows(rows, at, batch.rows, first, count); },
                    [&](qsizetype at, RowStatus status) { rows.setStatus(at, status); });
    }
    void listed(const FolderRows& r, const QByteArray& path) override {
        feed.listed(r, path);
        take();
    }
    void row(const FolderRows& r, qsizetype i, const QByteArray& path, bool below) override {
        feed.row(r, i, path, below);
        take();
    }
    void settled(const FolderRows& r, qsizetype i, const QByteArray& path) override {
        feed.settled(r, i, path);
        take();
    }
    void unreadable(const QByteArray&, int) override {}
    FlatFeed feed;
    FolderRows rows;
};

// "source|destination status" a row, "-" for a placeholder.
QByteArray lines(const FolderRows& rows) {
    QByteArray out;
    for (qsizetype r = 0; r < rows.count(); ++r) {
        const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
        out += (i >= 0 ? rows.source.fileName(i).toByteArray() : "-") + '|' +
               (j >= 0 ? rows.destination.fileName(j).toByteArray() : "-") + ' ' +
               rowStatusKey(rows.status(r)).toLatin1() + '\n';
    }
    return out;
}

class Trees : public ::testing::Test {
protected:
    // What `f` gives in a child process of an unprivileged user (even when
    // the test runs as root), who cannot read a folder of mode 0.
    static QByteArray unprivileged(const std::function<QByteArray()>& f) {
        int out[2];
        if (::pipe(out) != 0)
            return "no pipe";
        const pid_t child = ::fork();
        if (child == 0) {
            if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(100);
            const QByteArray told = f();
            ::_exit(::write(out[1], told.constData(), size_t(told.size())) == told.size() ? 0 : 1);
        }
        ::close(out[1]);
        QByteArray told;
        char buffer[4096];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
            told.append(buffer, n);
        ::close(out[0]);
        ::waitpid(child, nullptr, 0);
        return told;
    }
    // The same files on both sides.
    void both(const QString& name, const QByteArray& content = "x") {
        source.write(name, content, when);
        dest.write(name, content, when);
    }
    QByteArray path(const TempTree& t, const QString& name = {}) const {
        return QFile::encodeName(t.filePath(name));
    }
    RowStatus compare(const QString& below = {}) const {
        return compareTrees(path(source, below), path(dest, below), options);
    }
    Told walk() const {
        Told told;
        walkTrees(path(source), path(dest), options, told);
        return told;
    }
    TempTree source, dest;
    TreeOptions options;
};

TEST_F(Trees, ADifferenceAnywhereBelowUnderThePanesFiltersAndOnlyThere) {
    const QString deep = QStringLiteral("a/b/c/");
    for (const char* name : {"top.txt", "a/one.txt", "a/b/two.txt", "a/b/c/three.txt"})
        both(QString::fromLatin1(name), name);
    source.mkdir(QStringLiteral("a/b/c/empty"));
    dest.mkdir(QStringLiteral("a/b/c/empty"));
    EXPECT_EQ(compare(), RowStatus::Same);
    // Contents three levels down: same size and time, other bytes.
    dest.write(deep + "three.txt", "a/b/c/three.txX", when);
    EXPECT_EQ(compare(), RowStatus::Same);
    options.contents = true;
    EXPECT_EQ(compare(), RowStatus::Differs);
    options.contents = false;
    dest.write(deep + "three.txt", "a/b/c/three.txt", when);

    // Hidden entries and names the pattern leaves out count only when shown.
    source.write(deep + ".hidden");
    source.mkdir(deep + ".hidden-folder");
    source.write(deep + "extra.doc");
    options.filters.fileTypes = QStringLiteral("*.txt");
    EXPECT_EQ(compare(), RowStatus::Same);
    options.filters.showHidden = 1;
    EXPECT_EQ(compare(), RowStatus::Differs);
    options.filters = {};
    options.filters.fileTypes = QStringLiteral("*.txt");
    source.mkdir(deep + "extra.doc.d"); // a folder, whatever the pattern
    EXPECT_EQ(compare(), RowStatus::Differs);
    ::rmdir(path(source, deep + "extra.doc.d"));

    // Exclusions leave out a folder and all below it, by name anywhere or by
    // path from the top; a folder row's tree has its own folder as that path's start.
    source.write(deep + "node_modules/m.js");
    source.write(QStringLiteral("a/b/gen/x.o"));
    options.filters.excludeNames = QStringLiteral("node_modules; a/b/gen");
    EXPECT_EQ(compare(), RowStatus::Same);
    EXPECT_EQ(compare(QStringLiteral("a")), RowStatus::Differs) << "a/b/gen is not b/gen below a";
    options.relativeTop = "a/";
    EXPECT_EQ(compare(QStringLiteral("a")), RowStatus::Same);
    options.relativeTop.clear();
    options.filters.excludeNames = QStringLiteral("node_modules");
    EXPECT_EQ(compare(), RowStatus::Differs);
    options.filters.excludeNames.clear();
    ::unlink(path(source, QStringLiteral("a/b/gen/x.o")));
    ::rmdir(path(source, QStringLiteral("a/b/gen")));
    EXPECT_EQ(compare(), RowStatus::Differs);
    options.filters.excludeNames = QStringLiteral("node_modules");

    // Names that differ in case are two names, a folder's as a file's.
    dest.write(deep + "Three.txt", "a/b/c/three.txt", when);
    ::unlink(path(dest, deep + "three.txt"));
    EXPECT_EQ(compare(), RowStatus::Differs);
    ::rename(path(dest, deep + "Three.txt"), path(dest, deep + "three.txt"));
    ::rename(path(dest, deep + "empty"), path(dest, deep + "Empty"));
    EXPECT_EQ(compare(), RowStatus::Differs);
    ::rename(path(dest, deep + "Empty"), path(dest, deep + "empty"));

    // Thirty levels deep, on the checker's worker as the window runs it.
    QString thirty;
    for (int level = 0; level < 30; ++level)
        thirty += QStringLiteral("d%1/").arg(level);
    both(thirty + "end.txt");
    ContentChecker checker;
    auto verdict = [&checker, this](std::vector<ContentChecker::Pair> pairs) {
        std::promise<ContentVerdict> got;
        checker.start(
            std::move(pairs), [&](qsizetype, ContentVerdict v, qsizetype) { got.set_value(v); },
            options.filters);
        const ContentVerdict v = got.get_future().get();
        checker.cancel();
        return v;
    };
    const ContentChecker::Pair top{0, path(source), path(dest), true};
    EXPECT_EQ(verdict({top}), ContentVerdict::Equal);
    source.write(deep + "gen.o");
    options.filters.excludeNames = QStringLiteral("node_modules;a/b/c/gen.o"); // from the pane
    EXPECT_EQ(
        verdict({{0, path(source, QStringLiteral("a")), path(dest, QStringLiteral("a")), true}}),
        ContentVerdict::Equal);
    ::unlink(path(source, deep + "gen.o"));
    EXPECT_GE(checker.foldersWalked(), 35);
    dest.write(thirty + "end.txt", "y", when.addSecs(10));
    EXPECT_EQ(verdict({top}), ContentVerdict::Differ);
    source.write(QStringLiteral("0.txt"), "x", when.addSecs(5)); // found before going down
    const qint64 walked = checker.foldersWalked();
    EXPECT_EQ(verdict({top}), ContentVerdict::Differ);
    EXPECT_EQ(checker.foldersWalked(), walked + 1) << "the first difference ends the walk";
}

// The shapes of real release trees, a folder down: each pair's status and
// the tree's, by the stats alone and by contents, under the time rule.
TEST_F(Trees, ContentsDecideSameAndTheTimeRuleDecidesWhichIsNewer) {
    struct Shape {
        const char* what;
        QByteArray destContent;
        qint64 destShift;
        TimeRule rule;
        RowStatus byStats, byContents;
    };
    using S = RowStatus;
    const Shape shapes[] = {
        {"same size and time, other contents", "y", 0, {}, S::Same, S::Differs},
        {"same contents, another day", "x", 86400, {}, S::DestinationNewer, S::SameContents},
        {"other contents, another day", "y", -86400, {}, S::SourceNewer, S::SourceNewer},
        {"a 1 s shift within the tolerance", "x", 1, {}, S::Same, S::Same},
        {"a 1 s shift, no tolerance", "x", 1, {0, false}, S::DestinationNewer, S::SameContents},
        {"an hour's shift", "x", -3600, {}, S::SourceNewer, S::SameContents},
        {"an hour's shift ignored", "x", 3600, {2, true}, S::Same, S::Same},
        {"an hour and a minute", "x", 3660, {2, true}, S::DestinationNewer, S::SameContents},
    };
    for (const Shape& shape : shapes) {
        source.write(QStringLiteral("pkg/lib/f.js"), "x", when);
        dest.write(QStringLiteral("pkg/lib/f.js"), shape.destContent,
                   when.addSecs(shape.destShift));
        options.filters.times = shape.rule;
        for (const bool contents : {false, true}) {
            options.contents = contents;
            const RowStatus file = contents ? shape.byContents : shape.byStats;
            const RowStatus tree = isDifference(file) ? S::Differs : file;
            EXPECT_EQ(compare(), tree) << shape.what << (contents ? " by contents" : "");
            const Told told = walk();
            EXPECT_TRUE(told.status.at("pkg/") == tree && told.status.at("pkg/lib/f.js") == file)
                << shape.what << (contents ? " by contents" : "");
        }
    }
}

TEST_F(Trees, LinksLoopsUnreadableAndChangingFoldersNeitherHangNorStopTheWalk) {
    both(QStringLiteral("a/file"));
    source.mkdir(QStringLiteral("e"));
    dest.mkdir(QStringLiteral("e"));
    // Links are compared as links, by their targets, never followed: a loop
    // through the parent, a link to itself, and links to a folder that
    // differs inside.
    auto link = [this](const TempTree& t, const char* target, const char* name) {
        const timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
        return ::symlink(target, path(t, name)) == 0 &&
               ::utimensat(AT_FDCWD, path(t, name), times, AT_SYMLINK_NOFOLLOW) == 0;
    };
    for (const TempTree* t : {&source, &dest})
        ASSERT_TRUE(link(*t, "..", "a/up") && link(*t, "self", "a/self"));
    ASSERT_TRUE(link(source, "e", "link") && link(dest, "e", "link"));
    options.filters.showSystem = 1; // the link to itself leads nowhere: listed
    EXPECT_EQ(compare(), RowStatus::Same) << "the links' targets agree";
    EXPECT_EQ(compareTrees(path(source, "link"), path(dest, "link"), options), RowStatus::Same);
    ::unlink(path(dest, "link"));
    ASSERT_TRUE(link(dest, "a/", "link"));
    EXPECT_EQ(compare(), RowStatus::Differs);
    ::unlink(path(dest, "link"));
    ASSERT_TRUE(link(dest, "e", "link"));
    source.write(QStringLiteral("e/f"), "file", when); // a file as long as the link, as old
    ASSERT_TRUE(link(dest, "file", "e/f"));
    EXPECT_EQ(compare(QStringLiteral("e")), RowStatus::Differs);
    ::unlink(path(source, "e/f"));
    ::unlink(path(dest, "e/f"));

    // A folder replaced by a file while the walk is on its way down.
    both(QStringLiteral("a/sub/deeper/f"));
    options.beforeEntering = [&](const QByteArray& s, const QByteArray&) {
        if (s.endsWith("/sub/")) {
            ::unlink(s + "deeper/f");
            ::rmdir(s + "deeper");
            ::rmdir(s);
            QFile(QString::fromUtf8(s.chopped(1))).open(QIODevice::WriteOnly);
        }
    };
    EXPECT_EQ(compare(), RowStatus::Differs);
    options.beforeEntering = nullptr;
    ::unlink(path(source, "a/sub"));
    both(QStringLiteral("a/sub/deeper/f"));
    EXPECT_EQ(compare(), RowStatus::Same);

    // A folder that cannot be read, by an unprivileged user even when the
    // test runs as root: the walk says so unless it finds a difference.
    source.mkdir(QStringLiteral("locked"));
    dest.mkdir(QStringLiteral("locked"));
    for (const char* folder : {"", "a", "e"}) {
        ::chmod(path(source, folder), 0755);
        ::chmod(path(dest, folder), 0755);
    }
    ASSERT_EQ(::chmod(path(dest, "locked"), 0), 0);
    const auto status = [this] { return rowStatusKey(compare()).toLatin1(); };
    EXPECT_EQ(unprivileged(status), "unreadable");
    source.write(QStringLiteral("z-only-here"));
    EXPECT_EQ(unprivileged(status), "differs");
    ::chmod(path(dest, "locked"), 0700);

    std::atomic<bool> cancel{true};
    options.cancel = &cancel;
    EXPECT_THROW(compare(), ScanCancelled);
}

TEST_F(Trees, AThousandLevelsDeepPairIsWalkedWithAFewDescriptors) {
    QString deep;
    for (int i = 0; i < 1000; ++i)
        deep += QStringLiteral("d/");
    both(deep + "leaf", "same");
    dest.write(deep + "leaf", "other", when);
    struct rlimit was {};
    ::getrlimit(RLIMIT_NOFILE, &was);
    struct rlimit low = was;
    low.rlim_cur = 256;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const RowStatus status = compare();
    Told told;
    EXPECT_NO_THROW(told = walk());
    ::setrlimit(RLIMIT_NOFILE, &was);
    EXPECT_EQ(status, RowStatus::Differs) << "the leaf reached";
    EXPECT_TRUE(told.status["d/"] == RowStatus::Differs && told.depth == 1000);
}

// Ten thousand levels: no path reaches the leaves, and the walk goes far
// deeper than an ordinary thread's stack would carry it.
TEST_F(Trees, ATenThousandLevelsDeepPairIsWalkedToItsLeaves) {
    for (TempTree* t : {&source, &dest}) {
        int at = ::open(path(*t).constData(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < 10000 && at >= 0; ++i) {
            ::mkdirat(at, "d", 0755);
            const int next = ::openat(at, "d", O_RDONLY | O_DIRECTORY);
            ::close(at);
            at = next;
        }
        const int fd = ::openat(at, "leaf", O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_GT(::write(fd, t == &source ? "a" : "bb", t == &source ? 1 : 2), 0);
        ::close(fd);
        ::close(at);
    }
    EXPECT_EQ(compare(), RowStatus::Differs) << "the leaf reached";
    EXPECT_EQ(walk().depth, 10000);
}

// The rows a view takes while the walk goes are the whole list's, in its
// order: pairs that cannot be read put in between rows given before them, a
// lone folder's status settled once the walk has tried it.
TEST_F(Trees, FlatRowsTakenAsTheWalkGoesAreTheWholeListInItsOrder) {
    both(QStringLiteral("a/x.txt"));
    both(QStringLiteral("a/b/c/d/deep.txt"));
    source.write(QStringLiteral("a/b/new.txt"), "n", when);
    source.write(QStringLiteral("lone/inner/f"), "f", when);
    source.mkdir(QStringLiteral("kind"));
    dest.write(QStringLiteral("kind"), "a file", when);
    both(QStringLiteral("m/z.txt"));
    source.mkdir(QStringLiteral("m/solo"));
    for (const char* locked : {"m/p", "m/q"}) {
        both(QLatin1String(locked) + QStringLiteral("/f"));
        ::chmod(path(dest, locked), 0);
    }
    for (const TempTree* t : {&source, &dest})
        ::chmod(path(*t), 0755);
    // Alone, and with Destination's folders listed ahead on a thread beside.
    const QByteArray told = unprivileged([this] {
        const QByteArray whole = lines(*flattenTrees(path(source), path(dest), options));
        ReadingQueue lister;
        for (ReadingQueue* beside : {static_cast<ReadingQueue*>(nullptr), &lister}) {
            Streamed streamed;
            options.lister = beside;
            walkTrees(path(source), path(dest), options, streamed);
            if (lines(streamed.rows) != whole)
                return "taken:\n" + lines(streamed.rows);
        }
        return whole;
    });
    ::chmod(path(dest, "m/p"), 0700);
    ::chmod(path(dest, "m/q"), 0700);
    EXPECT_EQ(told, "kind|- source-only\n"
                    "lone|- source-only\n"
                    "-|kind destination-only\n"
                    "a/x.txt|a/x.txt same\n"
                    "a/b/new.txt|- source-only\n"
                    "a/b/c/d/deep.txt|a/b/c/d/deep.txt same\n"
                    "m/p|m/p unreadable\n"
                    "m/q|m/q unreadable\n"
                    "m/solo|- source-only\n"
                    "m/z.txt|m/z.txt same\n");
}

// A Destination folder listed ahead of the walk and put elsewhere before
// the walk enters its name is not taken for the folder found there.
TEST_F(Trees, AFolderListedAheadIsTakenOnlyIfItIsTheOneEntered) {
    both(QStringLiteral("a/f"));
    both(QStringLiteral("b/f"));
    dest.write(QStringLiteral("c/new"), "n", when);
    ReadingQueue lister;
    options.lister = &lister;
    options.beforeEntering = [&](const QByteArray& s, const QByteArray&) {
        if (s.endsWith("/a/")) {
            lister.wait(lister.add([] {})); // the level's folders listed
            ::rename(path(dest, QStringLiteral("b")), path(dest, QStringLiteral("old")));
            ::rename(path(dest, QStringLiteral("c")), path(dest, QStringLiteral("b")));
        }
    };
    const Told told = walk();
    EXPECT_EQ(told.status.count("b/new"), 1u) << "b/f: " << int(told.status.at("b/f"));
}

// A walk that reads its levels' files on threads beside, a few dozen pairs
// to a part, gives every pair its own verdict, in folders of one part and
// of several, each with differences in every part.
TEST_F(Trees, PairsReadInPartsOnThreadsBesideEachTakeTheirOwnVerdict) {
    // Told by the files' names, each its own in the trees.
    struct Late : Told {
        bool takesLateStatuses() const override { return true; }
        void decided(const FolderRows& rows, const std::vector<qsizetype>& which) override {
            for (const qsizetype r : which)
                late[rows.source.fileName(rows.entry(r, Side::Source)).toByteArray()] =
                    rows.status(r);
        }
        std::map<QByteArray, RowStatus> late;
    };
    // Enough rows that the walk reads beside itself after the first folders.
    std::map<QByteArray, RowStatus> expected;
    for (int folder = 0; folder < 30; ++folder) {
        for (int f = 0; f < 40 + 9 * folder; ++f) {
            const QString name = QStringLiteral("%1-%2").arg(folder).arg(f);
            const bool differs = (7 * f + folder) % 23 == 0;
            const QString path = QStringLiteral("x/d%1/").arg(folder) + name;
            source.write(path, "bytes" + QByteArray::number(f), when);
            dest.write(path, (differs ? "BYTES" : "bytes") + QByteArray::number(f), when);
            expected[name.toUtf8()] = differs ? RowStatus::Differs : RowStatus::Same;
        }
    }
    options.contents = true;
    Late told;
    walkTrees(path(source), path(dest), options, told);
    std::map<QByteArray, RowStatus> got = told.late;
    for (const auto& [path, status] : told.status) {
        if (!path.endsWith('/')) // told with its status, decided before the rows went out
            got.emplace(path.mid(path.lastIndexOf('/') + 1), status);
    }
    EXPECT_GT(told.late.size(), 1000u);
    EXPECT_EQ(got, expected);
}

} // namespace
