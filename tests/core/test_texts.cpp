#include "base/name_text.h"
#include "base/number_text.h"
#include "base/text_formats.h"
#include "base/wildcard.h"
#include "fs/exclusions.h"
#include "support/printers.h"

#include <QDateTime>
#include <QSet>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(NameText, EscapesOnlyWhatIsAmbiguousOrUnsafeAndGivesTheBytesBack) {
    // Bytes, then the text shown: a lone backslash stays, an overlong or cut
    // sequence and control characters (C0, C1) are escaped.
    const char* const cases[] = {
        "plain.txt",  "plain.txt",    "caf\xc3\xa9",   "caf\xc3\xa9",
        "caf\xe9",    "caf\\xE9",     "\xc0\xafx",     "\\xC0\\xAFx",
        "x\xe2\x82",  "x\\xE2\\x82",  "a\nb\x1b[2J\r", "a\\x0Ab\\x1B[2J\\x0D",
        "c1\xc2\x9b", "c1\\xC2\\x9B", "a\\b",          "a\\b",
        "\\xE9",      "\\\\xE9",      "\\XE9",         "\\\\XE9",
        "\\\\",       "\\\\\\",       "\\\xe9",        "\\\\\\xE9"};
    for (size_t i = 0; i < std::size(cases); i += 2) {
        const QByteArray bytes(cases[i]);
        EXPECT_EQ(nameText(bytes), QString::fromUtf8(cases[i + 1])) << cases[i + 1];
        EXPECT_EQ(nameBytes(nameText(bytes)), bytes) << cases[i + 1];
    }
    EXPECT_EQ(nameBytes(QStringLiteral("caf\\xe9")), QByteArray("caf\xe9")) << "typed escapes";

    // Different names never show the same text: every name of up to five
    // bytes from an alphabet rich in escapes.
    const char alphabet[] = {'\\', 'x', 'X', 'E', '9', 'a', '\xe9', '\xc3', '\xa9', '\n'};
    QSet<QString> seen;
    for (int n = 1; n < 111111; ++n) {
        QByteArray bytes;
        for (int k = n; k > 0; k = (k - 1) / 10)
            bytes += alphabet[(k - 1) % 10];
        const QString text = nameText(bytes);
        ASSERT_FALSE(seen.contains(text)) << text.toStdString();
        seen.insert(text);
        ASSERT_EQ(nameBytes(text), bytes) << text.toStdString();
    }
}

TEST(Wildcard, MatchesByCharacterIgnoringCaseAndTheWholePattern) {
    const char* const matches[] = {"*.*|README",      "*.*|.hidden",   "*.txt|notes.TXT",
                                   "Ä*|äpfel",        "emoji?|emoji😀", "*a*b*c|xxaxxbxxbxc",
                                   "report*.*|report"};
    const char* const misses[] = {
        "*.txt|notes.txt.bak", "?.c|.c",        "?.c|ab.c",         "??|😀",
        "*.txt;*.doc|a.txt",   "[a].txt|a.txt", "*a*b*c|xxaxxbxxbx"};
    for (const auto& [list, match] : {std::pair{&matches, true}, {&misses, false}})
        for (const char* c : *list) {
            const QStringList parts = QString::fromUtf8(c).split(QLatin1Char('|'));
            EXPECT_EQ(wildcardMatch(parts[0], parts[1]), match) << c;
        }
    EXPECT_EQ(folderPath(QStringLiteral("/data")) + folderPath(QString()),
              QStringLiteral("/data//"));

    // Exclusions: list | folder relative to the top | name, left out or not.
    const char* const excluded[] = {"x; node_modules |a/b/|node_modules",
                                    ".git||.GIT",
                                    "*.pyc|p/|m.pyc",
                                    "build/gen|build/|gen",
                                    "/build/gen/|build/|gen",
                                    "*/out|a/b/|out",
                                    "a/*.o|a/b/|c.o"};
    const char* const kept[] = {
        "|a/|x",         " ; |a/|x", "build/gen||gen", "gen/x|a/|x", "node_modules|a/|node",
        "b/out|ab/|out", "*.o|a/|o"};
    for (const auto& [list, out] : {std::pair{&excluded, true}, {&kept, false}})
        for (const char* c : *list) {
            const QStringList parts = QString::fromUtf8(c).split(QLatin1Char('|'));
            EXPECT_EQ(Exclusions(parts[0]).excludes(parts[2].toUtf8(), parts[1].toUtf8()), out)
                << c;
        }
}

TEST(NumberText, LenientStrictAndStoredForms) {
    const std::pair<const char*, double> lenient[] = {
        {" -15 x", -15}, {"1.5.2", 1.5}, {"1e3x", 1000}, {"2e+", 2}, {"- 5", 0}, {"0x10", 0}};
    for (const auto& [text, value] : lenient)
        EXPECT_DOUBLE_EQ(lenientNumber(QString::fromLatin1(text)), value) << text;
    EXPECT_EQ(strictNumber(u" 1.5e2 "), 150.0);
    for (const char* bad : {"", "2abc", "1,5", "1e", "1e999", "inf", "nan"})
        EXPECT_FALSE(strictNumber(QString::fromLatin1(bad)).has_value()) << bad;
    // Flags: strict, absolute, halves to even, 16 bits. States: lenient, 0 to 2.
    const std::tuple<const char*, int, int> stored[] = {{"-1", 1, -1},  {"2.5", 2, 2},
                                                        {"3.5", 4, -1}, {"-32767.5", -1, -1},
                                                        {"1x", -1, 1},  {"abc", -1, 0}};
    for (const auto& [text, flag, state] : stored) {
        EXPECT_EQ(storedFlag(QString::fromLatin1(text)).value_or(-1), flag) << text;
        EXPECT_EQ(storedWindowState(QString::fromLatin1(text)).value_or(-1), state) << text;
    }
    EXPECT_EQ(numberText(1e20) + numberText(1e-300), QStringLiteral("1e+201e-300"));
    for (double v : {-0.0, -0.125, 1234567.5, 1e-300, 1.5e300})
        EXPECT_EQ(strictNumber(numberText(v)), v) << v;
}

std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

// Tests run with TZ=UTC, so local time is UTC here.
TEST(TextFormats, SizesAndDatesInTheLocaleAndNeverAWrongDate) {
    const TextFormats us(QLocale(QLocale::English, QLocale::UnitedStates)), c(QLocale::c());
    EXPECT_EQ(us.sizeText(5368709120LL) + TextFormats(QLocale(QLocale::German)).sizeText(1234567),
              QStringLiteral("5,368,709,120 bytes1.234.567 bytes"));
    EXPECT_EQ(us.modifiedText(utc(2024, 3, 9, 12, 0, 1)), QStringLiteral("3/9/24 12:00:01 PM"));
    EXPECT_EQ(us.modifiedText(utc(2024, 3, 9, 0, 0, 0)), QStringLiteral("3/9/24"));
    EXPECT_EQ(c.modifiedText(utc(2024, 3, 9, 14, 5, 7)), QStringLiteral("2024-03-09 14:05:07"));
    EXPECT_EQ(c.longDateTimeText(utc(2024, 3, 9, 14, 5, 7)),
              QStringLiteral("Saturday, March 9, 2024 14:05:07"));
    EXPECT_EQ(isoLocalText(253402300799LL), QStringLiteral("9999-12-31T23:59:59"));
    for (const std::time_t t :
         {std::numeric_limits<std::time_t>::max(), std::numeric_limits<std::time_t>::min(),
          std::time_t(67767976233316800LL), std::time_t(253402300800LL)}) {
        const QString expected = QStringLiteral("out of range (%1 s)").arg(qint64(t));
        EXPECT_EQ(c.modifiedText(t), expected);
        EXPECT_EQ(c.longDateTimeText(t), expected);
        EXPECT_TRUE(isoLocalText(t).isNull()) << qint64(t);
    }
}

} // namespace
