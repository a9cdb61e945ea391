#pragma once

#include <QCache>
#include <QFont>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <functional>
#include <list>

// Paints a pane's cells as the style paints view items, except that each
// text's glyphs are kept between paints: shaping every visible cell's text
// anew took most of a repaint, and a pane repaints whole at every refresh,
// filter and scroll. Every row is as high as the pane says, whatever it holds
// (a placeholder row has no icon), and the whole row under the mouse is
// hovered, the row being the item.
class PaneDelegate : public QStyledItemDelegate {
public:
    PaneDelegate(const int& rowHeight, std::function<int()> hoverRow, QObject* parent);

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    // The laid-out text, cut to `width` with an ellipsis when it is wider.
    const QStaticText& glyphs(const QString& text, const QFont& font, int width) const;

    const int& m_rowHeight;
    std::function<int()> m_hoverRow;
    // One cache a font: a pane uses two or three (the case rows are underlined).
    mutable std::list<std::pair<QFont, QCache<QString, QStaticText>>> m_texts;
};
