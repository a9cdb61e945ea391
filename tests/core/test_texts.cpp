// Texts and numbers: name escapes, wildcards, stored numbers, sizes and dates,
// and the window geometry.
#include "core/message_style.h"
#include "core/name_text.h"
#include "core/number_text.h"
#include "core/text_formats.h"
#include "core/wildcard.h"
#include "core/window_layout.h"
#include "support/printers.h"

#include <QDateTime>
#include <QRandomGenerator>
#include <QSet>
#include <gtest/gtest.h>
#include <limits>

namespace {

TEST(NameText, EscapesOnlyWhatIsAmbiguousOrUnsafeAndGivesTheBytesBack) {
    const std::pair<QByteArray, const char*> cases[] = {{"plain.txt", "plain.txt"},
                                                        {"caf\xc3\xa9", "caf\xc3\xa9"},
                                                        {"caf\xe9", "caf\\xE9"},
                                                        {"\xc0\xafx", "\\xC0\\xAFx"}, // overlong
                                                        {"x\xe2\x82", "x\\xE2\\x82"},
                                                        {"a\nb\x1b[2J\r", "a\\x0Ab\\x1B[2J\\x0D"},
                                                        {"c1\xc2\x9b", "c1\\xC2\\x9B"},
                                                        {"a\\b", "a\\b"}, // a lone backslash stays
                                                        {"\\xE9", "\\\\xE9"},
                                                        {"\\XE9", "\\\\XE9"},
                                                        {"\\\\", "\\\\\\"},
                                                        {"\\\xe9", "\\\\\\xE9"}};
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(nameText(bytes), QString::fromUtf8(text)) << text;
        EXPECT_EQ(nameBytes(nameText(bytes)), bytes) << text;
    }
    EXPECT_EQ(nameBytes(QStringLiteral("caf\\xe9")), QByteArray("caf\xe9")) << "typed escapes";

    // Different names never show the same text, over an alphabet rich in escapes.
    const char alphabet[] = {'\\', 'x', 'X', 'E', '9', 'a', '\xe9', '\xc3', '\xa9', '\n'};
    QSet<QString> seen;
    QSet<QByteArray> made;
    QRandomGenerator random(42);
    for (int i = 0; i < 20000; ++i) {
        QByteArray bytes;
        for (int n = random.bounded(1, 7); n > 0; --n)
            bytes += alphabet[random.bounded(int(sizeof alphabet))];
        if (made.contains(bytes))
            continue;
        made.insert(bytes);
        const QString text = nameText(bytes);
        ASSERT_FALSE(seen.contains(text)) << text.toStdString();
        seen.insert(text);
        ASSERT_EQ(nameBytes(text), bytes) << text.toStdString();
    }
}

TEST(Wildcard, MatchesByCharacterIgnoringCaseAndTheWholePattern) {
    const struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {{"*.*", "README", true},
                 {"*.*", ".hidden", true},
                 {"*.txt", "notes.TXT", true},
                 {"*.txt", "notes.txt.bak", false},
                 {"Ä*", "äpfel", true},
                 {"?.c", ".c", false},
                 {"?.c", "ab.c", false},
                 {"emoji?", "emoji😀", true},
                 {"??", "😀", false},
                 {"*.txt;*.doc", "a.txt", false},
                 {"[a].txt", "a.txt", false},
                 {"*a*b*c", "xxaxxbxxbxc", true},
                 {"*a*b*c", "xxaxxbxxbx", false},
                 {"report*.*", "report", true}};
    for (const auto& c : cases)
        EXPECT_EQ(wildcardMatch(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.match)
            << c.pattern << " " << c.name;
    EXPECT_EQ(folderPath(QStringLiteral("/data")), QStringLiteral("/data/"));
    EXPECT_EQ(folderPath(QByteArray("/x/")), QByteArray("/x/"));
}

TEST(NumberText, LenientStrictAndStoredForms) {
    const std::pair<const char*, double> lenient[] = {
        {"2abc", 2}, {"abc", 0},     {"  -15 twips", -15}, {"1.5.2", 1.5}, {".5", 0.5},
        {"7.", 7},   {"1e3x", 1000}, {"2e+", 2},           {"- 5", 0},     {"0x10", 0}};
    for (const auto& [text, value] : lenient)
        EXPECT_DOUBLE_EQ(lenientNumber(QString::fromLatin1(text)), value) << text;
    EXPECT_EQ(strictNumber(u" 1.5e2 "), 150.0);
    for (const char* bad : {"", "2abc", "1,5", "1e", "1e999", "inf", "nan"})
        EXPECT_FALSE(strictNumber(QString::fromLatin1(bad)).has_value()) << bad;
    for (const auto& [in, out] : {std::pair{0.5, 0.0}, {1.5, 2.0}, {2.5, 2.0}, {-1.5, -2.0}})
        EXPECT_EQ(roundHalfEven(in), out) << in;
    const struct {
        const char* text;
        std::optional<int> flag, state;
    } stored[] = {{"-1", 1, std::nullopt},
                  {"2.5", 2, 2},
                  {"3.5", 4, std::nullopt},
                  {"-32767.5", std::nullopt, std::nullopt},
                  {"1x", std::nullopt, 1},
                  {"abc", std::nullopt, 0},
                  {"65538", std::nullopt, std::nullopt}};
    for (const auto& c : stored) {
        const std::optional<qint16> flag = storedFlag(QString::fromLatin1(c.text));
        EXPECT_EQ(flag ? std::optional<int>(*flag) : std::nullopt, c.flag) << c.text;
        EXPECT_EQ(storedWindowState(QString::fromLatin1(c.text)), c.state) << c.text;
    }
    EXPECT_EQ(numberText(1e20), QStringLiteral("100000000000000000000"));
    for (double v : {3360.0, -0.0, 7.5, -0.125, 1234567.5})
        EXPECT_EQ(strictNumber(numberText(v)), v) << v;
}

std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

// Tests run with TZ=UTC, so local time is UTC here.
TEST(TextFormats, SizesAndDatesInTheLocaleAndNeverAWrongDate) {
    const TextFormats us(QLocale(QLocale::English, QLocale::UnitedStates)), c(QLocale::c());
    EXPECT_EQ(us.sizeText(5368709120LL), QStringLiteral("5,368,709,120 bytes"));
    EXPECT_EQ(TextFormats(QLocale(QLocale::German)).sizeText(1234567),
              QStringLiteral("1.234.567 bytes"));
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
    EXPECT_EQ(unexpectedErrorText(2, QStringLiteral("/x: gone")),
              QStringLiteral("An unexpected error has occurred.\n\nError 2: /x: gone\r\rIf this "
                             "problem persists, contact the software vendor."));
}

TEST(WindowLayout, PanesAndControlsShareTheSpaceAndSkipWhatDoesNotFit) {
    const PaneRects odd = dockedPanes(QSizeF(7001, 4140), 420, 300);
    EXPECT_EQ(odd.source, QRectF(0, 420, 3500.5, 3420)) << "halved, not rounded";
    EXPECT_EQ(odd.destination, QRectF(3500.5, 420, 3500.5, 3420));
    const QRectF bar(0, 5700, 8000, 300), panel2(2500, 5700, 1500, 300);
    EXPECT_EQ(progressBarRect(bar, panel2, resizeProgressInset), QRectF(2500, 5725, 1500, 270));
    EXPECT_EQ(progressBarRect(bar, panel2, pasteTimerProgressInset), QRectF(2500, 5725, 1500, 265));
    const PaneControls before{QRectF(100, 100, 255, 255), QRectF(0, 0, 1000, 255),
                              QRectF(0, 255, 1255, 2000)};
    const PaneControls wide = layoutPane(QSizeF(3000, 5000), before);
    EXPECT_EQ(wide.button, QRectF(2745, 0, 255, 255));
    EXPECT_EQ(wide.folderBox, QRectF(0, 0, 2745, 255));
    EXPECT_EQ(wide.list, QRectF(0, 255, 3000, 4745));
    const PaneControls narrow = layoutPane(QSizeF(200, 5000), before);
    EXPECT_EQ(narrow.button, QRectF(-55, 0, 255, 255));
    EXPECT_EQ(narrow.folderBox, before.folderBox);
    EXPECT_EQ(layoutPane(QSizeF(3000, 100), before).list, before.list);
    PaneControls tall = before; // a skipped folder box keeps its older height
    tall.folderBox = QRectF(0, 0, 900, 400);
    EXPECT_EQ(layoutPane(QSizeF(200, 1000), tall).list, QRectF(0, 400, 200, 600));
    EXPECT_EQ(layoutPane(QSizeF(3000, 255), before).list, QRectF(0, 255, 3000, 0));
    EXPECT_EQ(centeredPosition(QSizeF(15360, 11520), QSizeF(16360, 12521)), QPointF(-500, -500.5));
}

} // namespace
