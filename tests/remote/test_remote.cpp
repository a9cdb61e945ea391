#include "base/message_style.h"
#include "base/name_text.h"
#include "compare/compare_report.h"
#include "fileops/sync_command.h"
#include "fileops/sync_run.h"
#include "fileops/transfer_run.h"
#include "fileops/undo_journal.h"
#include "remote/remote_address.h"
#include "remote/remote_changes.h"
#include "remote/remote_digest.h"
#include "remote/remote_file.h"
#include "remote/remote_listing.h"
#include "remote/remote_side.h"
#include "remote/remote_trash.h"
#include "remote/rsync_transfer.h"
#include "remote/side_for.h"
#include "remote/ssh_link.h"
#include "support/scripted_host.h"
#include "support/ssh_server.h"
#include "support/temp_tree.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QTextStream>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <pwd.h>
#include <sys/stat.h>
#include <thread>
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
        record("f\tf\t5\t1700000000.1234567890\t-5.5000000000\t644\t2049\t77\t", "a\nb", "") +
        record("l\tN\t3\t0.0000000000\t1.0000000010\t777\t1\t2\t", "-x", "tar\tget");
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
                entries[1].target == 'N' && entries[1].changed.tv_nsec == 1);
    RemoteListingReader broken([](const RemoteEntry&) {});
    broken.feed(record("f\tf\t5\tnoon\t1\t644\t1\t2\t", "a", ""));
    EXPECT_FALSE(broken.complete());
}

// A private sshd that the program's ssh reaches, for one test.
class OnHost : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.running()) << server.failure().constData();
        server.useForProgram();
    }
    void TearDown() override { qunsetenv("DUOSCOPE_SSH"); }
    SshServer server;
};

// Through a private sshd: every name as bytes, whatever it holds, with the
// identity the local file system gives the same files.
TEST_F(OnHost, ATreeThroughSshHasEveryNameAsBytesAndEachFilesIdentity) {
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
        EXPECT_EQ(seen.size(), oneLevel ? 10u : 11u); // the folder itself too, as ""
        EXPECT_EQ(seen[""].type, 'd');
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
}

// Digests read where the files lie, and files carried both ways by rsync
// over the same connection, every name as bytes.
TEST_F(OnHost, DigestsAndRsyncBothWaysKeepEveryNameAndByte) {
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
    // Streamed for a run, asked twice: a file not there, between others and
    // last, has none and takes no other's.
    std::vector<QByteArray> paths;
    for (const QByteArray& name : names)
        paths.push_back(herePath + '/' + name);
    paths.insert(paths.begin() + 4, herePath + "/gone1");
    paths.push_back(herePath + "/gone2");
    RemoteDigestStream stream(link);
    ASSERT_TRUE(stream.ask({paths.begin(), paths.begin() + 3}));
    ASSERT_TRUE(stream.ask({paths.begin() + 3, paths.end()}));
    EXPECT_FALSE(stream.take(herePath + "/gone2", nullptr));
    for (const QByteArray& name : names)
        EXPECT_EQ(stream.take(herePath + '/' + name, nullptr),
                  QCryptographicHash::hash("contents of " + name, QCryptographicHash::Sha256))
            << name.constData();
    EXPECT_FALSE(stream.take(herePath + "/gone1", nullptr));

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

    // A folder written from the home folder up and down again, "./" and
    // ".." steps as a user may type them, is the folder they lead to.
    QByteArray climbing = "./";
    for (const QByteArray& step : QByteArray(::getpwuid(::getuid())->pw_dir).split('/'))
        climbing += step.isEmpty() ? "" : "./../";
    const QByteArray into = rsyncFiles(
        link, {true, herePath, climbing + therePath.mid(1) + "/./sub", {"-dash"}, {}, nullptr});
    ASSERT_TRUE(into.isEmpty()) << into.constData();
    EXPECT_TRUE(QFile::exists(there.path() + QStringLiteral("/sub/-dash")));
}

struct Report {
    int code;
    QString out, err;
};

Report report(QStringList args) {
    Report r;
    QTextStream out(&r.out), err(&r.err);
    args.prepend(QStringLiteral("--compare"));
    r.code = runCompareReport(args, out, err,
                              [](const QByteArray& given) { return sideFor(given, true); });
    out.flush();
    err.flush();
    return r;
}

// The same two trees on this machine, one on a host, both on one: the same
// report, row for row, whatever the names hold and however links lead.
TEST_F(OnHost, ATreeOnAHostReportsAsTheSameTreeHere) {
    TempTree a, b;
    const QDateTime old(QDate(2024, 3, 9), QTime(14, 5, 0));
    for (TempTree* t : {&a, &b}) {
        t->mkdir(QStringLiteral("sub/deep"));
        t->write(QStringLiteral("same.txt"), "same", old);
        t->write(QStringLiteral("sub/deep/same"), "x", old);
        // Listed with their tree: a level's entries after a deeper level's.
        t->write(QStringLiteral("sub/deep/deeper/same"), "y", old);
        for (int i = 0; i < 8; ++i)
            t->write(QStringLiteral("sub/late%1").arg(i), "z", old);
        t->write(QStringLiteral(".hidden"), "h", old);
        for (const QByteArray name : {"new\nline", "it's \"q\"", "$(touch pwned)", "-dash"})
            t->writeRaw(name, name);
    }
    a.write(QStringLiteral("newer"), "1234", old.addSecs(60));
    b.write(QStringLiteral("newer"), "4321", old);
    a.write(QStringLiteral("sub/only-a"), "a");
    b.write(QStringLiteral("sub/deep/other"), "abcd", old); // same size, other bytes
    a.write(QStringLiteral("sub/deep/other"), "abce", old);
    const auto link = [](const TempTree& t, const char* to, const char* name) {
        ASSERT_EQ(::symlink(to, QFile::encodeName(t.filePath(name)).constData()), 0);
    };
    link(a, "same.txt", "to-file");
    link(b, "same.txt", "to-file");
    link(a, "sub", "to-folder");
    link(b, "nowhere", "to-folder");
    link(a, "gone", "dangling");
    const QString host = QStringLiteral("127.0.0.1:");
    TempTree elsewhere;
    const QString linkToB = elsewhere.filePath(QStringLiteral("b"));
    ASSERT_EQ(::symlink(QFile::encodeName(b.path()), QFile::encodeName(linkToB)), 0);
    // By contents first, while no digest is kept: a pair of links followed
    // to files is then read on both sides, not told by a digest kept here.
    const QStringList options[] = {
        {"-c"}, {}, {"--hidden", "--system", "--json"}, {"-r"}, {"-r", "-c", "--json", "--system"}};
    for (const QStringList& o : options) {
        const Report here = report(o + QStringList{a.path(), b.path()});
        ASSERT_TRUE(here.out.contains(QLatin1String("newer")) &&
                    here.out.contains(QLatin1String("-dash")) &&
                    here.out.contains(QLatin1String("x0Aline")))
            << here.out.toStdString();
        // The folder given may be a link to it, as here.
        for (const QStringList& folders : {QStringList{a.path(), host + b.path()},
                                           QStringList{host + a.path(), host + linkToB}}) {
            const Report there = report(o + folders);
            EXPECT_EQ(there.code, here.code) << there.err.toStdString();
            EXPECT_EQ(there.out, here.out) << o.join(' ').toStdString() << folders[0].toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
}

// Two large files that differ in their last byte are told apart by their
// digests on the host: a few hundred bytes cross the connection, not the
// files; a tree's subfolders take no command each. A host key that is not
// the one known ends with ssh's own words.
TEST_F(OnHost, ContentsAndSubfoldersCostNoDownloadNorCommandEachAndAStrangerIsRefused) {
    TempTree a, b, tools;
    const QDateTime old(QDate(2024, 3, 8), QTime(9, 30, 0));
    QByteArray big(4 << 20, 'x');
    a.write(QStringLiteral("big"), big, old);
    big.back() = 'y';
    b.write(QStringLiteral("big"), big, old);
    // An ssh whose every run, and every byte of its output, is counted.
    const QString counted = tools.filePath(QStringLiteral("carried"));
    const QByteArray runs = QFile::encodeName(tools.filePath(QStringLiteral("runs")));
    tools.write(QStringLiteral("ssh"), "#!/bin/bash\nset -o pipefail\necho >>'" + runs + "'\n" +
                                           server.sshCommand() + " \"$@\" | tee -a '" +
                                           QFile::encodeName(counted) + "'\n");
    ASSERT_TRUE(QFile::setPermissions(tools.filePath(QStringLiteral("ssh")),
                                      QFile::ReadOwner | QFile::ExeOwner));
    qputenv("DUOSCOPE_SSH", QFile::encodeName(tools.filePath(QStringLiteral("ssh"))));
    const Report r = report({"-c", a.path(), QStringLiteral("127.0.0.1:") + b.path()});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QLatin1String(" | differs | "))) << r.out.toStdString();
    EXPECT_LT(QFileInfo(counted).size(), 4096);
    // A level's subfolders are listed with their trees: a dozen of them, and
    // the folders in them, cost no command each.
    for (int i = 0; i < 12; ++i)
        b.write(QStringLiteral("sub%1/below/f").arg(i));
    ASSERT_TRUE(QFile::resize(QString::fromLocal8Bit(runs), 0));
    EXPECT_EQ(report({"-r", a.path(), QStringLiteral("127.0.0.1:") + b.path()}).code, 0);
    EXPECT_LE(QFileInfo(QString::fromLocal8Bit(runs)).size(), 4); // reached, listed, closed

    qputenv("DUOSCOPE_SSH", server.sshCommand() + " -o UserKnownHostsFile=/dev/null");
    const Report refused = report({a.path(), QStringLiteral("localhost:") + b.path()});
    EXPECT_EQ(refused.code, 2);
    EXPECT_TRUE(refused.out.isEmpty());
    EXPECT_EQ(refused.err.count('\n'), 1);
    EXPECT_TRUE(refused.err.contains(QLatin1String("Host key verification failed")))
        << refused.err.toStdString();
}

// The host's Trash: an entry goes in under a name of its own beside one of
// the same name, with its .trashinfo, and back; only once.
TEST_F(OnHost, TrashAndRestoreOnTheHostKeepEveryName) {
    TempTree t;
    const QByteArray name = "$(touch pwned)\n-x";
    t.writeRaw(name, "first");
    const QByteArray top = QFile::encodeName(t.path());
    ChosenSide side = sideFor("127.0.0.1:" + top);
    const std::unique_ptr<SideWalk> walk = side.side->walk();
    ASSERT_TRUE(walk->openTop(side.path, true, nullptr));
    TrashEntry first, second;
    ASSERT_TRUE(side.side->trash(walk->place(), name, name, first));
    t.writeRaw(name, "second");
    ASSERT_TRUE(side.side->trash(walk->place(), name, name, second));
    EXPECT_EQ(first.folder, server.dataHome() + "/Trash");
    EXPECT_TRUE(first.name == name && second.name == name + ".2") << second.name.constData();
    QFile info(QFile::decodeName(second.infoPath()));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_TRUE(info.readAll().contains("Path=" + (top + '/' + name).toPercentEncoding("/")));
    EXPECT_FALSE(QFile::exists(QFile::decodeName(top + '/' + name)));
    ASSERT_TRUE(side.side->restore(first));
    EXPECT_EQ(t.read(QFile::decodeName(name)), "first");
    EXPECT_EQ(side.side->restore(second).error().number(), EEXIST);
    ASSERT_TRUE(side.side->restore(second, true));
    EXPECT_EQ(t.read(QFile::decodeName(name)), "second");
    EXPECT_FALSE(QFile::exists(QFile::decodeName(second.infoPath())));
    EXPECT_EQ(side.side->restore(second).error().number(), ESTALE);
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
}

// Times to the nanosecond, before 1970 too, and removals as unlinkat does
// them, each at the path the walk stands in; a folder put in the place of
// the one entered is not listed as if it were that one.
TEST_F(OnHost, TimesRemovalsAndAFolderSwappedUnderTheWalk) {
    TempTree t;
    t.mkdir(QStringLiteral("sub/full"));
    t.mkdir(QStringLiteral("sub/empty"));
    t.writeRaw("sub/full/f", "x");
    t.writeRaw("sub/-file\n", "x");
    const QByteArray top = QFile::encodeName(t.path());
    ChosenSide side = sideFor("127.0.0.1:" + top);
    const std::unique_ptr<SideWalk> walk = side.side->walk();
    ASSERT_TRUE(walk->openTop(side.path, true, nullptr) && walk->enter("sub", nullptr));
    for (const struct timespec time : {timespec{1700000000, 123456789}, timespec{-6, 500000000}}) {
        for (const char* name : {"-file\n", ""}) {
            ASSERT_TRUE(side.side->setModified(walk->place(), name, time)) << name;
            struct stat st {};
            ASSERT_EQ(::lstat((top + "/sub/" + name).constData(), &st), 0);
            EXPECT_TRUE(st.st_mtim.tv_sec == time.tv_sec && st.st_mtim.tv_nsec == time.tv_nsec)
                << name << ' ' << st.st_mtim.tv_sec;
        }
    }
    const std::pair<QByteArray, int> removals[] = {
        {"full", ENOTEMPTY}, {"gone", ENOENT}, {"empty", 0}, {"-file\n", 0}};
    for (const auto& [name, error] : removals) {
        const FsResult removed = side.side->remove(walk->place(), name, name);
        EXPECT_EQ(removed.ok() ? 0 : removed.error().number(), error) << name.constData();
    }
    const FolderListing left = side.side->list(walk->place(), "sub/", {}, {});
    EXPECT_TRUE(left.count() == 1 && left.fileName(0) == "full" && left.isFolder(0));
    ASSERT_TRUE(QDir(t.path()).rename(QStringLiteral("sub"), QStringLiteral("was")));
    ASSERT_TRUE(QDir(t.path()).mkdir(QStringLiteral("sub")));
    try {
        side.side->list(walk->place(), "sub/", {}, {});
        ADD_FAILURE() << "another folder listed as the one entered";
    } catch (const FsError& e) {
        EXPECT_EQ(e.number(), ESTALE);
    }
}

} // namespace

// In the window ssh asks through the program (here a script standing in for
// it); on the command line it never asks, and a key it cannot open fails.
TEST_F(OnHost, AsksThroughThisProgramOnlyWhereSomeoneCanAnswer) {
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
}

// Compare Files on a remote file: brought here, sent back only over the file
// that was brought unless the user says so, its odd name as data throughout.
TEST_F(OnHost, BroughtHereAndSentBackOnlyOverTheFileThatWasBrought) {
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
}

// On another file system than the home, an entry goes to the trash at that
// drive's top, named from there; a file may get a second name there too.
TEST_F(OnHost, AnEntryGoesToTheTrashOfItsOwnFileSystem) {
    const SshLink link(RemoteAddress{"", "127.0.0.1", 0, {}}, true);
    TempTree t(QStringLiteral("/dev/shm"));
    const QByteArray name = "-a 'b' $(c)\nd", folder = QFile::encodeName(t.path());
    t.writeRaw(name, "kept");
    TrashEntry entry, kept;
    EXPECT_EQ(trashRemote(link, folder, name, "1 2 3 4.0 5.0", entry).error().number(), ESTALE);
    ASSERT_TRUE(linkIntoTrashRemote(link, folder, name, kept));
    ASSERT_TRUE(trashRemote(link, folder, name, {}, entry)) << entry.folder.data();
    const auto cleanUp =
        qScopeGuard([&] { QDir(QFile::decodeName(entry.folder)).removeRecursively(); });
    EXPECT_EQ(entry.folder, "/dev/shm/.Trash-" + QByteArray::number(::getuid()));
    EXPECT_EQ(entry.name, name + ".2");
    QFile info(QFile::decodeName(entry.infoPath()));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QByteArray inTop = folder.mid(9) + '/' + name;
    EXPECT_TRUE(info.readAll().contains("Path=" + inTop.toPercentEncoding("/") + '\n'));
    discardRemote(link, kept);
    EXPECT_FALSE(QFile::exists(QFile::decodeName(kept.filePath())));
    ASSERT_TRUE(restoreRemote(link, entry));
    EXPECT_EQ(t.read(QFile::decodeName(name)), "kept");
}

// Folders made and removed, renames and removals on the host, each failing
// as the local call would, the names passed as data.
TEST_F(OnHost, EachChangeOnTheHostFailsAsTheLocalCallWould) {
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
}

// Every file below `top` (links as where they lead), by its path below it.
std::map<QByteArray, QByteArray> filesIn(const QString& top) {
    std::map<QByteArray, QByteArray> files;
    QDirIterator it(top, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << it.filePath().toStdString();
        files[QFile::encodeName(QDir(top).relativeFilePath(it.filePath()))] = f.readAll();
    }
    return files;
}

Report syncRun(QStringList args) {
    Report r;
    QTextStream out(&r.out), err(&r.err);
    args.prepend(QStringLiteral("--sync"));
    r.code = runSyncCommand(args, out, err);
    out.flush();
    err.flush();
    return r;
}

// Two trees of every kind of row, with names of every kind alone on each side.
struct HostPair {
    TempTree source, destination;
    const QDateTime t{QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC};
    std::map<QByteArray, QByteArray> files[2];
    HostPair() {
        const auto put = [&](TempTree& tree, const QString& name, const QByteArray& data, int at) {
            tree.write(name, data, t.addSecs(at));
        };
        put(source, QStringLiteral("newer_left"), "new!", 60);
        put(destination, QStringLiteral("newer_left"), "old", 0);
        put(source, QStringLiteral("newer_right"), "old", 0);
        put(destination, QStringLiteral("newer_right"), "newer", 60);
        put(source, QStringLiteral("same"), "same", 0);
        put(destination, QStringLiteral("same"), "same", 0);
        put(source, QStringLiteral("lonedir/inner"), "in", 0);
        put(source, QStringLiteral("new\nline"), "1", 0);
        put(source, QStringLiteral("$(touch pwned)"), "2", 0);
        put(destination, QStringLiteral("it's \"quoted\""), "3", 0);
        put(destination, QStringLiteral("-dash"), "4", 0);
        files[0] = filesIn(source.path());
        files[1] = filesIn(destination.path());
    }
    QString given(bool onHost, const TempTree& tree) const {
        return (onHost ? QStringLiteral("127.0.0.1:") : QString()) + tree.path();
    }
};

// Every mode with the host on either side: each copy made by rsync there or
// here, names of every kind both ways, and what the host's side loses
// (replaced or deleted) kept in its Trash.
TEST_F(OnHost, EveryModeCopiesByRsyncWithTheHostOnEitherSide) {
    const std::map<QByteArray, QByteArray> toRight = {{"newer_left", "new!"},
                                                      {"lonedir/inner", "in"},
                                                      {"new\nline", "1"},
                                                      {"$(touch pwned)", "2"}};
    const std::map<QByteArray, QByteArray> toLeft = {
        {"newer_right", "newer"}, {"it's \"quoted\"", "3"}, {"-dash", "4"}};
    struct Case {
        const char* mode;
        bool hostIsSource;
        bool right, left;                // what goes across
        std::vector<QByteArray> trashed; // on the host, of what it held
    };
    const Case cases[] = {
        {"update", false, true, false, {"old"}},
        {"update-source", false, false, true, {}},
        {"both", true, true, true, {"old"}},
        {"mirror", false, true, false, {"3", "4", "newer", "old"}},
        {"two-way", true, true, true, {"old"}},
    };
    for (const Case& c : cases) {
        HostPair pair;
        const Report r = syncRun({c.mode, pair.given(c.hostIsSource, pair.source),
                                  pair.given(!c.hostIsSource, pair.destination)});
        EXPECT_EQ(r.code, 0) << c.mode << r.err.toStdString();
        std::map<QByteArray, QByteArray> want[2] = {pair.files[0], pair.files[1]};
        if (c.right)
            for (const auto& [name, data] : toRight)
                want[1][name] = data;
        if (c.left)
            for (const auto& [name, data] : toLeft)
                want[0][name] = data;
        if (QByteArray(c.mode) == "mirror") {
            want[1] = pair.files[0];
            // The folder takes Source's time once its files are done.
            struct stat a {
            }, b{};
            ASSERT_EQ(::stat(QFile::encodeName(pair.source.path()).constData(), &a), 0);
            ASSERT_EQ(::stat(QFile::encodeName(pair.destination.path()).constData(), &b), 0);
            EXPECT_TRUE(a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
                        a.st_mtim.tv_nsec == b.st_mtim.tv_nsec);
        }
        EXPECT_EQ(filesIn(pair.source.path()), want[0]) << c.mode;
        EXPECT_EQ(filesIn(pair.destination.path()), want[1]) << c.mode;
        std::vector<QByteArray> trashed;
        for (const auto& [name, data] :
             filesIn(QFile::decodeName(server.dataHome() + "/Trash/files")))
            trashed.push_back(data);
        std::sort(trashed.begin(), trashed.end());
        EXPECT_EQ(trashed, c.trashed) << c.mode;
        QDir(QFile::decodeName(server.dataHome() + "/Trash")).removeRecursively();
    }
    EXPECT_FALSE(QFile::exists(QDir::homePath() + QStringLiteral("/pwned")));
}

// The Undo of a run into the host's folder takes back there every copy, a
// folder copied whole, each file replaced and each deleted.
TEST_F(OnHost, TheUndoOfAMirrorOntoTheHostPutsItsFolderBack) {
    HostPair pair;
    const QByteArray host = "127.0.0.1:";
    ChosenSide chosen[2] = {sideFor(QFile::encodeName(pair.source.path())),
                            sideFor(host + QFile::encodeName(pair.destination.path()))};
    const std::shared_ptr<FolderSide> sides[2] = {std::move(chosen[0].side),
                                                  std::move(chosen[1].side)};
    const SyncPlan plan =
        planSync({*sides[0], folderPath(chosen[0].path), {}},
                 {*sides[1], folderPath(chosen[1].path), host}, SyncMode::Mirror, TreeOptions());
    ScriptedPlatform platform;
    ScriptedHost run(platform);
    UndoJournal journal;
    const std::vector<SyncOutcome> outcomes =
        runSyncPlan(run, plan, DeleteWay::ToTrash, &journal, sides[0], sides[1]);
    EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), SyncOutcome::Done), 7);
    EXPECT_EQ(filesIn(pair.destination.path()), pair.files[0]);
    ASSERT_TRUE(journal.canUndo());
    EXPECT_EQ(undoRecord(journal.takeLast(), CopyOptions()), QStringList());
    EXPECT_EQ(filesIn(pair.source.path()), pair.files[0]);
    EXPECT_EQ(filesIn(pair.destination.path()), pair.files[1]);
    EXPECT_FALSE(QFile::exists(pair.destination.filePath(QStringLiteral("lonedir"))));
}

// rsync's temporaries in `folder` (".NAME.XXXXXX").
QStringList temporariesIn(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*.??????")}, QDir::Files | QDir::Hidden);
}

// Kills the processes that hold a temporary of `folder` open, as a host
// going down would: rsync never gets to remove it.
void killWriterIn(const QString& folder) {
    for (bool found = true; found;) {
        found = false;
        for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
            for (const QString& fd :
                 fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
                if (QFile::symLinkTarget(fds.filePath(fd))
                        .startsWith(folder + QStringLiteral("/.")))
                    found = ::kill(pid.toInt(), SIGKILL) == 0;
            }
        }
    }
}

// A connection dropped while a big file crosses (its master closed, or the
// host's rsync gone): the run says what was not done and exits 2, the file
// it was to replace is still there whole, no temporary stays, and the next
// run reaches the host again.
TEST_F(OnHost, AConnectionDroppedMidMirrorLosesNothingAndTheNextRunReconnects) {
    TempTree source, destination;
    source.write(QStringLiteral("small"), "new");
    source.write(QStringLiteral("big"));
    destination.write(QStringLiteral("big"), "old");
    const QByteArray big = QFile::encodeName(source.filePath(QStringLiteral("big")));
    ASSERT_EQ(::truncate(big.constData(), qint64(2) << 30), 0);
    const QStringList args = {QStringLiteral("mirror"), source.path(),
                              QStringLiteral("127.0.0.1:") + destination.path()};
    const std::function<void()> faults[] = {
        [] {
            SshLink(RemoteAddress{"", "127.0.0.1", 0, {}}, true);
        }, // its end closes the master
        [&] { killWriterIn(destination.path()); }};
    for (const auto& fault : faults) {
        Report r;
        std::thread running([&] { r = syncRun(args); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (temporariesIn(destination.path()).isEmpty() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        EXPECT_FALSE(temporariesIn(destination.path()).isEmpty()) << "no copy began";
        fault();
        running.join();
        EXPECT_EQ(r.code, 2) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Copying to 127.0.0.1:") + destination.path()) &&
                    r.err.contains(QStringLiteral("0 of 2 copied")))
            << r.err.toStdString();
        EXPECT_EQ(destination.read(QStringLiteral("big")), "old");
        EXPECT_EQ(temporariesIn(destination.path()), QStringList()) << &fault - faults;
        EXPECT_FALSE(QFile::exists(destination.filePath(QStringLiteral("small"))));
    }
    ASSERT_EQ(::truncate(big.constData(), 5), 0);
    EXPECT_EQ(syncRun(args).code, 0);
    EXPECT_EQ(destination.read(QStringLiteral("big")), QByteArray(5, '\0'));
}

// A paste onto the host, replacing a file there once the user agrees, and a
// move from it, both taken back by one Undo.
TEST_F(OnHost, APasteOntoTheHostAndAMoveFromItAreUndoneThere) {
    // There in the host's home, named as below it: nothing here has that name.
    const QString home = QFile::decodeName(::getpwuid(::getuid())->pw_dir);
    TempTree here, there(home);
    const QByteArray odd = "-a 'b' $(c)\nd";
    here.writeRaw(odd, "here");
    there.writeRaw(odd, "old");
    there.write(QStringLiteral("x"), "from host");
    const QByteArray herePath = QFile::encodeName(here.path()),
                     therePath = QFile::encodeName(QDir(home).relativeFilePath(there.path()));
    const std::shared_ptr<FolderSide> remote = sideFor("127.0.0.1:" + therePath).side;
    ScriptedPlatform platform;
    platform.answers = {Answer::Yes};
    ScriptedHost run(platform);
    UndoJournal journal;
    journal.begin(QStringLiteral("Paste"));
    Transfer onto{{herePath, odd}, false, therePath};
    onto.sides[1] = remote;
    Transfer from{{therePath, "x"}, false, herePath};
    from.move = true;
    from.sides[0] = remote;
    for (Transfer* t : {&onto, &from}) {
        t->keepReplaced = true;
        t->journal = &journal;
    }
    runTransfers(run, {onto, from}, CopyOptions());
    journal.end();
    ASSERT_EQ(platform.shown.size(), 1);
    EXPECT_TRUE(platform.shown[0].text.contains(QStringLiteral("$(c)")));
    EXPECT_EQ(filesIn(here.path()),
              (std::map<QByteArray, QByteArray>{{odd, "here"}, {"x", "from host"}}));
    EXPECT_EQ(filesIn(there.path()), (std::map<QByteArray, QByteArray>{{odd, "here"}}));
    EXPECT_EQ(undoRecord(journal.takeLast(), CopyOptions()), QStringList());
    EXPECT_EQ(filesIn(here.path()), (std::map<QByteArray, QByteArray>{{odd, "here"}}));
    EXPECT_EQ(filesIn(there.path()),
              (std::map<QByteArray, QByteArray>{{odd, "old"}, {"x", "from host"}}));
}
