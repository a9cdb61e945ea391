#include "mainwindow/bitmap_file.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"

#include <QBuffer>
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

    QImage icon(int row, ListPane* pane = nullptr) {
        return window.ilIcons().image((pane ? pane : left)->rows().smallIcon(row));
    }
    QString type(int row, ListPane* pane = nullptr) {
        return (pane ? pane : left)->rows().subItem(row, PaneModel::Type);
    }
    void link(TempTree& tree, const char* name, const char* target) {
        const QByteArray at = QFile::encodeName(tree.filePath(QLatin1String(name)));
        ASSERT_EQ(::symlink(target, at.constData()), 0);
    }
    // The error the refresh reported, 0 for none.
    int reported() const {
        if (platform.shown.isEmpty())
            return 0;
        const QString text = platform.shown.last().text;
        return text.section(QStringLiteral("Error "), 1).section(QLatin1Char(':'), 0, 0).toInt();
    }

    TempTree temp, source, dest;
    ScriptedPlatform platform;
    Main window{platform};
    ListPane* left = window.lvSource();
    ListPane* right = window.lvDest();
};

TEST_F(Icons, EachFileRowShowsItsTypeAndAnImageOfItsOwn) {
    for (const char* name : {"a.txt", "b.png", "c.txt"})
        source.write(QLatin1String(name), "x");
    dest.write(QStringLiteral("a.txt"), "A");
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(QStringList({type(0), type(1), type(0, right), type(1, right)}),
              QStringList({"plain text document", "PNG image", "plain text document", ""}));
    EXPECT_EQ(right->rows().smallIcon(1), 0) << "a placeholder has no image";
    QList<int> positions = {left->rows().smallIcon(0), left->rows().smallIcon(1),
                            left->rows().smallIcon(2), right->rows().smallIcon(0)};
    std::sort(positions.begin(), positions.end());
    EXPECT_EQ(positions, QList<int>({1, 2, 3, 4})) << "each row its own position";

    ASSERT_FALSE(icon(0).isNull());
    EXPECT_EQ(icon(0).deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_EQ(icon(2), icon(0)) << "same kind, same picture";
    EXPECT_NE(icon(1), icon(0));
    EXPECT_EQ(left->model()->index(0, 0).data(Qt::DecorationRole).value<QImage>(), icon(0));
    EXPECT_FALSE(QIcon::fromTheme(QStringLiteral("text-x-generic")).isNull())
        << "the installed theme is found without a desktop session";

    for (int i = 0; i < 6; ++i)
        dest.write(QStringLiteral("d%1.pdf").arg(i));
    window.mnuRefresh_Click();
    window.mnuRefresh_Click();
    EXPECT_EQ(window.ilIcons().count(), 10) << "the image list does not grow across refreshes";
    EXPECT_EQ(type(8, right), QStringLiteral("PDF document"));
}

TEST_F(Icons, AFailedLookupShowsThePreviousFilesTypeAndIcon) {
    source.write(QStringLiteral("a.txt"), "a");
    link(source, "b.png", "nowhere"); // listed, but no file to look up
    source.write(QStringLiteral("c.pdf"), "c");
    window.settings().showSystem = 1;
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(type(1), QStringLiteral("plain text document"));
    EXPECT_EQ(icon(1), icon(0));
    EXPECT_EQ(type(2), QStringLiteral("PDF document"));

    // First in a refresh: no type yet, and the last icon of the run before.
    QFile::remove(source.filePath(QStringLiteral("a.txt")));
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(type(0), QString());
    EXPECT_EQ(icon(0), icon(1)) << "the pdf drawn last in the previous refresh";
}

TEST_F(Icons, ScratchFileTroublesEndTheRefreshThroughItsErrorPath) {
    link(source, "a.png", "nowhere"); // no scratch file yet to show
    window.settings().showSystem = 1;
    window.mnuRefresh_Click();
    EXPECT_EQ(reported(), ENOENT);
    EXPECT_TRUE(left->isHidden());

    temp.write(QStringLiteral("plain"), "not a folder");
    qputenv("TEMP", QFile::encodeName(temp.filePath(QStringLiteral("plain"))));
    window.InitTempFolder();
    window.settings().showSystem = 0;
    source.write(QStringLiteral("b.txt"));
    window.mnuRefresh_Click();
    EXPECT_EQ(reported(), ENOTDIR);
    EXPECT_EQ(platform.beeps, 2);
    EXPECT_EQ(window.ilIcons().count(), 0);
}

TEST_F(Icons, APlantedLinkAtTheScratchNameIsReplacedNotFollowed) {
    temp.write(QStringLiteral("victim"), "precious");
    link(temp, "~ds1.tmp", "victim");
    source.write(QStringLiteral("a.txt"));
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(temp.read(QStringLiteral("victim")), QByteArray("precious"));
    EXPECT_EQ(type(0), QStringLiteral("plain text document"));
    EXPECT_EQ(temp.read(QStringLiteral("~ds1.tmp")).left(2), QByteArray("BM"));
}

TEST(BitmapFile, KeepsEveryPixelWithItsAlphaAndReadsAsAStandardBitmap) {
    QImage image(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            image.setPixel(x, y, qRgba(x * 16, y * 16, 255 - x * 8, x < 8 ? 255 : 0));
    const QByteArray file = encodeBitmap(image);
    EXPECT_EQ(decodeBitmap(file), image);
    const QImage standard = QImage::fromData(file, "BMP");
    ASSERT_EQ(standard.size(), image.size()) << "Qt's own reader takes it";
    EXPECT_EQ(QColor(standard.pixel(3, 9)).rgb(), QColor(image.pixel(3, 9)).rgb());

    // Another program's bitmap (24-bit, bottom-up) is read too; junk is not.
    QImage opaque(5, 3, QImage::Format_RGB32);
    opaque.fill(qRgb(10, 200, 30));
    opaque.setPixel(4, 0, qRgb(1, 2, 3));
    QByteArray other;
    QBuffer buffer(&other);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && opaque.save(&buffer, "BMP"));
    EXPECT_EQ(decodeBitmap(other).pixel(4, 0), opaque.pixel(4, 0));
    EXPECT_TRUE(decodeBitmap(QByteArray("BM and then nonsense")).isNull());
    EXPECT_TRUE(decodeBitmap(file.left(200)).isNull()) << "a cut-off file";
}

} // namespace
