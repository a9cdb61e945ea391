#include "base/message_style.h"
#include "comparison/comparison.h"
#include "dialogs/file_diff_view.h"
#include "dialogs/sync_mode_dialog.h"
#include "support/shown_rows.h"
#include "support/ssh_server.h"
#include "support/two_folders.h"

#include <QDir>
#include <QRadioButton>
#include <QTest>
#include <cstdio>
#include <gtest/gtest.h>

namespace {

const QDateTime early(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);
const QDateTime later(QDate(2024, 2, 1), QTime(8, 0), Qt::UTC);

// A window whose Destination pane is the same folder reached through a
// private sshd, as another host's folder is.
class HostPane : public TwoFolders {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running()) << server.failure().constData();
        server.useForProgram();
        TwoFolders::SetUp();
        window.txtDest()->setText(QString::fromUtf8(onHost(dest)));
    }
    void TearDown() override {
        TwoFolders::TearDown();
        qunsetenv("DUOSCOPE_SSH");
    }
    static QByteArray onHost(const TempTree& t) {
        return "127.0.0.1:" + QFile::encodeName(t.path());
    }
    void select(ListPane* pane, const QString& name) {
        const int row = pane->rows().findFile(name.toUtf8());
        ASSERT_GE(row, 0) << name.toStdString();
        pane->setCurrentRow(row);
        pane->setRowSelected(row, true);
        pane == left ? window.lvSource_GotFocus() : window.lvDest_GotFocus();
    }
    SshServer server;
};

// "name|name status" for each row in view once every check has ended.
QStringList checkedRows(Comparison& c, const QByteArray& source, const QByteArray& dest) {
    const std::shared_ptr<FolderRows> read = (c.beginRead(source, dest), c.read());
    if (!read)
        return {QStringLiteral("not read")};
    c.showRows(read);
    c.readShown(false);
    if (!QTest::qWaitFor([&] { return !c.contentCheckRunning(); }, 120000))
        return {QStringLiteral("still checking")};
    return shownRows(c.visibleRows(), true);
}

// Rows, statuses, folder statuses and contents compared, by level and
// flattened, are the same with a pane on a host as with both here.
TEST_F(HostPane, AHostsFolderGivesTheRowsAndStatusesOfTheSameFolderHere) {
    for (TempTree* t : {&source, &dest}) {
        t->write(QStringLiteral("same.txt"), "abc", early);
        t->write(QStringLiteral("sub/deep/f.txt"), t == &source ? "1" : "2", early);
        t->write(QStringLiteral("equal/g.txt"), "g", early);
    }
    source.write(QStringLiteral("differ.txt"), "abc", early);
    dest.write(QStringLiteral("differ.txt"), "xyz", early);
    source.write(QStringLiteral("newer.txt"), "n", later);
    dest.write(QStringLiteral("newer.txt"), "n", early);
    source.write(QStringLiteral("left only"));
    dest.write(QStringLiteral("right\nonly"));
    const QByteArray here = QFile::encodeName(source.path()) + '/';
    for (const bool flat : {false, true}) {
        Comparison local, remote;
        for (Comparison* c : {&local, &remote}) {
            c->settings().showSubfolders = 1;
            c->setFlattened(flat);
        }
        const QStringList expected = checkedRows(local, here, QFile::encodeName(dest.path()) + '/');
        EXPECT_TRUE(
            expected.contains(flat ? "sub/deep/f.txt|sub/deep/f.txt differs" : "sub|sub differs"))
            << expected.join('\n').toStdString();
        EXPECT_TRUE(expected.contains("differ.txt|differ.txt differs"));
        EXPECT_EQ(checkedRows(remote, here, onHost(dest) + '/'), expected) << "flat " << flat;
        EXPECT_TRUE(remote.folder(Side::Destination).remote);
    }
    // A host's root is its root, not its home.
    Comparison root;
    root.settings().showSubfolders = 1;
    EXPECT_TRUE(checkedRows(root, here, "127.0.0.1:/").contains("-|tmp destination-only"));
    // A host not reached lists nothing, and says why in ssh's words.
    qputenv("DUOSCOPE_SSH", "ssh -p 1");
    Comparison unreached;
    const QStringList rows = checkedRows(unreached, here, "localhost:/nowhere/");
    EXPECT_TRUE(rows.contains("same.txt|- source-only")) << rows.join('\n').toStdString();
    EXPECT_TRUE(unreached.folder(Side::Destination).unreached.startsWith("localhost:/nowhere: "))
        << unreached.folder(Side::Destination).unreached.toStdString();
}

// Delete goes to the host's Trash and Undo brings it back, through the
// pane's side, as Rename, Copy to Right and their Undo go.
TEST_F(HostPane, DeleteRenameCopyAndUndoOnAHostPane) {
    source.write(QStringLiteral("a.txt"), "a");
    dest.write(QStringLiteral("gone.txt"), "as listed");
    window.mnuRefresh_Click();
    ASSERT_EQ(rows(), QStringList({"a.txt|-", "-|gone.txt"}));
    // Another file put at its name since the listing is not deleted.
    dest.write(QStringLiteral("put.tmp"), "kept in the Trash");
    ASSERT_EQ(::rename(QFile::encodeName(dest.filePath(QStringLiteral("put.tmp"))).constData(),
                       QFile::encodeName(dest.filePath(QStringLiteral("gone.txt"))).constData()),
              0);
    select(right, QStringLiteral("gone.txt"));
    window.mnuDelete_Click();
    EXPECT_TRUE(platform.shown.last().text.contains(QStringLiteral("since it was chosen")))
        << platform.shown.last().text.toStdString();
    EXPECT_EQ(dest.read(QStringLiteral("gone.txt")), "kept in the Trash");
    select(right, QStringLiteral("gone.txt"));
    platform.answers = {Answer::Yes};
    window.mnuDelete_Click();
    EXPECT_TRUE(platform.shown.last().text.contains(QString::fromUtf8(onHost(dest))));
    EXPECT_FALSE(QFile::exists(dest.filePath(QStringLiteral("gone.txt"))));
    EXPECT_TRUE(QFile::exists(QFile::decodeName(server.dataHome()) + "/Trash/files/gone.txt"));
    EXPECT_EQ(rows(), QStringList({"a.txt|-"}));
    window.mnuEditUndo_Click();
    EXPECT_EQ(dest.read(QStringLiteral("gone.txt")), "kept in the Trash");
    EXPECT_EQ(rows(), QStringList({"a.txt|-", "-|gone.txt"}));
    // Rename there, and back by Undo.
    select(right, QStringLiteral("gone.txt"));
    int cancel = 0;
    window.lvDest_BeforeLabelEdit(cancel);
    window.lvDest_AfterLabelEdit(cancel, QStringLiteral("b.txt"));
    EXPECT_EQ(dest.read(QStringLiteral("b.txt")), "kept in the Trash");
    window.mnuEditUndo_Click();
    EXPECT_EQ(rows(), QStringList({"a.txt|-", "-|gone.txt"}));

    // Copy to Right onto the host, and back by Undo.
    select(left, QStringLiteral("a.txt"));
    window.mnuEditCopyToRight_Click();
    EXPECT_EQ(dest.read(QStringLiteral("a.txt")), "a");
    EXPECT_EQ(rows(), QStringList({"a.txt|a.txt", "-|gone.txt"}));
    window.mnuEditUndo_Click();
    EXPECT_FALSE(QFile::exists(dest.filePath(QStringLiteral("a.txt"))));
}

// Synchronize mirrors onto the host's pane through its side: a file
// replaced or deleted there waits in the host's Trash, and Undo puts both
// trees back as they were.
TEST_F(HostPane, SynchronizeMirrorsOntoTheHostsPaneAndUndoPutsItBack) {
    source.write(QStringLiteral("new.txt"), "new", early);
    source.write(QStringLiteral("sub/f.txt"), "here", later);
    dest.write(QStringLiteral("sub/f.txt"), "there", early);
    dest.write(QStringLiteral("extra.txt"), "extra", early);
    window.mnuRefresh_Click();
    platform.dialogActions.push_back([](QDialog& d) {
        static_cast<SyncModeDialog&>(d).button(SyncMode::Mirror)->click();
        d.accept();
    });
    window.mnuEditSynchronize_Click();
    ASSERT_NE(window.syncPreview(), nullptr)
        << (platform.shown.isEmpty() ? "" : platform.shown.last().text.toStdString());
    EXPECT_EQ(window.syncPreview()->hosts[1], "127.0.0.1:");
    EXPECT_EQ(window.syncPreview()->entries.size(), 3u);
    window.cmdSyncRun_Click();
    EXPECT_EQ(dest.read(QStringLiteral("new.txt")), "new");
    EXPECT_EQ(dest.read(QStringLiteral("sub/f.txt")), "here");
    EXPECT_FALSE(QFile::exists(dest.filePath(QStringLiteral("extra.txt"))));
    const QString trash = QFile::decodeName(server.dataHome()) + "/Trash/files/";
    EXPECT_TRUE(QFile::exists(trash + "extra.txt"));
    EXPECT_EQ(QDir(trash).entryList(QDir::Files).size(), 2)
        << QDir(trash).entryList().join(' ').toStdString();
    window.mnuEditUndo_Click();
    EXPECT_FALSE(QFile::exists(dest.filePath(QStringLiteral("new.txt"))));
    EXPECT_EQ(dest.read(QStringLiteral("sub/f.txt")), "there");
    EXPECT_EQ(dest.read(QStringLiteral("extra.txt")), "extra");
    EXPECT_EQ(source.read(QStringLiteral("new.txt")), "new");
    // Nothing is synchronized from one host to another.
    window.txtSource()->setText(QString::fromUtf8(onHost(source)));
    window.mnuEditSynchronize_Click();
    EXPECT_EQ(window.syncPreview(), nullptr);
    ASSERT_FALSE(platform.shown.isEmpty());
    EXPECT_TRUE(platform.shown.last().text.contains(QStringLiteral("from one host to another")))
        << platform.shown.last().text.toStdString();
}

// Compare Files shows the host's file by its address; a save goes back only
// over the file that was read, else after a question, and Undo takes it back.
TEST_F(HostPane, ASaveGoesBackOnlyOverTheHostsFileAsItWasRead) {
    source.write(QStringLiteral("f.txt"), "here\n");
    dest.write(QStringLiteral("f.txt"), "there\n");
    window.mnuRefresh_Click();
    select(right, QStringLiteral("f.txt"));
    window.mnuCompareFiles_Click();
    auto* view = window.findChild<FileDiffView*>();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->comparison() != nullptr; }, 60000));
    EXPECT_TRUE(view->windowTitle().contains(QString::fromUtf8(onHost(dest)) + "/f.txt"));
    view->takeAll(true);
    dest.write(QStringLiteral("f.txt"), "changed there\n");
    platform.answers = {Answer::No};
    EXPECT_FALSE(view->save(true));
    EXPECT_TRUE(platform.shown.last().text.contains(QStringLiteral("changed on its host")))
        << platform.shown.last().text.toStdString();
    EXPECT_EQ(dest.read(QStringLiteral("f.txt")), "changed there\n");
    platform.answers = {Answer::Yes};
    EXPECT_TRUE(view->save(true)) << platform.shown.last().text.toStdString();
    EXPECT_EQ(dest.read(QStringLiteral("f.txt")), "here\n");
    view->close();
    // The version saved over waits in the host's Trash for Undo.
    window.mnuEditUndo_Click();
    EXPECT_EQ(dest.read(QStringLiteral("f.txt")), "changed there\n");
}

} // namespace
