// The scan of both folders, the rows laid out from it, and the files read for them.
#include "core/folder_scan.h"
#include "support/temp_tree.h"

#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// "source names / destination names"; each shows as its Latin-1 text, or all
// alike as `shown`.
SortedNameList listOf(const char* spec, const char* shown = nullptr) {
    std::vector<NameEntry> sides[2];
    int side = 0;
    for (const QByteArray& n : QByteArray(spec).split(' ')) {
        if (n == "/")
            side = 1;
        else if (!n.isEmpty())
            sides[side].push_back(
                {QString::fromLatin1(shown ? QByteArray(shown) : n), n, Side::Source});
    }
    SortedNameList list;
    list.assign(std::move(sides[0]), std::move(sides[1]));
    return list;
}

// "left|right" per row, "-" for a placeholder; checks the alignment invariant.
std::string layout(const SortedNameList& list, const std::vector<AlignedRow>& rows) {
    std::string out;
    std::vector<int> seen(size_t(list.count()), 0);
    for (const AlignedRow& r : rows) {
        EXPECT_TRUE(r.source >= 0 || r.destination >= 0) << "two placeholders on one row";
        for (const qsizetype i : {r.source, r.destination}) {
            out += (i < 0 ? "-" : list.at(i).fileName.toStdString()) + (i == r.source ? "|" : " ");
            EXPECT_TRUE(i < 0 ||
                        (++seen[size_t(i)] == 1 &&
                         list.at(i).side == (i == r.source ? Side::Source : Side::Destination)))
                << "every entry on one row, on its own side";
        }
    }
    return out;
}

TEST(Rows, PairOneSourceWithOneDestinationExactBytesFirst) {
    const std::pair<SortedNameList, const char*> cases[] = {
        {listOf("x.txt z.txt / y.txt"), "x.txt|- -|y.txt z.txt|- "},
        {listOf("a c / a b c"), "a|a -|b c|c "},
        {listOf("Readme.txt / README.TXT"), "Readme.txt|README.TXT "},
        {listOf("a A / A"), "A|A a|- "}, // a case-sensitive folder
        {listOf("Ab AB ab / aB ab"), "AB|aB Ab|- ab|ab "},
        {listOf("caf\xe9 / caf\xe9 caf\\xE9", "x"), "caf\xe9|caf\xe9 -|caf\\xE9 "},
        {listOf(""), ""}};
    for (const auto& [list, want] : cases)
        EXPECT_EQ(layout(list, alignRows(list)), want);
    const std::vector<AlignedRow> rows = alignRows(listOf("a b / a c"));
    EXPECT_TRUE(rows[0].progress == 1 && rows[2].progress == 3) << "a pair counts its partner";
}

TEST(Rows, ScanListsBothFoldersAndFilesGoneBeforeTheirRowAreLeftOut) {
    TempTree source, dest;
    const QByteArray from = QFile::encodeName(source.path()) + '/',
                     to = QFile::encodeName(dest.path()) + '/';
    for (const char* name : {"both", "gone", "lone", ".hidden"})
        source.write(QString::fromLatin1(name), "12");
    dest.write(QStringLiteral("BOTH"), "123");
    dest.write(QStringLiteral("gone"));
    ASSERT_EQ(::symlink("loop", to + "loop"), 0);
    SortedNameList list;
    scanFolders(list, from + "missing/", to, {});
    EXPECT_EQ(layout(list, alignRows(list)), "-|BOTH -|gone ") << "a missing folder lists nothing";
    FilterSettings settings;
    settings.showSystem = 2; // any value but 0 is on
    scanFolders(list, from, to, settings);
    for (const QByteArray& gone : {from + "gone", from + "lone", to + "gone"})
        ASSERT_EQ(::unlink(gone), 0);
    std::vector<AlignedRow> rows;
    std::vector<qint64> sizes;
    for (const StatedRow& r : statRows(alignRows(list), list, from, to)) {
        rows.push_back(r.row);
        sizes.push_back(r.destination.size);
    }
    EXPECT_EQ(layout(list, rows), "both|BOTH -|loop ");
    EXPECT_EQ(sizes, (std::vector<qint64>{3, 4})) << "a link to no file is its own size";
}

} // namespace
