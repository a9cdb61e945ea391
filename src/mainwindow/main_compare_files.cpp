// File > Compare Files: which two files, and where they are shown.
#include "mainwindow/main_window.h"

#include "mainwindow/main_parts.h"

#include "base/message_style.h"
#include "base/name_text.h"
#include "dialogs/file_diff_view.h"
#include "mainwindow/duoscope_mod.h"
#include "mainwindow/list_pane.h"
#include "mainwindow/off_thread.h"
#include "remote/remote_side.h"
#include "shell/platform.h"
#include "text/diff_command.h"
#include "text/text_diff.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <array>
#include <sys/stat.h>

QList<QByteArray> Main::filesToCompare() const {
    const ListPane* pane = activeList();
    auto pathOf = [](const ListPane* list, const QLineEdit* box, int row) {
        return FileSystem::encode(folderPath(box->text())) + list->rowFileName(row);
    };
    // Two files selected in one pane, in their order there.
    std::vector<int> rows;
    for (const QItemSelectionRange& range : pane->selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom() && rows.size() <= 2; ++row)
            rows.push_back(row);
    }
    if (rows.size() == 2) {
        std::sort(rows.begin(), rows.end());
        const auto isFile = [&](int row) {
            return !pane->rowText(row).isEmpty() && !pane->rows().isFolder(row);
        };
        if (!isFile(rows[0]) || !isFile(rows[1]))
            return {};
        return {pathOf(pane, activeFolderBox(), rows[0]), pathOf(pane, activeFolderBox(), rows[1])};
    }
    // Else the current row, when it holds a file on both sides.
    const int row = pane->currentRow();
    // Folders are compared by the walk and stepped into, never shown as files.
    if (row < 0 || m_ui.lvSource->rowText(row).isEmpty() || row >= m_ui.lvDest->count() ||
        m_ui.lvDest->rowText(row).isEmpty() || m_ui.lvSource->rows().isFolder(row))
        return {};
    return {pathOf(m_ui.lvSource, m_ui.txtSource, row), pathOf(m_ui.lvDest, m_ui.txtDest, row)};
}

void Main::Parts::updateCompareCommand(Main& m) {
    const bool enabled = !m.filesToCompare().isEmpty();
    m.menuEntry(QStringLiteral("mnuCompareFiles"))->setEnabled(enabled);
    m.menuEntry(QStringLiteral("mnuPopupCompareFiles"))->setEnabled(enabled);
    m.toolbarButton(QStringLiteral("CompareFiles"))->setEnabled(enabled);
}

// File > Compare Files: the current row's two files, or the two files
// selected in the pane last pointed at, in the user's diff program when
// one is set, else in the program's own view.
void Main::mnuCompareFiles_Click() {
    const QList<QByteArray> paths = filesToCompare();
    if (paths.size() == 2)
        compareFiles(paths[0], paths[1]);
}

// Shows two files side by side as Compare Files does: in the user's diff
// program when one is set, else in the program's own view.
void Main::compareFiles(const QByteArray& leftGiven, const QByteArray& rightGiven) {
    // A file on another host is brought into a folder of scratch copies of
    // its own, which goes with the view (or at once for a diff program).
    std::array<std::optional<Comparison::HostFile>, 2> onHost{m_comparison->hostFile(leftGiven),
                                                              m_comparison->hostFile(rightGiven)};
    auto copies = std::make_shared<QTemporaryDir>(m_tempFolder + QStringLiteral("/fetched-XXXXXX"));
    QList<QByteArray> paths = {leftGiven, rightGiven};
    for (int i : {0, 1}) {
        if (onHost[i] && !Parts::fetch(*this, *onHost[i], *copies))
            return;
        if (onHost[i])
            paths[i] = onHost[i]->copy.localPath;
    }
    const QByteArray &left = paths[0], &right = paths[1];
    if (!m_comparison->settings().diffProgram.trimmed().isEmpty()) {
        copies->setAutoRemove(false); // read by a program whose end is not known
        Parts::startDiffProgram(*this, paths);
        return;
    }
    // Files too large for the view need a diff program of the user's.
    for (const QByteArray& path : paths) {
        struct stat st {};
        if (::stat(path.constData(), &st) != 0 || st.st_size <= largestComparedFile)
            continue; // a file that cannot be read is reported by the view
        platform().messageBox(
            this,
            QStringLiteral("%1 is %2 bytes, more than the comparison window can show.\r\n"
                           "Choose a diff program in Options to compare such files.")
                .arg(nameText(path), QLocale().toString(qint64(st.st_size))),
            MsgStyle::Information);
        return;
    }
    auto* view =
        new FileDiffView(left, right, platform(), this, m_comparison->settings().diffIgnore);
    view->setKeepInTrash(m_comparison->settings().useTrash != 0);
    connect(view, &QObject::destroyed, this, [copies] {});
    for (int i : {0, 1}) {
        if (onHost[i])
            view->setElsewhere(i == 1, onHost[i]->shown, [this, view, file = *onHost[i]]() mutable {
                return Parts::sendBack(*this, view, file);
            });
    }
    connect(view, &FileDiffView::ignoreChanged, this,
            [this](int ignore) { m_comparison->settings().diffIgnore = qint16(ignore); });
    connect(view, &FileDiffView::saved, this, [this](const UndoStep& step) {
        m_comparison->undoJournal().begin(QStringLiteral("Save"));
        m_comparison->undoJournal().record(step);
        m_comparison->undoJournal().end();
        updateUndoCommand();
        mnuRefresh_Click();
    });
    connect(view, &FileDiffView::replacedForGood, this, [this](const QString& why) {
        m_comparison->undoJournal().endHistory(why);
        updateUndoCommand();
        mnuRefresh_Click();
    });
    CenterForm(view);
    view->show();
}

void Main::Parts::startDiffProgram(Main& m, const QList<QByteArray>& paths) {
    const QList<QByteArray> arguments =
        diffCommandArguments(m.m_comparison->settings().diffProgram, paths[0], paths[1]);
    const QString error = arguments.isEmpty() ? QStringLiteral("A quote is not closed.")
                                              : m.platform().startCommand(arguments);
    if (!error.isEmpty())
        m.platform().messageBox(&m,
                                QStringLiteral("The diff program could not be started:\r\n%1\r\n%2")
                                    .arg(m.m_comparison->settings().diffProgram, error),
                                MsgStyle::Critical);
}

bool Main::Parts::fetch(Main& m, Comparison::HostFile& file, const QTemporaryDir& copies) {
    std::atomic<bool> cancel{false};
    QByteArray complaint = copies.isValid() ? QByteArray() : QByteArray("no scratch folder");
    if (complaint.isEmpty())
        runOffThread(
            &m, cancel,
            [&] {
                complaint =
                    fetchRemoteFile(*file.link, QFile::encodeName(copies.path()), file.copy);
            },
            [] {});
    if (complaint.isEmpty())
        return true;
    m.platform().messageBox(&m,
                            QStringLiteral("%1 could not be brought here to be compared:\r\n%2")
                                .arg(file.shown, nameText(complaint)),
                            MsgStyle::Critical);
    return false;
}

bool Main::Parts::sendBack(Main& m, QWidget* owner, Comparison::HostFile& file) {
    const QByteArray path = file.copy.remoteFolder + file.copy.name;
    const QString& name = file.shown;
    const auto side = std::make_shared<RemoteSide>(file.link);
    const bool keep = m.m_comparison->settings().useTrash != 0;
    struct Sent {
        RemotePut done = RemotePut::Failed;
        QByteArray complaint;
        std::optional<TrashEntry> kept;
    };
    // The file on the host must still be the one read (any, once asked);
    // its old version is kept in the host's Trash by a second name, which
    // moves only its change time, unless the Trash is turned off.
    const auto put = [&](bool replaceChanged) {
        Sent s;
        const auto send = [&] {
            const QByteArray before =
                remoteIdentity(*file.link, file.copy.remoteFolder, file.copy.name, s.complaint);
            if (before.isEmpty() || (!replaceChanged && before != file.copy.identity)) {
                s.done = before.isEmpty() ? RemotePut::Failed : RemotePut::Changed;
                return;
            }
            TrashEntry entry;
            if (keep) {
                if (const FsResult kept = side->keepInTrash(side->root(), path, path, entry);
                    !kept) {
                    s.complaint = kept.error().description().toUtf8();
                    return;
                }
                s.kept = entry;
                const QByteArray after =
                    remoteIdentity(*file.link, file.copy.remoteFolder, file.copy.name, s.complaint);
                const bool same = after.split(' ').mid(0, 4) == before.split(' ').mid(0, 4);
                file.copy.identity = after;
                s.done = same ? putRemoteFile(*file.link, file.copy, replaceChanged, s.complaint)
                              : RemotePut::Changed;
            } else {
                s.done = putRemoteFile(*file.link, file.copy, replaceChanged, s.complaint);
            }
            if (s.done != RemotePut::Written && s.kept) {
                side->discard(*s.kept);
                s.kept.reset();
            }
        };
        std::atomic<bool> cancel{false};
        runOffThread(&m, cancel, send, [] {});
        return s;
    };
    Sent sent = put(false);
    // As a file here changed since it was read: saved over only when asked.
    if (sent.done == RemotePut::Changed) {
        if (m.platform().messageBox(
                owner,
                QStringLiteral("%1 has been changed on its host since it was read.\r\n\r\n"
                               "Save over it all the same?")
                    .arg(name),
                MsgStyle::QuestionYesNoNoDefault) != Answer::Yes)
            return false;
        sent = put(true);
    }
    if (sent.done != RemotePut::Written) {
        m.platform().messageBox(
            owner,
            QStringLiteral("%1 could not be saved:\r\n%2").arg(name, nameText(sent.complaint)),
            MsgStyle::Critical);
        return false;
    }
    UndoJournal& journal = m.m_comparison->undoJournal();
    if (sent.kept) {
        journal.begin(QStringLiteral("Save"));
        journal.record({UndoStep::Kind::Replaced, path, {}, {}, *sent.kept}, side);
        journal.end();
    } else {
        journal.endHistory(
            QStringLiteral("The old version of %1 was replaced for good when it was saved.")
                .arg(name));
    }
    m.updateUndoCommand();
    m.mnuRefresh_Click();
    return true;
}
