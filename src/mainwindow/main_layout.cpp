// Where the panes, their controls and the progress bar go at every size.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "mainwindow/list_pane.h"
#include "mainwindow/sync_column.h"
#include "mainwindow/twips.h"
#include "store/window_layout.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolButton>

namespace {

// Pixel rectangles of the window converted to twips and back; a rectangle
// that is not moved converts back to the same pixels.
QRectF toTwips(const QWidget* w, const QRect& r) {
    const double tx = twipsPerPixelX(w);
    const double ty = twipsPerPixelY(w);
    return QRectF(r.x() * tx, r.y() * ty, r.width() * tx, r.height() * ty);
}

QRect toPixels(const QWidget* w, const QRectF& r) {
    const double tx = twipsPerPixelX(w);
    const double ty = twipsPerPixelY(w);
    return QRect(qRound(r.x() / tx), qRound(r.y() / ty), qRound(r.width() / tx),
                 qRound(r.height() / ty));
}

} // namespace

void Main::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
    trmPaste_Timer();
    // The first size after leaving the maximised or minimised state is the
    // one the window manager restores.
    if (m_fitRestored) {
        m_fitRestored = false;
        Parts::fitToScreen(*this);
    }
}

void Main::Parts::fitToScreen(Main& m) {
    // Only a window the window manager has framed can be measured with its frame.
    if (!m.isVisible() || m.windowState() != Qt::WindowNoState || !m.screen())
        return;
    const QRect frame = m.frameGeometry();
    if (frame == m.geometry())
        return;
    const QRect area = m.screen()->availableGeometry();
    if (area.contains(frame))
        return;
    const QMargins margins(m.geometry().left() - frame.left(), m.geometry().top() - frame.top(),
                           frame.right() - m.geometry().right(),
                           frame.bottom() - m.geometry().bottom());
    const QRect fitted = fitWindow(QRect(frame.topLeft(), m.size()), area, margins);
    m.resize(fitted.size());
    m.move(fitted.topLeft());
}

bool Main::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        // The band between toolbar and status bar also changes when either
        // changes height, not only when the window is sized.
        if (watched == centralWidget() || watched == m_ui.sbrMain) {
            Form_Resize();
            trmPaste_Timer();
        } else if (watched == m_ui.picSource) {
            picSource_Resize();
        } else if (watched == m_ui.picDest) {
            picDest_Resize();
        }
    }
    // The status bar lays out its panels after it is sized: the progress bar
    // follows the second panel wherever it goes.
    if (watched == m_ui.statusPanel2 &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        trmPaste_Timer();
    return QMainWindow::eventFilter(watched, event);
}

void Main::Form_Resize() {
    QWidget* band = centralWidget();
    if (!band || !m_ui.sbrMain || !m_ui.pbrMain)
        return; // still being built
    // The inner area lies below the menu bar; the band is what the toolbar and
    // the status bar leave of it.
    const int innerTop =
        menuWidget() && menuWidget()->isVisibleTo(this) ? menuWidget()->geometry().bottom() + 1 : 0;
    const QRectF inner = toTwips(this, QRect(0, innerTop, width(), height() - innerTop));
    const QRectF bandRect = toTwips(this, band->geometry());
    const float toolbarHeight = static_cast<float>(bandRect.top() - inner.top());
    const float statusHeight = static_cast<float>(inner.bottom() - bandRect.bottom());
    const PaneRects panes = dockedPanes(inner.size(), toolbarHeight, statusHeight);
    // The panes are children of the band, whose top is the toolbar's edge.
    QRect source = toPixels(this, panes.source.translated(0, -toolbarHeight));
    QRect dest = toPixels(this, panes.destination.translated(0, -toolbarHeight));
    if (m_comparison->syncPreview().previewed()) {
        // A synchronisation's preview: its bar above the panes, and its
        // column of actions between them, each pane giving up half.
        const int bar = m_ui.syncBar->sizeHint().height();
        const int column = m_ui.syncColumn->sizeHint().width();
        m_ui.syncBar->setGeometry(0, 0, band->width(), bar);
        source.adjust(0, bar, -column / 2, 0);
        dest.adjust(column - column / 2, bar, 0, 0);
        m_ui.syncColumn->setGeometry(source.right() + 1, source.top(),
                                     dest.left() - source.right() - 1, source.height());
    }
    m_ui.picSource->setGeometry(source);
    m_ui.picDest->setGeometry(dest);
    Parts::placeProgressBar(*this, resizeProgressInset);
}

void Main::Parts::placeProgressBar(Main& m, float heightInset) {
    const QRect panel(m.m_ui.statusPanel2->mapTo(&m, QPoint(0, 0)), m.m_ui.statusPanel2->size());
    const QRectF bar =
        progressBarRect(toTwips(&m, m.m_ui.sbrMain->geometry()), toTwips(&m, panel), heightInset);
    if (bar.height() >= 0)
        m.m_ui.pbrMain->setGeometry(toPixels(&m, bar));
}

void Main::picSource_Resize() {
    Parts::layoutPaneControls(*this, m_ui.picSource, m_ui.cmdSource, m_ui.txtSource, m_ui.lvSource);
}

void Main::picDest_Resize() {
    Parts::layoutPaneControls(*this, m_ui.picDest, m_ui.cmdDest, m_ui.txtDest, m_ui.lvDest);
}

void Main::Parts::layoutPaneControls(Main& m, QWidget* container, QToolButton* button,
                                     QLineEdit* box, ListPane* list) {
    const PaneControls now{toTwips(&m, button->geometry()), toTwips(&m, box->geometry()),
                           toTwips(&m, list->geometry())};
    const PaneControls next = layoutPane(toTwips(&m, container->rect()).size(), now);
    // Controls that cannot take their place keep the one they have.
    button->setGeometry(toPixels(&m, next.button));
    box->setGeometry(toPixels(&m, next.folderBox));
    list->setGeometry(toPixels(&m, next.list));
}
