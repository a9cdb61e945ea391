#include "core/content_check.h"
#include "support/temp_tree.h"

#include <QFile>
#include <future>
#include <gtest/gtest.h>
#include <map>

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

TEST(ContentCheck, FindsTheLastByteAndReadsAPairAgainOnlyOnceChanged) {
    TempTree t;
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
    ContentChecker checker;
    EXPECT_EQ(run(checker, pairs), expected);
    EXPECT_EQ(checker.filesCompared(), 2);
    EXPECT_EQ(run(checker, pairs), expected);
    EXPECT_EQ(checker.filesCompared(), 2) << "nothing changed, nothing read";
    t.write("b", last, when); // same size and time, new contents
    EXPECT_EQ(run(checker, pairs)[0], ContentVerdict::Differ);
    EXPECT_EQ(checker.filesCompared(), 3);
}

} // namespace
