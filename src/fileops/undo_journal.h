#pragma once

#include "fileops/file_copy.h"
#include "fs/folder_side.h"
#include "fs/trash.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

// One basic step a file command did, enough to take it back.
struct UndoStep {
    enum class Kind {
        Copied,   // a new file at `path`
        Replaced, // a new file at `path`; the old one is `trashed`
        Moved,    // `oldPath` now stands at `path`
        Renamed,  // likewise, within one folder
        Trashed,  // the file at `oldPath` is `trashed`
        // Folders of a folder copied or moved whole:
        FolderMade,    // a new folder at `path`, taken back when empty again
        FolderRemoved, // the emptied folder `oldPath`, made again with `mode`
        // A record of the files as the command left them (a synchronisation's
        // state, at `path`): removed, since they are no longer so.
        Noted,
    };
    Kind kind = Kind::Copied;
    QByteArray path;
    QByteArray oldPath;
    // What the command left at `path`: Undo touches only that very file, so
    // a file another program changed or put there since is never destroyed.
    FileIdentity left;
    TrashEntry trashed;
    mode_t mode = 0;
    // The side the step was done on, through which it is taken back; none:
    // a folder of this machine.
    std::shared_ptr<FolderSide> side = nullptr;
};

// One command, named for the Undo entry ("Paste of 12 Files").
struct UndoRecord {
    QString title;
    std::vector<UndoStep> steps;
};

// The file commands of this run, newest last. A command that changed nothing
// leaves no record; a permanent delete ends the history, since what came
// before it may depend on the files it destroyed.
class UndoJournal {
public:
    // `command` names it ("Paste"); one over files is titled with their
    // number when it ends ("Paste of 12 Files").
    void begin(const QString& command, bool counted = true);
    // Notes a step of the command begun last, done on the side `on` when
    // given; what stands at `path` now is what Undo will expect there.
    void record(UndoStep step, std::shared_ptr<FolderSide> on = nullptr);
    void end();
    void endHistory(const QString& why);

    bool canUndo() const { return !m_records.empty(); }
    QString undoTitle() const { return m_records.empty() ? QString() : m_records.back().title; }
    // Why Undo is not offered, when the history was ended.
    const QString& endedBecause() const { return m_ended; }
    UndoRecord takeLast();
    // What an Undo stopped before doing stays to be undone.
    void putBack(UndoRecord record);

private:
    std::vector<UndoRecord> m_records;
    std::optional<UndoRecord> m_open;
    bool m_counted = true;
    QString m_ended;
};

// Takes back a record's steps, the last one first; a file moves back across
// file systems as the commands move it, with `options`. `next(i)` is called
// before step i and returns false to stop (the rest is then left as it is).
// Returns a line for each step that was not undone, naming the file and why.
QStringList undoRecord(const UndoRecord& record, const CopyOptions& options,
                       const std::function<bool(int)>& next = {});
