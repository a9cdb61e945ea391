#include "core/row_matching.h"

#include <gtest/gtest.h>

namespace {

// Builds a list from "name" (Source) and "name" (Destination) texts.
SortedNameList listOf(std::initializer_list<const char*> source,
                      std::initializer_list<const char*> dest) {
    std::vector<NameEntry> s, d;
    for (const char* n : source)
        s.push_back({QString::fromUtf8(n), QByteArray(n), Side::Source});
    for (const char* n : dest)
        d.push_back({QString::fromUtf8(n), QByteArray(n), Side::Destination});
    SortedNameList list;
    list.assign(std::move(s), std::move(d));
    return list;
}

// "left|right" per row, "-" for a placeholder.
std::vector<std::string> layout(const SortedNameList& list) {
    std::vector<std::string> out;
    for (const AlignedRow& r : alignRows(list)) {
        const std::string left = r.source >= 0 ? list.at(r.source).name.toStdString() : "-";
        const std::string right =
            r.destination >= 0 ? list.at(r.destination).name.toStdString() : "-";
        out.push_back(left + "|" + right);
    }
    return out;
}

void expectInvariant(const SortedNameList& list) {
    std::vector<int> seen(static_cast<size_t>(list.count()), 0);
    for (const AlignedRow& r : alignRows(list)) {
        ASSERT_TRUE(r.source >= 0 || r.destination >= 0) << "two placeholders on one row";
        if (r.source >= 0) {
            EXPECT_EQ(list.at(r.source).side, Side::Source);
            ++seen[static_cast<size_t>(r.source)];
        }
        if (r.destination >= 0) {
            EXPECT_EQ(list.at(r.destination).side, Side::Destination);
            ++seen[static_cast<size_t>(r.destination)];
        }
        if (r.source >= 0 && r.destination >= 0) {
            EXPECT_EQ(list.key(r.source), list.key(r.destination));
        }
    }
    for (int s : seen)
        EXPECT_EQ(s, 1) << "every entry stands on exactly one row";
}

TEST(RowMatching, LoneNamesFacePlaceholders) {
    const SortedNameList list = listOf({"x.txt", "z.txt"}, {"y.txt"});
    EXPECT_EQ(layout(list), (std::vector<std::string>{"x.txt|-", "-|y.txt", "z.txt|-"}));
    expectInvariant(list);
}

TEST(RowMatching, PairsInBothOrdersOfArrival) {
    EXPECT_EQ(layout(listOf({"a", "c"}, {"a", "b", "c"})),
              (std::vector<std::string>{"a|a", "-|b", "c|c"}));
    EXPECT_EQ(layout(listOf({"b"}, {"a", "b"})), (std::vector<std::string>{"-|a", "b|b"}));
}

TEST(RowMatching, NamesEqualApartFromCasePairAndEachShowsItsOwnName) {
    const SortedNameList list = listOf({"Readme.txt"}, {"README.TXT"});
    EXPECT_EQ(layout(list), (std::vector<std::string>{"Readme.txt|README.TXT"}));
}

TEST(RowMatching, CaseSensitiveFolderNeverPairsTwoSourceFiles) {
    // Source holds a and A; Destination only A: A pairs with A exactly.
    const SortedNameList list = listOf({"a", "A"}, {"A"});
    EXPECT_EQ(layout(list), (std::vector<std::string>{"A|A", "a|-"}));
    expectInvariant(list);

    const SortedNameList two = listOf({"a", "A"}, {});
    EXPECT_EQ(layout(two), (std::vector<std::string>{"A|-", "a|-"}));

    const SortedNameList dest = listOf({}, {"Note", "note", "NOTE"});
    EXPECT_EQ(layout(dest).size(), 3u);
    expectInvariant(dest);
}

TEST(RowMatching, ExactCaseFirstThenListOrder) {
    const SortedNameList mixed = listOf({"Ab", "AB", "ab"}, {"aB", "ab"});
    // ab pairs with ab exactly; then AB and Ab pair in list order with aB; one is left.
    EXPECT_EQ(layout(mixed), (std::vector<std::string>{"AB|aB", "Ab|-", "ab|ab"}));
    expectInvariant(mixed);
}

TEST(RowMatching, ProgressReachesTheLastIndexAndCountsPartners) {
    const SortedNameList list = listOf({"a", "b"}, {"a", "c"});
    const std::vector<AlignedRow> rows = alignRows(list);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].progress, 1); // the pair's partner
    EXPECT_EQ(rows[1].progress, 2);
    EXPECT_EQ(rows[2].progress, 3);
    EXPECT_TRUE(alignRows(listOf({}, {})).empty());
}

TEST(RowMatching, LargeListsKeepTheInvariant) {
    std::vector<NameEntry> s, d;
    for (int i = 0; i < 5000; ++i) {
        const QString n = QStringLiteral("f%1").arg(i);
        if (i % 3 != 0)
            s.push_back({n, n.toUtf8(), Side::Source});
        if (i % 2 == 0)
            d.push_back({i % 4 == 0 ? n.toUpper() : n, n.toUtf8(), Side::Destination});
    }
    SortedNameList list;
    list.assign(std::move(s), std::move(d));
    expectInvariant(list);
    // Names 0..4999: shared when i%3!=0 and i%2==0.
    qsizetype pairs = 0;
    for (const AlignedRow& r : alignRows(list))
        pairs += (r.source >= 0 && r.destination >= 0);
    qsizetype want = 0;
    for (int i = 0; i < 5000; ++i)
        want += (i % 3 != 0 && i % 2 == 0);
    EXPECT_EQ(pairs, want);
}

} // namespace
