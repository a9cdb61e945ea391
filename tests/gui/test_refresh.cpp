#include "base/message_style.h"
#include "mainwindow/bitmap_file.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/main_window.h"
#include "mainwindow/status_look.h"
#include "support/scripted_platform.h"
#include "support/temp_tree.h"
#include "support/two_folders.h"

#include <QAction>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class Refresh : public TwoFolders {
protected:
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
};

TEST_F(Refresh, PanesAlignRowAgainstRowEachRowWithItsOwnFile) {
    const QDateTime t(QDate(2024, 2, 3), QTime(4, 5, 6), Qt::UTC);
    source.write(QStringLiteral("x.txt"), QByteArray(1234567, 'x'), t);
    source.write(QStringLiteral("z.txt"), "", t);
    for (const auto& [tree, name, content] :
         {std::tuple(&source, "a.txt", "1"), {&source, "A.txt", "22"}, {&dest, "A.txt", "333"}})
        tree->write(QLatin1String(name), content);
    dest.write(QStringLiteral("y.txt"), "12", t);
    dest.write(QStringLiteral("Z.TXT"), "123", t);
    window.pbrMain()->setMaximum(77);
    window.mnuRefresh_Click();

    EXPECT_EQ(rows(), QStringList({"A.txt|A.txt", "a.txt|-", "x.txt|-", "-|y.txt", "z.txt|Z.TXT"}));
    EXPECT_EQ(rows(true), QStringList({"2 bytes|3 bytes", "1 bytes|-", "1,234,567 bytes|-",
                                       "-|2 bytes", "0 bytes|3 bytes"}));
    EXPECT_TRUE(left->rows().subItem(2, PaneModel::Modified).startsWith("2/3/24 4:05:06"));
    EXPECT_TRUE(right->rows().subItem(2, PaneModel::Modified).isEmpty());
    EXPECT_EQ(window.statusText(), QString());
    EXPECT_EQ(window.pbrMain()->value(), 0);
    EXPECT_EQ(window.pbrMain()->maximum(), 7 - 1) << "entries of both folders less one";
    EXPECT_EQ(reported(), 0);

    // Read from disk again each time; fewer than two entries leave the maximum.
    for (TempTree* tree : {&source, &dest})
        for (const QString& name : QDir(tree->path()).entryList(QDir::Files))
            QFile::remove(tree->filePath(name));
    dest.write(QStringLiteral("new"));
    window.mnuRefresh_Click();
    EXPECT_EQ(rows(), QStringList({"-|new"}));
    EXPECT_EQ(window.pbrMain()->maximum(), 6);
}

TEST_F(Refresh, UnreadableFolderReportsAndLeavesEmptyVisiblePanes) {
    const QString loop = source.filePath(QStringLiteral("loop"));
    ASSERT_EQ(::symlink("loop", QFile::encodeName(loop).constData()), 0);
    dest.write(QStringLiteral("d"));
    window.txtSource()->setText(loop);
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), ELOOP);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_EQ(platform.shown[0].style, MsgStyle::Critical);
    EXPECT_TRUE(platform.shown[0].text.startsWith("An unexpected error has occurred.\n\nError "));
    EXPECT_TRUE(platform.shown[0].text.contains(loop));
    EXPECT_EQ(left->count(), 0);
    EXPECT_FALSE(left->isHidden()) << "the error came before the panes were hidden";
}

TEST_F(Refresh, TheWindowAnswersWhileFoldersAreReadAndEscapeOrANewRefreshStopsIt) {
    source.write(QStringLiteral("a"));
    std::atomic<bool> go{false};
    window.comparison().scanOptions.afterNames = [&] { // each folder waits here until told
        while (!go)
            QThread::msleep(1);
    };
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(window.statusText(), QStringLiteral("Reading folder content. Please wait..."));
        QTest::keyClick(right, Qt::Key_Escape);
        go = true;
    });
    window.mnuRefresh_Click();
    EXPECT_TRUE(left->count() == 0 && window.statusText().isEmpty() && !left->isHidden());
    go = false;
    QTimer::singleShot(0, [&] {
        window.mnuRefresh_Click(); // F5 again: this one stops, a new one runs after it
        go = true;
    });
    window.mnuRefresh_Click();
    EXPECT_EQ(rows(), QStringList({"a|-"}));
    go = false;
    QTimer::singleShot(0, [&] {
        window.close(); // Alt+F4: the reading stops, the window closes
        go = true;
    });
    window.mnuRefresh_Click();
    EXPECT_TRUE(left->count() == 0 && !window.isVisible());
}

TEST_F(Refresh, FirstActivationRefreshesOnceAndF5Again) {
    source.write(QStringLiteral("first"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_EQ(left->count(), 1);
    EXPECT_TRUE(left->hasFocus());
    source.write(QStringLiteral("second"));
    window.Form_Activate(); // a later activation does nothing
    EXPECT_EQ(left->count(), 1);
    QTest::keyClick(&window, Qt::Key_F5);
    EXPECT_EQ(left->count(), 2);
}

TEST_F(Refresh, EachFileRowShowsItsTypeAndTheOneImageOfItsKind) {
    for (const char* name : {"a.txt", "b.png", "c.txt"})
        source.write(QLatin1String(name), "x");
    dest.write(QStringLiteral("a.txt"), "A");
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(QStringList({type(0), type(1), type(0, right), type(1, right)}),
              QStringList({"plain text document", "PNG image", "plain text document", ""}));
    EXPECT_EQ(right->rows().smallIcon(1), 0) << "a placeholder has no image";
    EXPECT_TRUE(left->rows().smallIcon(0) == left->rows().smallIcon(2) &&
                left->rows().smallIcon(0) == right->rows().smallIcon(0))
        << "one image per kind";
    EXPECT_EQ(window.ilIcons().count(), 2);

    ASSERT_FALSE(icon(0).isNull());
    EXPECT_EQ(icon(0).deviceIndependentSize(), QSizeF(16, 16));
    EXPECT_NE(icon(1), icon(0));
    const QIcon shown = left->model()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(shown.pixmap(icon(0).size()).toImage().convertToFormat(icon(0).format()), icon(0));

    for (int i = 0; i < 6; ++i)
        dest.write(QStringLiteral("d%1.pdf").arg(i));
    window.mnuRefresh_Click();
    window.mnuRefresh_Click();
    EXPECT_EQ(window.ilIcons().count(), 3) << "the image list does not grow across refreshes";
    EXPECT_EQ(type(8, right), QStringLiteral("PDF document"));
}

TEST_F(Refresh, AFailedLookupShowsThePreviousFilesTypeAndIcon) {
    source.write(QStringLiteral("a.txt"), "a");
    link(source, "b.png", "nowhere"); // listed, but no file to look up
    source.write(QStringLiteral("c.pdf"), "c");
    window.settings().showSystem = 1;
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(type(1), QStringLiteral("plain text document"));
    EXPECT_EQ(icon(1), icon(0));
    EXPECT_EQ(type(2), QStringLiteral("PDF document"));

    // First in a refresh: the generic file's, whatever was drawn before.
    QFile::remove(source.filePath(QStringLiteral("a.txt")));
    window.mnuRefresh_Click();
    ASSERT_EQ(reported(), 0);
    EXPECT_EQ(type(0), QMimeDatabase().mimeTypeForName("application/octet-stream").comment());
    EXPECT_NE(icon(0), icon(1));
}

TEST_F(Refresh, AScratchFolderThatIsNoFolderEndsTheRefreshThroughItsErrorPath) {
    temp.write(QStringLiteral("plain"), "not a folder");
    qputenv("TEMP", QFile::encodeName(temp.filePath(QStringLiteral("plain"))));
    window.InitTempFolder();
    source.write(QStringLiteral("b.txt"));
    window.mnuRefresh_Click();
    EXPECT_EQ(reported(), ENOTDIR);
    EXPECT_EQ(platform.beeps, 1);
    EXPECT_TRUE(left->isHidden());
    EXPECT_EQ(window.ilIcons().count(), 0);
}

TEST_F(Refresh, APlantedLinkAtTheScratchNameIsReplacedNotFollowed) {
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

    EXPECT_TRUE(decodeBitmap(QByteArray("BM and then nonsense")).isNull());
    EXPECT_TRUE(decodeBitmap(file.left(200)).isNull()) << "a cut-off file";
}

TEST_F(Refresh, StatusesShowInColourFontAndTooltipWithTextsUnchanged) {
    const QDateTime t(QDate(2023, 3, 3), QTime(3, 3, 3), Qt::UTC);
    // Rows moved (same bytes, later), new (other bytes, later), same, size.
    for (const char* name : {"moved", "new", "same", "size"})
        source.write(name, name[1] == 'e' ? "2" : "1", t.addSecs(name[0] == 's' ? 0 : 60));
    for (const char* name : {"moved", "new", "same", "size"})
        dest.write(name, name[1] == 'i' ? "12" : "1", t);
    window.mnuRefresh_Click();
    EXPECT_EQ(window.statusSummary(),
              QString::fromUtf8("Comparing contents: 0 of 3 \u00b7 1 same \u00b7 2 newer in Source "
                                "\u00b7 1 differ"));
    const PaneModel& l = left->rows();
    const PaneModel& r = window.lvDest()->rows();
    EXPECT_EQ(l.index(2, 0).data(Qt::ToolTipRole).toString(),
              QString::fromUtf8("Same on both sides \u00b7 checking contents\u2026"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.contentCheckRunning(); }, 60000));
    EXPECT_EQ(
        window.statusSummary(),
        QString::fromUtf8("1 same \u00b7 1 same contents, other time \u00b7 1 newer in Source "
                          "\u00b7 1 differ"));
    auto font = [](const PaneModel& m, int row, int column = PaneModel::Name) {
        return m.index(row, column).data(Qt::FontRole);
    };
    auto colour = [](const PaneModel& m, int row, int column) {
        return m.index(row, column).data(Qt::ForegroundRole).isValid();
    };
    EXPECT_TRUE(font(l, 1).value<QFont>().bold() && font(r, 1).value<QFont>().italic());
    EXPECT_FALSE(font(l, 1, PaneModel::Modified).isValid()) << "other columns keep their widths";
    EXPECT_FALSE(font(l, 2).isValid() || colour(l, 2, 0));
    EXPECT_TRUE(colour(l, 0, PaneModel::Modified) && !colour(l, 0, PaneModel::Name) &&
                !font(l, 0).isValid())
        << "same contents, other time: the time alone is marked";
    EXPECT_EQ(r.index(3, 1).data(Qt::ToolTipRole).toString(),
              QStringLiteral("Different: same time, different size or contents"));
}

TEST_F(Refresh, PanesPaintTheirRowsPixelForPixelAsTheStyleDoes) {
    // The pane keeps its texts' glyphs between paints, and draws them itself.
    const QDateTime t(QDate(2023, 3, 3), QTime(3, 3, 3), Qt::UTC);
    source.write(QString(60, QLatin1Char('w')) + QStringLiteral(".txt"), "1", t); // cut short
    for (const char* name : {"Case", "newer", "same"})
        source.write(QLatin1String(name), "1", t.addSecs(name[0] == 'n' ? 60 : 0));
    for (const char* name : {"case", "newer", "same"})
        dest.write(QLatin1String(name), "1", t);
    window.resize(700, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.mnuRefresh_Click();
    window.txtSource()->setFocus(); // no focus frame: the style's delegate draws its own
    left->setColumnWidth(PaneModel::Name, 120);
    left->setRowSelected(1, true);
    const QImage kept = left->viewport()->grab().toImage();
    EXPECT_EQ(left->viewport()->grab().toImage(), kept) << "painted again from the kept glyphs";
    QStyledItemDelegate style;
    QAbstractItemDelegate* own = left->itemDelegate();
    left->setItemDelegate(&style);
    const QImage styled = left->viewport()->grab().toImage();
    left->setItemDelegate(own);
    EXPECT_EQ(rows(), QStringList({"Case|case", "newer|newer", "same|same",
                                   QString(60, QLatin1Char('w')) + QStringLiteral(".txt|-")}));
    EXPECT_TRUE(kept == styled);
}

TEST(StatusLooks, EveryStatusReadsOnLightAndDarkAndDiffersWithoutColour) {
    const QPalette light(QColor(Qt::white).darker(105)), dark(QColor(40, 40, 44));
    for (const QPalette& palette : {light, dark}) {
        const QColor base = palette.color(QPalette::Base);
        for (const Side side : {Side::Source, Side::Destination}) {
            const StatusLooks looks = statusLooks(palette, QFont(), side);
            QSet<QString> fonts;
            EXPECT_FALSE(looks[size_t(RowStatus::Checking)].foreground.isValid());
            for (int s = 1; s < rowStatusCount; ++s) {
                if (s == int(RowStatus::Checking))
                    continue;
                const QColor c = looks[static_cast<size_t>(s)].foreground.value<QBrush>().color();
                EXPECT_GE(contrastRatio(c, base), 4.5) << s << " on " << base.name().toStdString();
                const QFont f = looks[static_cast<size_t>(s)].font.value<QFont>();
                fonts << QString::number(f.bold()) + QString::number(f.italic()) +
                             QString::number(f.underline());
            }
            EXPECT_EQ(fonts.size(), 6)
                << "alone or newer, older, equal times, case, unreadable, the pane's own";
        }
    }
}

} // namespace
