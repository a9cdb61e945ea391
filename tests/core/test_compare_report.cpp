#include "core/compare_report.h"
#include "support/temp_tree.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

struct ReportRun {
    int code;
    QString out;
    QString err;
};

ReportRun report(const QStringList& args) {
    QString out, err;
    QTextStream o(&out), e(&err);
    const int code = runCompareReport(args, o, e);
    o.flush();
    e.flush();
    return {code, out, err};
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        const QDateTime t(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
        source.write(QStringLiteral("both.txt"), "12345", t);
        source.write(QStringLiteral("left.txt"), "1", t);
        source.write(QStringLiteral(".dot"), "1", t);
        dest.write(QStringLiteral("BOTH.txt"), "123", t);
        dest.write(QStringLiteral("right.md"), "", t);
    }
    TempTree source;
    TempTree dest;
};

TEST_F(Report, JsonHasOneObjectPerRowWithNullPlaceholders) {
    const ReportRun r =
        report({QStringLiteral("--compare"), source.path(), dest.path(), QStringLiteral("--json")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject both = rows[0].toObject();
    EXPECT_EQ(both[QStringLiteral("source")][QStringLiteral("name")].toString(),
              QStringLiteral("both.txt"));
    EXPECT_EQ(both[QStringLiteral("source")][QStringLiteral("size")].toInteger(), 5);
    EXPECT_EQ(both[QStringLiteral("destination")][QStringLiteral("name")].toString(),
              QStringLiteral("BOTH.txt"));
    EXPECT_EQ(both[QStringLiteral("destination")][QStringLiteral("size")].toInteger(), 3);
    EXPECT_EQ(both[QStringLiteral("source")][QStringLiteral("modified")].toString(),
              QStringLiteral("2024-01-02T03:04:05"));
    EXPECT_TRUE(rows[1].toObject()[QStringLiteral("destination")].isNull());
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("source")][QStringLiteral("name")].toString(),
              QStringLiteral("left.txt"));
    EXPECT_TRUE(rows[2].toObject()[QStringLiteral("source")].isNull());
}

TEST_F(Report, FiltersAndTextForm) {
    const ReportRun hidden =
        report({QStringLiteral("--compare"), source.path(), dest.path(), QStringLiteral("--hidden"),
                QStringLiteral("--pattern"), QStringLiteral("*.*"), QStringLiteral("--json")});
    EXPECT_EQ(QJsonDocument::fromJson(hidden.out.toUtf8()).array().size(), 4);

    const ReportRun text = report({QStringLiteral("--compare"), source.path(), dest.path(),
                                   QStringLiteral("--pattern"), QStringLiteral("*.txt")});
    ASSERT_EQ(text.code, 0);
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("both.txt")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("5 bytes")));
    EXPECT_TRUE(lines[0].contains(QStringLiteral("| BOTH.txt  3 bytes")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("|"))) << "a placeholder stays blank";
    EXPECT_EQ(lines[0].indexOf(QLatin1Char('|')), lines[1].indexOf(QLatin1Char('|')));
}

TEST_F(Report, UnreadableOrMissingFolderExitsTwoNamingIt) {
    const QString missing = source.filePath(QStringLiteral("nope"));
    const ReportRun r = report({QStringLiteral("--compare"), missing, dest.path()});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(missing));
    EXPECT_TRUE(r.out.isEmpty());
}

TEST(ReportArgs, OnlyALeadingOptionMeansTheReport) {
    EXPECT_TRUE(isReportInvocation({QStringLiteral("--compare"), QStringLiteral("a")}));
    EXPECT_TRUE(isReportInvocation({QStringLiteral("--help")}));
    EXPECT_FALSE(isReportInvocation({QStringLiteral("My"), QStringLiteral("--json")}));
    EXPECT_FALSE(isReportInvocation({}));
    EXPECT_EQ(report({QStringLiteral("--compare"), QStringLiteral("/only-one")}).code, 1);
    EXPECT_EQ(report({QStringLiteral("--compare"), QStringLiteral("a"), QStringLiteral("b"),
                      QStringLiteral("--bogus")})
                  .code,
              1);
    const ReportRun help = report({QStringLiteral("--help")});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--compare")));
    EXPECT_TRUE(report({QStringLiteral("--version")}).out.startsWith(QStringLiteral("duoscope ")));
}

} // namespace
