// The scan of both folders, the rows laid out from it, and the files read for them.
#include "base/name_text.h"
#include "base/text_formats.h"
#include "compare/row_matching.h"
#include "support/temp_tree.h"

#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "left|right" per row, "-" for a placeholder; checks the alignment invariant.
std::string layout(const FolderRows& rows) {
    std::string out;
    std::vector<int> seen[2] = {std::vector<int>(size_t(rows.source.count())),
                                std::vector<int>(size_t(rows.destination.count()))};
    for (qsizetype r = 0; r < rows.count(); ++r) {
        EXPECT_TRUE(rows.entry(r, Side::Source) >= 0 || rows.entry(r, Side::Destination) >= 0)
            << "two placeholders on one row";
        for (const Side side : {Side::Source, Side::Destination}) {
            const qint32 i = rows.entry(r, side);
            out += (i < 0 ? "-" : rows.listing(side).fileName(i).toByteArray().toStdString()) +
                   (side == Side::Source ? "|" : " ");
            EXPECT_TRUE(i < 0 || ++seen[int(side)][size_t(i)] == 1) << "every entry on one row";
        }
    }
    return out;
}

// "source names / destination names", laid out.
std::string laidOut(const char* sides) {
    FolderRows rows;
    FolderListing* side = &rows.source;
    for (const QByteArray& n : QByteArray(sides).split(' ')) {
        if (n == "/")
            side = &rows.destination;
        else if (!n.isEmpty())
            side->add(n, {});
    }
    rows.rows = alignRows(rows.source, SortedNames(rows.source), rows.destination,
                          SortedNames(rows.destination));
    return layout(rows);
}

TEST(Rows, PairOneSourceWithOneDestinationExactBytesFirst) {
    const std::pair<const char*, const char*> cases[] = {
        {"x.txt z.txt / y.txt", "x.txt|- -|y.txt z.txt|- "},
        {"a c / a b c", "a|a -|b c|c "},
        {"Readme.txt / README.TXT", "Readme.txt|README.TXT "},
        {"a A / A", "A|A a|- "}, // a case-sensitive folder
        {"Ab AB ab / aB ab", "AB|aB Ab|- ab|ab "},
        {"caf\xe9 / caf\xe9 CAF\xe9", "caf\xe9|caf\xe9 -|CAF\xe9 "},
        {"\xc3\x89t\xc3\xa9 / \xc3\xa9T\xc3\x89", "\xc3\x89t\xc3\xa9|\xc3\xa9T\xc3\x89 "},
        {"", ""}};
    for (const auto& [sides, want] : cases)
        EXPECT_EQ(laidOut(sides), want) << sides;
}

TEST(Rows, KeysOrderAsTheFoldedShownTextsDo) {
    // ASCII, a backslash, a stray byte, letters outside ASCII, a character
    // beyond the Basic Multilingual Plane and one just below the surrogates' end.
    const QByteArray names[] = {"b",
                                "B.txt",
                                "a\\b",
                                "a\\xE9",
                                "a\xe9",
                                "\xc3\xa9t\xc3\xa9",
                                "\xc3\x89T\xc3\x89",
                                "Z",
                                "_x",
                                "\xf0\x9f\x98\x80",
                                "\xef\xbf\xbd",
                                "~",
                                "a b"};
    FolderListing listing;
    for (const QByteArray& n : names)
        listing.add(n, {});
    const SortedNames sorted(listing);
    ASSERT_EQ(sorted.count(), listing.count());
    for (qsizetype p = 1; p < sorted.count(); ++p) {
        const QString a = listing.name(sorted.at(p - 1)).toCaseFolded();
        const QString b = listing.name(sorted.at(p)).toCaseFolded();
        EXPECT_TRUE(a.compare(b) < 0 ||
                    (a == b && listing.fileName(sorted.at(p - 1)) < listing.fileName(sorted.at(p))))
            << a.toStdString() << " before " << b.toStdString();
        EXPECT_EQ(a == b, sorted.key(p - 1) == sorted.key(p));
    }
}

// A listing packs identities and gives each back whole: a device beyond 32
// bits and more devices than its table holds, times before 1970, the last
// nanosecond, a change time further from the modification time than 32
// bits of seconds hold (or 64), nanoseconds out of range.
TEST(Rows, AListingGivesEveryIdentityBackWhole) {
    const time_t far = time_t(1) << 40, least = std::numeric_limits<time_t>::min();
    std::vector<FileIdentity> ids = {
        {(dev_t(1) << 40) + 3, ino_t(-1), 7, {-far, 999999999}, {far, 999999999}},
        {0, 0, 0, {-1, 0}, {-1, 999999999}},
        {5, ino_t(1) << 33, 1, {least, 0}, {std::numeric_limits<time_t>::max(), 1}},
        {5, 2, 3, {0, -1}, {least, 1000000000}}};
    for (long d = 0; d < 20; ++d)
        ids.push_back({dev_t(100 + d), ino_t(d), 9, {1600000000, d}, {1600000000 - d, d}});
    FolderListing listing;
    for (const FileIdentity& id : ids)
        listing.add("x", {id.size, id.modified.tv_sec, false, false, id});
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_TRUE(listing.stat(qsizetype(i)).identity == ids[i]) << i;
}

TEST(Rows, ScanStatsEachFileOnceAndLeavesOutFilesGoneSinceTheListing) {
    TempTree source, dest;
    const QByteArray from = QFile::encodeName(source.path()) + '/',
                     to = QFile::encodeName(dest.path()) + '/';
    for (const char* name : {"both", "gone", "lone", ".hidden"})
        source.write(QString::fromLatin1(name), "12");
    dest.write(QStringLiteral("BOTH"), "123");
    dest.write(QStringLiteral("gone"));
    dest.mkdir(QStringLiteral("folder"));
    ASSERT_EQ(::symlink("loop", to + "loop"), 0);
    ASSERT_EQ(::symlink("folder", to + "to-folder"), 0);
    FilterSettings settings;
    settings.showSubfolders = 0;
    EXPECT_EQ(layout(*compareFolders(from + "missing/", to, settings)), "-|BOTH -|gone ")
        << "a missing folder lists nothing, a link to a folder is no file";
    settings.showSystem = 2; // any value but 0 is on
    for (const int inFlight : {1, 8}) {
        ScanOptions options;
        options.statsInFlight = inFlight;
        const std::shared_ptr<FolderRows> rows = compareFolders(from, to, settings, options);
        EXPECT_EQ(layout(*rows), "both|BOTH gone|gone lone|- -|loop ") << inFlight;
        EXPECT_EQ(rows->destination.stat(rows->entry(3, Side::Destination)).size, 4)
            << "a link to no file is its own size";
        EXPECT_TRUE(rows->status(0) == RowStatus::Case &&
                    rows->status(2) == RowStatus::SourceOnly &&
                    rows->status(3) == RowStatus::DestinationOnly &&
                    rows->counts().count(RowStatus::DestinationOnly) == 1);
    }
    ScanOptions options;
    options.afterNames = [&] {
        for (const QByteArray& gone : {from + "gone", from + "lone", to + "gone"})
            ::unlink(gone);
    };
    EXPECT_EQ(layout(*compareFolders(from, to, settings, options)), "both|BOTH -|loop ");
    // Folders first, a folder paired only with a folder.
    source.mkdir(QStringLiteral("Folder"));
    source.write(QStringLiteral("to-folder"));
    settings.showSubfolders = 1;
    const std::shared_ptr<FolderRows> rows = compareFolders(from, to, settings);
    EXPECT_EQ(layout(*rows), "Folder|folder -|to-folder both|BOTH -|loop to-folder|- ");
    EXPECT_TRUE(rows->status(0) == RowStatus::Case &&
                rows->status(1) == RowStatus::DestinationOnly &&
                rows->destination.isFolder(rows->entry(1, Side::Destination)));
    source.mkdir(QStringLiteral("folder"));
    EXPECT_EQ(compareFolders(from, to, settings)->status(1), RowStatus::Checking);
    std::atomic<bool> cancel{true};
    options = {};
    options.cancel = &cancel;
    EXPECT_THROW(compareFolders(from, to, settings, options), ScanCancelled);
}

TEST(Rows, SummaryCountsEachKindApartInAFixedOrderAndCaseIsNeverNewer) {
    StatusCounts counts;
    const std::pair<RowStatus, int> added[] = {
        {RowStatus::Case, 1},    {RowStatus::DestinationOnly, 11}, {RowStatus::SourceOnly, 5},
        {RowStatus::Differs, 3}, {RowStatus::DestinationNewer, 3}, {RowStatus::SourceNewer, 8},
        {RowStatus::Same, 1305}};
    for (const auto& [status, n] : added)
        for (int i = 0; i < n; ++i)
            counts.add(status);
    for (int i = 0; i < 1000; ++i)
        counts.change(RowStatus::Same, RowStatus::Differs);
    counts.change(RowStatus::Differs, RowStatus::Same);
    EXPECT_EQ(
        counts.summary(TextFormats()),
        QString::fromUtf8("306 same \u00b7 8 newer in Source \u00b7 3 newer in Destination \u00b7 "
                          "1,002 differ \u00b7 5 only in Source \u00b7 11 only in Destination "
                          "\u00b7 1 case"));
    EXPECT_EQ(StatusCounts().summary(TextFormats()), QString());
    for (const Side side : {Side::Source, Side::Destination})
        EXPECT_FALSE(isNewerOn(RowStatus::Case, side));
}

} // namespace
