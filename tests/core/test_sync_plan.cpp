#include "core/message_style.h"
#include "core/sync_plan.h"
#include "fileops/sync_command.h"
#include "fileops/sync_run.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"

#include <QBuffer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>
#include <gtest/gtest.h>
#include <map>

namespace {

// Two trees holding every kind of row, at fixed times.
class Sync : public ::testing::Test {
protected:
    void SetUp() override {
        const QDateTime t(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC), later = t.addSecs(60);
        source.write(QStringLiteral("alone_left.txt"), "12345", t);
        dest.write(QStringLiteral("alone_right.txt"), "1", t);
        source.write(QStringLiteral("sub/newer_left.txt"), "new!", later);
        dest.write(QStringLiteral("sub/newer_left.txt"), "old", t);
        source.write(QStringLiteral("sub/newer_right.txt"), "old", t);
        dest.write(QStringLiteral("sub/newer_right.txt"), "newer", later);
        source.write(QStringLiteral("sub/same_contents.txt"), "abc", t);
        dest.write(QStringLiteral("sub/same_contents.txt"), "abc", later);
        source.write(QStringLiteral("differs.txt"), "aa", t);
        dest.write(QStringLiteral("differs.txt"), "bbb", t);
        source.write(QStringLiteral("same.txt"), "same", t);
        dest.write(QStringLiteral("same.txt"), "same", t);
        source.write(QStringLiteral("build.o"), "excluded", later);
        source.write(QStringLiteral("lonedir/inner.txt"), "in", t);
        dest.write(QStringLiteral("rightdir/x.txt"), "x", t);
        source.write(QStringLiteral("clash/in.txt"), "folder here", t); // a file of that name there
        dest.write(QStringLiteral("clash"), "file", t);
    }

    SyncPlan plan(SyncMode mode) const {
        TreeOptions options;
        options.filters.excludeNames = QStringLiteral("*.o");
        options.contents = true;
        return planSync(QFile::encodeName(source.path()), QFile::encodeName(dest.path()), mode,
                        options);
    }

    // "path=action" for every entry, the path of the side that has the entry
    // (Source's when both), a folder's with "/".
    static std::map<QString, QString> actions(const SyncPlan& p) {
        std::map<QString, QString> out;
        for (const SyncEntry& e : p.entries) {
            const Side side = p.path(e, Side::Source).isEmpty() ? Side::Destination : Side::Source;
            const qint32 i = p.rows->entry(e.row, side);
            const QString path =
                QString::fromUtf8(p.path(e, side)) +
                (p.rows->listing(side).isFolder(i) ? QStringLiteral("/") : QString());
            EXPECT_TRUE(out.emplace(path, syncActionKey(e.action)).second) << path.toStdString();
        }
        return out;
    }

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

    TempTree source, dest;
};

TEST_F(Sync, EachModeActsOnEachKindOfRow) {
    // Rows no mode touches (same, same contents at another time, excluded)
    // are in no plan. Columns: update, update-source, both, mirror; "" none.
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
}

TEST_F(Sync, SummaryCountsEachActionAndTheBytesCopied) {
    EXPECT_EQ(syncSummary(plan(SyncMode::Mirror)),
              QStringLiteral("6 → 14 bytes · 3 to the Trash")); // 5 + 4 + 3 + 2, folders 0
    EXPECT_EQ(syncSummary(plan(SyncMode::UpdateBoth), false),
              QStringLiteral("3 → 9 bytes · 3 ← 6 bytes · 3 conflicts"));
    SyncPlan skipped = plan(SyncMode::UpdateSource);
    for (SyncEntry& e : skipped.entries)
        e.action = e.action == SyncAction::Conflict ? SyncAction::Skip : SyncAction::DeleteLeft;
    EXPECT_EQ(syncSummary(skipped, false), QStringLiteral("3 deleted · 2 skipped"));
    skipped.entries.clear();
    EXPECT_EQ(syncSummary(skipped), QStringLiteral("nothing to do"));
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
         {"^alone_left\\.txt +5 bytes  3/9/24 2:05:00 PM  \\| source-only +\\| copy-right +\\|$",
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
    const QDateTime now = QDateTime::currentDateTimeUtc();
    source.write(QStringLiteral("alone_left.txt"), "edited", now);    // the copy's source
    dest.write(QStringLiteral("sub/newer_right.txt"), "edited", now); // the file it replaces
    dest.write(QStringLiteral("alone_right.txt"), "edited", now);     // the file it deletes
    ScriptedPlatform platform;
    platform.answers.assign(30, Answer::Yes);
    ScriptedHost host(platform);
    const std::vector<SyncOutcome> outcomes = runSyncPlan(host, p, DeleteWay::ToTrash);
    std::map<QString, SyncOutcome> byPath;
    for (size_t k = 0; k < outcomes.size(); ++k) {
        const SyncEntry& e = p.entries[k];
        const QByteArrayView path = p.path(e, Side::Source);
        byPath[QString::fromUtf8(path.isEmpty() ? p.path(e, Side::Destination) : path)] =
            outcomes[k];
    }
    for (const char* changed : {"alone_left.txt", "sub/newer_right.txt", "alone_right.txt"})
        EXPECT_EQ(byPath[QString::fromLatin1(changed)], SyncOutcome::Changed) << changed;
    EXPECT_EQ(byPath[QStringLiteral("sub/newer_left.txt")], SyncOutcome::Done);
    EXPECT_EQ(dest.read(QStringLiteral("sub/newer_right.txt")), "edited");
    EXPECT_EQ(dest.read(QStringLiteral("alone_right.txt")), "edited");
    EXPECT_FALSE(QFileInfo::exists(dest.filePath(QStringLiteral("alone_left.txt"))));
    EXPECT_EQ(dest.read(QStringLiteral("sub/newer_left.txt")), "new!");
}

} // namespace
