#include "base/name_text.h"
#include "fs/unique_fd.h"
#include "shell/program_start.h"
#include "support/temp_tree.h"
#include "text/diff_command.h"
#include "text/text_diff.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

namespace {

// Rows as "kind left:right", 1-based lines, "." for blank space.
QString rowsText(const LineDiff& d) {
    QStringList out;
    for (int row = 0; row < d.rowCount; ++row) {
        const DiffRow r = d.row(row);
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

LineDiff diffTexts(const QByteArray& left, const QByteArray& right) {
    return diffLines(TextLines(left), TextLines(right));
}

// The hunks of `diff`'s normal output ("3c3", "5,7d4", "2a3,4"), 0-based.
std::vector<Hunk> hunksOfDiff(const QString& left, const QString& right) {
    QProcess diff;
    diff.start(QStringLiteral("diff"), {left, right});
    EXPECT_TRUE(diff.waitForFinished(10000));
    std::vector<Hunk> hunks;
    static const QRegularExpression header(
        QStringLiteral("^(\\d+)(?:,(\\d+))?([acd])(\\d+)(?:,(\\d+))?$"));
    for (const QByteArray& line : diff.readAllStandardOutput().split('\n')) {
        const QRegularExpressionMatch m = header.match(QString::fromLatin1(line));
        if (!m.hasMatch())
            continue;
        auto range = [&m](int from, int to, bool empty) {
            const int first = m.captured(from).toInt();
            const int last = m.captured(to).isEmpty() ? first : m.captured(to).toInt();
            return empty ? std::pair{first, 0} : std::pair{first - 1, last - first + 1};
        };
        const QChar op = m.captured(3)[0];
        const auto [l, lc] = range(1, 2, op == QLatin1Char('a'));
        const auto [r, rc] = range(4, 5, op == QLatin1Char('d'));
        hunks.push_back({l, lc, r, rc});
    }
    return hunks;
}

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
        const LineDiff d = diffTexts(c.left, c.right);
        EXPECT_EQ(rowsText(d), QString::fromUtf8(c.rows)) << c.left << "|" << c.right;
        EXPECT_EQ(diffSummary(d), QString::fromUtf8(c.summary)) << c.left;
        EXPECT_EQ(d.changes, c.changes) << c.left;
    }
}

TEST(TextDiff, HunksAreThoseOfDiffOnGeneratedPairs) {
    // Few distinct lines, so most have many equals and the script has many
    // choices; some sides share nothing, some end without a newline, and one
    // block of lines is common to both ends so that a line occurs far more
    // often than the others.
    TempTree t;
    std::mt19937 random(33);
    auto pick = [&random](int n) { return int(random() % unsigned(n)); };
    int agreed = 0;
    const int pairs = 300;
    for (int k = 0; k < pairs; ++k) {
        const int alphabet = 2 + pick(6);
        auto line = [&] {
            return pick(12) == 0 ? "unique " + QByteArray::number(pick(1 << 20))
                                 : QByteArray(1, char('a' + pick(alphabet)));
        };
        std::vector<QByteArray> left;
        for (int i = pick(k % 40 == 0 ? 300 : 30); i > 0; --i)
            left.push_back(k % 7 == 0 && pick(2) ? QByteArray("}") : line());
        std::vector<QByteArray> right = left;
        for (int edits = pick(6); edits > 0; --edits) {
            const int at = pick(int(right.size()) + 1);
            const int kind = pick(3);
            if (kind == 0 || right.empty())
                right.insert(right.begin() + at, line());
            else if (kind == 1 && at < int(right.size()))
                right.erase(right.begin() + at);
            else if (at < int(right.size()))
                right[size_t(at)] = line();
        }
        if (k % 10 == 9)
            right = {line(), line(), line()};
        QByteArray texts[2];
        for (int s = 0; s < 2; ++s) {
            for (const QByteArray& l : s ? right : left)
                texts[s] += l + '\n';
            if (k % 5 == s + 1 && !texts[s].isEmpty())
                texts[s].chop(1);
        }
        t.write("l", texts[0]);
        t.write("r", texts[1]);
        const std::vector<Hunk> expected = hunksOfDiff(t.filePath("l"), t.filePath("r"));
        const std::vector<Hunk> ours = diffTexts(texts[0], texts[1]).hunks;
        agreed += ours == expected;
        EXPECT_EQ(ours.size(), expected.size()) << k << "\n"
                                                << texts[0].constData() << "|\n"
                                                << texts[1].constData();
    }
    EXPECT_EQ(agreed, pairs);

    // One replaced line amid equal ones is one change.
    const LineDiff d = diffTexts("x\nx\nx\nx\nx\n", "x\nx\nNEW\nx\nx\n");
    EXPECT_EQ(d.hunks, std::vector<Hunk>({{2, 1, 2, 1}}));
    EXPECT_EQ(rowsText(d), QStringLiteral("=1:1 =2:2 ~3:3 =4:4 =5:5"));
}

TEST(TextDiff, IgnoreOptionsMakeLinesEqual) {
    const struct {
        const char *left, *right;
        int ignore;
        bool equal;
    } cases[] = {
        {"a  b \n", "a\tb\n", 0, false},
        {"a  b \n", "a\tb\n", IgnoreSpaceChanges, true},
        {" a\n", "a\n", IgnoreSpaceChanges, false},
        {" a\n", "a \n", IgnoreAllSpace, true},
        {"ab\n", "a b\n", IgnoreSpaceChanges, false},
        {"a\r\nb\r\n", "a\nb\n", IgnoreLineEnds, true},
        {"a\r\n", "a\n", IgnoreCase, false},
        {"a\r", "a", IgnoreLineEnds, true},
        {"a\n", "a", IgnoreLineEnds | IgnoreAllSpace, true}, // a missing last newline too
        {"a\n", "a", IgnoreAllSpace, false},
        {"\xc3\x89"
         "cole\n",
         "\xc3\xa9"
         "COLE\n",
         IgnoreCase, true},
        {"\xff X\n", "\xff x\n", IgnoreCase, true},
        {"\xff X\n", "\xfe x\n", IgnoreCase, false},
    };
    for (const auto& c : cases) {
        const LineDiff d = diffLines(TextLines(c.left), TextLines(c.right), c.ignore);
        EXPECT_EQ(d.hunks.empty(), c.equal) << c.left << "|" << c.right << "|" << c.ignore;
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
    // The line text shows stray bytes as the panes do.
    const LineDiff d = diffTexts("caf\xc3\xa9\tx\xff\n", "cafe\tx\xff\n");
    EXPECT_EQ(lineText(d.left.line(0)), QStringLiteral("caf\u00e9\tx\\xFF"));
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

    // A mapped file shortened by another program reads as zeros instead of
    // ending this one.
    const QByteArray page(4096, 'a');
    t.write("shrinks.txt", page + "\n" + page + page + "\n");
    const QByteArray shrinks = QFile::encodeName(t.filePath("shrinks.txt"));
    const UniqueFd fd(::open(shrinks.constData(), O_RDONLY));
    const TextLines text = TextLines::mapped(fd.fd, shrinks);
    ASSERT_EQ(::truncate(shrinks.constData(), 100), 0);
    EXPECT_EQ(text.line(0).left(100), page.left(100));
    EXPECT_EQ(text.line(1).left(2 * 4096), QByteArray(2 * 4096, '\0'));
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

namespace {

// Whether the hunks describe the two texts: the lines between them equal,
// each of them holding lines that differ, the counts adding up.
bool hunksHold(const LineDiff& d) {
    int l = 0, r = 0;
    for (const Hunk& h : d.hunks) {
        for (; l < h.left; ++l, ++r) {
            if (r >= d.right.count() || d.left.key(l) != d.right.key(r))
                return false;
        }
        if (r != h.right || h.leftCount + h.rightCount == 0)
            return false;
        bool same = h.leftCount == h.rightCount; // lines equal are no change
        for (int k = 0; same && k < h.leftCount; ++k)
            same = d.left.key(h.left + k) == d.right.key(h.right + k);
        if (same)
            return false;
        l += h.leftCount;
        r += h.rightCount;
    }
    for (; l < d.left.count(); ++l, ++r) {
        if (r >= d.right.count() || d.left.key(l) != d.right.key(r))
            return false;
    }
    return r == d.right.count();
}

} // namespace

TEST(TextDiff, EditsComparedWithinTheirOwnLinesKeepTheHunksTrue) {
    std::mt19937 random(11);
    const auto someLines = [&](int most) {
        QByteArray text;
        for (int n = int(random() % unsigned(most + 1)); n > 0; --n)
            text += QByteArray(1, char('a' + random() % 4)) + (random() % 5 ? "\n" : "\r\n");
        return text;
    };
    for (int pair = 0; pair < 200; ++pair) {
        LineDiff d = diffLines(TextLines(someLines(30)), TextLines(someLines(30)));
        QList<QByteArray> model[2] = {d.left.bytes().split('\n'), d.right.bytes().split('\n')};
        for (int edit = 0; edit < 6; ++edit) {
            const bool right = random() % 2;
            EditedText& text = right ? d.right : d.left;
            const int from = int(random() % unsigned(text.count() + 1));
            const int count = int(random() % unsigned(text.count() - from + 1));
            const QByteArray bytes = someLines(4);
            text.replace(from, count, bytes);
            d.edited(right, from, count, TextLines(bytes).count());
            QList<QByteArray>& lines = model[right];
            lines.remove(from, count);
            const QList<QByteArray> added = bytes.split('\n');
            for (qsizetype i = 0; i + 1 < added.size(); ++i)
                lines.insert(from + i, added[i]);
            if (random() % 2)
                d.settle(comparePending(d));
        }
        d.settle(comparePending(d));
        EXPECT_EQ(d.left.bytes(), model[0].join('\n'));
        EXPECT_EQ(d.right.bytes(), model[1].join('\n'));
        ASSERT_TRUE(hunksHold(d)) << pair;
        // The rows again: each line of each side on the row rowOf gives.
        for (const bool right : {false, true}) {
            const int line = (right ? d.right : d.left).count() / 2;
            if (line > 0) {
                const DiffRow row = d.row(d.rowOf(right, line));
                EXPECT_EQ(right ? row.right : row.left, line);
            }
        }
    }
    // Line endings made those of the text the lines go to.
    const EditedText mixed(TextLines("a\r\nb\nc"));
    EXPECT_EQ(mixed.withLineEnd("\n").bytes(), "a\nb\nc");
    EXPECT_EQ(mixed.withLineEnd("\r\n").bytes(), "a\r\nb\r\nc");
    EXPECT_EQ(mixed.slice(1, 2).bytes(), "b\nc");
}

TEST(TextDiff, CharactersDifferingOnlyInWhatIsIgnoredAreNotStronglyMarked) {
    const struct {
        QString left, right;
        int ignore;
        const char *leftMarks, *rightMarks;
    } cases[] = {
        {QStringLiteral("a b x"), QStringLiteral("a  b y"), IgnoreSpaceChanges, "4+1", "5+1"},
        {QStringLiteral("Abc"), QStringLiteral("abd"), IgnoreCase, "2+1", "2+1"},
        {QStringLiteral("Abc"), QStringLiteral("abd"), 0, "0+1,2+1", "0+1,2+1"},
        {QStringLiteral("x\\x0D"), QStringLiteral("y"), IgnoreLineEnds, "0+1", "0+1"},
        {QStringLiteral("x\\x0D"), QStringLiteral("x"), IgnoreLineEnds, "", ""},
    };
    for (const auto& c : cases) {
        const auto [left, right] = diffChars(c.left, c.right, c.ignore);
        EXPECT_EQ(spansText(left), QLatin1String(c.leftMarks)) << qPrintable(c.left);
        EXPECT_EQ(spansText(right), QLatin1String(c.rightMarks)) << qPrintable(c.right);
    }
}
