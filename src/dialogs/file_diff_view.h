#pragma once

#include "dialogs/diff_area.h"
#include "fileops/undo_journal.h"
#include "text/text_diff.h"

#include <QByteArray>
#include <QWidget>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <vector>

class Platform;
class QLabel;
class QMenuBar;

// The window that compares two files: the two paths over their halves and in
// the title, F7 and Shift+F7 for the next and the previous change, and a
// status line with the counts. The files are read and compared on a thread of
// its own; closing the window early drops the result. A change goes to the
// other side with Alt+Right or Alt+Left (or its arrow) once the rows shown
// are compared; both halves are edited in place, each edit compared again on
// a thread of its own; a side with edits is saved over the very file it was
// read from (its folder held open), or wherever the user names.
class FileDiffView : public QWidget {
    Q_OBJECT
public:
    // `ignore`: the Ignore flags the comparison starts with. Questions are
    // asked through `platform`.
    FileDiffView(const QByteArray& leftPath, const QByteArray& rightPath, Platform& platform,
                 QWidget* parent = nullptr, int ignore = 0);
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

    // The current change (or all of them) made the same on the other side.
    void takeChange(int change, bool toRight);
    void takeAll(bool toRight);
    void edit(const TextEdit& edit);
    void undo();
    void redo();
    // Whether a side holds edits not saved.
    bool modified(bool right) const;
    // Saves a side with edits over the file it was read from, asking when
    // something else stands at its name now; false when it was not saved.
    bool save(bool right);
    // Ctrl+S: the side with the caret when it has edits, else the one that has.
    void saveCurrent();
    // Writes a side to a file the user names; the side is that file from then on.
    bool saveAs(bool right);
    // Whether a replaced file is kept in the Trash (else it goes, after a question).
    void setKeepInTrash(bool keep) { m_keepInTrash = keep; }
    // For a side read from a copy of a file elsewhere: the name shown for it
    // (else its path), and what sends a save of it back there, once written
    // over the copy (false: the side is not saved). Save As writes only here.
    void setElsewhere(bool right, const QString& shownName, std::function<bool()> sendBack);
    // Whether the comparison holds edits still being compared.
    bool settling() const;
    // Whether the rows shown wait for a comparison: changes are not taken then.
    bool comparing() const;
    // The status line's line endings: "LF", "CRLF" or "mixed" for each side.
    QString lineEndsText() const;

Q_SIGNALS:
    // The comparison arrived, or an edit's was settled.
    void compared();
    void ignoreChanged(int ignore);
    // A side was saved over its file: the step that takes the save back.
    void saved(const UndoStep& step);
    // A side was saved over its file, the old one not kept: nothing before can be undone.
    void replacedForGood(const QString& why);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Job;
    // An edit's pending hunks compared again on a copy of the comparison.
    struct Settling {
        std::atomic<bool> cancel{false};
        LineDiff lines;
        std::vector<std::vector<Hunk>> parts;
    };
    // What Undo within the view goes back to.
    struct State {
        LineDiff lines;
        Caret caret;
        std::array<int, 2> versions;
    };
    QMenuBar* makeMenus();
    void startComparison();
    void showResult();
    void showEdited();
    void settle();
    void take(int change, bool toRight);
    void goToChange(int change);
    bool currentChangeShown() const;
    void updateTitle();
    void updateActions();
    // Writes a side's text at `target`, over `expected` (null: a free name).
    bool saveTo(bool right, ReadFile& target, const struct stat* expected);
    State state() const;
    // Goes back to the last state of `from`, the present one going to `to`.
    void stepBack(std::vector<State>& from, std::vector<State>& to);

    QByteArray m_leftPath, m_rightPath;
    Platform& m_platform;
    int m_ignore = 0;
    std::shared_ptr<Job> m_job;
    std::shared_ptr<Settling> m_settling;
    std::unique_ptr<FileComparison> m_result;
    DiffArea* m_area = nullptr;
    std::array<QLabel*, 2> m_headers{};
    QLabel* m_status = nullptr;
    QLabel* m_position = nullptr;
    QLabel* m_lineEnds = nullptr;
    bool m_comparing = false; // a comparison of the files runs
    bool m_keepInTrash = true;
    int m_currentChange = -1;
    bool m_followChange = false; // a change was taken: show the current one once settled
    std::vector<State> m_undo, m_redo;
    // Each side's version: a new number for each edit; the one saved last.
    std::array<int, 2> m_versions{}, m_saved{};
    int m_nextVersion = 1;
    std::array<QString, 2> m_shownNames;
    std::array<std::function<bool()>, 2> m_sendBack;
    Caret m_typedUpTo{false, -1, -1}; // where the last typed character left the caret
};
