#include "core/compare_report.h"
#include "core/name_text.h"
#include "support/failing_device.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <gtest/gtest.h>
#include <unistd.h>

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
    QStringList args(std::initializer_list<const char*> options) const {
        QStringList a = {QStringLiteral("--compare"), source.path(), dest.path()};
        for (const char* o : options)
            a << QString::fromLatin1(o);
        return a;
    }
    TempTree source;
    TempTree dest;
};

TEST_F(Report, JsonHasOneObjectPerRowWithNullPlaceholders) {
    const ReportRun r = report(args({"--json"}));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject left = rows[0][QStringLiteral("source")].toObject();
    EXPECT_EQ(left[QStringLiteral("name")].toString(), QStringLiteral("both.txt"));
    EXPECT_EQ(left[QStringLiteral("size")].toInteger(), 5);
    EXPECT_EQ(left[QStringLiteral("modified")].toString(), QStringLiteral("2024-01-02T03:04:05"));
    EXPECT_EQ(rows[0][QStringLiteral("destination")][QStringLiteral("name")].toString(),
              QStringLiteral("BOTH.txt"));
    EXPECT_TRUE(rows[1][QStringLiteral("destination")].isNull());
    EXPECT_TRUE(rows[2][QStringLiteral("source")].isNull());
    EXPECT_EQ(
        QJsonDocument::fromJson(report(args({"--hidden", "--json"})).out.toUtf8()).array().size(),
        4);
}

TEST_F(Report, TextHasOneLinePerRowWithControlCharactersEscaped) {
    source.writeRaw("bad\nname\x1b[2J\r.txt", "1");
    const ReportRun text = report(args({"--pattern", "*.txt"}));
    ASSERT_EQ(text.code, 0);
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("bad\\x0Aname\\x1B[2J\\x0D.txt")));
    EXPECT_FALSE(text.out.contains(QLatin1Char('\x1b')) || text.out.contains(QLatin1Char('\r')));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("5 bytes")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("| BOTH.txt  3 bytes")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("|"))) << "a placeholder stays blank";
    EXPECT_EQ(lines[1].indexOf(QLatin1Char('|')), lines[2].indexOf(QLatin1Char('|')));
}

TEST_F(Report, FailuresExitNonZeroWithTheReason) {
    source.write(QStringLiteral("file"));
    ASSERT_EQ(
        ::symlink("loop", QFile::encodeName(source.filePath(QStringLiteral("loop"))).constData()),
        0);
    const struct {
        QString folder;
        int code;
        const char* says;
    } cases[] = {
        {source.filePath(QStringLiteral("nope")), 2, "nope: no such folder"},
        {source.filePath(QStringLiteral("file")), 2, "file: Not a directory"},
        {source.filePath(QStringLiteral("loop")), 2, "loop: Too many levels of symbolic links"},
        {QString(), 1, "the SOURCE folder name is empty"},
    };
    for (const auto& c : cases) {
        const ReportRun r = report({QStringLiteral("--compare"), c.folder, dest.path()});
        EXPECT_EQ(r.code, c.code) << c.says;
        EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_EQ(report(args({"--bogus"})).code, 1);

    FailingDevice full(0);
    QTextStream out(&full);
    QString err;
    QTextStream e(&err);
    EXPECT_EQ(runCompareReport(args({"--json"}), out, e), 3);
    e.flush();
    EXPECT_TRUE(err.contains(QStringLiteral("cannot write the report: No space")))
        << err.toStdString();
}

TEST_F(Report, FolderPathsKeepTheirBytes) {
    const QByteArray raw = QFile::encodeName(source.path()) + "/caf\xe9";
    ASSERT_EQ(::mkdir(raw.constData(), 0700), 0);
    ASSERT_EQ(::symlink("../x", (raw + "/inner").constData()), 0);
    const ReportRun r = report(
        {QStringLiteral("--compare"), nameText(raw), dest.path(), QStringLiteral("--system")});
    EXPECT_TRUE(r.out.contains(QStringLiteral("\ninner  4 bytes"))) << r.err.toStdString();
    EXPECT_FALSE(isReportInvocation({QStringLiteral("My"), QStringLiteral("--json")}));
}

} // namespace
