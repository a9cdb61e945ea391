#include "core/window_layout.h"

#include <gtest/gtest.h>

namespace {

void expectRect(const QRectF& actual, qreal left, qreal top, qreal width, qreal height) {
    EXPECT_FLOAT_EQ(actual.left(), left);
    EXPECT_FLOAT_EQ(actual.top(), top);
    EXPECT_FLOAT_EQ(actual.width(), width);
    EXPECT_FLOAT_EQ(actual.height(), height);
}

// Controls as they stand before a resize: a 255-twip button and whatever the
// previous layout left.
PaneControls before() {
    return {QRectF(100, 100, 255, 255), QRectF(0, 0, 1000, 255), QRectF(0, 255, 1255, 2000)};
}

} // namespace

TEST(WindowLayout, PanesShareTheBandHalfAndHalf) {
    const PaneRects p = dockedPanes(QSizeF(8000, 6000), 420, 300);
    expectRect(p.source, 0, 420, 4000, 5280);
    expectRect(p.destination, 4000, 420, 4000, 5280);

    // Odd widths are halved, not rounded.
    const PaneRects odd = dockedPanes(QSizeF(7001, 4140), 420, 300);
    expectRect(odd.source, 0, 420, 3500.5, 3420);
    expectRect(odd.destination, 3500.5, 420, 3500.5, 3420);
}

TEST(WindowLayout, ProgressBarCoversTheSecondPanelWithItsInset) {
    const QRectF statusBar(0, 5700, 8000, 300);
    const QRectF panel2(2500, 5700, 1500, 300);
    expectRect(progressBarRect(statusBar, panel2, resizeProgressInset), 2500, 5725, 1500, 270);
    expectRect(progressBarRect(statusBar, panel2, pasteTimerProgressInset), 2500, 5725, 1500, 265);
}

TEST(WindowLayout, PaneControlsFillAWidePane) {
    const PaneControls c = layoutPane(QSizeF(3000, 5000), before());
    expectRect(c.button, 2745, 0, 255, 255);
    expectRect(c.folderBox, 0, 0, 2745, 255);
    expectRect(c.list, 0, 255, 3000, 4745);
}

TEST(WindowLayout, PaneNarrowerThanTheButtonKeepsTheFolderBox) {
    const PaneControls c = layoutPane(QSizeF(200, 5000), before());
    expectRect(c.button, -55, 0, 255, 255); // partly outside the pane
    EXPECT_EQ(c.folderBox, before().folderBox);
    expectRect(c.list, 0, 255, 200, 4745);
}

TEST(WindowLayout, PaneLowerThanTheFolderBoxKeepsTheList) {
    const PaneControls c = layoutPane(QSizeF(3000, 100), before());
    expectRect(c.button, 2745, 0, 255, 255);
    expectRect(c.folderBox, 0, 0, 2745, 255);
    EXPECT_EQ(c.list, before().list);
}

TEST(WindowLayout, ListGoesBelowTheFolderBoxAsItIsAfterItsStep) {
    // The folder box is skipped and keeps an older height of 400: the list
    // starts below that, not below the button.
    PaneControls now = before();
    now.folderBox = QRectF(0, 0, 900, 400);
    const PaneControls c = layoutPane(QSizeF(200, 1000), now);
    EXPECT_EQ(c.folderBox, now.folderBox);
    expectRect(c.list, 0, 400, 200, 600);

    // A pane with exactly the box's height gives an empty list, not a skip.
    expectRect(layoutPane(QSizeF(3000, 255), before()).list, 0, 255, 3000, 0);
}

TEST(WindowLayout, CentringIgnoresWhetherTheWindowFits) {
    EXPECT_EQ(centeredPosition(QSizeF(15360, 11520), QSizeF(4000, 3000)), QPointF(5680, 4260));
    EXPECT_EQ(centeredPosition(QSizeF(15360, 11520), QSizeF(16360, 12521)), QPointF(-500, -500.5));
}
