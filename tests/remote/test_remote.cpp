#include "remote/remote_address.h"
#include "remote/remote_changes.h"
#include "remote/remote_digest.h"
#include "remote/remote_file.h"
#include "remote/remote_listing.h"
#include "remote/remote_trash.h"
#include "remote/rsync_transfer.h"
#include "remote/ssh_link.h"
#include "support/ssh_server.h"
#include "support/temp_tree.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What each text given as a folder means: remote (user, host, port, path)
// or local, as scp, rsync and the desktops write them.
TEST(RemoteAddress, ReadAsScpRsyncAndDesktopsWriteThemAndLocalWhereThatIsMeant) {
    TempTree here;
    here.write(QStringLiteral("web:site"));
    const QByteArray existing = QFile::encodeName(here.filePath(QStringLiteral("web:site")));
    const QString was = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(here.path()));
    const auto back = qScopeGuard([&] { QDir::setCurrent(was); });
    const std::pair<QString, std::optional<RemoteAddress>> cases[] = {
        {"web1:/var/www", RemoteAddress{"", "web1", 0, "/var/www"}},
        {"ann@nas.local:backup/a b", RemoteAddress{"ann", "nas.local", 0, "backup/a b"}},
        {"host:", RemoteAddress{"", "host", 0, ""}},
        {"me@[::1]:/srv", RemoteAddress{"me", "[::1]", 0, "/srv"}},
        {"sftp://ann@nas:2222/srv/a%20b/%FF", RemoteAddress{"ann", "nas", 2222, "/srv/a b/\xff"}},
        {"sftp://[::1]/x", RemoteAddress{"", "[::1]", 0, "/x"}},
        {"/abs/with:colon", std::nullopt},
        {"./rel:colon", std::nullopt},
        {"dir/sub:colon", std::nullopt},
        {"web:site", std::nullopt}, // a local file of that name
        {"-oProxyCommand=x:/y", std::nullopt},
        {"-l@host:/y", std::nullopt},
        {"plain", std::nullopt},
        {":/path", std::nullopt},
    };
    for (const auto& [given, expected] : cases)
        EXPECT_EQ(remoteAddress(given), expected) << given.toStdString();
    EXPECT_EQ(remoteAddress(QFile::decodeName(existing)), std::nullopt);

    const std::pair<QByteArray, std::vector<QByteArray>> commands[] = {
        {"ssh", {"ssh"}},
        {"ssh -F '/tmp/my config'  -o \"User=a b\"",
         {"ssh", "-F", "/tmp/my config", "-o", "User=a b"}},
        {"", {}},
    };
    for (const auto& [text, words] : commands)
        EXPECT_EQ(SshLink::splitCommand(text), words) << text.constData();
}

// find's records in pieces of any size; times before 1970 and to the nanosecond.
TEST(RemoteListing, RecordsParseInAnyPiecesAndABrokenOneEndsTheListing) {
    const auto record = [](const char* fields, QByteArray path, QByteArray target) {
        return QByteArray(fields) + '\0' + path + '\0' + target + '\0';
    };
    const QByteArray records =
        record("f\t5\t1700000000.1234567890\t-5.5000000000\t644\t2049\t77\t", "a\nb", "") +
        record("l\t3\t0.0000000000\t1.0000000010\t777\t1\t2\t", "-x", "tar\tget");
    std::vector<RemoteEntry> entries;
    RemoteListingReader reader([&](const RemoteEntry& e) { entries.push_back(e); });
    for (const char c : records)
        reader.feed(QByteArrayView(&c, 1));
    ASSERT_TRUE(reader.complete());
    ASSERT_EQ(entries.size(), 2u);
    const RemoteEntry& f = entries[0];
    EXPECT_TRUE(f.path == "a\nb" && f.type == 'f' && f.size == 5 && f.mode == 0644 &&
                f.device == 2049 && f.inode == 77);
    EXPECT_TRUE(f.modified.tv_sec == 1700000000 && f.modified.tv_nsec == 123456789);
    EXPECT_TRUE(f.changed.tv_sec == -6 && f.changed.tv_nsec == 500000000);
    EXPECT_TRUE(entries[1].path == "-x" && entries[1].linkTarget == "tar\tget" &&
                entries[1].changed.tv_nsec == 1);
    RemoteListingReader broken([](const RemoteEntry&) {});
    broken.feed(record("f\t5\tnoon\t1\t644\t1\t2\t", "a", ""));
    EXPECT_FALSE(broken.complete());
}

// Through a private sshd: every name as bytes, whatever it holds, with the
// identity the local file system gives the same files.
TEST(RemoteListing, ATreeThroughSshHasEveryNameAsBytesAndEachFilesIdentity) {
    SshServer server;
    ASSERT_TRUE(server.running()) << server.failure().constData();
    server.useForProgram();
    TempTree t;
    t.mkdir(QStringLiteral("sub"));
    const QByteArray names[] = {"plain.txt",     "new\nline", "it's \"quoted\"", "$(touch pwned)",
                                "-leading-dash", "tab\there", "latin1-\xe9",     "sub/inner.txt"};
    for (const QByteArray& name : names)
        t.writeRaw(name, name);
    ASSERT_EQ(::symlink("/etc/passwd", QFile::encodeName(t.filePath("link")).constData()), 0);
    const QByteArray top = QFile::encodeName(t.path());
    auto link = std::make_unique<SshLink>(RemoteAddress{"", "127.0.0.1", 0, top}, true);
    for (const bool oneLevel : {false, true}) {
        std::map<QByteArray, RemoteEntry> seen;
        const QByteArray failure =
            listRemote(*link, top, oneLevel, [&](const RemoteEntry& e) { seen[e.path] = e; });
        ASSERT_TRUE(failure.isEmpty()) << failure.constData();
        EXPECT_EQ(seen.size(), oneLevel ? 9u : 10u);
        EXPECT_EQ(seen.count("sub/inner.txt"), oneLevel ? 0u : 1u);
        EXPECT_EQ(seen["link"].type, 'l');
        EXPECT_EQ(seen["link"].linkTarget, "/etc/passwd");
        for (const QByteArray& name : names) {
            if (oneLevel && name.contains('/'))
                continue;
            struct stat st {};
            ASSERT_EQ(::lstat((top + '/' + name).constData(), &st), 0);
            const RemoteEntry& e = seen[name];
            EXPECT_TRUE(e.type == 'f' && e.size == st.st_size && e.inode == st.st_ino &&
                        e.device == st.st_dev && e.modified.tv_sec == st.st_mtim.tv_sec &&
                        e.modified.tv_nsec == st.st_mtim.tv_nsec &&
                        e.changed.tv_nsec == st.st_ctim.tv_nsec)
                << name.constData();
        }
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned")));
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
    // A folder that is not there, and a host key that is not the one known.
    EXPECT_FALSE(listRemote(*link, top + "/gone", false, [](const RemoteEntry&) {}).isEmpty());
    link.reset(); // its master too: the next link makes its own
    qputenv("DUOSCOPE_SSH", server.sshCommand() + " -o UserKnownHostsFile=/dev/null");
    const SshLink stranger(RemoteAddress{"", "localhost", 0, top}, true);
    const QByteArray refused = listRemote(stranger, top, true, [](const RemoteEntry&) {});
    EXPECT_TRUE(refused.contains("Host key verification failed")) << refused.constData();
    qunsetenv("DUOSCOPE_SSH");
}

// Digests read where the files lie, and files carried both ways by rsync
// over the same connection, every name as bytes.
TEST(RemoteFiles, DigestsAndRsyncBothWaysKeepEveryNameAndByte) {
    SshServer server;
    ASSERT_TRUE(server.running()) << server.failure().constData();
    server.useForProgram();
    TempTree here, there, back;
    const std::vector<QByteArray> names = {"new\nline", "-dash",   "$(touch pwned)",
                                           "q'\"uote",  "bin\xff", "sub/inner"};
    here.mkdir(QStringLiteral("sub"));
    for (const QByteArray& name : names)
        here.writeRaw(name, "contents of " + name);
    const QByteArray herePath = QFile::encodeName(here.path()),
                     therePath = QFile::encodeName(there.path()),
                     backPath = QFile::encodeName(back.path());
    const SshLink link(RemoteAddress{"", "127.0.0.1", 0, therePath}, true);
    QHash<QByteArray, QByteArray> digests;
    EXPECT_TRUE(remoteDigests(link, herePath, names, digests).isEmpty());
    for (const QByteArray& name : names)
        EXPECT_EQ(digests.value(name),
                  QCryptographicHash::hash("contents of " + name, QCryptographicHash::Sha256))
            << name.constData();
    digests.clear();
    EXPECT_FALSE(remoteDigests(link, herePath, {"gone"}, digests).isEmpty());
    EXPECT_TRUE(digests.isEmpty());

    int told = 0;
    const QByteArray to = rsyncFiles(
        link, {true, herePath, therePath, names, [&](const QByteArray&) { ++told; }, nullptr});
    ASSERT_TRUE(to.isEmpty()) << to.constData();
    EXPECT_GE(told, int(names.size()));
    const QByteArray from = rsyncFiles(link, {false, backPath, therePath, names, {}, nullptr});
    ASSERT_TRUE(from.isEmpty()) << from.constData();
    for (const QByteArray& name : names) {
        // By its bytes: no text form of an invalid name reaches the file.
        const int fd = ::open((backPath + '/' + name).constData(), O_RDONLY | O_CLOEXEC);
        char bytes[64] = {};
        const ssize_t n = fd >= 0 ? ::read(fd, bytes, sizeof bytes) : -1;
        ::close(fd);
        EXPECT_EQ(QByteArray(bytes, std::max<ssize_t>(n, 0)), "contents of " + name)
            << name.constData();
    }
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
    qunsetenv("DUOSCOPE_SSH");
}

} // namespace

// In the window ssh asks through the program (here a script standing in for
// it); on the command line it never asks, and a key it cannot open fails.
TEST(SshLink, AsksThroughThisProgramOnlyWhereSomeoneCanAnswer) {
    SshServer server;
    ASSERT_TRUE(server.running()) << server.failure().constData();
    server.useForProgram();
    ASSERT_TRUE(server.protectKey("pass phrase"));
    TempTree t;
    const QByteArray asked = QFile::encodeName(t.filePath("asked"));
    t.writeRaw("askpass", "#!/bin/sh\n[ -n \"$DUOSCOPE_ASKPASS\" ] && printf %s \"$1\" >'" + asked +
                              "'\necho 'pass phrase'\n");
    const QByteArray askPass = QFile::encodeName(t.filePath("askpass"));
    ASSERT_EQ(::chmod(askPass.constData(), 0700), 0);
    SshLink::setAskPassProgram(askPass);
    const RemoteAddress address{"", "127.0.0.1", 0, "/"};
    for (const bool batch : {true, false}) {
        QByteArray out;
        const ChildResult r =
            SshLink(address, batch).run("echo reached", {}, [&](QByteArrayView piece) {
                out.append(piece);
            });
        EXPECT_EQ(r.exitCode == 0 && out == "reached\n", !batch) << r.errors.constData();
        EXPECT_EQ(QFile::exists(QFile::decodeName(asked)), !batch);
    }
    QFile prompt(QFile::decodeName(asked));
    ASSERT_TRUE(prompt.open(QIODevice::ReadOnly));
    EXPECT_TRUE(prompt.readAll().contains("passphrase"));
    qunsetenv("DUOSCOPE_SSH");
}

// Compare Files on a remote file: brought here, sent back only over the file
// that was brought unless the user says so, its odd name as data throughout.
TEST(RemoteFile, BroughtHereAndSentBackOnlyOverTheFileThatWasBrought) {
    SshServer server;
    ASSERT_TRUE(server.running()) << server.failure().constData();
    server.useForProgram();
    TempTree host, here;
    const QByteArray name = "-x 'q' $(touch pwned)\nz";
    host.writeRaw(name, "one\n");
    const SshLink link(RemoteAddress{"", "127.0.0.1", 0, {}}, true);
    RemoteFileCopy copy{QFile::encodeName(host.path()), name, {}, {}};
    ASSERT_EQ(fetchRemoteFile(link, QFile::encodeName(here.path()), copy), QByteArray());
    EXPECT_EQ(here.read(QFile::decodeName(name)), "one\n");
    const auto edit = [&](const QByteArray& text) {
        QFile f(QFile::decodeName(copy.localPath));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    QByteArray complaint;
    edit("two\n");
    ASSERT_EQ(putRemoteFile(link, copy, false, complaint), RemotePut::Written) << complaint.data();
    EXPECT_EQ(host.read(QFile::decodeName(name)), "two\n");
    // Written meanwhile on the host: kept, unless the user says to replace it.
    host.writeRaw(name, "theirs\n");
    edit("three\n");
    EXPECT_EQ(putRemoteFile(link, copy, false, complaint), RemotePut::Changed);
    EXPECT_EQ(host.read(QFile::decodeName(name)), "theirs\n");
    EXPECT_EQ(putRemoteFile(link, copy, true, complaint), RemotePut::Written) << complaint.data();
    EXPECT_EQ(host.read(QFile::decodeName(name)), "three\n");
    EXPECT_EQ(QDir(host.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QFile::decodeName(name)});
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
    qunsetenv("DUOSCOPE_SSH");
}

// The host's Trash: an entry goes to the trash of its own file system and
// comes back only as the entry trashed, never over another unless told.
TEST(RemoteTrash, EntriesGoToTheirFileSystemsTrashAndComeBackOnlyAsTheyWent) {
    SshServer server;
    ASSERT_TRUE(server.running()) << server.failure().constData();
    server.useForProgram();
    const SshLink link(RemoteAddress{"", "127.0.0.1", 0, {}}, true);
    TempTree home, other(QStringLiteral("/dev/shm"));
    const QByteArray name = "-a 'b' $(c)\nd";
    for (TempTree* t : {&home, &other}) {
        SCOPED_TRACE(t->path().toStdString());
        t->writeRaw(name, "kept");
        t->write(QStringLiteral("dir/inner"), "in");
        const QByteArray folder = QFile::encodeName(t->path());
        struct stat st {};
        ASSERT_EQ(::lstat((folder + '/' + name).constData(), &st), 0);
        TrashEntry entry;
        EXPECT_EQ(trashRemote(link, folder, name, "1 2 3 4.0 5.0", entry).error().number(), ESTALE);
        ASSERT_TRUE(trashRemote(link, folder, name, {}, entry)) << entry.folder.data();
        ASSERT_TRUE(trashRemote(link, folder, "dir", {}, *std::make_unique<TrashEntry>()));
        EXPECT_FALSE(QFile::exists(t->filePath(QFile::decodeName(name))));
        const bool atHome = t == &home;
        EXPECT_EQ(entry.folder, atHome ? server.dataHome() + "/Trash"
                                       : "/dev/shm/.Trash-" + QByteArray::number(::getuid()));
        EXPECT_EQ(entry.identity.inode, st.st_ino);
        QFile info(QFile::decodeName(entry.infoPath()));
        ASSERT_TRUE(info.open(QIODevice::ReadOnly));
        const QByteArray shown = atHome ? folder + '/' + name : folder.mid(9) + '/' + name;
        EXPECT_TRUE(info.readAll().contains("Path=" + shown.toPercentEncoding("/") + '\n'));
        // Something new under the old name: kept unless the user says.
        t->writeRaw(name, "new");
        EXPECT_EQ(restoreRemote(link, entry).error().number(), EEXIST);
        EXPECT_EQ(t->read(QFile::decodeName(name)), "new");
        ASSERT_TRUE(restoreRemote(link, entry, true));
        EXPECT_EQ(t->read(QFile::decodeName(name)), "kept");
        EXPECT_FALSE(QFile::exists(QFile::decodeName(entry.infoPath())));
        EXPECT_FALSE(restoreRemote(link, entry)); // gone from the trash
        // A second name in the trash, the file staying, then taken away.
        TrashEntry kept;
        ASSERT_TRUE(linkIntoTrashRemote(link, folder, name, kept));
        EXPECT_EQ(QFile(QFile::decodeName(kept.filePath())).size(), 4);
        discardRemote(link, kept);
        EXPECT_FALSE(QFile::exists(QFile::decodeName(kept.filePath())));
        EXPECT_FALSE(QFile::exists(QFile::decodeName(kept.infoPath())));
        EXPECT_EQ(t->read(QFile::decodeName(name)), "kept");
        if (!atHome)
            QDir(QFile::decodeName(entry.folder)).removeRecursively();
    }
    qunsetenv("DUOSCOPE_SSH");
}

// Folders made and removed, renames and removals on the host, each failing
// as the local call would, the names passed as data.
TEST(RemoteChanges, EachChangeOnTheHostFailsAsTheLocalCallWould) {
    SshServer server;
    ASSERT_TRUE(server.running()) << server.failure().constData();
    server.useForProgram();
    const SshLink link(RemoteAddress{"", "127.0.0.1", 0, {}}, true);
    TempTree t, other(QStringLiteral("/dev/shm"));
    const QByteArray top = QFile::encodeName(t.path()), away = QFile::encodeName(other.path());
    const QByteArray odd = "-n $(touch pwned)\n'";
    t.writeRaw(odd, "data");
    t.write(QStringLiteral("full/inner"), "x");
    ASSERT_EQ(::link((top + '/' + odd).constData(), (top + "/second").constData()), 0);
    const auto errnoOf = [](bool ok) { return ok ? 0 : errno; };
    struct Case {
        const char* what;
        std::function<int()> change;
        int err;
    };
    const Case cases[] = {
        {"mkdir", [&] { return errnoOf(makeFolderOnHost(link, top, "new dir", 0750)); }, 0},
        {"mkdir taken", [&] { return errnoOf(makeFolderOnHost(link, top, odd, 0700)); }, EEXIST},
        {"rmdir full", [&] { return errnoOf(removeFolderOnHost(link, top, "full")); }, ENOTEMPTY},
        {"rmdir file", [&] { return errnoOf(removeFolderOnHost(link, top, odd)); }, ENOTDIR},
        {"rename over", [&] { return errnoOf(renameOnHost(link, top, odd, top, "full")); }, EEXIST},
        {"rename away", [&] { return errnoOf(renameOnHost(link, top, odd, away, "x")); }, EXDEV},
        {"rename", [&] { return errnoOf(renameOnHost(link, top, odd, top + "/new dir", odd)); }, 0},
        {"rm folder",
         [&] { return removeFileOnHost(link, top, "full", "full", nullptr).error().number(); },
         EISDIR},
        {"rm tree file",
         [&] { return removeTreeOnHost(link, top, "second", "s").error().number(); }, ENOTDIR},
        {"rm tree", [&] { return removeTreeOnHost(link, top, "full", "full").error().number(); },
         0},
        {"rmdir gone", [&] { return errnoOf(removeFolderOnHost(link, top, "full")); }, ENOENT},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.change(), c.err) << c.what;
    struct stat made {};
    ASSERT_EQ(::lstat((top + "/new dir").constData(), &made), 0);
    EXPECT_EQ(made.st_mode & 0777, 0750u & ~0022u);
    EXPECT_EQ(t.read(QStringLiteral("new dir/") + QFile::decodeName(odd)), "data");
    // A name of data that has another: the other's count told, then none.
    struct stat left {};
    ASSERT_TRUE(removeFileOnHost(link, top, "second", "second", &left));
    EXPECT_EQ(left.st_nlink, 1u);
    EXPECT_EQ(left.st_size, 4);
    ASSERT_TRUE(removeFileOnHost(link, top + "/new dir", odd, "odd", &left));
    EXPECT_EQ(left.st_nlink, 0u);
    EXPECT_EQ(QDir(t.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("new dir")});
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
    qunsetenv("DUOSCOPE_SSH");
}
