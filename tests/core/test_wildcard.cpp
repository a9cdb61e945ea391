#include "core/name_text.h"
#include "core/wildcard.h"

#include <gtest/gtest.h>

namespace {

bool m(const char* pattern, const char* name) {
    return wildcardMatch(QString::fromUtf8(pattern), QString::fromUtf8(name));
}

TEST(Wildcard, StarDotStarMatchesEveryNameWithOrWithoutDot) {
    for (const char* name : {"a.txt", "README", ".hidden", "x.tar.gz", "a."})
        EXPECT_TRUE(m("*.*", name)) << name;
}

TEST(Wildcard, ExtensionPatternsIgnoreCase) {
    EXPECT_TRUE(m("*.txt", "notes.TXT"));
    EXPECT_TRUE(m("*.TXT", "notes.txt"));
    EXPECT_FALSE(m("*.txt", "notes.txt.bak"));
    EXPECT_FALSE(m("*.txt", "notes"));
    EXPECT_TRUE(m("Ä*", "äpfel"));
}

TEST(Wildcard, QuestionMarkIsExactlyOneCharacter) {
    EXPECT_TRUE(m("?.c", "a.c"));
    EXPECT_FALSE(m("?.c", ".c"));
    EXPECT_FALSE(m("?.c", "ab.c"));
    EXPECT_TRUE(m("a??", "abc"));
}

TEST(Wildcard, PatternIsUsedWholeAndBracketsAreLiteral) {
    EXPECT_FALSE(m("*.txt;*.doc", "a.txt"));
    EXPECT_TRUE(m("*.txt;*.doc", "a.txt;b.doc"));
    EXPECT_TRUE(m("[a].txt", "[a].txt"));
    EXPECT_FALSE(m("[a].txt", "a.txt"));
}

TEST(Wildcard, StarsBacktrack) {
    EXPECT_TRUE(m("*a*b*c", "xxaxxbxxbxc"));
    EXPECT_FALSE(m("*a*b*c", "xxaxxbxxbx"));
    EXPECT_TRUE(m("report*.*", "report"));
    EXPECT_TRUE(m("", ""));
    EXPECT_FALSE(m("", "a"));
}

TEST(FolderPath, AppendsOneSlashUnlessThereIsOne) {
    EXPECT_EQ(folderPath(QStringLiteral("/data")), QStringLiteral("/data/"));
    EXPECT_EQ(folderPath(QStringLiteral("/data/")), QStringLiteral("/data/"));
    EXPECT_EQ(folderPath(QString()), QStringLiteral("/"));
    EXPECT_EQ(folderPath(QStringLiteral("rel")), QStringLiteral("rel/"));
}

TEST(NameText, InvalidUtf8BytesShowEscapedAndStayDistinct) {
    EXPECT_EQ(nameText("plain.txt"), QStringLiteral("plain.txt"));
    EXPECT_EQ(nameText("caf\xc3\xa9.txt"), QString::fromUtf8("café.txt"));
    EXPECT_EQ(nameText("caf\xe9.txt"), QStringLiteral("caf\\xE9.txt"));
    EXPECT_NE(nameText("a\xe9"), nameText("a\xe8"));
    // Overlong and truncated sequences are not valid either.
    EXPECT_EQ(nameText("\xc0\xafx"), QStringLiteral("\\xC0\\xAFx"));
    EXPECT_EQ(nameText("x\xe2\x82"), QStringLiteral("x\\xE2\\x82"));
}

} // namespace
