#pragma once

#include "fileops/file_steps.h"
#include "fs/folder_side.h"
#include "sync/sync_plan.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CommandHost;
class UndoJournal;

// Edit > Synchronize's preview of two folders: the mode chosen last, the
// plan made for it, each entry's action as planned and as the user changed
// it. The plan keeps every row of both trees; the rows previewed are a view
// of it (shownRows), and the run and the state it saves are given it whole.
class SyncPreview : public QObject {
    Q_OBJECT
public:
    explicit SyncPreview(QObject* parent = nullptr) : QObject(parent) {}

    SyncMode mode() const { return m_mode; }
    void setMode(SyncMode mode) { m_mode = mode; }

    // What planning came to, and what the user is told of it: a refusal,
    // or nothing to do; `failed` for a refusal or a state not saved.
    enum class Planned { Stopped, Refused, NothingToDo, Previewed };
    struct Outcome {
        Planned planned = Planned::Stopped;
        QString message;
        bool failed = false;
    };
    // Runs `work` away from the caller's thread and returns once it is over,
    // throwing again what it threw; meanwhile the options' cancel flag may
    // be set to stop it.
    using OffThread = std::function<void(const std::function<void()>& work)>;

    // A folder of the pair on its side (folder_side.h): its path there, and
    // the host before it ("" here), as planSync takes it.
    struct Folder {
        std::shared_ptr<FolderSide> side;
        QByteArray path, host;
    };
    // The mode chosen last planned for the two folders under `options`
    // (filters, contents, cancel, progress), with the digests the content
    // check keeps, by `offThread`; the run goes through the same sides.
    // Stopped or refused: the preview stays as it was. Nothing to do: what
    // the pair holds the same is its state all the same. Else the plan is
    // previewed. Throws FsError as planSync does.
    Outcome plan(const Folder& source, const Folder& destination, TreeOptions options,
                 const OffThread& offThread);
    // The same for two folders here.
    Outcome plan(const QByteArray& source, const QByteArray& destination, TreeOptions options,
                 const OffThread& offThread);
    // The plan previewed, or null.
    const SyncPlan* previewed() const { return m_plan ? &*m_plan : nullptr; }
    // The shared rows previewed, ascending: those of the plan's entries.
    std::vector<qint32> shownRows() const;
    // The plan's entry on a shared row, or null.
    const SyncEntry* entryAt(qsizetype sharedRow) const;
    // The entries on `sharedRows` take `action` where they allow it; Skip on
    // entries all skipped gives them back the plan's own. False when none could.
    bool change(const std::vector<qsizetype>& sharedRows, SyncAction action);
    // For the status bar, and for the bar above the panes.
    QString summary(bool toTrash) const;
    QString text(bool toTrash) const;

    // What the user must answer Yes to, in turn, before the run.
    QStringList questionsBeforeRun(bool toTrash) const;
    // The whole plan run as its actions now say, through `host`, as one Undo
    // record in `journal`. The files left alone as changed since the
    // preview, by name.
    QStringList run(CommandHost& host, DeleteWay way, UndoJournal* journal);
    // No plan previewed any more.
    void end();

Q_SIGNALS:
    // A plan is previewed, or the user changed its actions.
    void actionsChanged();

private:
    SyncMode m_mode = SyncMode::UpdateDestination;
    std::optional<SyncPlan> m_plan;
    std::shared_ptr<FolderSide> m_sides[2]; // the plan's folders' sides
    std::vector<SyncAction> m_planned;      // each entry's action as planned
};
