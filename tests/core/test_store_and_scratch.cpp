// The two files the program writes: the settings store and the icon scratch file.
#include "core/scratch_file.h"
#include "core/settings_store.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class Files : public ::testing::Test {
protected:
    QByteArray at(const char* name) const { return QFile::encodeName(dir.filePath(name)); }
    bool isFifo(const char* name) const {
        struct stat st {};
        return ::lstat(at(name).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
    }
    TempTree dir;
    const QString store = dir.filePath(QStringLiteral("Duoscope.ini"));
};

TEST_F(Files, StoredValuesRoundTripInTheFormatQtSettingsReadsAndWrote) {
    const QString values[] = {QStringLiteral("c:\\"),
                              QStringLiteral("*.txt;*.doc"),
                              QStringLiteral("a, b = c"),
                              QStringLiteral(" padded "),
                              QStringLiteral("@at"),
                              QStringLiteral("\" \\x41 \t\n1"),
                              QString::fromUtf8("caf\xc3\xa9"),
                              QString()};
    SettingsStore out(store);
    QSettings qtOut(dir.filePath(QStringLiteral("qt.ini")), QSettings::IniFormat);
    for (int i = 0; i < int(std::size(values)); ++i) {
        out.write(QString::number(i), values[i]);
        qtOut.setValue(QStringLiteral("Duoscope/") + QString::number(i), values[i]);
    }
    ASSERT_TRUE(out.save());
    qtOut.sync();
    const SettingsStore in(store), fromQt(qtOut.fileName());
    const QSettings qtIn(store, QSettings::IniFormat);
    for (int i = 0; i < int(std::size(values)); ++i) {
        EXPECT_EQ(in.read(QString::number(i), QStringLiteral("absent")), values[i]) << i;
        EXPECT_EQ(fromQt.read(QString::number(i), QStringLiteral("absent")), values[i]) << i;
        EXPECT_EQ(qtIn.value(QStringLiteral("Duoscope/") + QString::number(i)), values[i]) << i;
    }
}

// Takes 4,096 bytes, then finds the disk full.
ssize_t nearlyFull(int fd, const void* data, size_t size) {
    static size_t room = 4096;
    const ssize_t put = room ? ::write(fd, data, std::min(size, room)) : (errno = ENOSPC, -1);
    room = room && put > 0 ? room - size_t(put) : 4096;
    return put;
}

TEST_F(Files, TheStoreIsTheOldFileWholeOrTheNewOneWhole) {
    SettingsStore first(store);
    first.write(QStringLiteral("Source"), QStringLiteral("/old"));
    ASSERT_TRUE(first.save());
    SettingsStore big(store, nearlyFull);
    for (int i = 0; i < 22; ++i)
        big.write(QString::number(i), QString(1000, QLatin1Char('v')));
    EXPECT_FALSE(big.save());
    EXPECT_EQ(SettingsStore(store).read(QStringLiteral("Source"), {}), QStringLiteral("/old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "nothing left beside it";
}

TEST_F(Files, OnlyARegularFileIsReadOrReplaced) {
    // A pipe at the name, or a link to one: the defaults, no hang, left alone.
    ASSERT_EQ(::mkfifo(at("pipe").constData(), 0600), 0);
    for (const auto& [name, link] : {std::pair{"pipe", false}, {"tofifo", true}}) {
        ASSERT_TRUE(!link || ::symlink("pipe", at(name).constData()) == 0);
        SettingsStore s(dir.filePath(QString::fromLatin1(name)));
        EXPECT_EQ(s.read(QStringLiteral("Left"), QStringLiteral("0")), QStringLiteral("0"));
        s.write(QStringLiteral("Left"), QStringLiteral("5"));
        EXPECT_FALSE(s.save());
        EXPECT_TRUE(isFifo("pipe") &&
                    (!link || QFileInfo(QFile::decodeName(at(name))).isSymLink()));
    }
    // A link to a regular file is written through and stays a link.
    dir.write(QStringLiteral("real.ini"));
    ASSERT_EQ(::symlink("real.ini", at("Duoscope.ini").constData()), 0);
    SettingsStore s(store);
    s.write(QStringLiteral("Left"), QStringLiteral("5"));
    ASSERT_TRUE(s.save());
    EXPECT_TRUE(QFileInfo(store).isSymLink());
    EXPECT_EQ(
        SettingsStore(dir.filePath(QStringLiteral("real.ini"))).read(QStringLiteral("Left"), {}),
        QStringLiteral("5"));
}

TEST_F(Files, ScratchWritesAreWholeAndWhatIsPlantedIsReplacedNeverWrittenThrough) {
    const QByteArray path = at("~ds1.tmp"), victim = at("victim");
    ScratchFile file(path);
    ASSERT_TRUE(file.write(QByteArray(1146, 'a')));
    ASSERT_TRUE(file.write("short"));
    EXPECT_EQ(ScratchFile(path).read(), QByteArray("short")) << "a shorter write leaves no tail";
    EXPECT_EQ(ScratchFile(path + "/x").write("x").error().number(), ENOTDIR);
    file.close();
    using Plant = int (*)(const char* victim, const char* at);
    const std::pair<const char*, Plant> plants[] = {
        {"symbolic link", ::symlink},
        {"hard link", ::link},
        {"pipe", [](const char*, const char* at) { return ::mkfifo(at, 0600); }}};
    for (const auto& [what, plant] : plants) {
        ::unlink(path.constData());
        dir.write(QStringLiteral("victim"), "precious");
        ASSERT_EQ(plant(victim.constData(), path.constData()), 0) << what;
        ASSERT_TRUE(ScratchFile(path).write("bitmap")) << what;
        EXPECT_EQ(dir.read(QStringLiteral("victim")), QByteArray("precious")) << what;
        struct stat st {};
        ASSERT_EQ(::lstat(path.constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_mode & 077) == 0) << what;
    }
    // Removal takes a file, never a link; reading refuses one.
    ScratchFile::removeIfFile(path);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(path)));
    ASSERT_EQ(::symlink(victim.constData(), path.constData()), 0);
    EXPECT_THROW(ScratchFile(path).read(), FsError);
    ScratchFile::removeIfFile(path);
    EXPECT_TRUE(QFileInfo(QFile::decodeName(path)).isSymLink());
}

TEST_F(Files, ConcurrentScratchWritersNeverShowAReaderAPartialFile) {
    const QByteArray path = at("~ds1.tmp"), small(822, 's'), large(4150, 'L');
    std::atomic<bool> stop{false};
    auto writeLoop = [&](QByteArray data) {
        for (ScratchFile own(path); !stop && own.write(data);) {
        }
    };
    ASSERT_TRUE(ScratchFile(path).write(small));
    std::thread one(writeLoop, small), two(writeLoop, large);
    ScratchFile reader(path);
    int mixed = 0;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray got = reader.read();
        mixed += got != small && got != large;
    }
    stop = true;
    one.join();
    two.join();
    EXPECT_EQ(mixed, 0);
}

TEST_F(Files, TempFolderIsTempThenAUsableRuntimeFolderThenOneFixedPrivateFolder) {
    const QString own = dir.filePath(QStringLiteral("duoscope-%1/").arg(::getuid()));
    const std::pair<QString, QString> cases[][2] = {
        {{QStringLiteral("/data/tmp"), dir.path()}, {QStringLiteral("/data/tmp/"), {}}},
        {{{}, dir.path()}, {dir.path() + '/', {}}},
        {{{}, dir.filePath(QStringLiteral("gone"))}, {own, {}}},
        {{{}, QStringLiteral("/proc/self")}, {own, {}}}}; // a folder no one can write
    for (const auto& c : cases)
        EXPECT_EQ(chooseTempFolder(c[0].first, c[0].second, dir.path()), c[1].first)
            << c[0].second.toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The usual name taken by a link: the same other folder at every start.
    ASSERT_EQ(::rmdir(QFile::encodeName(own).constData()), 0);
    ASSERT_EQ(::symlink("/tmp", QFile::encodeName(own.chopped(1)).constData()), 0);
    const QString chosen = chooseTempFolder({}, {}, dir.path());
    EXPECT_NE(chosen, own);
    for (int start = 0; start < 3; ++start)
        EXPECT_EQ(chooseTempFolder({}, {}, dir.path()), chosen);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2)
        << "the link and one folder: nothing piles up";
}

} // namespace
