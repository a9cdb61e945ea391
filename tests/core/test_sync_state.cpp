#include "core/sync_plan.h"
#include "core/sync_state.h"
#include "fileops/sync_command.h"
#include "fileops/sync_run.h"
#include "support/scripted_host.h"
#include "support/temp_tree.h"

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
    std::vector<SyncOutcome> runPlan(const SyncPlan& p) const {
        ScriptedPlatform platform;
        ScriptedHost host(platform);
        return runSyncPlan(host, p, DeleteWay::ToTrash);
    }
    static std::map<QString, QString> actions(const SyncPlan& p) {
        std::map<QString, QString> out;
        for (const SyncEntry& e : p.entries) {
            const Side side = p.path(e, Side::Source).isEmpty() ? Side::Destination : Side::Source;
            out[QString::fromUtf8(p.path(e, side))] = syncActionKey(e.action);
        }
        return out;
    }
    int runCommand(QString& err) const {
        QString out;
        QTextStream o(&out), e(&err);
        const int code = runSyncCommand(
            {QStringLiteral("--sync"), QStringLiteral("two-way"), source.path(), dest.path()}, o,
            e);
        e.flush();
        return code;
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
    const std::map<QString, QString> expected = {{"a.txt", "conflict"},
                                                 {"b.txt", "copy-left"},
                                                 {"c.txt", "conflict"},
                                                 {"docs", "copy-right"}};
    SyncPlan p = plan();
    ASSERT_TRUE(p.refusal.isEmpty()) << p.refusal.toStdString();
    EXPECT_EQ(actions(p), expected);
    // A conflict settled toward Source, whose copy is not done (Source
    // changed again since the plan): still a conflict, as is the one left alone.
    for (SyncEntry& e : p.entries) {
        if (p.path(e, Side::Source) == "a.txt")
            e.action = SyncAction::CopyRight;
    }
    rewrite(source, "a.txt", "fOUR", timespec{t.toSecsSinceEpoch() + 30, 0});
    runPlan(p);
    EXPECT_EQ(source.read(QStringLiteral("c.txt")), "left");
    EXPECT_EQ(dest.read(QStringLiteral("b.txt")), "4444");
    EXPECT_EQ(source.read(QStringLiteral("b.txt")), "4444");
    EXPECT_EQ(actions(plan()),
              (std::map<QString, QString>{{"a.txt", "conflict"}, {"c.txt", "conflict"}}));
}

// Varint numbers and byte strings as the first format wrote them.
void putNumber(QByteArray& out, quint64 n) {
    do {
        out += char((n & 0x7f) | (n > 0x7f ? 0x80 : 0));
        n >>= 7;
    } while (n);
}

TEST_F(TwoWayState, AStateOfTheFirstFormatIsReadBySizeAndSecondsThenSavedWhole) {
    // Only a.txt and b.txt known, as the first format kept them.
    QByteArray old("DSSYNC\0\1", 8);
    for (const QString& folder : {source.path(), dest.path()}) {
        const QByteArray real = QFile::encodeName(QDir(folder).canonicalPath());
        putNumber(old, quint64(real.size()));
        old += real;
    }
    putNumber(old, 2);
    for (const char* name : {"a.txt", "b.txt"}) {
        putNumber(old, 0);
        putNumber(old, 5);
        old += name;
        putNumber(old, 4);                                  // Source's size,
        putNumber(old, quint64(t.toSecsSinceEpoch()) << 1); // time,
        putNumber(old, 4);                                  // Destination's size
        putNumber(old, 0);                                  // and time's difference
    }
    const quint64 sum = XXH3_64bits(old.constData(), size_t(old.size()));
    old.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    const QByteArray path = SyncState::pathFor(src(), dst());
    ASSERT_TRUE(FileSystem::replaceFile(path, old, 0600, false).ok());
    QFile::remove(dest.filePath(QStringLiteral("a.txt")));
    SyncState was = state();
    EXPECT_TRUE(was.upgraded);
    ASSERT_EQ(was.count(), 2);
    EXPECT_TRUE(was.find("b.txt")->sizeAndSeconds);
    const SyncPlan p = plan();
    EXPECT_TRUE(p.note.isEmpty()) << p.note.toStdString();
    EXPECT_EQ(actions(p), (std::map<QString, QString>{{"a.txt", "delete-left"}}));
    runPlan(p);
    const SyncState now = state();
    EXPECT_FALSE(now.upgraded);
    ASSERT_EQ(now.count(), 4); // b, c, docs and sub/d, each side's whole identity
    EXPECT_EQ(now.find("b.txt")->source, *FileIdentity::of(src() + "/b.txt"));
    EXPECT_FALSE(now.find("b.txt")->sizeAndSeconds);
}

TEST_F(TwoWayState, AStateSavedAndLoadedKeepsEveryNumber) {
    SyncState saved;
    saved.sourceDevice = 2049;
    saved.destinationDevice = 7;
    // Destination older than Source, by seconds and by nanoseconds; another
    // device below a top; a change time before the modification time.
    SyncedFile older{{2049, 12, 10, {1700000000, 999999999}, {1700000005, 1}},
                     {7, 1ull << 40, 10, {1600000000, 5}, {1600000000, 4}}};
    SyncedFile elsewhere{{9, 3, 0, {-5, 0}, {-6, 0}}, {8, 4, 1ll << 40, {0, 1}, {0, 0}}, true};
    saved.add("z/older", older);
    saved.add("a", elsewhere);
    ASSERT_TRUE(saved.save(src(), dst()).ok());
    const SyncState loaded = state();
    EXPECT_FALSE(loaded.upgraded);
    EXPECT_EQ(loaded.sourceDevice, dev_t(2049));
    EXPECT_EQ(loaded.destinationDevice, dev_t(7));
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_TRUE(*loaded.find("z/older") == older);
    EXPECT_TRUE(*loaded.find("a") == elsewhere);
}

TEST_F(TwoWayState, ASideEmptiedOrOnAnotherDriveSinceIsRefusedAndNothingDone) {
    const struct {
        const char* why;
        std::function<void()> change;
    } cases[] = {
        {"is on another drive",
         [&] {
             SyncState moved = state();
             moved.destinationDevice += 1;
             ASSERT_TRUE(moved.save(src(), dst()).ok());
         }},
        {"is empty", [&] { ASSERT_TRUE(QDir(dest.path()).removeRecursively()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        c.change();
        QDir().mkpath(dest.path());
        const SyncPlan p = plan();
        EXPECT_TRUE(p.refusal.contains(QLatin1String(c.why))) << p.refusal.toStdString();
        EXPECT_TRUE(p.entries.empty());
        QString err;
        EXPECT_EQ(runCommand(err), 2);
        EXPECT_TRUE(err.contains(QLatin1String(c.why))) << err.toStdString();
        EXPECT_EQ(source.read(QStringLiteral("sub/d.txt")), "four");
        EXPECT_EQ(state().count(), 5) << "the state is kept as it was";
    }
}

TEST_F(TwoWayState, AStateThatCannotBeSavedIsToldAndTheCommandLineExitsWithTwo) {
    const QByteArray home = qgetenv("XDG_STATE_HOME");
    ::setenv("XDG_STATE_HOME", "/dev/null/state", 1);
    QString err;
    const int code = runCommand(err);
    ::setenv("XDG_STATE_HOME", home.constData(), 1);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QLatin1String("could not be saved"))) << err.toStdString();
}

} // namespace
