// The two files the program writes: the settings store and the icon scratch file.
#include "fs/scratch_file.h"
#include "store/settings_store.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Files : public ::testing::Test {
protected:
    QByteArray at(const char* name) const { return QFile::encodeName(dir.filePath(name)); }
    struct stat statOf(const QByteArray& path) const {
        struct stat st {};
        ::lstat(path.constData(), &st);
        return st;
    }
    TempTree dir;
    const QString store = dir.filePath(QStringLiteral("Duoscope.ini"));
};

TEST_F(Files, StoredValuesRoundTripInTheFormatQtSettingsReadsAndWrote) {
    QStringList values;
    for (const char* t : {"c:\\", "*.txt;*.doc", "a, b = c", " padded ", "@at", "\" \\x41 \t\n1",
                          "caf\xc3\xa9", ""})
        values << QString::fromUtf8(t);
    SettingsStore out(store);
    QSettings qtOut(dir.filePath(QStringLiteral("qt.ini")), QSettings::IniFormat);
    for (int i = 0; i < int(values.size()); ++i) {
        out.write(QString::number(i), values[i]);
        qtOut.setValue(QStringLiteral("Duoscope/%1").arg(i), values[i]);
    }
    ASSERT_TRUE(out.save());
    qtOut.sync();
    const SettingsStore in(store), fromQt(qtOut.fileName());
    const QSettings qtIn(store, QSettings::IniFormat);
    for (int i = 0; i < int(values.size()); ++i) {
        EXPECT_EQ(in.read(QString::number(i), QStringLiteral("absent")), values[i]) << i;
        EXPECT_EQ(fromQt.read(QString::number(i), QStringLiteral("absent")), values[i]) << i;
        EXPECT_EQ(qtIn.value(QStringLiteral("Duoscope/%1").arg(i)), values[i]) << i;
    }
    // A key of control bytes or of bytes that are not UTF-8 is junk: not written back.
    dir.write("Duoscope.ini", "[Duoscope]\nbad\x01key=1\n\xff=2\ntab\tkey=3\nok=4\n");
    ASSERT_TRUE(SettingsStore(store).save());
    EXPECT_EQ(dir.read("Duoscope.ini"), "[Duoscope]\nok=4\n");
}

// Takes 4,096 bytes, then finds the disk full.
ssize_t nearlyFull(int fd, const void* data, size_t size) {
    static size_t room = 4096;
    const ssize_t put = room ? ::write(fd, data, std::min(size, room)) : (errno = ENOSPC, -1);
    room = room && put > 0 ? room - size_t(put) : 4096;
    return put;
}

TEST_F(Files, TheStoreIsTheOldFileWholeOrTheNewOneAndOnlyARegularFile) {
    SettingsStore first(store);
    first.write(QStringLiteral("Source"), QStringLiteral("/old"));
    ASSERT_TRUE(first.save());
    SettingsStore big(store, nearlyFull);
    for (int i = 0; i < 22; ++i)
        big.write(QString::number(i), QString(1000, QLatin1Char('v')));
    EXPECT_FALSE(big.save());
    EXPECT_EQ(SettingsStore(store).read(QStringLiteral("Source"), {}), QStringLiteral("/old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << "nothing left beside it";

    // A link to a regular file is written through and stays a link.
    ASSERT_EQ(::rename(at("Duoscope.ini"), at("real.ini")), 0);
    ASSERT_EQ(::symlink("real.ini", at("Duoscope.ini")), 0);
    SettingsStore viaLink(store);
    viaLink.write(QStringLiteral("Left"), QStringLiteral("5"));
    ASSERT_TRUE(viaLink.save());
    EXPECT_TRUE(S_ISLNK(statOf(at("Duoscope.ini")).st_mode));
    EXPECT_EQ(SettingsStore(dir.filePath("real.ini")).read(QStringLiteral("Left"), {}), "5");

    // A pipe at the name, or a link to one: the defaults, no hang, left alone.
    ASSERT_EQ(::mkfifo(at("pipe"), 0600), 0);
    ASSERT_EQ(::symlink("pipe", at("tofifo")), 0);
    for (const char* name : {"pipe", "tofifo"}) {
        SettingsStore s(dir.filePath(QString::fromLatin1(name)));
        EXPECT_EQ(s.read(QStringLiteral("Left"), QStringLiteral("0")), QStringLiteral("0"));
        s.write(QStringLiteral("Left"), QStringLiteral("5"));
        EXPECT_FALSE(s.save());
        EXPECT_TRUE(S_ISFIFO(statOf(at("pipe")).st_mode)) << name;
    }
}

TEST_F(Files, ScratchWritesAreWholeAndNeverWrittenThroughWhatIsPlanted) {
    const QByteArray path = at("~ds1.tmp"), victim = at("victim");
    ScratchFile file(path);
    ASSERT_TRUE(file.write(QByteArray(1146, 'a')));
    ASSERT_TRUE(file.write("short"));
    file.close(); // lets others in
    EXPECT_EQ(ScratchFile(path).read(), QByteArray("short")) << "a shorter write leaves no tail";
    EXPECT_EQ(ScratchFile(path + "/x").write("x").error().number(), ENOTDIR);
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
        const struct stat st = statOf(path);
        EXPECT_TRUE(S_ISREG(st.st_mode) && st.st_nlink == 1 && (st.st_mode & 077) == 0) << what;
    }
    // Removal takes a file, never a link; reading refuses one.
    ScratchFile::removeIfFile(path);
    ASSERT_EQ(::symlink(victim.constData(), path.constData()), 0);
    EXPECT_THROW(ScratchFile(path).read(), FsError);
    ScratchFile::removeIfFile(path);
    EXPECT_TRUE(S_ISLNK(statOf(path).st_mode));
}

TEST_F(Files, TempFolderIsTempThenAUsableRuntimeFolderThenOneFixedPrivateFolder) {
    const QString own = dir.filePath(QStringLiteral("duoscope-%1/").arg(::getuid()));
    EXPECT_EQ(chooseTempFolder(QStringLiteral("/data/tmp"), dir.path(), {}), "/data/tmp/");
    EXPECT_EQ(chooseTempFolder({}, dir.path(), {}), dir.path() + '/');
    // A runtime folder that is not there, or that no one can write, is passed over.
    for (const QString& runtime :
         {dir.filePath(QStringLiteral("gone")), QStringLiteral("/proc/self")})
        EXPECT_EQ(chooseTempFolder({}, runtime, dir.path()), own) << runtime.toStdString();
    EXPECT_EQ(statOf(QFile::encodeName(own)).st_mode & 0777, 0700u);

    // The usual name taken by a link: the same other folder at every start.
    ASSERT_EQ(::rmdir(QFile::encodeName(own)), 0);
    ASSERT_EQ(::symlink("/tmp", QFile::encodeName(own.chopped(1))), 0);
    const QString chosen = chooseTempFolder({}, {}, dir.path());
    EXPECT_NE(chosen, own);
    EXPECT_EQ(chooseTempFolder({}, {}, dir.path()), chosen);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2)
        << "the link and one folder: nothing piles up";
}

} // namespace
