// The scan of both folders, the rows laid out from it, and the files read for them.
#include "core/folder_scan.h"
#include "support/temp_tree.h"

#include <QFile>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

// Names show as their bytes' Latin-1 text, or all alike as `shown`.
SortedNameList listOf(std::initializer_list<const char*> source,
                      std::initializer_list<const char*> dest, const char* shown = nullptr) {
    std::vector<NameEntry> s, d;
    for (const char* n : source)
        s.push_back({QString::fromLatin1(shown ? shown : n), QByteArray(n), Side::Source});
    for (const char* n : dest)
        d.push_back({QString::fromLatin1(shown ? shown : n), QByteArray(n), Side::Destination});
    SortedNameList list;
    list.assign(std::move(s), std::move(d));
    return list;
}

// "left|right" per row, "-" for a placeholder; checks the alignment invariant.
std::string layout(const SortedNameList& list, const std::vector<AlignedRow>& rows,
                   bool everyEntry = true) {
    std::string out;
    std::vector<int> seen(size_t(list.count()), 0);
    for (const AlignedRow& r : rows) {
        EXPECT_TRUE(r.source >= 0 || r.destination >= 0) << "two placeholders on one row";
        for (const qsizetype i : {r.source, r.destination}) {
            out += i < 0 ? "-" : list.at(i).fileName.toStdString();
            out += i == r.source ? "|" : " ";
            if (i >= 0 && ++seen[size_t(i)] == 1) {
                EXPECT_EQ(list.at(i).side, i == r.source ? Side::Source : Side::Destination);
            }
        }
    }
    for (int s : seen)
        EXPECT_EQ(s, everyEntry ? 1 : std::min(s, 1)) << "every entry stands on exactly one row";
    return out;
}

TEST(Rows, PairOneSourceWithOneDestinationExactBytesFirst) {
    const std::pair<SortedNameList, const char*> cases[] = {
        {listOf({"x.txt", "z.txt"}, {"y.txt"}), "x.txt|- -|y.txt z.txt|- "},
        {listOf({"a", "c"}, {"a", "b", "c"}), "a|a -|b c|c "},
        {listOf({"Readme.txt"}, {"README.TXT"}), "Readme.txt|README.TXT "},
        {listOf({"a", "A"}, {"A"}), "A|A a|- "}, // a case-sensitive folder
        {listOf({"Ab", "AB", "ab"}, {"aB", "ab"}), "AB|aB Ab|- ab|ab "},
        {listOf({"caf\xe9"}, {"caf\xe9", "caf\\xE9"}, "x"), "caf\xe9|caf\xe9 -|caf\\xE9 "},
        {listOf({}, {}), ""}};
    for (const auto& [list, want] : cases)
        EXPECT_EQ(layout(list, alignRows(list)), want);
    const std::vector<AlignedRow> rows = alignRows(listOf({"a", "b"}, {"a", "c"}));
    EXPECT_EQ(rows[0].progress, 1) << "a pair counts its partner";
    EXPECT_EQ(rows[2].progress, 3);

    // Every spelling of a name in letter case, a third missing on one side.
    std::vector<NameEntry> s, d;
    for (int bits = 0; bits < (1 << 13); ++bits) {
        QByteArray n("abcdefghijklm");
        for (int k = 0; k < 13; ++k)
            n[k] = char(n[k] - ((bits >> k) & 1) * 32);
        s.push_back({QString::fromLatin1(n).toLower(), n, Side::Source});
        if (bits % 3 != 0)
            d.push_back({QString::fromLatin1(n).toLower(), n, Side::Destination});
    }
    SortedNameList many;
    many.assign(std::move(s), std::move(d));
    qsizetype exact = 0;
    for (const AlignedRow& r : alignRows(many))
        exact +=
            r.destination >= 0 && many.at(r.source).fileName == many.at(r.destination).fileName;
    EXPECT_EQ(exact, (1 << 13) - ((1 << 13) + 2) / 3);
}

class Scan : public ::testing::Test {
protected:
    QByteArray at(const TempTree& t, const char* sub = "") {
        return QFile::encodeName(t.path()) + '/' + sub;
    }
    QString scan(FilterSettings settings = {}, const char* sourceSub = "") {
        scanFolders(list, at(source, sourceSub), at(dest), settings);
        QString out;
        for (qsizetype i = 0; i < list.count(); ++i)
            out += list.at(i).name + (list.at(i).side == Side::Source ? "<" : ">");
        return out;
    }
    TempTree source, dest;
    SortedNameList list;
};

TEST_F(Scan, MergesCaseInsensitivelyFiltersBothAndTellsBytesApart) {
    for (const char* n : {"b.txt", "readme.TXT", "a.doc", ".secret.txt"})
        source.write(QString::fromLatin1(n));
    source.mkdir(QStringLiteral("folder.txt"));
    for (const char* n : {"README.txt", "A.txt", "b.txt"})
        dest.write(QString::fromLatin1(n));
    EXPECT_EQ(scan(), QStringLiteral("a.doc<A.txt>b.txt<b.txt>readme.TXT<README.txt>"));
    EXPECT_EQ(scan({}, "missing/"), QStringLiteral("A.txt>b.txt>README.txt>"));
    FilterSettings settings;
    settings.fileTypes = QStringLiteral("r*.txt");
    settings.showHidden = 2; // any value but 0 is on
    EXPECT_EQ(scan(settings), QStringLiteral("readme.TXT<README.txt>"));
    settings.fileTypes = QStringLiteral("*.txt");
    EXPECT_TRUE(scan(settings).startsWith(QStringLiteral(".secret.txt<")));

    source.writeRaw("caf\xe9");
    dest.writeRaw("caf\\xE9");
    settings.fileTypes = QStringLiteral("caf*");
    EXPECT_EQ(scan(settings), QStringLiteral("caf\\\\xE9>caf\\xE9<")) << "shown apart";
    EXPECT_EQ(alignRows(list).size(), 2u) << "never paired";
}

TEST_F(Scan, FilesGoneBeforeTheirRowAreLeftOutAndOddLinksStay) {
    for (const char* name : {"both", "gone", "lone"})
        source.write(QString::fromLatin1(name), "12");
    dest.write(QStringLiteral("both"), "123");
    dest.write(QStringLiteral("gone"));
    ASSERT_EQ(::symlink("loop", at(dest, "loop").constData()), 0);
    FilterSettings settings;
    settings.showSystem = 1;
    scan(settings);
    for (const char* name : {"gone", "lone"})
        ASSERT_EQ(::unlink(at(source, name).constData()), 0);
    ASSERT_EQ(::unlink(at(dest, "gone").constData()), 0);
    std::vector<AlignedRow> rows;
    std::vector<qint64> sizes;
    for (const StatedRow& r : statRows(alignRows(list), list, at(source), at(dest))) {
        rows.push_back(r.row);
        sizes.push_back(r.destination.size);
    }
    EXPECT_EQ(layout(list, rows, false), "both|both -|loop ");
    EXPECT_EQ(sizes, (std::vector<qint64>{3, 4}));
}

} // namespace
