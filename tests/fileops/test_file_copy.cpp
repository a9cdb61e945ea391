#include "window_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <sys/stat.h>

namespace {

QStringList entries(const TempTree& t) {
    return QDir(t.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                    QDir::NoDotAndDotDot);
}

TEST(FileCopy, CopiesContentModeAndTimeOntoNewOldAndLinkedTargets) {
    const QByteArray big(3 << 20, 'q'); // more than one chunk either way
    const QDateTime when(QDate(2020, 5, 6), QTime(7, 8, 9), Qt::UTC);
    for (const bool offload : {true, false}) {
        TempTree t;
        t.write("src", big, when);
        ::chmod(raw(t, "src").constData(), 0640);
        t.write("old", "old");
        t.write("elsewhere", "not me");
        ASSERT_EQ(::symlink("elsewhere", raw(t, "link").constData()), 0);
        CopyOptions o;
        o.offload = offload;
        for (const char* target : {"new", "old", "link"}) {
            ASSERT_TRUE(copyRegularFile(raw(t, "src"), raw(t, target), o).ok()) << target;
            const QFileInfo info(t.filePath(target));
            EXPECT_EQ(t.read(target), big) << target;
            EXPECT_FALSE(info.isSymLink()) << "a link is replaced, not written through";
            EXPECT_EQ(info.lastModified(), when) << target;
            EXPECT_EQ(info.permissions(), QFileInfo(t.filePath("src")).permissions());
        }
        EXPECT_EQ(t.read("elsewhere"), "not me");
        EXPECT_EQ(entries(t).size(), 5) << "no scratch file left";
    }
}

TEST(FileCopy, RefusesOrFailsWithoutTouchingEitherFile) {
    TempTree t;
    t.mkdir("dir");
    t.write("a", QByteArray(1 << 20, 'a'));
    t.write("ro", "read-only");
    ::chmod(raw(t, "ro").constData(), 0444);
    ASSERT_EQ(::link(raw(t, "a").constData(), raw(t, "hard").constData()), 0);
    ASSERT_EQ(::symlink("a", raw(t, "soft").constData()), 0);
    ASSERT_EQ(::mkfifo(raw(t, "fifo").constData(), 0600), 0);
    t.write("old", "old");
    const auto failing = [] { // midway through the second chunk
        CopyOptions o;
        o.write = failingAfter(300000);
        return o;
    };
    const struct {
        const char *source, *target;
        int number;
        CopyOptions options;
    } cases[] = {
        {"a", "a", EINVAL, {}},          {"a", "dir/../a", EINVAL, {}},
        {"a", "hard", EINVAL, {}},       {"a", "soft", EINVAL, {}},
        {"soft", "a", EINVAL, {}},       {"a", "ro", EACCES, {}},
        {"a", "dir", EISDIR, {}},        {"fifo", "new", EINVAL, {}},
        {"a", "fifo", EINVAL, {}},       {"gone", "new", ENOENT, {}},
        {"a", "nodir/x", ENOENT, {}},    {"a", "old", ENOSPC, failing()},
        {"a", "new", ENOSPC, failing()},
    };
    for (const auto& c : cases) {
        const FsResult r = copyRegularFile(raw(t, c.source), raw(t, c.target), c.options);
        ASSERT_FALSE(r.ok()) << c.source << " -> " << c.target;
        EXPECT_EQ(r.error().number(), c.number) << c.source << " -> " << c.target;
    }
    EXPECT_EQ(t.read("a"), QByteArray(1 << 20, 'a'));
    EXPECT_EQ(t.read("ro"), "read-only");
    EXPECT_EQ(t.read("old"), "old");
    EXPECT_EQ(entries(t), QStringList({"a", "dir", "fifo", "hard", "old", "ro", "soft"}));
}

} // namespace
