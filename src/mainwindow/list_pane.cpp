#include "mainwindow/list_pane.h"

#include "base/text_formats.h"
#include "mainwindow/pane_delegate.h"
#include "mainwindow/twips.h"
#include "shell/platform.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMimeDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {

int buttonBits(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftBits(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

// A position over the pane's rows, in twips from the pane's top-left corner.
QPointF twipsAt(const ListPane* pane, QPointF viewportPosition) {
    const QPointF p = pane->viewport()->mapTo(pane, viewportPosition);
    return {p.x() * twipsPerPixelX(pane), p.y() * twipsPerPixelY(pane)};
}

constexpr int smallIconPixels = 16;

QPointF twipsAt(const ListPane* pane, const QMouseEvent* event) {
    return twipsAt(pane, event->position());
}

} // namespace

ListPane::ListPane(VisibleRows& rows, QWidget* parent) : QTableView(parent), m_model(rows, this) {
    setModel(&m_model);
    setSortingEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setDragEnabled(false); // the window begins the drags itself
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setIconSize(QSize(smallIconPixels, smallIconPixels));
    setItemDelegate(new PaneDelegate([this] { return m_hoverRow; }, this));
    // The flattened view's Folder column stands first, hidden in the usual view.
    horizontalHeader()->moveSection(PaneModel::Folder, 0);
    setColumnHidden(PaneModel::Folder, true);
    measureRowHeight();
    updateStatusLooks();
}

void ListPane::measureRowHeight() {
    // What the style gives a row with both an icon and a line of text.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
    option.text = QStringLiteral("Xgjp|");
    option.decorationSize = iconSize();
    const QSize styled = style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this);
    verticalHeader()->setDefaultSectionSize(
        std::max({styled.height(), fontMetrics().height(), smallIconPixels}));
}

QStringList ListPane::typeColumnSamples() {
    return {QStringLiteral("text/plain"),
            QStringLiteral("application/pdf"),
            QStringLiteral("image/png"),
            QStringLiteral("image/jpeg"),
            QStringLiteral("text/html"),
            QStringLiteral("text/csv"),
            QStringLiteral("text/markdown"),
            QStringLiteral("application/json"),
            QStringLiteral("application/zip"),
            QStringLiteral("text/x-c++src"),
            QStringLiteral("application/x-shellscript"),
            QStringLiteral("application/vnd.oasis.opendocument.text")};
}

int ListPane::fittingColumnWidth(int column, int minimum) const {
    QStringList texts{model()->headerData(column, Qt::Horizontal).toString()};
    const TextFormats formats;
    if (column == PaneModel::Size) {
        texts << formats.sizeText(999'999'999);
    } else if (column == PaneModel::Type) {
        const QMimeDatabase mime;
        for (const QString& name : typeColumnSamples())
            texts << mime.mimeTypeForName(name).comment();
    } else if (column == PaneModel::Modified) {
        // Wide digits, both halves of the day, two-digit months and days.
        for (const QDateTime& t : {QDateTime(QDate(2026, 12, 28), QTime(22, 58, 58)),
                                   QDateTime(QDate(2026, 11, 30), QTime(10, 48, 48))})
            texts << formats.modifiedText(t.toSecsSinceEpoch());
    }
    // The item's text margins on either side, and a little air.
    const int margins =
        2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 8;
    int widest = 0;
    for (const QString& text : texts)
        widest = std::max(widest, fontMetrics().horizontalAdvance(text));
    return std::max(minimum, widest + margins);
}

void ListPane::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        measureRowHeight();
        doItemsLayout();
    }
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        updateStatusLooks();
}

void ListPane::setSide(Side side) {
    m_side = side;
    m_model.setSide(side);
    updateStatusLooks();
}

void ListPane::updateStatusLooks() {
    m_model.setStatusLooks(statusLooks(palette(), font(), m_side));
}

void ListPane::clear() {
    m_model.clear();
}

QString ListPane::rowText(int row) const {
    return row >= 0 && row < count() ? m_model.text(row) : QString();
}

QByteArray ListPane::rowFileName(int row) const {
    return row >= 0 && row < count() ? m_model.fileName(row) : QByteArray();
}

FileLocation ListPane::rowLocation(const QByteArray& folder, int row) const {
    const QByteArray path = rowFileName(row);
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {folder, path};
    return {FileLocation{folder, path.left(slash)}.path(), path.mid(slash + 1)};
}

void ListPane::setFlat(bool flat) {
    if (flat == !isColumnHidden(PaneModel::Folder))
        return;
    setColumnHidden(PaneModel::Folder, !flat);
    // Room for a few levels of folder names the first time it shows.
    if (flat && columnWidth(PaneModel::Folder) == horizontalHeader()->defaultSectionSize())
        setColumnWidth(PaneModel::Folder, fontMetrics().averageCharWidth() * 24);
}

bool ListPane::isRowSelected(int row) const {
    return selectionModel()->isRowSelected(row, {});
}

void ListPane::setRowSelected(int row, bool selected) {
    if (row < 0 || row >= count())
        return;
    selectionModel()->select(m_model.index(row, 0), (selected ? QItemSelectionModel::Select
                                                              : QItemSelectionModel::Deselect) |
                                                        QItemSelectionModel::Rows);
}

int ListPane::currentRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ListPane::setCurrentRow(int row) {
    setCurrentIndex(m_model.index(row, 0));
}

int ListPane::firstVisibleRow() const {
    const QModelIndex top = indexAt(QPoint(1, 1));
    if (top.isValid())
        return top.row();
    return count() > 0 ? 0 : -1;
}

QModelIndex ListPane::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // The row is the item: Home and End go to the first and the last row, and
    // Left and Right scroll sideways, as in a list.
    switch (action) {
    case MoveHome:
    case MoveEnd: {
        if (count() == 0)
            return {};
        const QModelIndex current = currentIndex();
        return m_model.index(action == MoveHome ? 0 : count() - 1,
                             current.isValid() ? current.column() : 0);
    }
    case MoveLeft:
    case MoveRight: {
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() + (action == MoveLeft ? -bar->singleStep() : bar->singleStep()));
        return currentIndex();
    }
    default:
        return QTableView::moveCursor(action, modifiers);
    }
}

void ListPane::setNote(const QString& note) {
    if (note == m_note)
        return;
    m_note = note;
    viewport()->update();
}

void ListPane::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (!m_note.isEmpty()) {
        // Over the blank rows a missing folder has, a few rows down.
        QPainter painter(viewport());
        painter.setPen(palette().color(QPalette::PlaceholderText));
        const int margin = fontMetrics().height();
        painter.drawText(viewport()->rect().adjusted(margin, 2 * margin, -margin, 0),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, m_note);
    }
    // One focus frame round the whole current row, the cells having none.
    const QModelIndex current = currentIndex();
    if (!hasFocus() || !current.isValid())
        return;
    // From the first column shown to the last, whatever their order.
    const QHeaderView* header = horizontalHeader();
    int left = PaneModel::ColumnCount, right = -1;
    for (int visual = 0; visual < header->count(); ++visual) {
        if (!header->isSectionHidden(header->logicalIndex(visual))) {
            left = std::min(left, visual);
            right = visual;
        }
    }
    if (right < 0)
        return;
    const QRect first = visualRect(current.siblingAtColumn(header->logicalIndex(left)));
    const QRect last = visualRect(current.siblingAtColumn(header->logicalIndex(right)));
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.rect = first.united(last);
    if (!frame.rect.intersects(event->rect()))
        return;
    frame.state |= QStyle::State_KeyboardFocusChange;
    frame.backgroundColor =
        palette().color(isRowSelected(current.row()) ? QPalette::Highlight : QPalette::Window);
    QPainter painter(viewport());
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
}

void ListPane::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    // The focus frame moves with the whole row: the view repaints one cell.
    for (const QModelIndex& index : {previous, current}) {
        if (index.isValid())
            updateRow(index.row());
    }
}

void ListPane::updateRow(int row) {
    viewport()->update(0, rowViewportPosition(row), viewport()->width(), rowHeight(row));
}

bool ListPane::viewportEvent(QEvent* event) {
    // The whole row under the mouse is hovered: the view itself marks one cell.
    if (event->type() == QEvent::HoverMove || event->type() == QEvent::HoverEnter ||
        event->type() == QEvent::HoverLeave) {
        const int row = event->type() == QEvent::HoverLeave
                            ? -1
                            : rowAt(static_cast<QHoverEvent*>(event)->position().toPoint().y());
        if (row != m_hoverRow) {
            for (const int r : {m_hoverRow, row}) {
                if (r >= 0)
                    updateRow(r);
            }
            m_hoverRow = row;
        }
    }
    return QTableView::viewportEvent(event);
}

void ListPane::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    Q_EMIT gotFocus();
}

void ListPane::mousePressEvent(QMouseEvent* event) {
    m_dragBegun = false;
    // A press on a selected row keeps the selection (the view selects that
    // row alone at the release), so a drag from it carries every selected row.
    QTableView::mousePressEvent(event);
    // A row counts as clicked when the left button goes down on it, so a drag
    // that begins at once still starts from the row it was clicked on.
    const QModelIndex index = indexAt(event->position().toPoint());
    const bool leftOrRight =
        event->button() == Qt::LeftButton || event->button() == Qt::RightButton;
    if (leftOrRight && index.isValid())
        Q_EMIT itemClick(index.row());
}

void ListPane::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() == Qt::NoButton)
        m_dragBegun = false;
    else if (m_dragBegun)
        return; // the drag has this press
    // The window hears of the move before the view: a drag it begins carries
    // the rows selected when the button went down, never a selection this
    // move would have collapsed or stretched into the next row.
    const QPointF at = twipsAt(this, event);
    Q_EMIT mouseMove(buttonBits(event->buttons()), shiftBits(event->modifiers()),
                     static_cast<float>(at.x()), static_cast<float>(at.y()));
    if (!m_dragBegun)
        QTableView::mouseMoveEvent(event);
    // A drag begun above took the button's release; the view must not go on
    // selecting as if the button were still down.
    if (m_dragBegun || QGuiApplication::mouseButtons() == Qt::NoButton)
        setState(NoState);
}

void ListPane::mouseReleaseEvent(QMouseEvent* event) {
    // The release that ends a drag selects nothing.
    if (!std::exchange(m_dragBegun, false))
        QTableView::mouseReleaseEvent(event);
    const QPointF at = twipsAt(this, event);
    Q_EMIT mouseUp(buttonBits(event->button()), shiftBits(event->modifiers()),
                   static_cast<float>(at.x()), static_cast<float>(at.y()));
}

void ListPane::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT dblClick();
}

void ListPane::keyPressEvent(QKeyEvent* event) {
    // Enter, from the main keys or the keypad, does what a double click does;
    // the Enter that ends a rename in place reaches here too, and only ends it.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid() && state() != EditingState) {
        event->accept();
        Q_EMIT dblClick();
        return;
    }
    QTableView::keyPressEvent(event);
}

void ListPane::keyboardSearch(const QString& search) {
    // The view searches the current cell's column: names are in the first.
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.column() != PaneModel::Name)
        selectionModel()->setCurrentIndex(current.siblingAtColumn(PaneModel::Name),
                                          QItemSelectionModel::NoUpdate);
    QTableView::keyboardSearch(search);
}

void ListPane::startLabelEdit() {
    const QModelIndex current = currentIndex();
    if (current.isValid())
        QAbstractItemView::edit(current.siblingAtColumn(PaneModel::Name));
}

bool ListPane::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    // Every edit that would start passes the before-edit event; the view's
    // other calls here (clicks that start nothing) do not.
    const bool starting = index.isValid() && state() != EditingState &&
                          (trigger == AllEditTriggers || (editTriggers() & trigger));
    if (!starting)
        return QTableView::edit(index, trigger, event);
    int cancel = 0;
    Q_EMIT beforeLabelEdit(cancel);
    if (cancel != 0)
        return false;
    return QTableView::edit(index.siblingAtColumn(PaneModel::Name), trigger, event);
}

void ListPane::commitData(QWidget* editor) {
    // Kept for the end of the edit; the rows are never written.
    if (const auto* line = qobject_cast<QLineEdit*>(editor))
        m_editedText = line->text();
}

void ListPane::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableView::closeEditor(editor, hint);
    // Reported once the editor is gone: the handler may rebuild the rows.
    if (std::optional<QString> text = std::exchange(m_editedText, std::nullopt)) {
        int cancel = 0;
        Q_EMIT afterLabelEdit(cancel, *text);
    }
}

void ListPane::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(QLatin1String(paneDragFormat)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ListPane::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasFormat(QLatin1String(paneDragFormat)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void ListPane::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasFormat(QLatin1String(paneDragFormat))) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QString dragged =
        QString::fromUtf8(event->mimeData()->data(QLatin1String(paneDragFormat)));
    const QPointF at = twipsAt(this, event->position());
    // The drag ends when this returns; the drop may ask questions, so it runs after.
    QMetaObject::invokeMethod(
        this,
        [this, dragged, at] {
            Q_EMIT dragDrop(dragged, static_cast<float>(at.x()), static_cast<float>(at.y()));
        },
        Qt::QueuedConnection);
}
