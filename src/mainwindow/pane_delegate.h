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
// filter and scroll. The whole row under the mouse is hovered, the row being
// the item.
class PaneDelegate : public QStyledItemDelegate {
public:
    PaneDelegate(std::function<int()> hoverRow, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    // The laid-out text, cut to `width` with an ellipsis when it is wider.
    const QStaticText& glyphs(const QString& text, const QFont& font, int width) const;

    std::function<int()> m_hoverRow;
    // One cache a font: a pane uses two or three (the case rows are underlined).
    mutable std::list<std::pair<QFont, QCache<QString, QStaticText>>> m_texts;
};
