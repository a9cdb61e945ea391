#pragma once

#include <QLineEdit>
#include <QPoint>
#include <optional>

// Typing a folder into a folder box. The box is the record of the chosen
// folder, so the typing happens in an editor laid over it: the box changes
// only when the window takes a typed folder, never on a half-typed one.
// Clicking the box (or Ctrl+L in the window) opens the editor on its text, or
// on `startText` when one is set; folder names complete as in a file
// manager's location bar; Enter hands the text over (entered()), Escape or
// leaving the editor puts the box's folder back.
class FolderEntry : public QLineEdit {
    Q_OBJECT
public:
    explicit FolderEntry(QLineEdit* box);

    // Opens the editor over the box; a click at `clickAt` (box coordinates)
    // places the cursor there.
    void begin(std::optional<QPoint> clickAt = std::nullopt);
    // Closes the editor: the box shows its folder again.
    void end();
    // The text the editor opens on instead of the box's ("" for the box's).
    void setStartText(const QString& text) { m_startText = text; }

Q_SIGNALS:
    void entered(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QLineEdit* m_box;
    QString m_startText;
};
