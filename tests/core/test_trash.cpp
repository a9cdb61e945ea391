#include "fs/trash.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytes(const QString& path) {
    return QFile::encodeName(path);
}

QByteArray readAll(const QByteArray& path) {
    QFile f;
    const int fd = ::open(path.constData(), O_RDONLY);
    return fd >= 0 && f.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle) ? f.readAll()
                                                                              : "<missing>";
}

bool present(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0;
}

const QDateTime when(QDate(2026, 3, 9), QTime(14, 5, 7));

class TrashTest : public ::testing::Test {
protected:
    QByteArray at(const char* name) const { return bytes(tree.path()) + '/' + name; }
    TempTree tree;
    QByteArray trash = qgetenv("XDG_DATA_HOME") + "/Trash";
};

TEST_F(TrashTest, MovesFilesLinksAndFoldersInAndBackByTheirBytes) {
    const QByteArray odd = "caf\xE9 %d.txt";
    tree.writeRaw(odd, "old data");
    tree.write(QStringLiteral("sub/inner.txt"), "inner");
    ASSERT_EQ(::symlink("sub/inner.txt", at("link").constData()), 0);

    TrashEntry file, link, folder;
    ASSERT_TRUE(Trash::moveToTrash(at("") + odd, file, when).ok());
    ASSERT_TRUE(Trash::moveToTrash(at("link"), link, when).ok());
    ASSERT_TRUE(Trash::moveToTrash(at("sub"), folder, when).ok());

    EXPECT_EQ(file.folder, trash);
    EXPECT_FALSE(present(at("") + odd));
    EXPECT_EQ(readAll(file.filePath()), "old data");
    const QByteArray encoded = (at("") + odd).toPercentEncoding("/");
    EXPECT_TRUE(encoded.endsWith("/caf%E9%20%25d.txt")) << encoded.constData();
    EXPECT_EQ(readAll(file.infoPath()),
              "[Trash Info]\nPath=" + encoded + "\nDeletionDate=2026-03-09T14:05:07\n");
    // The link went, not what it leads to; the folder went whole.
    struct stat st {};
    ASSERT_EQ(::lstat(link.filePath().constData(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readAll(folder.filePath() + "/inner.txt"), "inner");

    // Back, never over a file that took the place since.
    tree.writeRaw(odd, "newcomer");
    const FsResult taken = Trash::restore(file);
    ASSERT_FALSE(taken.ok());
    EXPECT_EQ(taken.error().number(), EEXIST);
    EXPECT_EQ(readAll(at("") + odd), "newcomer");
    ASSERT_EQ(::unlink((at("") + odd).constData()), 0);
    for (const TrashEntry* e : {&file, &link, &folder})
        ASSERT_TRUE(Trash::restore(*e).ok());
    EXPECT_EQ(readAll(at("") + odd), "old data");
    EXPECT_EQ(tree.read(QStringLiteral("link")), "inner");
    EXPECT_FALSE(present(file.infoPath()));
}

TEST_F(TrashTest, SameNamesGetTheirOwnEntriesAndAReplacedEntryIsNotRestored) {
    TrashEntry first, second;
    tree.write(QStringLiteral("a.txt"), "first");
    // The deletion time is the local time: here, for once, not UTC.
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin"), ::tzset();
    EXPECT_TRUE(Trash::moveToTrash(at("a.txt"), first).ok());
    const QDateTime date = QDateTime::fromString(
        QString::fromLatin1(readAll(first.infoPath()).split('=').last().trimmed()), Qt::ISODate);
    EXPECT_TRUE(date.isValid());
    EXPECT_LT(std::abs(date.secsTo(QDateTime::currentDateTime())), 60) << "seconds off";
    qputenv("TZ", zone), ::tzset();
    tree.write(QStringLiteral("a.txt"), "second");
    ASSERT_TRUE(Trash::moveToTrash(at("a.txt"), second).ok());
    EXPECT_NE(first.name, second.name);
    EXPECT_EQ(readAll(first.filePath()), "first");
    EXPECT_EQ(readAll(second.filePath()), "second");

    // Someone put another file in the trash entry's place: it stays there.
    ASSERT_EQ(::unlink(second.filePath().constData()), 0);
    QFile f(QFile::decodeName(second.filePath()));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    const FsResult stale = Trash::restore(second);
    ASSERT_FALSE(stale.ok());
    EXPECT_FALSE(present(at("a.txt")));
    Trash::discard(first);
    Trash::discard(second);
    EXPECT_FALSE(present(first.filePath()) || present(first.infoPath()));
}

TEST_F(TrashTest, ThousandsOfOneNameEachGetTheirEntryAndThePlainNameComesBack) {
    // A tree's thousands of "index.js", synchronized away: none is refused
    // (numbers stopped at 9,999), and a search for a number starts past the
    // last one taken, not at 2 each time (each deletion grew slower).
    TrashEntry first;
    tree.write(QStringLiteral("index.js"), "first");
    ASSERT_TRUE(Trash::moveToTrash(at("index.js"), first).ok());
    ASSERT_EQ(first.name, "index.js");
    const QByteArray files = trash + "/files/";
    for (int n = 2; n <= 9999; ++n)
        ::close(::open((files + "index.js." + QByteArray::number(n)).constData(),
                       O_WRONLY | O_CREAT | O_EXCL, 0600));
    TrashEntry next, after;
    tree.write(QStringLiteral("index.js"), "next");
    ASSERT_TRUE(Trash::moveToTrash(at("index.js"), next).ok());
    EXPECT_EQ(next.name, "index.js.10000");
    EXPECT_EQ(readAll(next.filePath()), "next");
    ASSERT_EQ(::unlink((files + "index.js.5000").constData()), 0);
    tree.write(QStringLiteral("index.js"), "after");
    ASSERT_TRUE(Trash::moveToTrash(at("index.js"), after).ok());
    EXPECT_EQ(after.name, "index.js.10001");
    Trash::discard(first);
    TrashEntry again;
    tree.write(QStringLiteral("index.js"), "again");
    ASSERT_TRUE(Trash::moveToTrash(at("index.js"), again).ok());
    EXPECT_EQ(again.name, "index.js");
    for (TrashEntry* e : {&next, &after, &again})
        Trash::discard(*e);
    for (int n = 2; n <= 9999; ++n) // the desktop's trash reader lists what is left
        ::unlink((files + "index.js." + QByteArray::number(n)).constData());
}

TEST_F(TrashTest, ALinkedEntryKeepsTheReplacedDataAndCanBeTakenBack) {
    tree.write(QStringLiteral("t.txt"), "old");
    tree.write(QStringLiteral(".new"), "new");
    TrashEntry kept;
    ASSERT_TRUE(Trash::linkIntoTrash(at("t.txt"), kept).ok());
    EXPECT_EQ(tree.read(QStringLiteral("t.txt")), "old"); // still in place meanwhile
    ASSERT_EQ(::rename(at(".new").constData(), at("t.txt").constData()), 0);
    EXPECT_EQ(readAll(kept.filePath()), "old");
    // Undoing the replace: the old file back over the new one, in one step.
    ASSERT_TRUE(Trash::restore(kept, true).ok());
    EXPECT_EQ(tree.read(QStringLiteral("t.txt")), "old");

    TrashEntry dropped;
    ASSERT_TRUE(Trash::linkIntoTrash(at("t.txt"), dropped).ok());
    Trash::discard(dropped);
    EXPECT_FALSE(present(dropped.filePath()) || present(dropped.infoPath()));
    EXPECT_EQ(tree.read(QStringLiteral("t.txt")), "old");
}

TEST_F(TrashTest, TheDesktopsTrashReaderListsTheFile) {
    tree.write(QStringLiteral("report 2026.txt"), "x");
    TrashEntry entry;
    ASSERT_TRUE(Trash::moveToTrash(at("report 2026.txt"), entry, when).ok());
    QProcess list;
    list.start(QStringLiteral("trash-list"), {});
    ASSERT_TRUE(list.waitForFinished(60000));
    const QString out = QString::fromUtf8(list.readAllStandardOutput());
    EXPECT_TRUE(out.contains(QStringLiteral("2026-03-09 14:05:07 ") + tree.path() +
                             QStringLiteral("/report 2026.txt")))
        << out.toStdString();
    Trash::discard(entry);
}

// Another file system than the home trash's: the trash at its top folder,
// the administrator's sticky .Trash first, the path relative to the top.
TEST_F(TrashTest, OtherFileSystemsUseTheTrashAtTheirTop) {
    struct stat shm {
    }, home{};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(trash.constData(), &home) != 0 ||
        shm.st_dev == home.st_dev || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    TempTree other(QStringLiteral("/dev/shm"));
    const QByteArray top = "/dev/shm";
    const QByteArray uid = QByteArray::number(::getuid());
    const bool madeShared = !present(top + "/.Trash");
    const bool madeOwn = !present(top + "/.Trash-" + uid);
    other.write(QStringLiteral("f.txt"), "x");
    const QByteArray path = bytes(other.path()) + "/f.txt";
    const QByteArray relative = path.mid(top.size() + 1);

    const QByteArray dotTrash = top + "/.Trash";
    if (madeShared) {
        // With no .Trash, then with one that is not sticky (as any on vfat),
        // where another user could have made the folder meant for this one.
        for (const mode_t mode : {0, 0777}) {
            if (mode) {
                ASSERT_EQ(::mkdir(dotTrash.constData(), 0) + ::chmod(dotTrash.constData(), mode),
                          0);
            }
            TrashEntry own;
            ASSERT_TRUE(Trash::moveToTrash(path, own, when).ok());
            EXPECT_EQ(own.folder, top + "/.Trash-" + uid) << mode;
            EXPECT_TRUE(readAll(own.infoPath()).contains("\nPath=" + relative + '\n'));
            ASSERT_TRUE(Trash::restore(own).ok());
        }
        ASSERT_EQ(::chmod(dotTrash.constData(), 01777), 0);
    }
    TrashEntry shared;
    ASSERT_TRUE(Trash::moveToTrash(path, shared, when).ok());
    EXPECT_EQ(shared.folder, top + "/.Trash/" + uid);
    EXPECT_EQ(readAll(shared.filePath()), "x");
    ASSERT_TRUE(Trash::restore(shared).ok());
    if (madeShared)
        QDir(QFile::decodeName(dotTrash)).removeRecursively();
    if (madeOwn)
        QDir(QFile::decodeName(top + "/.Trash-" + uid)).removeRecursively();
}

TEST_F(TrashTest, TheTrashAndTheWayBackAreCheckedEachTimeNoLinkFollowed) {
    // A name in files/ without its info (another program's, or a crash's) is taken.
    tree.write(QStringLiteral("orphan.txt"), "mine");
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(trash + "/files")));
    QFile(QFile::decodeName(trash + "/files/orphan.txt")).open(QIODevice::WriteOnly);
    TrashEntry entry;
    ASSERT_TRUE(Trash::moveToTrash(at("orphan.txt"), entry, when).ok());
    EXPECT_EQ(entry.name, "orphan.txt.2");
    EXPECT_EQ(readAll(trash + "/files/orphan.txt"), "");
    ::unlink(trash + "/files/orphan.txt");

    // Its folder swapped for a link since: the file is not put back through it.
    TempTree outside;
    tree.write(QStringLiteral("sub/f.txt"), "f");
    ASSERT_TRUE(Trash::moveToTrash(at("sub/f.txt"), entry, when).ok());
    ASSERT_EQ(::rename(at("sub"), at("sub.real")), 0);
    ASSERT_EQ(::symlink(bytes(outside.path()), at("sub")), 0);
    EXPECT_TRUE(Trash::restore(entry).error().reason().contains("now a link"));
    EXPECT_FALSE(present(bytes(outside.path()) + "/f.txt"));
    ::unlink(at("sub"));
    ASSERT_EQ(::rename(at("sub.real"), at("sub")), 0);
    ASSERT_TRUE(Trash::restore(entry).ok());

    // A file system's own trash: never one open to others, and checked at
    // every use, so files/ swapped for a link since is not used.
    TempTree mount;
    const QByteArray top = bytes(mount.path());
    if (::mount("tmpfs", top.constData(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "mounting a second file system is not allowed here";
    const std::shared_ptr<void> unmount(nullptr,
                                        [&top](void*) { ::umount2(top.constData(), MNT_DETACH); });
    const QByteArray own = top + "/.Trash-" + QByteArray::number(::getuid());
    ASSERT_EQ(::mkdir(own.constData(), 0777), 0);
    ::chmod(own.constData(), 0777);
    QFile(QFile::decodeName(top + "/x")).open(QIODevice::WriteOnly);
    EXPECT_EQ(Trash::moveToTrash(top + "/x", entry, when).error().number(), ENOTSUP);
    ::chmod(own.constData(), 0700);
    ASSERT_TRUE(Trash::moveToTrash(top + "/x", entry, when).ok());
    EXPECT_EQ(entry.folder, own);
    ASSERT_EQ(::rename((own + "/files").constData(), (top + "/files.real").constData()), 0);
    ASSERT_EQ(::mkdir((top + "/elsewhere").constData(), 0700), 0);
    ASSERT_EQ(::symlink(top + "/elsewhere", own + "/files"), 0);
    QFile(QFile::decodeName(top + "/y")).open(QIODevice::WriteOnly);
    EXPECT_FALSE(Trash::moveToTrash(top + "/y", entry, when).ok());
    EXPECT_TRUE(present(top + "/y"));
    EXPECT_TRUE(QDir(QFile::decodeName(top + "/elsewhere")).isEmpty());
}

} // namespace
