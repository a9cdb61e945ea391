#include "comparison/sync_preview.h"

#include "fileops/sync_run.h"
#include "support/scripted_host.h"
#include "support/sync_trees.h"
#include "sync/sync_state.h"

#include <QFileInfo>

namespace {

using A = SyncAction;

class Preview : public SyncTrees {
protected:
    // `stop`: the cancel flag set as Escape does, before the walk or as it ends.
    enum Stop { Never, Before, After };
    SyncPreview::Outcome plan(SyncMode mode, Stop stop = Never) {
        std::atomic<bool> cancel{false};
        TreeOptions treeOptions = options();
        treeOptions.cancel = &cancel;
        preview.setMode(mode);
        return preview.plan(src, dst, treeOptions, [&](const std::function<void()>& work) {
            cancel = stop == Before;
            work();
            cancel = cancel || stop == After;
        });
    }
    // The shared row of the entry at `path`.
    qsizetype row(const char* path) const {
        const SyncPlan& p = *preview.previewed();
        for (const SyncEntry& e : p.entries) {
            if (pathOf(p, e) == QLatin1String(path))
                return e.row;
        }
        return -1;
    }
    A action(const char* path) const { return preview.entryAt(row(path))->action; }
    qsizetype stateCount() const { return SyncState::load(src, dst, why).count(); }

    SyncPreview preview;
    mutable QString why;
};

TEST_F(Preview, ShowsAViewOfTheWholePlanChangedByRowAndKeptWhenAPlanIsStopped) {
    int signalled = 0;
    QObject::connect(&preview, &SyncPreview::actionsChanged, [&] { ++signalled; });
    ASSERT_EQ(plan(SyncMode::UpdateBoth).planned, SyncPreview::Planned::Previewed);
    const SyncPlan* p = preview.previewed();
    // Every row of both trees kept (same.txt, same_contents.txt); only the entries' shown.
    std::vector<qint32> shown;
    for (const SyncEntry& e : p->entries)
        shown.push_back(e.row);
    ASSERT_EQ(preview.shownRows(), shown);
    EXPECT_EQ(p->rows->count(), qsizetype(shown.size()) + 2);
    for (qsizetype r = 0; r < p->rows->count(); ++r)
        EXPECT_EQ(preview.entryAt(r) != nullptr, std::count(shown.begin(), shown.end(), r) == 1);
    // Changed by row where the row allows, said each time; Skip on a row
    // skipped gives back the plan's own, not the action changed since.
    EXPECT_FALSE(preview.change({row("alone_left.txt")}, A::CopyLeft));
    for (const A a : {A::CopyLeft, A::Skip, A::Conflict}) {
        EXPECT_TRUE(preview.change({row("differs.txt")}, a == A::Conflict ? A::Skip : a));
        EXPECT_EQ(action("differs.txt"), a);
    }
    EXPECT_EQ(signalled, 4);
    // A plan stopped leaves the one previewed as it was.
    for (const Stop stop : {Before, After})
        EXPECT_EQ(plan(SyncMode::Mirror, stop).planned, SyncPreview::Planned::Stopped) << stop;
    EXPECT_TRUE(preview.previewed() && preview.previewed()->mode == SyncMode::UpdateBoth);
}

TEST_F(Preview, TheRunDoesTheActionsChosenOverTheWholePlanWhoseStateHoldsWhatIsTheSame) {
    ASSERT_EQ(plan(SyncMode::UpdateBoth).planned, SyncPreview::Planned::Previewed);
    const std::pair<const char*, A> chosen[] = {
        {"sub/newer_left.txt", A::CopyLeft}, // the older one wins
        {"differs.txt", A::CopyRight},       // a conflict settled
        {"alone_right.txt", A::DeleteRight}, // deleted, not copied
        {"lonedir/", A::Skip},               // not copied
    };
    for (const auto& [path, a] : chosen)
        ASSERT_TRUE(preview.change({row(path)}, a)) << path;
    // Changed since the plan: left alone, and named.
    dest.write(QStringLiteral("sub/newer_right.txt"), "edited",
               QDateTime(QDate(2024, 3, 9), QTime(15, 0, 0), Qt::UTC));
    ScriptedPlatform platform;
    ScriptedHost host(platform);
    EXPECT_EQ(preview.run(host, DeleteWay::ToTrash, nullptr), QStringList{"sub/newer_right.txt"});
    EXPECT_TRUE(platform.shown.isEmpty());
    EXPECT_EQ(source.read(QStringLiteral("sub/newer_left.txt")), "old");
    EXPECT_EQ(dest.read(QStringLiteral("differs.txt")), "aa");
    EXPECT_EQ(source.read(QStringLiteral("sub/newer_right.txt")), "old");
    EXPECT_EQ(dest.read(QStringLiteral("alone_left.txt")), "12345"); // as planned
    for (const TempTree* side : {&source, &dest})
        EXPECT_FALSE(QFileInfo::exists(side->filePath(QStringLiteral("alone_right.txt"))));
    EXPECT_FALSE(QFileInfo::exists(dest.filePath(QStringLiteral("lonedir"))));
    // The state holds what the pair holds the same, rows shown or not: the
    // three copied, same.txt and same_contents.txt.
    EXPECT_EQ(stateCount(), 5);
    // Made to agree, that run's state forgotten: nothing to do, and the
    // state saved all the same.
    runSyncPlan(host, planSync(src, dst, SyncMode::Mirror, options()), DeleteWay::ToTrash);
    ASSERT_TRUE(QFile::remove(QString::fromUtf8(SyncState::pathFor(src, dst))));
    const SyncPreview::Outcome agreed = plan(SyncMode::TwoWay);
    EXPECT_EQ(agreed.planned, SyncPreview::Planned::NothingToDo);
    EXPECT_TRUE(agreed.message.startsWith(QLatin1String("Nothing to do")) && !agreed.failed);
    EXPECT_EQ(stateCount(), 9); // rightdir/x.txt copied by the first run
}

} // namespace
