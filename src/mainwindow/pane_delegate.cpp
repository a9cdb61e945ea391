#include "mainwindow/pane_delegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>

namespace {

// Texts a font keeps laid out: well over the cells of a screenful of rows on
// a tall screen, and a megabyte or so at most.
constexpr int cachedTexts = 2000;

} // namespace

PaneDelegate::PaneDelegate(std::function<int()> hoverRow, QObject* parent)
    : QStyledItemDelegate(parent), m_hoverRow(std::move(hoverRow)) {}

void PaneDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (index.row() == m_hoverRow())
        opt.state |= QStyle::State_MouseOver;
    else
        opt.state &= ~QStyle::State_MouseOver;
    // The pane draws one focus frame round the whole current row.
    opt.state &= ~QStyle::State_HasFocus;
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    // Kept glyphs lose a font's lines (the underline of the case rows): the
    // style draws those few rows' texts itself.
    const QFont& font = opt.font;
    if (opt.text.isEmpty() || font.underline() || font.overline() || font.strikeOut()) {
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        return;
    }
    // The style draws all but the text, in the places it gives the text too.
    QString text = std::exchange(opt.text, QString());
    text.replace(QLatin1Char('\n'), QChar::LineSeparator); // as the style shows a newline
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect rect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                           .adjusted(margin, 0, -margin, 0);
    if (rect.width() <= 0)
        return;
    QPalette::ColorGroup group =
        opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
        group = QPalette::Inactive;
    const QPalette::ColorRole role =
        opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text;
    const QStaticText& laidOut = glyphs(text, opt.font, rect.width());
    const QSizeF size = laidOut.size();
    const qreal x =
        opt.displayAlignment & Qt::AlignRight ? rect.right() + 1 - size.width() : rect.left();
    const int y = rect.top() + (rect.height() - opt.fontMetrics.height()) / 2;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(group, role));
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->drawStaticText(QPointF(x, y), laidOut);
    painter->restore();
}

const QStaticText& PaneDelegate::glyphs(const QString& text, const QFont& font, int width) const {
    auto cache = std::find_if(m_texts.begin(), m_texts.end(),
                              [&](const auto& entry) { return entry.first == font; });
    if (cache == m_texts.end()) {
        // Fonts change seldom (a new system font): the oldest go.
        constexpr size_t fonts = 8;
        if (m_texts.size() == fonts)
            m_texts.pop_front();
        m_texts.emplace_back(std::piecewise_construct, std::forward_as_tuple(font),
                             std::forward_as_tuple(cachedTexts));
        cache = std::prev(m_texts.end());
    }
    QCache<QString, QStaticText>& texts = cache->second;
    if (QStaticText* whole = texts.object(text); whole && whole->size().width() <= width)
        return *whole;
    auto make = [&](const QString& shown) {
        auto* laidOut = new QStaticText(shown);
        laidOut->setTextFormat(Qt::PlainText);
        laidOut->prepare(QTransform(), font);
        return laidOut;
    };
    if (!texts.contains(text)) {
        QStaticText* whole = make(text);
        texts.insert(text, whole);
        if (whole->size().width() <= width)
            return *whole;
    }
    // Too wide: the text cut to the width is kept under its own key.
    const QString key = text + QChar(0) + QString::number(width);
    if (QStaticText* cut = texts.object(key))
        return *cut;
    QStaticText* cut = make(QFontMetrics(font).elidedText(text, Qt::ElideRight, width));
    texts.insert(key, cut);
    return *cut;
}
