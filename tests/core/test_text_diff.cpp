#include "core/diff_command.h"
#include "core/name_text.h"
#include "core/text_diff.h"
#include "shell/program_start.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Rows as "kind left:right", 1-based lines, "." for blank space.
QString rowsText(const LineDiff& d) {
    QStringList out;
    for (const DiffRow& r : d.rows) {
        auto n = [](int line) {
            return line < 0 ? QStringLiteral(".") : QString::number(line + 1);
        };
        out << QLatin1Char("=~-+"[r.kind]) + n(r.left) + QLatin1Char(':') + n(r.right);
    }
    return out.join(QLatin1Char(' '));
}

QString spansText(const std::vector<CharSpan>& spans) {
    QStringList out;
    for (const CharSpan& s : spans)
        out << QStringLiteral("%1+%2").arg(s.start).arg(s.length);
    return out.join(QLatin1Char(','));
}

const std::atomic<bool> running{false};

} // namespace

TEST(TextDiff, AlignsInsertedDeletedAndChangedBlocksAndCountsThem) {
    const struct {
        const char *left, *right, *rows, *summary;
        std::vector<int> changes;
    } cases[] = {
        {"a\nb\n", "a\nb\n", "=1:1 =2:2", "The files are identical", {}},
        {"a\nb\nc\n",
         "a\nb\nx\ny\nc\n",
         "=1:1 =2:2 +.:3 +.:4 =3:5",
         "1 change · 2 lines added · 0 removed",
         {2}},
        {"a\nx\ny\nb\n",
         "a\nb\n",
         "=1:1 -2:. -3:. =4:2",
         "1 change · 0 lines added · 2 removed",
         {1}},
        {"a\nb\nc\nd\ne\n",
         "a\nB\nd\nE\nf\n",
         "=1:1 ~2:2 -3:. =4:3 ~5:4 +.:5",
         "2 changes · 3 lines added · 3 removed",
         {1, 4}},
        {"a\nb", "a\nb\n", "=1:1 ~2:2", "1 change · 1 line added · 1 removed", {1}},
        {"", "a\n", "+.:1", "1 change · 1 line added · 0 removed", {0}},
    };
    for (const auto& c : cases) {
        const LineDiff d = diffLines(c.left, c.right);
        EXPECT_EQ(rowsText(d), QString::fromUtf8(c.rows)) << c.left << "|" << c.right;
        EXPECT_EQ(diffSummary(d), QString::fromUtf8(c.summary)) << c.left;
        EXPECT_EQ(d.changes, c.changes) << c.left;
    }
}

TEST(TextDiff, MarksTheChangedCharactersOfEachSide) {
    const struct {
        QString left, right;
        const char *leftMarks, *rightMarks;
    } cases[] = {
        {QStringLiteral("int x = 10;"), QStringLiteral("int y = 10;"), "4+1", "4+1"},
        {QStringLiteral("hello world"), QStringLiteral("hello, world!"), "", "5+1,12+1"},
        {QStringLiteral("abcdef"), QStringLiteral("abXYef"), "2+2", "2+2"},
        {QString(5000, QLatin1Char('a')), QString(5000, QLatin1Char('b')), "0+5000", "0+5000"},
    };
    for (const auto& c : cases) {
        const auto [left, right] = diffChars(c.left, c.right);
        EXPECT_EQ(spansText(left), QLatin1String(c.leftMarks)) << c.left.left(20).toStdString();
        EXPECT_EQ(spansText(right), QLatin1String(c.rightMarks)) << c.right.left(20).toStdString();
    }
    // A changed row carries its marks; the line text shows stray bytes as the panes do.
    const LineDiff d = diffLines("caf\xc3\xa9\tx\xff\n", "cafe\tx\xff\n");
    ASSERT_EQ(d.marks.size(), 1u);
    EXPECT_EQ(spansText(d.marks[0].first), QStringLiteral("3+1"));
    EXPECT_EQ(lineText(d.leftLine(0)), QStringLiteral("caf\u00e9\tx\\xFF"));
}

TEST(TextDiff, ReadsFilesAndGivesTheFirstDifferentByteOfBinaryFiles) {
    TempTree t;
    QByteArray a(600 * 1024, 'a');
    a[10] = '\0';
    QByteArray b = a;
    b[300 * 1024 + 7] = 'b'; // past the first block that is read
    t.write("a.bin", a);
    t.write("b.bin", b);
    t.write("short.bin", a.left(1000));
    t.writeRaw("caf\xe9.txt", "one\ntwo\n");
    t.write("b.txt", "one\n2\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(t.filePath("pipe")).constData(), 0600), 0);
    auto compare = [&t](const QByteArray& x, const QByteArray& y) {
        return compareFiles(QFile::encodeName(t.path()) + "/" + x,
                            QFile::encodeName(t.path()) + "/" + y, running);
    };
    FileComparison r = compare("a.bin", "b.bin");
    EXPECT_TRUE(r.binary);
    EXPECT_EQ(r.firstDifference, 300 * 1024 + 7);
    EXPECT_EQ(r.binaryText(), QStringLiteral("Binary files differ at byte 307,207"));
    EXPECT_EQ(compare("a.bin", "short.bin").firstDifference, 1000);
    r = compare("a.bin", "a.bin");
    EXPECT_EQ(r.binaryText(), QStringLiteral("Binary files are identical"));

    r = compare("caf\xe9.txt", "b.txt");
    EXPECT_FALSE(r.binary);
    EXPECT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    EXPECT_EQ(rowsText(r.lines), QStringLiteral("=1:1 ~2:2"));

    EXPECT_TRUE(
        compare("gone.txt", "b.txt").error.endsWith(QStringLiteral("No such file or directory")));
    EXPECT_TRUE(
        compare("b.txt", "pipe").error.endsWith(QStringLiteral("pipe: not a regular file")));
}

TEST(DiffCommand, PathsReachTheProgramWholeAndByteForByte) {
    const QByteArray first = "/tmp/my dir/it's \"q\".txt";
    const QByteArray second = "/tmp/caf\xe9 $(x)/b;c";
    const struct {
        const char* line;
        QList<QByteArray> arguments;
    } cases[] = {
        {"meld %1 %2", {"meld", first, second}},
        {"  kdiff3  ", {"kdiff3", first, second}},
        {"'/opt/my diff' --left=%1 \"--title=a b\" %2 x\\ y",
         {"/opt/my diff", "--left=" + first, "--title=a b", second, "x y"}},
        {"diff %2 %%1 %1", {"diff", second, "%1", first}},
        {"meld '%1", {}},
        {"   ", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(diffCommandArguments(QString::fromUtf8(c.line), first, second), c.arguments)
            << c.line;
}

TEST(DiffCommand, StartsTheProgramWithTheSameBytes) {
    TempTree t;
    const QByteArray out = QFile::encodeName(t.filePath("args"));
    const QByteArray odd = "caf\xe9 \"x\" 'y'\n$(z)";
    const QString error =
        startDetached({"/bin/sh", "-c", "printf '%s|' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0\"",
                       out, odd, "b"});
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(t.filePath("args")); }, 10000));
    EXPECT_EQ(t.read("args"), odd + "|b|");
    EXPECT_EQ(startDetached({"duoscope-no-such-program"}),
              QStringLiteral("No such file or directory"));
}
