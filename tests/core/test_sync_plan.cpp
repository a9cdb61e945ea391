#include "base/message_style.h"
#include "fileops/sync_command.h"
#include "fileops/sync_run.h"
#include "fileops/undo_journal.h"
#include "support/scripted_host.h"
#include "support/sync_trees.h"
#include "sync/row_actions.h"
#include "sync/sync_plan.h"
#include "sync/sync_state.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

// The trees of every kind of row, planned, run and run from the command line.
class Sync : public SyncTrees {
protected:
    struct Run {
        int code;
        QString out, err;
    };
    Run run(const QString& options, QIODevice* device = nullptr) const {
        Run r;
        QTextStream o(&r.out), e(&r.err);
        if (device)
            o.setDevice(device);
        r.code = runSyncCommand(options.split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                    .replaceInStrings(QStringLiteral("SRC"), source.path())
                                    .replaceInStrings(QStringLiteral("DST"), dest.path()),
                                o, e);
        o.flush();
        e.flush();
        return r;
    }

    // Runs a plan with every conflict left alone, answering yes to all.
    std::vector<SyncOutcome> runPlan(const SyncPlan& p, UndoJournal* journal = nullptr,
                                     std::function<bool(const ScriptedHost&)> stop = {},
                                     DeleteWay way = DeleteWay::ToTrash) const {
        ScriptedPlatform platform;
        ScriptedHost host(platform);
        host.stopWhen = [&] { return stop && stop(host); };
        const std::vector<SyncOutcome> outcomes = runSyncPlan(host, p, way, journal);
        EXPECT_TRUE(platform.shown.isEmpty()) << platform.shown.first().text.toStdString();
        maximum = host.maximum;
        value = host.value;
        return outcomes;
    }

    // Every entry below both trees: a file's contents and time, a folder "/".
    std::map<QString, std::pair<QByteArray, qint64>> snapshot() const {
        std::map<QString, std::pair<QByteArray, qint64>> all;
        for (const TempTree* t : {&source, &dest}) {
            QDirIterator it(t->path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QFileInfo f(it.next());
                const QString name = f.filePath().mid(t->path().size() + 1);
                all[(t == &source ? QStringLiteral("S:") : QStringLiteral("D:")) + name] =
                    f.isDir() ? std::pair(QByteArray("/"), qint64(0))
                              : std::pair(t->read(name), f.lastModified().toSecsSinceEpoch());
            }
        }
        return all;
    }

    mutable int maximum = 0, value = 0;
};

TEST_F(Sync, EachModeActsOnEachKindOfRow) {
    // Rows no mode touches (same, same contents at another time, excluded)
    // are in no plan. Columns: update, update-source, both, mirror; "" none.
    // Two-way with no earlier run is both, and says so.
    const std::tuple<const char*, const char*, const char*, const char*, const char*> table[] = {
        {"alone_left.txt", "copy-right", "", "copy-right", "copy-right"},
        {"alone_right.txt", "", "copy-left", "copy-left", "delete-right"},
        {"sub/newer_left.txt", "copy-right", "", "copy-right", "copy-right"},
        {"sub/newer_right.txt", "", "copy-left", "copy-left", "copy-right"},
        {"differs.txt", "conflict", "conflict", "conflict", "copy-right"},
        {"lonedir/", "copy-right", "", "copy-right", "copy-right"},
        {"rightdir/", "", "copy-left", "copy-left", "delete-right"},
        {"clash/", "conflict", "", "conflict", "copy-right"},
        {"clash", "", "conflict", "conflict", "delete-right"},
    };
    const SyncMode modes[] = {SyncMode::UpdateDestination, SyncMode::UpdateSource,
                              SyncMode::UpdateBoth, SyncMode::Mirror};
    for (int m = 0; m < 4; ++m) {
        std::map<QString, QString> expected;
        for (const auto& row : table) {
            const char* cells[] = {std::get<1>(row), std::get<2>(row), std::get<3>(row),
                                   std::get<4>(row)};
            if (*cells[m])
                expected[QString::fromLatin1(std::get<0>(row))] = QString::fromLatin1(cells[m]);
        }
        EXPECT_EQ(actions(plan(modes[m])), expected) << "mode " << m;
    }
    const SyncPlan twoWay = plan(SyncMode::TwoWay);
    EXPECT_EQ(actions(twoWay), actions(plan(SyncMode::UpdateBoth)));
    EXPECT_TRUE(twoWay.note.startsWith(QLatin1String("No earlier synchronization")))
        << twoWay.note.toStdString();
}

TEST_F(Sync, ActionsChangeWhereTheEntryAllowsSkipAgainGivesBackThePlansOwnTheSummaryFollows) {
    SyncPlan p = plan(SyncMode::UpdateBoth);
    std::vector<SyncAction> planned;
    for (const SyncEntry& e : p.entries)
        planned.push_back(e.action);
    using A = SyncAction;
    // The entries chosen, the action asked for, each one's action then (none
    // changed: none could take it), and the preview's text with the Trash off.
    const struct {
        const char* paths;
        A action;
        const char *after, *text;
    } steps[] = {
        // Nothing in Destination to copy back.
        {"alone_left.txt", A::CopyLeft, "copy-right", "3 → 9 bytes · 3 ← 6 bytes · 3 conflicts"},
        // A conflict settled toward Source, and a copy turned round.
        {"differs.txt sub/newer_right.txt", A::CopyRight, "copy-right copy-right",
         "5 → 14 bytes · 2 ← 1 bytes · 2 conflicts"},
        // Where only one of them can (nothing to delete there): that one.
        {"alone_right.txt alone_left.txt", A::DeleteRight, "delete-right copy-right",
         "5 → 14 bytes · 1 ← 0 bytes · 1 deleted · 2 conflicts"},
        // Skip on entries not all skipped skips them all; again, each gets
        // back its action as planned, not as changed since.
        {"lonedir/ differs.txt", A::Skip, "skip skip",
         "3 → 12 bytes · 1 ← 0 bytes · 1 deleted · 2 conflicts · 2 skipped"},
        {"lonedir/ differs.txt", A::Skip, "copy-right conflict",
         "4 → 12 bytes · 1 ← 0 bytes · 1 deleted · 3 conflicts"},
    };
    for (const auto& step : steps) {
        const QStringList paths = QString::fromLatin1(step.paths).split(QLatin1Char(' '));
        std::vector<size_t> chosen;
        for (size_t k = 0; k < p.entries.size(); ++k) {
            if (paths.contains(pathOf(p, p.entries[k])))
                chosen.push_back(k);
        }
        const auto was = actions(p);
        const std::string what = step.paths + (" " + syncActionKey(step.action).toStdString());
        const bool taken = changeActions(p, chosen, step.action, planned);
        EXPECT_EQ(taken, actions(p) != was) << what;
        QStringList after;
        for (const QString& path : paths)
            after << actions(p)[path];
        EXPECT_EQ(after.join(QLatin1Char(' ')), QLatin1String(step.after)) << what;
        EXPECT_EQ(syncPreviewText(p, false), "Update Both: " + QString::fromUtf8(step.text))
            << what;
    }
    // What could not be read takes nothing.
    p.entries[0].action = A::Unreadable;
    EXPECT_FALSE(changeActions(p, {0}, A::Skip, planned));
    p.entries.clear();
    EXPECT_EQ(syncSummary(p), QStringLiteral("nothing to do"));
}

TEST_F(Sync, DryRunPrintsThePlanAsTheReportsRowsWithTheAction) {
    const Run text = run(QStringLiteral("--sync mirror SRC DST --dry-run -c --exclude *.o"));
    ASSERT_EQ(text.code, 0) << text.err.toStdString();
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 10) << text.out.toStdString();
    // One line per entry, the bars in line, then the summary.
    for (const QString& line : lines.first(9))
        EXPECT_EQ(line.indexOf(QLatin1Char('|')), lines[0].indexOf(QLatin1Char('|')));
    for (const char* row :
         {"^alone_left\\.txt +5 bytes  3/9/24 2:05:00 PM \\| source-only +\\| copy-right +\\|$",
          "^ +\\| destination-only +\\| delete-right +\\| rightdir/    \\d"})
        EXPECT_EQ(lines.filter(QRegularExpression(QString::fromLatin1(row))).size(), 1)
            << row << "\n"
            << text.out.toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("6 → 14 bytes · 3 to the Trash"));

    const Run json = run(QStringLiteral("--sync update SRC DST --dry-run --json -c --exclude *.o"));
    EXPECT_EQ(json.code, 1) << "a conflict";
    const QJsonArray rows = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 5) << json.out.toStdString();
    EXPECT_EQ(json.out.toUtf8(), QJsonDocument(rows).toJson()) << "Qt's own form";
    const QJsonObject newer = rows[4].toObject();
    EXPECT_EQ(newer[QStringLiteral("path")], QStringLiteral("sub/newer_left.txt"));
    EXPECT_EQ(newer[QStringLiteral("action")], QStringLiteral("copy-right"));
    EXPECT_EQ(newer[QStringLiteral("status")], QStringLiteral("source-newer"));
    EXPECT_EQ(newer[QStringLiteral("source")][QStringLiteral("name")],
              QStringLiteral("newer_left.txt"));
    EXPECT_EQ(newer[QStringLiteral("destination")][QStringLiteral("size")], 3);
}

TEST_F(Sync, ExitCodesSayWhatWentWrong) {
    QBuffer unwritable;
    unwritable.open(QIODevice::ReadOnly);
    const std::tuple<QString, int, const char*> cases[] = {
        {QStringLiteral("--sync update-source SRC DST --dry-run -c --exclude *.o"), 1, ""},
        {QStringLiteral("--sync update-source SRC DST --dry-run --exclude clash --exclude diff*"),
         0, ""},
        {QStringLiteral("--sync sideways SRC DST --dry-run"), 1, "needs a mode"},
        {QStringLiteral("--sync mirror SRC --dry-run"), 1, "needs a SOURCE and a DESTINATION"},
        {QStringLiteral("--sync mirror SRC DST --dry-run --bogus"), 1, "unknown option --bogus"},
        {QStringLiteral("--sync mirror SRC DST/nope --dry-run"), 2, "nope: no such folder"},
    };
    for (const auto& [options, code, says] : cases) {
        const Run r = run(options);
        EXPECT_TRUE(r.code == code && r.err.contains(QLatin1String(says)))
            << options.toStdString() << ": " << r.code << " " << r.err.toStdString();
    }
    EXPECT_EQ(run(QStringLiteral("--sync both SRC DST --dry-run"), &unwritable).code, 3);
}

TEST_F(Sync, MirrorRunLeavesDestinationAsSourceWhatItReplacedOrDeletedInTheTrash) {
    const Run r = run(QStringLiteral("--sync mirror SRC DST --exclude *.o"));
    ASSERT_EQ(r.code, 0) << r.err.toStdString() << r.out.toStdString();
    for (const char* name :
         {"alone_left.txt", "sub/newer_left.txt", "sub/newer_right.txt", "sub/same_contents.txt",
          "differs.txt", "same.txt", "lonedir/inner.txt", "clash/in.txt"})
        EXPECT_EQ(dest.read(QString::fromLatin1(name)), source.read(QString::fromLatin1(name)))
            << name;
    for (const char* gone : {"alone_right.txt", "rightdir", "build.o"})
        EXPECT_FALSE(QFileInfo::exists(dest.filePath(QString::fromLatin1(gone)))) << gone;
    QByteArrayList trashed = dest.trashed();
    std::sort(trashed.begin(), trashed.end());
    // The deleted files and those replaced (same_contents.txt by the quick
    // rule); the folder rightdir, which the helper reads as no file.
    EXPECT_EQ(trashed, (QByteArrayList{"1", "<missing>", "abc", "bbb", "file", "newer", "old"}));
}

TEST_F(Sync, RunLeavesAloneWhatChangedSinceThePlan) {
    const SyncPlan p = plan(SyncMode::Mirror);
    const QDateTime now(QDate(2024, 3, 9), QTime(16, 0, 0), Qt::UTC); // after the trees' times
    source.write(QStringLiteral("alone_left.txt"), "edited", now);    // the copy's source
    dest.write(QStringLiteral("sub/newer_right.txt"), "edited", now); // the file it replaces
    dest.write(QStringLiteral("alone_right.txt"), "edited", now);     // the file it deletes
    // The file a copy replaces, rewritten in place with its size and time put
    // back: only its change time tells, once the clock has passed the old one.
    const QString rewritten = dest.filePath(QStringLiteral("differs.txt"));
    struct stat was {};
    ASSERT_EQ(::stat(QFile::encodeName(rewritten).constData(), &was), 0);
    for (struct timespec t{}; ::clock_gettime(CLOCK_REALTIME_COARSE, &t) == 0 &&
                              t.tv_sec == was.st_ctim.tv_sec && t.tv_nsec <= was.st_ctim.tv_nsec;)
        ;
    {
        QFile f(rewritten);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.write("ccc");
    }
    setTime(rewritten, QDateTime(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC));
    // The folder it deletes, now a link to a folder: not the folder planned.
    const QString lone = dest.filePath(QStringLiteral("rightdir"));
    ASSERT_TRUE(QDir(lone).removeRecursively());
    ASSERT_EQ(::symlink("sub", QFile::encodeName(lone).constData()), 0);
    const std::vector<SyncOutcome> outcomes = runPlan(p);
    std::map<QString, SyncOutcome> byPath;
    for (size_t k = 0; k < outcomes.size(); ++k) {
        const SyncEntry& e = p.entries[k];
        const QByteArrayView path = p.path(e, Side::Source);
        byPath[QString::fromUtf8(path.isEmpty() ? p.path(e, Side::Destination) : path)] =
            outcomes[k];
    }
    for (const char* changed :
         {"alone_left.txt", "sub/newer_right.txt", "alone_right.txt", "rightdir", "differs.txt"})
        EXPECT_EQ(byPath[QString::fromLatin1(changed)], SyncOutcome::Changed) << changed;
    EXPECT_EQ(byPath[QStringLiteral("sub/newer_left.txt")], SyncOutcome::Done);
    EXPECT_EQ(dest.read(QStringLiteral("sub/newer_right.txt")), "edited");
    EXPECT_EQ(dest.read(QStringLiteral("alone_right.txt")), "edited");
    EXPECT_EQ(dest.read(QStringLiteral("differs.txt")), "ccc");
    EXPECT_TRUE(QFileInfo(lone).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(dest.filePath(QStringLiteral("alone_left.txt"))));
    EXPECT_EQ(dest.read(QStringLiteral("sub/newer_left.txt")), "new!");
}

TEST_F(Sync, TwoWayTakesAcrossWhatChangedOrWasDeletedOnOneSideSinceTheLastRun) {
    runPlan(plan(SyncMode::UpdateBoth));
    runPlan(plan(SyncMode::UpdateBoth)); // the folders it copied whole are known the same now
    const QDateTime old(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC), now = old.addYears(5);
    QFile::remove(source.filePath(QStringLiteral("alone_right.txt")));
    QFile::remove(dest.filePath(QStringLiteral("sub/newer_left.txt")));
    source.write(QStringLiteral("same.txt"), "edited", old); // older than Destination's
    source.write(QStringLiteral("sub/same_contents.txt"), "left", now);
    dest.write(QStringLiteral("sub/same_contents.txt"), "right", now);
    QFile::remove(dest.filePath(QStringLiteral("alone_left.txt")));
    source.write(QStringLiteral("alone_left.txt"), "edited", now);
    QDir(dest.filePath(QStringLiteral("rightdir"))).removeRecursively();
    QDir(dest.filePath(QStringLiteral("lonedir"))).removeRecursively();
    source.write(QStringLiteral("lonedir/inner.txt"), "edited", now);
    source.write(QStringLiteral("fresh.txt"), "new", now);
    const std::map<QString, QString> expected = {
        {"alone_right.txt", "delete-right"},   // deleted in Source
        {"sub/newer_left.txt", "delete-left"}, // deleted in Destination
        {"same.txt", "copy-right"},            // changed in Source only, older or not
        {"sub/same_contents.txt", "conflict"}, // changed on both sides
        {"alone_left.txt", "conflict"},        // changed in Source, deleted in Destination
        {"rightdir/", "delete-left"},          // a folder deleted in Destination
        {"lonedir/", "conflict"},              // likewise, but a file in it changed since
        {"fresh.txt", "copy-right"},           // unknown to the last run
        {"differs.txt", "conflict"},           // a conflict then, left alone: one still
        {"clash/", "conflict"},
        {"clash", "conflict"},
    };
    const SyncPlan twoWay = plan(SyncMode::TwoWay);
    EXPECT_TRUE(twoWay.note.isEmpty()) << twoWay.note.toStdString();
    EXPECT_EQ(actions(twoWay), expected);
    // What a run leaves the same is known to the next.
    runPlan(twoWay);
    QFile::remove(dest.filePath(QStringLiteral("fresh.txt")));
    EXPECT_EQ(actions(plan(SyncMode::TwoWay))[QStringLiteral("fresh.txt")], "delete-left");
}

TEST_F(Sync, TwoWayIgnoresAStateDamagedCutShortOrOfOtherFoldersAndSaysSo) {
    runPlan(plan(SyncMode::UpdateBoth));
    QFile::remove(dest.filePath(QStringLiteral("same.txt"))); // with the state: delete-left
    const QByteArray path = SyncState::pathFor(src, dst);
    QFile file(QString::fromUtf8(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    TempTree other;
    SyncState elsewhere;
    elsewhere.add("same.txt", {});
    ASSERT_TRUE(elsewhere.save(src, QFile::encodeName(other.path())).ok());
    QFile otherFile(QString::fromUtf8(SyncState::pathFor(src, QFile::encodeName(other.path()))));
    ASSERT_TRUE(otherFile.open(QIODevice::ReadOnly));
    QByteArray damaged = good;
    damaged[good.size() / 2] = char(damaged[good.size() / 2] ^ 1);
    const std::pair<QByteArray, const char*> cases[] = {
        {good, ""},
        {damaged, "is damaged or cut short"},
        {good.chopped(3), "is damaged or cut short"},
        {otherFile.readAll(), "is of other folders"},
        {"plain text", "is not one this program wrote"},
    };
    const std::map<QString, QString> both = actions(plan(SyncMode::UpdateBoth));
    for (const auto& [bytes, says] : cases) {
        ASSERT_TRUE(FileSystem::replaceFile(path, bytes, 0600, false).ok());
        const SyncPlan p = plan(SyncMode::TwoWay);
        EXPECT_TRUE(*says ? p.note.contains(QLatin1String(says)) : p.note.isEmpty())
            << says << ": " << p.note.toStdString();
        EXPECT_EQ(actions(p)[QStringLiteral("same.txt")], *says ? "copy-right" : "delete-left")
            << says;
        EXPECT_TRUE(!*says || actions(p) == both) << says;
    }
}

TEST_F(Sync, EscapeStopsTheRunBetweenFilesAndOneUndoTakesItAllBack) {
    const auto before = snapshot();
    const QByteArray state =
        SyncState::pathFor(QFile::encodeName(source.path()), QFile::encodeName(dest.path()));
    // 3 deletions, then 6 copies; the host cancels once `stop` files are
    // done: among the deletions, among the copies, never.
    for (const int stop : {2, 5, 100}) {
        const int done = std::min(stop, 9);
        UndoJournal journal;
        const std::vector<SyncOutcome> outcomes =
            runPlan(plan(SyncMode::Mirror), &journal,
                    [&](const ScriptedHost& h) { return h.value >= stop; });
        EXPECT_EQ(maximum, 3 + 4 + 2) << "each file, the two folders' one each";
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), SyncOutcome::Done), done) << stop;
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), SyncOutcome::Failed), 9 - done);
        EXPECT_EQ(journal.undoTitle(), QStringLiteral("Synchronize of %1 Files").arg(done));
        EXPECT_TRUE(QFileInfo::exists(QString::fromUtf8(state)));
        EXPECT_EQ(undoRecord(journal.takeLast(), CopyOptions{}), QStringList());
        // A run that ends gives a file of the same contents Source's time, which Undo keeps.
        auto expected = before;
        if (stop > 9)
            expected["D:sub/same_contents.txt"].second =
                before.at("S:sub/same_contents.txt").second;
        EXPECT_EQ(snapshot(), expected) << stop;
        EXPECT_FALSE(QFileInfo::exists(QString::fromUtf8(state))) << "it no longer holds";
    }
}

TEST_F(Sync, PermanentlyAsksNothingAndLeavesUnreadableRowsAlone) {
    SyncPlan p = plan(SyncMode::Mirror);
    // A row that could not be read (as a folder locked from the user).
    const auto it = std::find_if(p.entries.begin(), p.entries.end(), [&](const SyncEntry& e) {
        return pathOf(p, e) == QLatin1String("sub/newer_left.txt");
    });
    ASSERT_NE(it, p.entries.end());
    it->action = SyncAction::Unreadable;
    UndoJournal journal;
    const std::vector<SyncOutcome> outcomes =
        runPlan(p, &journal, {}, DeleteWay::Permanently); // and nothing asked
    EXPECT_EQ(outcomes[size_t(it - p.entries.begin())], SyncOutcome::NotActed);
    EXPECT_EQ(dest.read(QStringLiteral("sub/newer_left.txt")), "old");
    EXPECT_EQ(dest.read(QStringLiteral("sub/newer_right.txt")), "old");
    EXPECT_FALSE(QFileInfo::exists(dest.filePath(QStringLiteral("rightdir"))));
    EXPECT_TRUE(dest.trashed().isEmpty());
    EXPECT_FALSE(journal.canUndo());
    EXPECT_FALSE(journal.endedBecause().isEmpty());
    EXPECT_EQ(value, maximum);
}

TEST_F(Sync, CommandLineTwoWaySavesTheStateAfterARunNotADryRun) {
    const QString folders =
        QStringLiteral(" SRC DST --exclude *.o --exclude diff* --exclude clash");
    const QString twoWay = QStringLiteral("--sync two-way") + folders;
    Run r = run(twoWay + QStringLiteral(" --dry-run"));
    EXPECT_TRUE(r.err.contains(QLatin1String("No earlier synchronization"))) << r.err.toStdString();
    r = run(twoWay + QStringLiteral(" --dry-run"));
    EXPECT_TRUE(r.err.contains(QLatin1String("No earlier synchronization"))) << "none saved";
    r = run(twoWay);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    QFile::remove(dest.filePath(QStringLiteral("same.txt")));
    // A run that leaves that row alone keeps what the state knew of it.
    EXPECT_EQ(run(QStringLiteral("--sync update-source") + folders).code, 0);
    r = run(twoWay + QStringLiteral(" --dry-run --json"));
    EXPECT_EQ(r.err, QString());
    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 1) << r.out.toStdString();
    EXPECT_EQ(rows[0][QStringLiteral("action")], QStringLiteral("delete-left"));
}

} // namespace
