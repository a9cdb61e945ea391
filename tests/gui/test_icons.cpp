#include "mainwindow/bitmap_file.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QIcon>
#include <QLineEdit>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Icons : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("TEMP", QFile::encodeName(temp.path()));
        window.InitTempFolder();
        window.txtSource()->setText(source.path());
        window.txtDest()->setText(dest.path());
    }
    void TearDown() override { qunsetenv("TEMP"); }

    QImage icon(ListPane* pane, int row) {
        return window.ilIcons().image(pane->rows().smallIcon(row));
    }
    QString type(ListPane* pane, int row) { return pane->rows().subItem(row, PaneModel::Type); }
    void link(TempTree& tree, const char* name, const char* target) {
        ASSERT_EQ(
            ::symlink(target, QFile::encodeName(tree.filePath(QLatin1String(name))).constData()),
            0);
    }

    TempTree temp;
    TempTree source;
    TempTree dest;
    ScriptedPlatform platform;
    Main window{platform};
};

TEST_F(Icons, EachFileRowShowsItsTypeAndAnImageOfItsOwn) {
    source.write(QStringLiteral("a.txt"), "a");
    source.write(QStringLiteral("b.png"), "b");
    source.write(QStringLiteral("c.txt"), "c");
    dest.write(QStringLiteral("a.txt"), "A");
    window.mnuRefresh_Click();
    ASSERT_TRUE(platform.shown.isEmpty());
    ListPane* left = window.lvSource();
    ListPane* right = window.lvDest();
    ASSERT_EQ(left->count(), 3);

    EXPECT_EQ(type(left, 0), QStringLiteral("plain text document"));
    EXPECT_EQ(type(left, 1), QStringLiteral("PNG image"));
    EXPECT_EQ(type(right, 0), QStringLiteral("plain text document"));
    EXPECT_EQ(type(right, 1), QString()) << "a placeholder has no type";
    EXPECT_EQ(right->rows().smallIcon(1), 0) << "and no image";

    // Rows in the order they were added, each with its own position.
    EXPECT_EQ(window.ilIcons().count(), 4);
    QList<int> positions;
    for (int r = 0; r < 3; ++r)
        positions << left->rows().smallIcon(r);
    positions << right->rows().smallIcon(0);
    std::sort(positions.begin(), positions.end());
    EXPECT_EQ(positions, QList<int>({1, 2, 3, 4}));

    const QImage txt = icon(left, 0);
    ASSERT_FALSE(txt.isNull());
    EXPECT_EQ(txt.deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_EQ(icon(left, 2), txt) << "same kind, same picture";
    EXPECT_NE(icon(left, 1), txt) << "an image file has another icon than a text file";
    const QVariant shown = left->model()->index(0, 0).data(Qt::DecorationRole);
    EXPECT_EQ(shown.value<QImage>(), txt);

    // Without a desktop session the installed icon theme is still found.
    EXPECT_FALSE(QIcon::fromTheme(QStringLiteral("text-x-generic")).isNull());
}

TEST_F(Icons, TheImageListDoesNotGrowAcrossRefreshes) {
    for (int i = 0; i < 6; ++i)
        source.write(QStringLiteral("s%1.txt").arg(i));
    for (int i = 0; i < 4; ++i)
        dest.write(QStringLiteral("d%1.pdf").arg(i));
    window.mnuRefresh_Click();
    EXPECT_EQ(window.ilIcons().count(), 10);
    window.mnuRefresh_Click();
    window.mnuRefresh_Click();
    EXPECT_EQ(window.ilIcons().count(), 10);
    EXPECT_EQ(window.lvDest()->rows().smallIcon(0), 1) << "positions start again at 1";
    EXPECT_EQ(type(window.lvDest(), 3), QStringLiteral("PDF document"));
    EXPECT_EQ(type(window.lvSource(), 9), QStringLiteral("plain text document"));
}

TEST_F(Icons, AFailedLookupShowsThePreviousFilesTypeAndIcon) {
    source.write(QStringLiteral("a.txt"), "a");
    link(source, "b.png", "nowhere"); // listed, but no file to look up
    source.write(QStringLiteral("c.pdf"), "c");
    window.settings().showSystem = 1;
    window.mnuRefresh_Click();
    ASSERT_TRUE(platform.shown.isEmpty());
    ListPane* left = window.lvSource();
    ASSERT_EQ(left->count(), 3);
    EXPECT_EQ(type(left, 1), QStringLiteral("plain text document"));
    EXPECT_EQ(icon(left, 1), icon(left, 0));
    EXPECT_NE(left->rows().smallIcon(1), left->rows().smallIcon(0));
    EXPECT_EQ(type(left, 2), QStringLiteral("PDF document"));

    // First in a refresh: no type yet, and the last icon of the run.
    QFile::remove(source.filePath(QStringLiteral("a.txt")));
    window.mnuRefresh_Click();
    ASSERT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(type(left, 0), QString());
    EXPECT_EQ(icon(left, 0), icon(left, 1)) << "the pdf drawn last in the previous refresh";
}

TEST_F(Icons, NoIconYetGivesTheGenericTypeAndIconInsteadOfAnError) {
    link(source, "a.png", "nowhere");
    window.settings().showSystem = 1;
    window.mnuRefresh_Click();
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_FALSE(window.lvSource()->isHidden());
    EXPECT_FALSE(type(window.lvSource(), 0).isEmpty());
}

TEST_F(Icons, AScratchFolderThatCannotBeWrittenEndsTheRefresh) {
    temp.write(QStringLiteral("plain"), "not a folder");
    qputenv("TEMP", QFile::encodeName(temp.filePath(QStringLiteral("plain"))));
    window.InitTempFolder();
    source.write(QStringLiteral("a.txt"));
    window.mnuRefresh_Click();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_TRUE(platform.shown[0].text.contains(QStringLiteral("Error %1: ").arg(ENOTDIR)));
    EXPECT_TRUE(window.lvSource()->isHidden());
    EXPECT_EQ(window.ilIcons().count(), 0);
}

TEST_F(Icons, APlantedLinkAtTheScratchNameIsReplacedNotFollowed) {
    temp.write(QStringLiteral("victim"), "precious");
    link(temp, "~ds1.tmp", "victim");
    source.write(QStringLiteral("a.txt"));
    window.mnuRefresh_Click();
    ASSERT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(temp.read(QStringLiteral("victim")), QByteArray("precious"));
    EXPECT_EQ(type(window.lvSource(), 0), QStringLiteral("plain text document"));
    EXPECT_EQ(temp.read(QStringLiteral("~ds1.tmp")).left(2), QByteArray("BM"));
}

TEST(BitmapFile, KeepsEveryPixelWithItsAlphaAndReadsAsAStandardBitmap) {
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, qRgba(x * 16, y * 16, 255 - x * 8, x < 8 ? 255 : 0));
    const QByteArray file = encodeBitmap(image);
    EXPECT_EQ(decodeBitmap(file), image);

    // Qt's own reader agrees on the colours: the file is a plain bitmap.
    const QImage standard = QImage::fromData(file, "BMP");
    ASSERT_FALSE(standard.isNull());
    EXPECT_EQ(standard.size(), image.size());
    EXPECT_EQ(QColor(standard.pixel(3, 9)).rgb(), QColor(image.pixel(3, 9)).rgb());

    // Another program's bitmap (24-bit, bottom-up) is read too; junk is not.
    QImage opaque(5, 3, QImage::Format_RGB32);
    opaque.fill(qRgb(10, 200, 30));
    opaque.setPixel(4, 0, qRgb(1, 2, 3));
    QByteArray other;
    QBuffer buffer(&other);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && opaque.save(&buffer, "BMP"));
    const QImage read = decodeBitmap(other);
    EXPECT_EQ(read.pixel(4, 0), opaque.pixel(4, 0));
    EXPECT_TRUE(decodeBitmap(QByteArray("BM and then nonsense")).isNull());
    EXPECT_TRUE(decodeBitmap(file.left(200)).isNull()) << "a cut-off file";
}

} // namespace
