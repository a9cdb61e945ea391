#include "core/message_style.h"
#include "core/text_formats.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

// Tests run with TZ=UTC, so local time is UTC here.
TEST(TextFormats, SizeTextGroupsThousands) {
    const TextFormats us(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.sizeText(0), QStringLiteral("0 bytes"));
    EXPECT_EQ(us.sizeText(999), QStringLiteral("999 bytes"));
    EXPECT_EQ(us.sizeText(1234567), QStringLiteral("1,234,567 bytes"));
    EXPECT_EQ(us.sizeText(5368709120LL), QStringLiteral("5,368,709,120 bytes")); // past 2 GiB
    const TextFormats de(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(de.sizeText(1234567), QStringLiteral("1.234.567 bytes"));
}

TEST(TextFormats, CLocaleUsesFixedForms) {
    const TextFormats c(QLocale::c());
    EXPECT_EQ(c.sizeText(1234567), QStringLiteral("1,234,567 bytes"));
    EXPECT_EQ(c.modifiedText(utc(2024, 3, 9, 14, 5, 7)), QStringLiteral("2024-03-09 14:05:07"));
    EXPECT_EQ(c.longDateTimeText(utc(2024, 3, 9, 14, 5, 7)),
              QStringLiteral("Saturday, March 9, 2024 14:05:07"));
}

TEST(TextFormats, ModifiedTextLeavesOutMidnight) {
    const TextFormats us(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString noon = us.modifiedText(utc(2024, 3, 9, 12, 0, 1));
    EXPECT_TRUE(noon.startsWith(QStringLiteral("3/9/24 "))) << noon.toStdString();
    EXPECT_TRUE(noon.contains(QStringLiteral("12:00:01"))) << noon.toStdString();
    EXPECT_FALSE(noon.contains(QStringLiteral("UTC"))) << "no time zone in the column";
    EXPECT_EQ(us.modifiedText(utc(2024, 3, 9, 0, 0, 0)), QStringLiteral("3/9/24"));
    EXPECT_NE(us.modifiedText(utc(2024, 3, 9, 0, 0, 1)), QStringLiteral("3/9/24"));
}

TEST(TextFormats, IsoLocalText) {
    EXPECT_EQ(isoLocalText(utc(1999, 12, 31, 23, 59, 58)), QStringLiteral("1999-12-31T23:59:58"));
}

TEST(MessageStyle, StylesDecodeToButtonsIconAndDefault) {
    const MessageStyle error = decodeMessageStyle(MsgStyle::Critical);
    EXPECT_EQ(error.buttons, MessageStyle::Buttons::Ok);
    EXPECT_EQ(error.icon, MessageStyle::Icon::Critical);

    const MessageStyle overwrite = decodeMessageStyle(MsgStyle::QuestionYesNo);
    EXPECT_EQ(overwrite.buttons, MessageStyle::Buttons::YesNo);
    EXPECT_EQ(overwrite.icon, MessageStyle::Icon::Question);
    EXPECT_EQ(overwrite.answers()[static_cast<size_t>(overwrite.defaultButton)], Answer::Yes);

    const MessageStyle del = decodeMessageStyle(MsgStyle::QuestionYesNoNoDefault);
    EXPECT_EQ(del.answers()[static_cast<size_t>(del.defaultButton)], Answer::No);

    EXPECT_EQ(decodeMessageStyle(MsgStyle::Information).icon, MessageStyle::Icon::Information);
}

TEST(MessageStyle, UnexpectedErrorTextIsExact) {
    EXPECT_EQ(unexpectedErrorText(2, QStringLiteral("/x/a.txt: No such file or directory")),
              QStringLiteral("An unexpected error has occurred.\n\nError 2: /x/a.txt: No such "
                             "file or directory\r\rIf this problem persists, contact the "
                             "software vendor."));
}

} // namespace
