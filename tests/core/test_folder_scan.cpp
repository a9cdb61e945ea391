#include "core/folder_scan.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

namespace {

struct Named {
    QString name;
    Side side;
    bool operator==(const Named&) const = default;
};

std::vector<Named> entries(const SortedNameList& list) {
    std::vector<Named> out;
    for (qsizetype i = 0; i < list.count(); ++i)
        out.push_back({list.at(i).name, list.at(i).side});
    return out;
}

class Scan : public ::testing::Test {
protected:
    std::vector<Named> scan(const FilterSettings& settings = {}) {
        SortedNameList list;
        scanFolders(list, source.path() + QLatin1Char('/'), dest.path() + QLatin1Char('/'),
                    settings);
        return entries(list);
    }
    TempTree source;
    TempTree dest;
};

const Side S = Side::Source;
const Side D = Side::Destination;

TEST_F(Scan, NamesMergeInCaseInsensitiveOrderSourceFirst) {
    source.write(QStringLiteral("b.txt"));
    source.write(QStringLiteral("readme.TXT"));
    dest.write(QStringLiteral("README.txt"));
    dest.write(QStringLiteral("A.txt"));
    dest.write(QStringLiteral("b.txt"));
    const std::vector<Named> want = {{QStringLiteral("A.txt"), D},
                                     {QStringLiteral("b.txt"), S},
                                     {QStringLiteral("b.txt"), D},
                                     {QStringLiteral("readme.TXT"), S},
                                     {QStringLiteral("README.txt"), D}};
    EXPECT_EQ(scan(), want);
}

TEST_F(Scan, SameFolderOnBothSidesEntersEveryNameTwice) {
    source.write(QStringLiteral("x"));
    source.write(QStringLiteral("y"));
    SortedNameList list;
    const QString path = source.path() + QLatin1Char('/');
    scanFolders(list, path, path, {});
    const std::vector<Named> want = {{QStringLiteral("x"), S},
                                     {QStringLiteral("x"), D},
                                     {QStringLiteral("y"), S},
                                     {QStringLiteral("y"), D}};
    EXPECT_EQ(entries(list), want);
}

TEST_F(Scan, FiltersApplyToBothFolders) {
    source.write(QStringLiteral("a.txt"));
    source.write(QStringLiteral("a.doc"));
    source.write(QStringLiteral(".secret.txt"));
    source.mkdir(QStringLiteral("folder.txt"));
    dest.write(QStringLiteral("b.TXT"));
    FilterSettings settings;
    settings.fileTypes = QStringLiteral("*.txt");
    EXPECT_EQ(scan(settings),
              (std::vector<Named>{{QStringLiteral("a.txt"), S}, {QStringLiteral("b.TXT"), D}}));
    settings.showHidden = 2; // any value but 0 is on
    EXPECT_EQ(scan(settings), (std::vector<Named>{{QStringLiteral(".secret.txt"), S},
                                                  {QStringLiteral("a.txt"), S},
                                                  {QStringLiteral("b.TXT"), D}}));
}

TEST_F(Scan, MissingFolderContributesNothing) {
    dest.write(QStringLiteral("only.txt"));
    SortedNameList list;
    scanFolders(list, source.filePath(QStringLiteral("missing/")), dest.path() + QLatin1Char('/'),
                {});
    EXPECT_EQ(entries(list), (std::vector<Named>{{QStringLiteral("only.txt"), D}}));
}

TEST_F(Scan, ListIsRebuiltEachTime) {
    source.write(QStringLiteral("one"));
    SortedNameList list;
    scanFolders(list, source.path() + QLatin1Char('/'), dest.path() + QLatin1Char('/'), {});
    scanFolders(list, dest.path() + QLatin1Char('/'), dest.path() + QLatin1Char('/'), {});
    EXPECT_EQ(list.count(), 0);
}

TEST(AttributeMask, SwitchesAddTheirBits) {
    FilterSettings s;
    EXPECT_EQ(attributeMask(s), 33);
    s.showArchive = 0;
    s.showReadOnly = 0;
    EXPECT_EQ(attributeMask(s), 0);
    s.showHidden = -1;
    s.showSystem = 7;
    EXPECT_EQ(attributeMask(s), 6);
}

} // namespace
