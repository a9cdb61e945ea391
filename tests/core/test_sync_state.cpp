#include "fileops/sync_command.h"
#include "fileops/sync_run.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"
#include "sync/sync_plan.h"
#include "sync/sync_state.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTextStream>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

// Two folders that two-way has synchronized once, every file at one whole second.
class TwoWayState : public ::testing::Test {
protected:
    void SetUp() override {
        for (TempTree* side : {&source, &dest}) {
            for (const char* name : {"a.txt", "b.txt", "c.txt", "docs.txt", "sub/d.txt"})
                side->write(QString::fromLatin1(name), "four", t);
        }
        runPlan(plan());
    }

    QByteArray src() const { return QFile::encodeName(source.path()); }
    QByteArray dst() const { return QFile::encodeName(dest.path()); }
    SyncPlan plan() const { return planSync(src(), dst(), SyncMode::TwoWay, {}); }
    SyncState state() const {
        QString why;
        return SyncState::load(src(), dst(), why);
    }
    void runPlan(const SyncPlan& p) const {
        ScriptedPlatform platform;
        ScriptedHost host(platform);
        runSyncPlan(host, p, DeleteWay::ToTrash);
    }
    static std::map<QString, QString> actions(const SyncPlan& p) {
        std::map<QString, QString> out;
        for (const SyncEntry& e : p.entries)
            out[QString::fromUtf8(
                p.path(e, p.path(e, Side::Source).isEmpty() ? Side::Destination : Side::Source))] =
                syncActionKey(e.action);
        return out;
    }
    // `--sync two-way` of both folders: its exit code, and standard error in `err`.
    int runCommand(QString& err) const {
        QString out;
        QTextStream o(&out), e(&err);
        return runSyncCommand({"--sync", "two-way", source.path(), dest.path()}, o, e);
    }

    // Rewrites `name` in place at the same size, its modification time then
    // set to `modified` (the same to the nanosecond when not given), once
    // the clock has moved on from the change time the state knows.
    void rewrite(TempTree& side, const char* name, const QByteArray& bytes,
                 std::optional<timespec> modified = std::nullopt) {
        const QByteArray path = QFile::encodeName(side.filePath(QString::fromLatin1(name)));
        const FileIdentity was = *FileIdentity::of(path);
        const timespec times[2] = {{0, UTIME_OMIT}, modified.value_or(was.modified)};
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const int fd = ::open(path.constData(), O_WRONLY);
            const bool done =
                ::pwrite(fd, bytes.constData(), size_t(bytes.size()), 0) == bytes.size() &&
                ::futimens(fd, times) == 0;
            ::close(fd);
            const FileIdentity now = *FileIdentity::of(path);
            return done && now.changed.tv_nsec != was.changed.tv_nsec;
        }));
    }

    const QDateTime t{QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC};
    TempTree source, dest;
};

TEST_F(TwoWayState, AnEditIsToldByTheWholeIdentityAndItsRulesHoldOnTheirBoundaries) {
    // Rewritten in the second of the last run with its time put back, the
    // copy on the other side deleted: the change time alone tells an edit.
    rewrite(source, "a.txt", "FOUR");
    QFile::remove(dest.filePath(QStringLiteral("a.txt")));
    // The same byte count at an older time, on one side: that side's edit.
    rewrite(dest, "b.txt", "4444", timespec{t.toSecsSinceEpoch() - 3600, 0});
    // Changed on both sides: a conflict, left alone by the run.
    rewrite(source, "c.txt", "left", timespec{t.toSecsSinceEpoch() + 60, 0});
    rewrite(dest, "c.txt", "rght", timespec{t.toSecsSinceEpoch() + 120, 0});
    // A folder named as a known file but for ".txt": new, copied.
    source.write(QStringLiteral("docs/new.txt"), "n", t);
    SyncPlan p = plan();
    EXPECT_EQ(actions(p), (std::map<QString, QString>{{"a.txt", "conflict"},
                                                      {"b.txt", "copy-left"},
                                                      {"c.txt", "conflict"},
                                                      {"docs", "copy-right"}}));
    // A conflict settled toward Source, whose copy is not done (Source
    // changed again since the plan): still a conflict, as is the one left alone.
    for (SyncEntry& e : p.entries) {
        if (p.path(e, Side::Source) == "a.txt")
            e.action = SyncAction::CopyRight;
    }
    rewrite(source, "a.txt", "fOUR", timespec{t.toSecsSinceEpoch() + 30, 0});
    runPlan(p);
    EXPECT_EQ(source.read(QStringLiteral("b.txt")) + source.read(QStringLiteral("c.txt")),
              "4444left");
    EXPECT_EQ(actions(plan()),
              (std::map<QString, QString>{{"a.txt", "conflict"}, {"c.txt", "conflict"}}));
}

// A state of the first format (sizes and whole seconds) is read by those
// once, then saved whole; a state saved keeps every number as it was.
TEST_F(TwoWayState, AStateOfTheFirstFormatIsReadOnceAndEveryNumberSavedKept) {
    QByteArray old("DSSYNC\0\1", 8);
    const auto put = [&](quint64 n) {
        for (; n > 0x7f; n >>= 7)
            old += char(n | 0x80);
        old += char(n);
    };
    for (const QString& folder : {source.path(), dest.path()}) {
        put(quint64(QDir(folder).canonicalPath().size()));
        old += QFile::encodeName(QDir(folder).canonicalPath());
    }
    put(2); // a.txt and b.txt: no bytes shared, the name, sizes and times
    for (const char* name : {"a.txt", "b.txt"}) {
        for (const quint64 n : {quint64(0), quint64(5)})
            put(n);
        old += name;
        for (const quint64 n :
             {quint64(4), quint64(t.toSecsSinceEpoch()) << 1, quint64(4), quint64(0)})
            put(n);
    }
    const quint64 sum = XXH3_64bits(old.constData(), size_t(old.size()));
    old.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    ASSERT_TRUE(FileSystem::replaceFile(SyncState::pathFor(src(), dst()), old, 0600, false).ok());
    QFile::remove(dest.filePath(QStringLiteral("a.txt")));
    EXPECT_TRUE(state().upgraded && state().count() == 2 && state().find("b.txt")->sizeAndSeconds);
    const SyncPlan p = plan();
    EXPECT_EQ(p.note, QString());
    EXPECT_EQ(actions(p), (std::map<QString, QString>{{"a.txt", "delete-left"}}));
    runPlan(p);
    SyncState now = state();
    ASSERT_EQ(now.count(), 4); // b, c, docs and sub/d, each side's whole identity
    EXPECT_FALSE(now.upgraded || now.find("b.txt")->sizeAndSeconds);
    EXPECT_EQ(now.find("b.txt")->source, *FileIdentity::of(src() + "/b.txt"));

    // Destination older than Source to the nanosecond, a change time before
    // the modification time and 1970, other devices than the tops', one
    // beyond what a signed difference from them holds.
    const SyncedFile kept{{(1ull << 63) + 9, 12, 10, {1700000000, 999999999}, {-6, 0}},
                          {7, 1ull << 40, 1ll << 40, {-(1ll << 40), 5}, {1600000000, 4}},
                          true};
    now.destinationDevice = 77;
    now.add("B", kept); // before the others: saved in its place
    ASSERT_TRUE(now.save(src(), dst()).ok());
    EXPECT_TRUE(state().destinationDevice == 77 && *state().find("B") == kept &&
                state().find("sub/d.txt")->source == *FileIdentity::of(src() + "/sub/d.txt"));

    // A FIFO at the state's name is no state: its open would wait for a writer.
    const QByteArray at = SyncState::pathFor(src(), dst());
    ASSERT_TRUE(::unlink(at.constData()) == 0 && ::mkfifo(at.constData(), 0600) == 0);
    EXPECT_TRUE(state().empty());
}

// Refused, nothing done and the state kept: a side on another drive than at
// the last run, or emptied (as an unmounted drive's mount point). A state
// that cannot be saved is said, and the command line exits with 2.
TEST_F(TwoWayState, ASideMovedOrEmptiedIsRefusedAndAStateNotSavedIsAnError) {
    SyncState moved = state();
    moved.destinationDevice += 1;
    ASSERT_TRUE(moved.save(src(), dst()).ok());
    for (const QLatin1String why :
         {QLatin1String("is on another drive"), QLatin1String("is empty")}) {
        QString err;
        EXPECT_TRUE(plan().refusal.contains(why) && plan().entries.empty()) << why.data();
        EXPECT_EQ(runCommand(err), 2);
        EXPECT_TRUE(err.contains(why)) << err.toStdString();
        EXPECT_EQ(source.read(QStringLiteral("sub/d.txt")), "four");
        EXPECT_EQ(state().count(), 5);
        ASSERT_TRUE(QDir(dest.path()).removeRecursively() && QDir().mkpath(dest.path()));
    }
    const QByteArray home = qgetenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", "/dev/null/state", 1);
    QString err;
    const int code = runCommand(err);
    ::setenv("XDG_STATE_HOME", home.constData(), 1);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QLatin1String("could not be saved"))) << err.toStdString();
}

} // namespace
