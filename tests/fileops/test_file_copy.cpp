#include "fileops/file_copy.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string at(const TempTree& t, const char* name) {
    return (QFile::encodeName(t.path()) + '/' + name).toStdString();
}

FsResult copy(const TempTree& t, const char* from, const char* to, const CopyOptions& o = {}) {
    return copyRegularFile(QByteArray::fromStdString(at(t, from)),
                           QByteArray::fromStdString(at(t, to)), o);
}

// Every name in the folder, raw names included.
QStringList entries(const TempTree& t) {
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(t.path()).constData());
    while (const dirent* e = ::readdir(dir))
        names << QString::fromLatin1(e->d_name);
    ::closedir(dir);
    names.sort();
    return names.mid(2); // "." and ".."
}

// A write that takes `limit` bytes, then fails as a full disk would.
CopyOptions failingAfter(qint64 limit) {
    auto written = std::make_shared<qint64>(0);
    CopyOptions o;
    o.write = [written, limit](int fd, const char* data, size_t size) -> ssize_t {
        const qint64 room = limit - *written;
        if (room <= 0) {
            errno = ENOSPC;
            return -1;
        }
        const ssize_t put = ::write(fd, data, std::min<size_t>(size, size_t(room)));
        *written += put;
        return put;
    };
    return o;
}

TEST(FileCopy, CopiesContentModeAndTimeOntoNewOldAndLinkedTargets) {
    const QByteArray big(3 << 20, 'q'); // more than one chunk either way
    const QDateTime when(QDate(2020, 5, 6), QTime(7, 8, 9), Qt::UTC);
    for (const bool offload : {true, false}) {
        TempTree t;
        t.write(QStringLiteral("src"), big, when);
        ::chmod(at(t, "src").c_str(), 0640);
        t.write(QStringLiteral("old"), "old");
        t.write(QStringLiteral("elsewhere"), "not me");
        ASSERT_EQ(::symlink("elsewhere", at(t, "link").c_str()), 0);
        t.writeRaw("caf\xe9", "latin-1 name");
        CopyOptions o;
        o.offload = offload;
        for (const char* target : {"new", "old", "link"}) {
            ASSERT_TRUE(copy(t, "src", target, o).ok()) << target;
            const QFileInfo info(t.filePath(QString::fromLatin1(target)));
            EXPECT_EQ(t.read(QString::fromLatin1(target)), big) << target;
            EXPECT_FALSE(info.isSymLink()) << "a link is replaced, not written through";
            EXPECT_EQ(info.lastModified(), when) << target;
            EXPECT_EQ(info.permissions(), QFileInfo(t.filePath("src")).permissions());
        }
        EXPECT_EQ(t.read(QStringLiteral("elsewhere")), "not me");
        ASSERT_TRUE(copy(t, "caf\xe9", "x\xff", o).ok());
        EXPECT_EQ(entries(t).size(), 7) << "no scratch file left";
        for (const char* raw : {"caf\xe9", "x\xff"})
            ::unlink(at(t, raw).c_str());
    }
}

TEST(FileCopy, RefusesWithoutTouchingEitherFile) {
    TempTree t;
    t.mkdir(QStringLiteral("dir"));
    t.write(QStringLiteral("a"), "keep me");
    t.write(QStringLiteral("ro"), "read-only");
    ::chmod(at(t, "ro").c_str(), 0444);
    ASSERT_EQ(::link(at(t, "a").c_str(), at(t, "hard").c_str()), 0);
    ASSERT_EQ(::symlink("a", at(t, "soft").c_str()), 0);
    ASSERT_EQ(::mkfifo(at(t, "fifo").c_str(), 0600), 0);
    const struct {
        const char* source;
        const char* target;
        int number;
    } cases[] = {
        {"a", "a", EINVAL},      {"a", "dir/../a", EINVAL}, {"a", "hard", EINVAL},
        {"a", "soft", EINVAL},   {"soft", "a", EINVAL},     {"a", "ro", EACCES},
        {"a", "dir", EISDIR},    {"fifo", "new", EINVAL},   {"a", "fifo", EINVAL},
        {"gone", "new", ENOENT}, {"a", "nodir/x", ENOENT},
    };
    for (const auto& c : cases) {
        const FsResult r = copy(t, c.source, c.target);
        ASSERT_FALSE(r.ok()) << c.source << " -> " << c.target;
        EXPECT_EQ(r.error().number(), c.number) << c.source << " -> " << c.target;
    }
    EXPECT_EQ(t.read(QStringLiteral("a")), "keep me");
    EXPECT_EQ(t.read(QStringLiteral("ro")), "read-only");
    EXPECT_EQ(entries(t).size(), 6) << entries(t).join(' ').toStdString();
}

TEST(FileCopy, AWriteFailingMidwayLeavesTargetAndSourceAsTheyWere) {
    TempTree t;
    const QByteArray data(1 << 20, 'n');
    t.write(QStringLiteral("src"), data);
    t.write(QStringLiteral("dst"), "the old target");
    for (const char* target : {"dst", "fresh"}) {
        const FsResult r = copy(t, "src", target, failingAfter(300000));
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error().number(), ENOSPC);
        EXPECT_TRUE(r.error().path().endsWith(QLatin1String(target)));
    }
    EXPECT_EQ(t.read(QStringLiteral("src")), data);
    EXPECT_EQ(t.read(QStringLiteral("dst")), "the old target");
    EXPECT_EQ(entries(t), QStringList({"dst", "src"})) << "no half-written file anywhere";
}

} // namespace
