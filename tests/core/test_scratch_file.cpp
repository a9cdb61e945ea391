#include "core/scratch_file.h"
#include "support/temp_tree.h"

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

class Scratch : public ::testing::Test {
protected:
    TempTree dir;
    QByteArray path = encoded(dir.filePath(QStringLiteral("~ds1.tmp")));
};

TEST_F(Scratch, EachWriteReplacesTheWholeContent) {
    ScratchFile file(path);
    ASSERT_TRUE(file.write(QByteArray(1146, 'a')));
    EXPECT_EQ(file.read(), QByteArray(1146, 'a'));
    ASSERT_TRUE(file.write("short"));
    EXPECT_EQ(file.read(), QByteArray("short")) << "a shorter write leaves no tail";
    // Another process of the same user, or this one after close(), sees it too.
    ScratchFile other(path);
    EXPECT_EQ(other.read(), QByteArray("short"));
    file.close();
    EXPECT_EQ(dir.read(QStringLiteral("~ds1.tmp")), QByteArray("short"));
    struct stat st {};
    ASSERT_EQ(::stat(path.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "readable by its owner only";
}

TEST_F(Scratch, ALinkAtTheNameIsNeverFollowed) {
    dir.write(QStringLiteral("victim"), "precious");
    const QByteArray victim = encoded(dir.filePath(QStringLiteral("victim")));
    ASSERT_EQ(::symlink(victim.constData(), path.constData()), 0);

    ScratchFile reader(path);
    EXPECT_THROW(reader.read(), FsError) << "reading refuses the link";

    ScratchFile writer(path);
    ASSERT_TRUE(writer.write("bitmap"));
    EXPECT_EQ(dir.read(QStringLiteral("victim")), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(QString::fromLocal8Bit(path)).isSymLink());
    EXPECT_EQ(ScratchFile(path).read(), QByteArray("bitmap"));

    // Removal takes a file, never a link or what it points at.
    ScratchFile::removeIfFile(path);
    EXPECT_FALSE(QFileInfo::exists(QString::fromLocal8Bit(path)));
    ASSERT_EQ(::symlink(victim.constData(), path.constData()), 0);
    ScratchFile::removeIfFile(path);
    EXPECT_TRUE(QFileInfo(QString::fromLocal8Bit(path)).isSymLink());
    EXPECT_EQ(dir.read(QStringLiteral("victim")), QByteArray("precious"));
}

TEST_F(Scratch, MissingFileOrUnwritableFolderFails) {
    EXPECT_THROW(ScratchFile(path).read(), FsError);
    ScratchFile::removeIfFile(path); // nothing there: nothing happens

    dir.write(QStringLiteral("plain"), "x");
    ScratchFile underAFile(encoded(dir.filePath(QStringLiteral("plain/~ds1.tmp"))));
    const FsResult written = underAFile.write("data");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().number(), ENOTDIR);
}

TEST_F(Scratch, ConcurrentWritersNeverShowAReaderAPartialFile) {
    const QByteArray small(822, 's');
    const QByteArray large(4150, 'L');
    std::atomic<bool> stop{false};
    auto writeLoop = [&](const QByteArray& data) {
        ScratchFile own(path);
        while (!stop)
            if (!own.write(data))
                return;
    };
    ASSERT_TRUE(ScratchFile(path).write(small));
    std::thread one(writeLoop, small);
    std::thread two(writeLoop, large);
    ScratchFile reader(path);
    int mixed = 0;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray got = reader.read();
        if (got != small && got != large)
            ++mixed;
    }
    stop = true;
    one.join();
    two.join();
    EXPECT_EQ(mixed, 0);
}

TEST(TempFolder, TempVariableFirstThenRuntimeFolderThenAPrivateFolder) {
    TempTree base;
    EXPECT_EQ(chooseTempFolder(QStringLiteral("/data/tmp"), base.path(), base.path()),
              QStringLiteral("/data/tmp/"));
    EXPECT_EQ(chooseTempFolder(QStringLiteral("/data/tmp/"), {}, base.path()),
              QStringLiteral("/data/tmp/"))
        << "no second slash";
    EXPECT_EQ(chooseTempFolder({}, base.path(), QStringLiteral("/nowhere")), base.path() + '/');

    base.mkdir(QStringLiteral("system"));
    const QString system = base.filePath(QStringLiteral("system"));
    const QString own = system + QStringLiteral("/duoscope-%1/").arg(::getuid());
    EXPECT_EQ(chooseTempFolder({}, base.filePath(QStringLiteral("gone")), system), own)
        << "a runtime folder that does not exist is passed over";
    struct stat st {};
    ASSERT_EQ(::lstat(encoded(own).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(chooseTempFolder({}, {}, system), own) << "the same folder next time";
}

TEST(TempFolder, APlantedLinkAtThePrivateFolderNameIsNotUsed) {
    TempTree base;
    base.mkdir(QStringLiteral("system"));
    base.mkdir(QStringLiteral("elsewhere"));
    const QString system = base.filePath(QStringLiteral("system"));
    const QString planted = system + QStringLiteral("/duoscope-%1").arg(::getuid());
    ASSERT_EQ(::symlink(encoded(base.filePath(QStringLiteral("elsewhere"))).constData(),
                        encoded(planted).constData()),
              0);
    const QString chosen = chooseTempFolder({}, {}, system);
    EXPECT_NE(chosen, planted + '/');
    EXPECT_TRUE(chosen.startsWith(system + QStringLiteral("/duoscope-")));
    struct stat st {};
    ASSERT_EQ(::lstat(encoded(chosen).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

} // namespace
