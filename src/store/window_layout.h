#pragma once

#include <QMargins>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

// The arithmetic that places the main window's panes, the controls inside a
// pane and the progress bar. Everything is in twips, computed in single
// precision as the window keeps its geometry.

// Where the two panes land for a window inner area of `inner`: each is half
// the inner width and fills the band between the toolbar along the top and
// the status bar along the bottom, Source at the left edge, Destination
// against its right.
struct PaneRects {
    QRectF source;
    QRectF destination;
};
PaneRects dockedPanes(QSizeF inner, float toolbarHeight, float statusBarHeight);

// The progress bar laid over the status bar's second panel. The window's
// resize keeps 30 twips clear at the bottom, the paste-state timer 35.
constexpr float resizeProgressInset = 30.0f;
constexpr float pasteTimerProgressInset = 35.0f;
QRectF progressBarRect(QRectF statusBar, QRectF panel2, float heightInset);

// The three controls of a pane. `layoutPane` returns where they go for a pane
// of inner size `pane`, starting from where they are now: the folder button
// in the top-right corner at its own size, the folder box left of it as high
// as the button, the list below filling the rest. A control whose width or
// height would become negative keeps its current place and size.
struct PaneControls {
    QRectF button;
    QRectF folderBox;
    QRectF list;
};
PaneControls layoutPane(QSizeF pane, const PaneControls& current);

// Where a top-level window goes so that all of it lies in `available`, title
// bar included: `window` is the frame's top-left corner with the inner size,
// `frame` the margins the frame adds. The inner size first shrinks to fit
// (never below 1 by 1), then the window moves in by the least amount. In
// pixels.
QRect fitWindow(const QRect& window, const QRect& available, const QMargins& frame);

// The top-left corner that centres a window of `window` size on a screen of
// `screen` size; negative when the window is the larger.
QPointF centeredPosition(QSizeF screen, QSizeF window);
