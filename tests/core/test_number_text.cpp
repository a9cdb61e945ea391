#include "core/number_text.h"
#include "support/printers.h"

#include <gtest/gtest.h>

namespace {

TEST(NumberText, LenientReadsTheLongestLeadingNumber) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"2abc", 2},   {"abc", 0}, {"", 0},     {"  -15 twips", -15}, {"1.5.2", 1.5}, {".5", 0.5},
        {"7.", 7},     {"-", 0},   {"+3", 3},   {"1e3x", 1000},       {"2e", 2},      {"2e+", 2},
        {"4E-1", 0.4}, {"- 5", 0}, {"0x10", 0}, {"12 34", 12},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(lenientNumber(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(NumberText, StrictNeedsTheWholeTextToBeANumber) {
    EXPECT_EQ(strictNumber(u"3360"), 3360.0);
    EXPECT_EQ(strictNumber(u" 659 "), 659.0);
    EXPECT_EQ(strictNumber(u"-1"), -1.0);
    EXPECT_EQ(strictNumber(u"2.5"), 2.5);
    EXPECT_EQ(strictNumber(u"1.5e2"), 150.0);
    for (const char* bad : {"", " ", "2abc", "abc", "1,5", "1e", "1e999", "--1", "inf", "nan"})
        EXPECT_FALSE(strictNumber(QString::fromLatin1(bad)).has_value()) << bad;
}

TEST(NumberText, HalvesRoundToTheEvenNeighbour) {
    const double cases[][2] = {{0.5, 0},   {1.5, 2},    {2.5, 2},    {3.5, 4},   {-0.5, 0},
                               {-1.5, -2}, {2.4999, 2}, {2.5001, 3}, {-2.6, -3}, {7, 7}};
    for (const auto& c : cases)
        EXPECT_EQ(roundHalfEven(c[0]), c[1]) << c[0];
}

TEST(NumberText, StoredFlagsAreWholeNonNegativeSixteenBitNumbers) {
    EXPECT_EQ(storedFlag(u"-1"), 1);
    EXPECT_EQ(storedFlag(u"2.5"), 2);
    EXPECT_EQ(storedFlag(u"3.5"), 4);
    EXPECT_EQ(storedFlag(u"0"), 0);
    EXPECT_EQ(storedFlag(u"-32767.4"), 32767);
    EXPECT_FALSE(storedFlag(u"32768").has_value());
    EXPECT_FALSE(storedFlag(u"-32767.5").has_value()) << "rounds to 32768";
    EXPECT_FALSE(storedFlag(u"yes").has_value());
    EXPECT_FALSE(storedFlag(u"1x").has_value()) << "flags are read strictly";
}

TEST(NumberText, StoredWindowStateIsLenientAndWithinZeroToTwo) {
    EXPECT_EQ(storedWindowState(u"2abc"), 2);
    EXPECT_EQ(storedWindowState(u"abc"), 0);
    EXPECT_EQ(storedWindowState(u"1"), 1);
    EXPECT_EQ(storedWindowState(u"0.5"), 0);
    EXPECT_EQ(storedWindowState(u"1.5"), 2);
    EXPECT_EQ(storedWindowState(u"2.5"), 2);
    EXPECT_FALSE(storedWindowState(u"3").has_value());
    EXPECT_FALSE(storedWindowState(u"-1").has_value());
    EXPECT_FALSE(storedWindowState(u"65538").has_value());
}

TEST(NumberText, NumbersAreWrittenAsPlainDecimalText) {
    EXPECT_EQ(numberText(3360), QStringLiteral("3360"));
    EXPECT_EQ(numberText(-15), QStringLiteral("-15"));
    EXPECT_EQ(numberText(0.0), QStringLiteral("0"));
    EXPECT_EQ(numberText(-0.0), QStringLiteral("0"));
    EXPECT_EQ(numberText(1e6), QStringLiteral("1000000"));
    EXPECT_EQ(numberText(7.5), QStringLiteral("7.5"));
    EXPECT_EQ(numberText(1e20), QStringLiteral("100000000000000000000"));
    // What is written reads back as the same number.
    for (double v : {12.25, -0.125, 28800.0, 1234567.5})
        EXPECT_EQ(strictNumber(numberText(v)), v) << v;
}

} // namespace
