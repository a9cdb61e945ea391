#pragma once

#include "core/text_diff.h"

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QWidget>
#include <memory>

class QLabel;
class QMenuBar;

// The rows of a comparison, both files side by side in one area, so the two
// halves always scroll together: line numbers, changed lines tinted from the
// palette's highlight with the differing characters marked more strongly,
// blank space hatched where the other side has lines.
class DiffArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit DiffArea(QWidget* parent = nullptr);

    void setDiff(const LineDiff* diff, const QString& message);
    // The change shown as current (its rows get a bar beside them), -1 for none.
    void setCurrentChange(int change);
    int topRow() const;
    int visibleRows() const;
    int rowHeight() const { return m_rowHeight; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    void measure();
    void updateScrollBars();
    // What one half of a row shows: its line (-1 for blank space), the
    // number of lines on its side, the text and the characters marked.
    struct Cell {
        int line;
        int lines;
        const QString& text;
        const std::vector<CharSpan>& marks;
    };
    enum class Shade { Same, Ignored, Changed };
    int gutterWidth(int lines) const;
    void paintCell(QPainter& p, const QRect& cell, Shade shade, bool current, const Cell& c);

    const LineDiff* m_diff = nullptr;
    QString m_message;
    int m_currentChange = -1;
    int m_rowHeight = 1;
    int m_charWidth = 1;
    qsizetype m_longestLine = 0;
};

// The window that compares two files: the two paths over their halves and in
// the title, F7 and Shift+F7 for the next and the previous change, and a
// status line with the counts. The files are read and compared on a thread of
// its own; closing the window early drops the result.
class FileDiffView : public QWidget {
    Q_OBJECT
public:
    // `ignore`: the Ignore flags the comparison starts with.
    FileDiffView(const QByteArray& leftPath, const QByteArray& rightPath, QWidget* parent = nullptr,
                 int ignore = 0);
    ~FileDiffView() override;

    DiffArea* area() const { return m_area; }
    QString statusText() const;
    // The comparison, once it has arrived; null before.
    const FileComparison* comparison() const { return m_result.get(); }
    int currentChange() const { return m_currentChange; }
    void nextChange();
    void previousChange();
    int ignore() const { return m_ignore; }
    // Compares the files again under other Ignore flags (the View menu's).
    void setIgnore(int ignore);

Q_SIGNALS:
    void compared();
    void ignoreChanged(int ignore);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Job;
    QMenuBar* makeMenus();
    void startComparison();
    void showResult();
    void goToChange(int change);
    bool currentChangeShown() const;

    QByteArray m_leftPath, m_rightPath;
    int m_ignore = 0;
    std::shared_ptr<Job> m_job;
    std::unique_ptr<FileComparison> m_result;
    DiffArea* m_area = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_position = nullptr;
    int m_currentChange = -1;
};
