#include "base/name_text.h"
#include "compare/compare_report.h"
#include "fileops/command_line.h"
#include "support/temp_tree.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ReportRun {
    int code;
    QString out, err;
};

// The command line run in a child process as the program runs it, as an
// unprivileged user when the tests run as root (so that a folder of mode 0
// cannot be read), or with at most `descriptors` open files, or into a pipe
// no one reads (`readerGone`).
ReportRun reportApart(const QStringList& args, bool unprivileged, rlim_t descriptors = 0,
                      bool readerGone = false);

ReportRun report(const QStringList& args, QIODevice* device = nullptr) {
    ReportRun r;
    QTextStream o(&r.out), e(&r.err);
    if (device)
        o.setDevice(device);
    r.code = runCompareReport(args, o, e);
    o.flush();
    e.flush();
    return r;
}

ReportRun reportApart(const QStringList& args, bool unprivileged, rlim_t descriptors,
                      bool readerGone) {
    int pipes[2][2];
    if (::pipe(pipes[0]) != 0 || ::pipe(pipes[1]) != 0)
        return {-1, {}, {}};
    if (readerGone)
        ::close(pipes[0][0]);
    const pid_t child = ::fork();
    if (child == 0) {
        if (unprivileged && ::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        const rlimit low{descriptors, descriptors};
        if (descriptors && ::setrlimit(RLIMIT_NOFILE, &low) != 0)
            ::_exit(101);
        ::dup2(pipes[0][1], 1);
        ::dup2(pipes[1][1], 2);
        ::_exit(runCommandLine(args));
    }
    ReportRun r{-1, {}, {}};
    for (int i : {0, 1}) {
        ::close(pipes[i][1]);
        if (readerGone && i == 0)
            continue;
        QFile in;
        in.open(pipes[i][0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        (i ? r.err : r.out) = QString::fromUtf8(in.readAll());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class Report : public ::testing::Test {
protected:
    void SetUp() override {
        const QDateTime t(QDate(2024, 1, 2), QTime(3, 4, 5), Qt::UTC);
        for (const auto& [name, content] :
             {std::pair{"both.txt", "12345"}, {"left.txt", "1"}, {".dot", "1"}})
            source.write(QString::fromLatin1(name), content, t);
        dest.write(QStringLiteral("BOTH.txt"), "123", t);
        dest.write(QStringLiteral("right.md"), "", t);
    }
    QStringList args(const QString& options, const QString& from = {}) const {
        return QStringList{QStringLiteral("--compare"), from.isNull() ? source.path() : from,
                           dest.path()} +
               options.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    TempTree source, dest;
};

TEST_F(Report, JsonHasOneObjectPerRowWithNullPlaceholders) {
    const ReportRun r = report(args(QStringLiteral("--json")));
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject left = rows[0][QStringLiteral("source")].toObject();
    EXPECT_EQ(left,
              (QJsonObject{{QStringLiteral("name"), QStringLiteral("both.txt")},
                           {QStringLiteral("size"), 5},
                           {QStringLiteral("modified"), QStringLiteral("2024-01-02T03:04:05")}}));
    EXPECT_EQ(rows[0][QStringLiteral("destination")][QStringLiteral("name")],
              QStringLiteral("BOTH.txt"));
    EXPECT_TRUE(rows[1][QStringLiteral("destination")].isNull() &&
                rows[2][QStringLiteral("source")].isNull());
    // Written row by row, in the very form of Qt's own writer, escapes included.
    source.writeRaw("q\"b\\s\xc3\xa9\x01");
    for (const QString& options :
         {QStringLiteral("--json"), QStringLiteral("--json --pattern x")}) {
        const QByteArray json = report(args(options)).out.toUtf8();
        EXPECT_EQ(json, QJsonDocument::fromJson(json).toJson()) << json.toStdString();
    }
}

TEST_F(Report, TextHasOneLinePerRowWithControlCharactersEscaped) {
    source.writeRaw("bad\nname\x1b[2J\r.txt", "1");
    const ReportRun text = report(args(QStringLiteral("--pattern *.txt")));
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << text.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("bad\\x0Aname\\x1B[2J\\x0D.txt")));
    EXPECT_FALSE(text.out.contains(QLatin1Char('\x1b')) || text.out.contains(QLatin1Char('\r')));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("5 bytes")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("| BOTH.txt  3 bytes")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral("|"))) << "a placeholder stays blank";
    EXPECT_EQ(lines[1].indexOf(QLatin1Char('|')), lines[2].indexOf(QLatin1Char('|')));
}

TEST_F(Report, FailuresExitNonZeroWithTheReason) {
    source.write(QStringLiteral("file"));
    ASSERT_EQ(::symlink("loop", QFile::encodeName(source.filePath(QStringLiteral("loop")))), 0);
    const std::tuple<QString, int, const char*> cases[] = {
        {source.filePath(QStringLiteral("nope")), 2, "nope: no such folder"},
        {source.filePath(QStringLiteral("file")), 2, "file: Not a directory"},
        {source.filePath(QStringLiteral("loop")), 2, "loop: Too many levels of symbolic links"},
        {QStringLiteral(""), 1, "the SOURCE folder name is empty"}};
    for (const auto& [folder, code, says] : cases) {
        const ReportRun r = report(args({}, folder));
        EXPECT_TRUE(r.code == code && r.err.contains(QLatin1String(says)) && r.out.isEmpty())
            << r.err.toStdString();
    }
    EXPECT_EQ(report(args(QStringLiteral("--bogus"))).code, 1);
    QBuffer unwritable;
    unwritable.open(QIODevice::ReadOnly);
    const ReportRun r = report(args(QStringLiteral("--json")), &unwritable);
    EXPECT_TRUE(r.code == 3 && r.err.contains(QStringLiteral("cannot write the report")));
    // A reader gone (or a full disk) refuses even the few bytes of a small
    // report or plan, once flushed.
    for (const char* options : {"--json", "-r", "--dry-run", "--dry-run --json"}) {
        QStringList command = args(QString::fromLatin1(options));
        if (options[2] == 'd') // the plan
            command =
                QStringList{QStringLiteral("--sync"), QStringLiteral("both")} + command.mid(1);
        const ReportRun gone = reportApart(command, false, 0, true);
        EXPECT_TRUE(gone.code == 3 && gone.err.contains(QStringLiteral("cannot write")))
            << command.join(QLatin1Char(' ')).toStdString() << ": " << gone.code;
    }
}

TEST_F(Report, FolderPathsKeepTheirBytes) {
    const QByteArray raw = QFile::encodeName(source.path()) + "/caf\xe9";
    ASSERT_EQ(::mkdir(raw.constData(), 0700), 0);
    ASSERT_EQ(::symlink("../x", raw + "/inner"), 0);
    const ReportRun r = report(args(QStringLiteral("--system"), nameText(raw)));
    EXPECT_TRUE(r.out.contains(QStringLiteral("\ninner  4 bytes"))) << r.err.toStdString();
    // A raw byte and the text of its escape are two names, shown apart.
    source.writeRaw("caf\xe9/x\xe9");
    dest.writeRaw("x\\xE9");
    const QString rows = report(args({}, nameText(raw))).out;
    EXPECT_TRUE(rows.contains(QStringLiteral("\nx\\xE9 ")) &&
                rows.contains(QStringLiteral("| x\\\\xE9")))
        << rows.toStdString();
    EXPECT_FALSE(isReportInvocation({QStringLiteral("My"), QStringLiteral("--json")}));
}

TEST_F(Report, EachRowGetsItsStatusByStatsOrContentsAndChangedLeavesOutTheSame) {
    const QDateTime t(QDate(2024, 5, 6), QTime(0, 0, 0), Qt::UTC); // midnight
    // name, Source (content, seconds after t), Destination (null content: no
    // file), the status by size and time, and with --contents.
    const std::tuple<const char*, const char*, int, const char*, int, const char*, const char*>
        cases[] = {{"s1", "abc", 0, "abc", 0, "same", "same"},
                   {"s2", "a", 10, "a", 0, "source-newer", "same-contents"},
                   {"s3", "abcd", 0, "a", 10, "destination-newer", "destination-newer"},
                   {"s4", "a", 5, "abc", 0, "source-newer", "source-newer"},
                   {"s5", "abc", 0, "ab", 0, "differs", "differs"},
                   {"s6", "a", 0, nullptr, 0, "source-only", "source-only"},
                   {"s7", nullptr, 0, "a", 0, "destination-only", "destination-only"},
                   {"s8", "a", 0, "a", 0, "case", "case"}, // Destination's name is S8
                   {"s9", "abc", 1, "abd", 0, "same", "differs"},
                   // The tolerance (2 s) on its boundary, both ways.
                   {"sa", "a", 2, "a", 0, "same", "same"},
                   {"sb", "a", 3, "a", 0, "source-newer", "same-contents"},
                   {"sc", "a", 0, "a", 2, "same", "same"},
                   {"sd", "a", 0, "a", 3, "destination-newer", "same-contents"}};
    for (const auto& [name, left, leftAge, right, rightAge, quick, contents] : cases) {
        if (left)
            source.write(QString::fromLatin1(name), left, t.addSecs(leftAge));
        if (right)
            dest.write(name[1] == '8' ? QStringLiteral("S8") : QString::fromLatin1(name), right,
                       t.addSecs(rightAge));
    }
    for (const auto& [options, byContents, changed] : {std::tuple{"", false, false},
                                                       {" --changed", false, true},
                                                       {" -c", true, false},
                                                       {" --contents --changed", true, true}}) {
        QStringList expected, got;
        for (const auto& [name, l, la, r, ra, quick, contents] : cases) {
            const char* status = byContents ? contents : quick;
            if (!changed || (qstrcmp(status, "same") && qstrcmp(status, "same-contents")))
                expected << QLatin1String(name) + QLatin1Char('=') + QLatin1String(status);
        }
        const QJsonArray rows =
            QJsonDocument::fromJson(
                report(args(QStringLiteral("--pattern s? --json") + QLatin1String(options)))
                    .out.toUtf8())
                .array();
        for (const QJsonValue row : rows) {
            const QJsonValue side = row[QLatin1String(
                row[QLatin1String("source")].isNull() ? "destination" : "source")];
            got << side[QStringLiteral("name")].toString() + QLatin1Char('=') +
                       row[QStringLiteral("status")].toString();
        }
        EXPECT_EQ(got, expected) << options;
    }
    // The status between the sides, padded; a time at midnight shown in full.
    const QStringList lines = report(args(QStringLiteral("--pattern s? -c --changed")))
                                  .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("s3  4 bytes  5/6/24 12:00:00 AM")) &&
                lines[0].contains(QStringLiteral(" | destination-newer | s3  1 bytes  ")))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[4].contains(QStringLiteral(" | destination-only  | s7  ")) &&
                lines[5].contains(QStringLiteral(" | case              | S8 ")))
        << lines[4].toStdString();
}

// One level lists a link by what it leads to, and so compares it by contents.
TEST_F(Report, ByContentsALinkAtTheTopIsComparedByWhatItLeadsTo) {
    const QDateTime t(QDate(2024, 5, 6), QTime(1, 0, 0), Qt::UTC);
    TempTree targets;
    for (const auto& [name, left, right] : {std::tuple{"la", "abc", "abc"}, {"lb", "abc", "abd"}}) {
        for (const auto& [tree, bytes] : {std::pair{&source, left}, {&dest, right}}) {
            const QString target = QString::fromLatin1(name) + (tree == &source ? "-s" : "-d");
            targets.write(target, bytes, t);
            ASSERT_EQ(::symlink(QFile::encodeName(targets.filePath(target)).constData(),
                                QFile::encodeName(tree->filePath(QString::fromLatin1(name)))),
                      0);
        }
    }
    const ReportRun r = report(args(QStringLiteral("--pattern l? -c")));
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("| same ")) &&
                r.out.contains(QStringLiteral("| differs ")))
        << r.out.toStdString();
}

TEST_F(Report, RecursiveListsEveryPathFolderFirstEachFolderSayingWhatLiesBelow) {
    const QDateTime t(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    for (TempTree* side : {&source, &dest})
        for (const char* name : {"k/same/x", "k/deep/er/x", "k/Case/x"})
            side->write(QString::fromLatin1(name), "1", t);
    dest.write(QStringLiteral("k/deep/er/x"), "2", t.addSecs(10)); // three levels down
    ::rename(QFile::encodeName(dest.filePath(QStringLiteral("k/Case"))),
             QFile::encodeName(dest.filePath(QStringLiteral("k/case"))));
    source.write(QStringLiteral("k/alone/y"), "1", t);
    const QByteArray json = report(args(QStringLiteral("-r --json --pattern x"))).out.toUtf8();
    EXPECT_EQ(json, QJsonDocument::fromJson(json).toJson()) << "in the very form of Qt's writer";
    const QJsonArray rows = QJsonDocument::fromJson(json).array();
    QStringList got;
    for (const QJsonValue row : rows)
        got << row[QStringLiteral("path")].toString() + QLatin1Char('=') +
                   row[QStringLiteral("status")].toString();
    EXPECT_EQ(
        got.join(QLatin1Char(' ')),
        QStringLiteral("k=differs k/alone=source-only k/Case=case k/Case/x=same k/deep=differs "
                       "k/deep/er=differs k/deep/er/x=destination-newer k/same=same "
                       "k/same/x=same"));
    EXPECT_TRUE(rows[0][QStringLiteral("source")][QStringLiteral("folder")].toBool() &&
                !rows[0][QStringLiteral("source")].toObject().contains(QStringLiteral("size")));
    // Left out by name anywhere, or by path from the two folders.
    source.write(QStringLiteral("k/same/cache/x"), "1", t);
    EXPECT_EQ(report(args(QStringLiteral("-r --changed --pattern x --exclude deep --exclude "
                                         "k/same/cache --exclude k/alone --exclude Case")))
                  .out,
              QString());
    EXPECT_EQ(report(args(QStringLiteral("-r --exclude"))).code, 1);
    for (const char* name : {".git/x", ".github/x", ".gitignore"})
        source.write(QLatin1String("k/same/") + QLatin1String(name), "1", t);
    const QString kept = report(args(QStringLiteral("--exclude .git -r --hidden"))).out;
    EXPECT_TRUE(kept.contains(QLatin1String("same/.github/x")) &&
                kept.contains(QLatin1String("same/.gitignore")) &&
                !kept.contains(QLatin1String(".git/")))
        << "a name, not a start of one: " << kept.toStdString();
    ::unlink(QFile::encodeName(source.filePath(QStringLiteral("k/same/cache/x"))));
    ::rmdir(QFile::encodeName(source.filePath(QStringLiteral("k/same/cache"))));
    const QString text = report(args(QStringLiteral("--recursive --changed --pattern x"))).out;
    EXPECT_TRUE(text.startsWith(QStringLiteral("k/ ")) &&
                text.contains(QStringLiteral("\nk/deep/er/x  1 bytes")) &&
                text.contains(QStringLiteral("| k/deep/er/x  1 bytes")) &&
                !text.contains(QStringLiteral("k/same")) && text.count(QLatin1Char('\n')) == 6)
        << text.toStdString();
    // Rows longer than the block they are gathered in, one path longer on its
    // own, one below a folder whose name needs escapes.
    const QString n200 = QString(200, QLatin1Char('n')) + QLatin1Char('/');
    const QStringList longPaths = {QStringLiteral("p/") + n200.repeated(6) + QLatin1Char('x'),
                                   QStringLiteral("q\"/") + n200.repeated(5) + QLatin1Char('x')};
    for (const QString& path : longPaths)
        source.write(path, "1", t);
    const QByteArray longJson = report(args(QStringLiteral("-r --json --pattern x"))).out.toUtf8();
    EXPECT_EQ(longJson, QJsonDocument::fromJson(longJson).toJson());
    QStringList paths;
    for (const QJsonValue row : QJsonDocument::fromJson(longJson).array())
        paths << row[QStringLiteral("path")].toString();
    for (const QString& path : longPaths)
        EXPECT_TRUE(paths.contains(path)) << path.toStdString();
}

// Below the top, a folder's files may still be being read while the walk
// lists the next folders: each row still gets its own verdict, in order.
TEST_F(Report, ByContentsEveryRowGetsItsVerdictWhileTheWalkGoesOn) {
    const QDateTime t(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    QStringList expected{QStringLiteral("k=differs")}, changed{QStringLiteral("k/")};
    // A first folder of enough rows for the walk to read beside, then more
    // folders than it leaves unsettled at once.
    for (int f = 0; f < 40; ++f) {
        const QString folder = QStringLiteral("k/s%1").arg(f, 2, 10, QLatin1Char('0'));
        const bool differs = f % 13 == 3;
        expected << folder + (differs ? "=differs" : "=same");
        for (int n = 0; n < (f ? 2 : 4100); ++n) {
            const QString path = folder + QStringLiteral("/f%1").arg(n, 4, 10, QLatin1Char('0'));
            const bool here = differs && n == 1;
            source.write(path, "12", t);
            dest.write(path, here ? "13" : "12", t);
            expected << path + (here ? "=differs" : "=same");
            if (here)
                changed << folder + '/' << path;
        }
    }
    QStringList got;
    for (const QJsonValue row :
         QJsonDocument::fromJson(
             report(args(QStringLiteral("-r -c --json --pattern f*"))).out.toUtf8())
             .array())
        got << row[QStringLiteral("path")].toString() + QLatin1Char('=') +
                   row[QStringLiteral("status")].toString();
    EXPECT_EQ(got, expected);
    got.clear();
    for (const QString& line : report(args(QStringLiteral("-r -c --changed --pattern f*")))
                                   .out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        got << line.left(line.indexOf(QLatin1Char(' ')));
    EXPECT_EQ(got, changed);
}

// What cannot be read below the two folders is its own row, named on the
// error output, and the report, written all the same, exits 2 as `diff -r`
// does; a walk out of descriptors fails as a whole, with no report.
TEST_F(Report, WhatCannotBeReadBelowIsUnreadableAndExitsTwo) {
    const QDateTime t(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC);
    for (TempTree* side : {&source, &dest})
        for (const char* name : {"pair/x", "ok/x", "secret"})
            side->write(QString::fromLatin1(name), "1", t);
    source.write(QStringLiteral("lone/y"), "1", t);
    for (const TempTree* side : {&source, &dest})
        ASSERT_EQ(::chmod(QFile::encodeName(side->path()), 0755), 0);
    for (const auto& [side, name] :
         {std::pair{&dest, "pair"}, {&source, "lone"}, {&dest, "secret"}})
        ASSERT_EQ(::chmod(QFile::encodeName(side->filePath(QString::fromLatin1(name))), 0), 0);
    const ReportRun r = reportApart(args(QStringLiteral("-r -c --json")), true);
    QStringList got;
    for (const QJsonValue row : QJsonDocument::fromJson(r.out.toUtf8()).array())
        got << row[QStringLiteral("path")].toString() + QLatin1Char('=') +
                   row[QStringLiteral("status")].toString();
    EXPECT_EQ(r.code, 2) << r.err.toStdString();
    EXPECT_TRUE(got.contains(QStringLiteral("pair=unreadable")) &&
                got.contains(QStringLiteral("lone=unreadable")) &&
                got.contains(QStringLiteral("secret=unreadable")) &&
                got.contains(QStringLiteral("ok/x=same")))
        << got.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(r.err.count(QStringLiteral("Permission denied")), 3) << r.err.toStdString();
    // The plan names each on its own side.
    const QString err =
        reportApart(QStringList{QStringLiteral("--sync"), QStringLiteral("update")} +
                        args(QStringLiteral("--dry-run")).mid(1),
                    true)
            .err;
    EXPECT_TRUE(err.contains(dest.filePath(QStringLiteral("pair"))) &&
                !err.contains(source.filePath(QStringLiteral("pair"))))
        << err.toStdString();

    // Deeper than a few descriptors reach: out of them in entering a folder
    // or in listing it, by the limit's parity.
    QString deep;
    for (int i = 0; i < 60; ++i)
        deep += QStringLiteral("d/");
    source.write(deep + "leaf", "1", t);
    dest.write(deep + "leaf", "1", t);
    const int next = ::dup(0);
    ::close(next);
    for (const int more : {30, 31}) {
        const ReportRun out = reportApart(args(QStringLiteral("-r")), false, rlim_t(next + more));
        EXPECT_TRUE(out.code == 2 && out.out.isEmpty() &&
                    out.err.contains(QStringLiteral("Too many open files")))
            << more << ": " << out.code << out.err.toStdString();
    }
}

// Two trees of `files` files each, in folders of 100, every pair of equal
// size and bytes: all of them read by a report by contents.
void makeTrees(const QByteArray& top, int files) {
    for (const char* side : {"/a", "/b"}) {
        ::mkdir(top + side, 0700);
        for (int f = 0; f < files; ++f) {
            const QByteArray folder = top + side + '/' + QByteArray::number(f / 100);
            if (f % 100 == 0)
                ::mkdir(folder.constData(), 0700);
            const QByteArray name = folder + "/f" + QByteArray::number(f);
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0600);
            const QByteArray bytes = QByteArray::number(1000000 + f);
            ASSERT_TRUE(fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) > 0);
            ::close(fd);
        }
    }
}

// The peak memory of a report by contents grows by a few bytes a file at
// most, however many there are: a level is let go once walked, and the
// digests read wait in a buffer of bounded size. Each run is a child of
// its own, measured against a smaller run's that fills that buffer too: the
// small trees are made first, so that the big ones' making lets their files
// settle (digests are kept only of files a second old).
TEST_F(Report, ByContentsItsPeakMemoryIsAFewBytesAFile) {
    QTemporaryDir memory(QStringLiteral("/dev/shm/duoscope-test-XXXXXX"));
    ASSERT_TRUE(memory.isValid());
    auto top = [&](int files) {
        return QFile::encodeName(memory.filePath(QString::number(files)));
    };
    constexpr int few = 40000, many = 100000;
    for (const int files : {few, many}) {
        ::mkdir(top(files).constData(), 0700);
        makeTrees(top(files), files);
    }
    auto peakKiB = [&](int files) -> long {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("XDG_CACHE_HOME", top(files) + "/cache", 1);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::_exit(
                runCommandLine({QStringLiteral("--compare"), QFile::decodeName(top(files) + "/a"),
                                QFile::decodeName(top(files) + "/b"), QStringLiteral("-r"),
                                QStringLiteral("-c"), QStringLiteral("--json")}));
        }
        int status = -1;
        rusage usage{};
        ::wait4(child, &status, 0, &usage);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << files << " files";
        return usage.ru_maxrss;
    };
    const long small = peakKiB(few), large = peakKiB(many);
    const double bytesAFile = double(large - small) * 1024 / (2 * (many - few));
    EXPECT_LT(bytesAFile, 16) << small << " KiB for 2 × " << few << " files, " << large
                              << " KiB for 2 × " << many;
}

} // namespace
