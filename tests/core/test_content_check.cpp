#include "compare/content_check.h"
#include "fs/file_system_kind.h"
#include "fs/local_side.h"
#include "fs/unique_fd.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <xxhash.h>

namespace {

// Runs the pairs to their end and gives each row's verdict.
std::map<qsizetype, ContentVerdict> run(ContentChecker& checker,
                                        std::vector<ContentChecker::Pair> pairs) {
    std::map<qsizetype, ContentVerdict> verdicts;
    std::promise<void> finished;
    const qsizetype n = static_cast<qsizetype>(pairs.size());
    checker.start(std::move(pairs), [&](qsizetype row, ContentVerdict verdict, qsizetype done) {
        verdicts[row] = verdict;
        if (done == n)
            finished.set_value();
    });
    EXPECT_EQ(finished.get_future().wait_for(std::chrono::seconds(60)), std::future_status::ready);
    checker.cancel(); // joins the finished thread
    return verdicts;
}

// A cache in the test's own file that trusts files just written: the test
// moves a file's change time itself where it matters.
std::unique_ptr<DigestCache> cacheIn(const TempTree& home, qsizetype max = 1000) {
    auto cache = std::make_unique<DigestCache>(QFile::encodeName(home.filePath("digests")), max);
    cache->setSettleTime(0);
    return cache;
}

struct stat statOf(const QByteArray& path) {
    struct stat st {};
    ::stat(path.constData(), &st);
    return st;
}

TEST(ContentCheck, FindsTheLastByteAndReadsAFileAgainOnlyOnceChangedRestartsIncluded) {
    TempTree t, home;
    const QByteArray big(600 * 1024 + 7, 'x'); // more than two blocks, and a short one
    const QByteArray last = big.left(big.size() - 1) + 'y';
    const QDateTime when(QDate(2021, 1, 1), QTime(1, 1, 1), Qt::UTC);
    for (const auto& [name, content] : {std::pair{"a", big}, {"b", big}, {"c", last}})
        t.write(name, content, when);
    auto path = [&t](const char* name) { return QFile::encodeName(t.filePath(name)); };
    using V = ContentVerdict;
    const std::map<qsizetype, V> expected = {
        {0, V::Equal}, {1, V::Differ}, {2, V::Unreadable}, {3, V::Equal}};
    const std::vector<ContentChecker::Pair> pairs = {{0, path("a"), path("b")},
                                                     {1, path("a"), path("c")},
                                                     {2, path("a"), path("gone")},
                                                     {3, path("a"), path("a")}};
    {
        ContentChecker checker(cacheIn(home));
        EXPECT_EQ(run(checker, pairs), expected);
        EXPECT_EQ(checker.filesRead(), 3) << "a and b, then c: a's digest is known";
        EXPECT_EQ(run(checker, pairs), expected);
        EXPECT_EQ(checker.filesRead(), 3) << "nothing changed, nothing read";
    }
    {
        // Neither known: read side by side to the last byte, each its own digest kept.
        TempTree other;
        ContentChecker checker(cacheIn(other));
        EXPECT_EQ(run(checker, {{0, path("c"), path("a")}})[0], ContentVerdict::Differ);
        for (const auto& [name, content] : {std::pair{"a", big}, {"c", last}}) {
            const XXH128_hash_t h = XXH3_128bits(content.constData(), size_t(content.size()));
            EXPECT_TRUE(cacheIn(other)->find(contentKey(statOf(path(name)))) ==
                        ContentDigest({h.low64, h.high64}))
                << name;
        }
    }
    const QByteArray file = QFile::encodeName(home.filePath("digests"));
    const ino_t written = statOf(file).st_ino;
    {
        ContentChecker finding(cacheIn(home));
        EXPECT_EQ(run(finding, pairs), expected);
        EXPECT_EQ(finding.filesRead(), 0) << "the digests were kept on disk";
    }
    EXPECT_EQ(statOf(file).st_ino, written) << "a run that only finds digests writes nothing";
    ContentChecker restarted(cacheIn(home));

    // b rewritten in place with c's bytes, its size and time put back: only
    // its change time tells, and waiting for the clock to move it is enough.
    const struct stat before = statOf(path("b"));
    t.write("b", last, when);
    while (statOf(path("b")).st_ctim.tv_nsec == before.st_ctim.tv_nsec &&
           statOf(path("b")).st_ctim.tv_sec == before.st_ctim.tv_sec)
        t.write("b", last, when);
    EXPECT_EQ(run(restarted, pairs)[0], ContentVerdict::Differ);
    EXPECT_EQ(restarted.filesRead(), 1) << "b alone";
}

TEST(ContentCheck, ACacheFileNotWhollyOursIsIgnoredAndWrittenAnewAndTheOldestGoFirst) {
    TempTree t, home;
    const QDateTime when(QDate(2021, 1, 1), QTime(1, 1, 1), Qt::UTC);
    for (const char* name : {"a", "b", "c", "d"})
        t.write(QString::fromLatin1(name), "same", when);
    auto path = [&t](const char* name) { return QFile::encodeName(t.filePath(name)); };
    const QString file = home.filePath(QStringLiteral("digests"));
    auto check = [&](const char* x, const char* y, qsizetype max = 1000) {
        ContentChecker checker(cacheIn(home, max));
        const ContentVerdict v = run(checker, {{0, path(x), path(y)}})[0];
        return std::pair(v, checker.filesRead());
    };
    ASSERT_EQ(check("a", "b"), std::pair(ContentVerdict::Equal, qsizetype(2)));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    QByteArray flipped = good;
    flipped[24 + 48] = char(flipped[24 + 48] ^ 1); // a digest of the first entry
    const std::pair<const char*, QByteArray> damaged[] = {{"another program's", "[cache]\n"},
                                                          {"cut short", good.chopped(9)},
                                                          {"a digest changed", flipped},
                                                          {"empty", {}}};
    for (const auto& [what, bytes] : damaged) {
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        EXPECT_TRUE(cacheIn(home)->find(contentKey(statOf(path("a")))) == std::nullopt) << what;
        EXPECT_EQ(check("a", "b"), std::pair(ContentVerdict::Equal, qsizetype(2))) << what;
        EXPECT_EQ(check("a", "b"), std::pair(ContentVerdict::Equal, qsizetype(0)))
            << what << ": written anew";
    }
    // Two entries at most: c and d's run pushes out a and b, used longest ago.
    EXPECT_EQ(check("c", "d", 2).second, 2);
    const auto kept = cacheIn(home);
    EXPECT_TRUE(kept->find(contentKey(statOf(path("d")))) &&
                !kept->find(contentKey(statOf(path("a")))));
    EXPECT_EQ(kept->count(), 2);
}

// Digests added past the buffer go to a side file and come back merged; a
// new digest of a known identity replaces the old; past the limit, the
// entries used longest ago go; a file of the first format is read and kept.
TEST(ContentCheck, TheCacheKeepsWhatItSpillsReplacesByIdentityAndReadsItsFirstFormat) {
    TempTree home;
    const QByteArray file = QFile::encodeName(home.filePath(QStringLiteral("digests")));
    const auto key = [](std::uint64_t i) { return ContentKey{7, i, 4, 1, 1}; };
    const auto open = [&](qsizetype max) {
        auto cache = std::make_unique<DigestCache>(file, max, 3);
        cache->setSettleTime(0);
        return cache;
    };
    const auto found = [&](DigestCache& cache, std::uint64_t from, std::uint64_t to) {
        std::vector<std::uint64_t> digests;
        for (std::uint64_t i = from; i < to; ++i) {
            if (const std::optional<ContentDigest> d = cache.find(key(i)))
                digests.push_back(d->low);
        }
        return digests;
    };
    {
        const auto cache = open(100);
        for (std::uint64_t i = 0; i < 10; ++i)
            cache->insert(key(i), {i, 0}, realTimeNs());
        ASSERT_TRUE(cache->save());
        EXPECT_EQ(found(*cache, 0, 10), std::vector<std::uint64_t>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }
    {
        const auto cache = open(12);
        EXPECT_EQ(found(*cache, 0, 5).size(), 5u);
        for (std::uint64_t i : {10, 11, 12, 13, 14, 2})
            cache->insert(key(i), {i == 2 ? 22 : i, 0}, realTimeNs());
        ASSERT_TRUE(cache->save());
    }
    {
        const auto kept = open(100);
        EXPECT_EQ(kept->count(), 12);
        EXPECT_EQ(found(*kept, 0, 5), std::vector<std::uint64_t>({0, 1, 22, 3, 4}));
        EXPECT_EQ(found(*kept, 5, 10).size(), 2u) << "two of those used longest ago";
        EXPECT_EQ(found(*kept, 10, 15), std::vector<std::uint64_t>({10, 11, 12, 13, 14}));
    }
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("digests")});
    // The first format: a header, the entries, one checksum over both.
    struct Record {
        ContentKey id;
        std::uint64_t used, low, high;
    };
    const Record records[] = {{key(3), 1, 33, 0}, {key(1), 1, 11, 0}};
    QByteArray first("DSDIGS\0\1", 8);
    const std::uint64_t header[] = {5, 2};
    first.append(reinterpret_cast<const char*>(header), sizeof header);
    first.append(reinterpret_cast<const char*>(records), sizeof records);
    const std::uint64_t sum = XXH3_64bits(first.constData(), size_t(first.size()));
    first.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    QFile f(QFile::decodeName(file));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(first) > 0);
    f.close();
    const auto old = open(100);
    EXPECT_EQ(found(*old, 0, 5), std::vector<std::uint64_t>({11, 33}));
    ASSERT_TRUE(old->save());
    EXPECT_EQ(found(*open(100), 0, 5), std::vector<std::uint64_t>({11, 33})) << "saved anew";
}

// Digests added in a run are found again before the save, through as many
// growths of their index as there are, files whose identities hash alike
// included (only the device tells these apart); a second digest of one
// identity is the one kept.
TEST(ContentCheck, NewDigestsAreFoundBeforeTheSaveWhateverTheirHashesTheLastOfAnIdentityKept) {
    TempTree home;
    const QByteArray file = QFile::encodeName(home.filePath(QStringLiteral("digests")));
    const auto key = [](std::uint64_t i) { return ContentKey{i % 7, i / 7, 4, 1, 1}; };
    constexpr std::uint64_t n = 300;
    const auto all = [&](DigestCache& cache) {
        std::vector<std::uint64_t> digests;
        for (std::uint64_t i = 0; i < n; ++i)
            digests.push_back(cache.find(key(i)).value_or(ContentDigest{~0ull, 0}).low);
        return digests;
    };
    std::vector<std::uint64_t> expected;
    for (std::uint64_t i = 0; i < n; ++i)
        expected.push_back(i == 40 ? 4000 : i);
    {
        DigestCache cache(file, 1000, 1000);
        cache.setSettleTime(0);
        for (std::uint64_t i = 0; i < n; ++i)
            cache.insert(key(i), {i, 0}, realTimeNs());
        cache.insert(key(40), {4000, 0}, realTimeNs());
        EXPECT_EQ(cache.count(), qsizetype(n));
        EXPECT_EQ(all(cache), expected);
        ASSERT_TRUE(cache.save());
    }
    DigestCache kept(file);
    EXPECT_EQ(kept.count(), qsizetype(n));
    EXPECT_EQ(all(kept), expected);
}

// Digests are not taken from, nor kept in, a cache that is not a regular
// file (a FIFO there must not hang the check), nor for files on a drive whose
// server keeps the change times, nor for files changed within the settling
// time, whatever time they were given.
TEST(ContentCheck, DigestsOnlyFromARegularCacheFileForFilesWhoseChangeTimesTell) {
    TempTree t, home, good;
    const QDateTime when(QDate(2021, 1, 1), QTime(1, 1, 1), Qt::UTC);
    for (const char* name : {"a", "b"})
        t.write(QString::fromLatin1(name), "same", when);
    const std::vector<ContentChecker::Pair> pair = {
        {0, QFile::encodeName(t.filePath("a")), QFile::encodeName(t.filePath("b"))}};
    ContentChecker filling(cacheIn(good));
    ASSERT_EQ(run(filling, pair)[0], ContentVerdict::Equal);
    const QByteArray cache = QFile::encodeName(home.filePath("digests")),
                     kept = QFile::encodeName(good.filePath("digests")),
                     goodBytes = good.read(QStringLiteral("digests"));
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(cache.constData(), 0600), 0); }},
        {"a link", [&] { ASSERT_EQ(::symlink(kept.constData(), cache.constData()), 0); }},
        {"a FUSE drive",
         [&] {
             ASSERT_TRUE(QFile::copy(good.filePath("digests"), home.filePath("digests")));
             fileSystemTypeOf = [](int) { return 0x65735546UL; };
         }},
        {"just written, an old time given",
         [&] { t.write("a", "same", when), t.write("b", "same", when); }},
    };
    const auto original = fileSystemTypeOf;
    for (const auto& [what, setUp] : cases) {
        QFile::remove(home.filePath("digests"));
        setUp();
        struct stat before {};
        ::lstat(cache.constData(), &before);
        // A hung open of the FIFO is let go after a while, and fails the case.
        std::promise<void> done;
        std::atomic<bool> hung{false};
        std::thread watchdog([&, finished = done.get_future()] {
            if (finished.wait_for(std::chrono::seconds(10)) == std::future_status::timeout &&
                (hung = true))
                ::close(::open(cache.constData(), O_WRONLY | O_NONBLOCK));
        });
        for (int pass = 0; pass < 2; ++pass) {
            ContentChecker checker(std::make_unique<DigestCache>(cache));
            EXPECT_EQ(run(checker, pair)[0], ContentVerdict::Equal) << what;
            EXPECT_EQ(checker.filesRead(), 2) << what << ": nothing taken from the cache";
        }
        done.set_value();
        watchdog.join();
        fileSystemTypeOf = original;
        struct stat after {};
        ::lstat(cache.constData(), &after);
        EXPECT_TRUE(!hung && after.st_mode == before.st_mode) << what << ": hung or not left alone";
        EXPECT_EQ(good.read(QStringLiteral("digests")), goodBytes) << what;
    }
}

// A file written, or replaced, between its listing and its read is never
// the same as the other side's, even holding its bytes now; the level's
// other pairs get the same verdicts from one reader as from several.
TEST(ContentCheck, AFileChangedSinceItsListingIsNeverSameWhateverTheReaders) {
    const QDateTime when(QDate(2021, 1, 1), QTime(1, 1, 1), Qt::UTC);
    for (const int readers : {1, 4}) {
        TempTree a, b;
        std::map<QByteArray, ContentVerdict> expected;
        for (int i = 0; i < 9; ++i) {
            const QString name = QStringLiteral("f%1.txt").arg(i);
            a.write(name, "same" + QByteArray::number(i), when);
            b.write(name, (i % 3 ? "same" : "diff") + QByteArray::number(i), when);
            expected[name.toUtf8()] = i % 3 ? ContentVerdict::Equal : ContentVerdict::Differ;
        }
        for (const char* name : {"written.txt", "replaced.txt"}) {
            a.write(QString::fromLatin1(name), "ours", when);
            b.write(QString::fromLatin1(name), "old!", when);
            expected[name] = ContentVerdict::Differ;
        }
        ScanOptions scan;
        scan.identities = true;
        const auto rows = compareFolders(QFile::encodeName(a.path() + '/'),
                                         QFile::encodeName(b.path() + '/'), {}, scan);
        const QByteArray written = QFile::encodeName(b.filePath("written.txt"));
        const struct stat listed = statOf(written);
        do
            b.write("written.txt", "ours", when);
        while (statOf(written).st_ctim.tv_nsec == listed.st_ctim.tv_nsec &&
               statOf(written).st_ctim.tv_sec == listed.st_ctim.tv_sec);
        b.write("new.txt", "ours", when);
        ASSERT_EQ(::rename(QFile::encodeName(b.filePath("new.txt")).constData(),
                           QFile::encodeName(b.filePath("replaced.txt")).constData()),
                  0);
        std::vector<qsizetype> which;
        for (qsizetype r = 0; r < rows->count(); ++r) {
            if (decidedByContents(*rows, r))
                which.push_back(r);
        }
        const UniqueFd da{::open(QFile::encodeName(a.path()).constData(), O_RDONLY)};
        const UniqueFd db{::open(QFile::encodeName(b.path()).constData(), O_RDONLY)};
        LocalSide local;
        ReadingPool pool(readers);
        const std::atomic<bool> never{false};
        const std::vector<RowVerdict> verdicts = checkRowsContents(
            *rows, which, {local, SidePlace::descriptor(da.fd)},
            {local, SidePlace::descriptor(db.fd)}, {}, never, nullptr, nullptr, &pool);
        std::map<QByteArray, ContentVerdict> got;
        for (size_t k = 0; k < which.size(); ++k)
            got[rows->source.fileName(rows->entry(which[k], Side::Source)).toByteArray()] =
                verdicts[k].verdict;
        EXPECT_EQ(got, expected) << readers << " readers";
    }
}

// What the overwrite question can say unread: from the sizes or from the
// user's cache; a link at either name tells nothing, even one to the other.
TEST(ContentCheck, KnownSameContentsFromSizesAndTheUsersCacheNeverThroughALink) {
    TempTree t, home;
    const QDateTime when(QDate(2021, 1, 1), QTime(1, 1, 1), Qt::UTC);
    for (const auto& [name, content] :
         {std::pair{"a", "same"}, {"b", "same"}, {"c", "diff"}, {"d", "same"}, {"long", "longer"}})
        t.write(QString::fromLatin1(name), content, when);
    auto path = [&t](const char* name) { return QFile::encodeName(t.filePath(name)); };
    ASSERT_EQ(::symlink(path("a").constData(), path("link").constData()), 0);
    const QByteArray was = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    {
        DigestCache cache;
        cache.setSettleTime(0);
        for (const char* name : {"a", "b", "c"})
            cache.insert(contentKey(statOf(path(name))),
                         {qHash(QByteArray(name == std::string("c") ? "diff" : "same")), 1},
                         realTimeNs());
        ASSERT_TRUE(cache.save());
    }
    const std::tuple<const char*, const char*, std::optional<bool>> cases[] = {
        {"a", "b", true}, {"a", "c", false},           {"a", "long", false},
        {"a", "d", {}},   {"link", "a", std::nullopt}, {"a", "gone", {}}};
    for (const auto& [x, y, known] : cases)
        EXPECT_EQ(knownSameContents(path(x), path(y)), known) << x << " " << y;
    if (was.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", was);
}

} // namespace
