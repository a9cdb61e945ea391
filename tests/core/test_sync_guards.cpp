#include "fileops/sync_command.h"
#include "fs/folder_chain.h"
#include "support/temp_tree.h"

#include <QDir>
#include <QTextStream>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Outcome {
    int code;
    QString out, err;
};

Outcome sync(const QString& args) {
    Outcome r;
    QTextStream o(&r.out), e(&r.err);
    r.code = runSyncCommand(args.split(QLatin1Char(' ')), o, e);
    o.flush();
    e.flush();
    return r;
}

// Mounts the folder `from` at `at` as well (as root; false where not allowed).
bool bind(const QString& from, const QString& at) {
    return ::mount(QFile::encodeName(from).constData(), QFile::encodeName(at).constData(), nullptr,
                   MS_BIND, nullptr) == 0;
}

void unbind(const QString& at) {
    ::umount2(QFile::encodeName(at).constData(), MNT_DETACH);
}

// D holds src/a.txt, a link to src and an empty folder; relative paths are
// taken from D.
class SyncGuards : public ::testing::Test {
protected:
    void SetUp() override {
        dest.write(QStringLiteral("src/a.txt"), "1");
        dest.mkdir(QStringLiteral("empty"));
        ASSERT_EQ(::symlink("src", QFile::encodeName(dest.filePath(QStringLiteral("link")))), 0);
        ASSERT_TRUE(QDir::setCurrent(dest.path()));
    }
    void TearDown() override { QDir::setCurrent(QDir::tempPath()); }
    TempTree dest, other;
};

TEST_F(SyncGuards, RefusesTopsThatAreOneFolderOrOneInsideTheOther) {
    // Source and Destination, "D" for D's full path.
    for (const char* tops :
         {"src .", ". src/", "link D", "D/src/.. .", "src/../link src", "empty link/.."}) {
        const QString args = QString::fromLatin1(tops).replace(QLatin1Char('D'), dest.path());
        const Outcome r = sync(QStringLiteral("--sync mirror %1 --permanently").arg(args));
        EXPECT_TRUE(r.code == 2 && r.err.contains(QLatin1String("inside")) !=
                                       r.err.contains(QLatin1String("the same folder")))
            << tops << ": " << r.code << " " << r.err.toStdString();
    }
    EXPECT_EQ(dest.read(QStringLiteral("src/a.txt")), "1");
    EXPECT_EQ(sync(QStringLiteral("--sync mirror empty src --dry-run")).code, 0) << "siblings";
}

// Through bind mounts: a folder inside the other is refused both ways; a
// mount point that cannot be deleted fails as the command line says it; a
// drive's trash at its top (here a mount's root) is never data, however it
// is spelled but ".Trash-" and digits.
TEST_F(SyncGuards, WhatBindMountsShow) {
    if (!bind(dest.filePath(QStringLiteral("src")), other.path()))
        GTEST_SKIP() << "mount --bind is not allowed here: " << std::strerror(errno);
    const Outcome in = sync(QStringLiteral("--sync mirror %1 . --permanently").arg(other.path()));
    const Outcome holds =
        sync(QStringLiteral("--sync mirror . %1 --permanently").arg(other.path()));
    unbind(other.path());
    EXPECT_TRUE(in.code == 2 && in.err.contains(QLatin1String("Source lies inside")))
        << in.err.toStdString();
    EXPECT_TRUE(holds.code == 2 && holds.err.contains(QLatin1String("Destination lies inside")))
        << holds.err.toStdString();
    EXPECT_EQ(dest.read(QStringLiteral("src/a.txt")), "1");

    TempTree empty;
    ASSERT_TRUE(bind(other.path(), dest.filePath(QStringLiteral("empty"))));
    const Outcome busy =
        sync(QStringLiteral("--sync mirror %1 . --permanently --delete-all").arg(empty.path()));
    unbind(dest.filePath(QStringLiteral("empty")));
    EXPECT_TRUE(busy.code == 2 && busy.err.contains(QLatin1String("busy")) &&
                !busy.err.contains(QLatin1String("Cancel")))
        << busy.err.toStdString();

    ASSERT_TRUE(bind(other.path(), other.path()));
    for (const char* name : {".Trash-0/files/f", ".Trash/0/files/f", ".Trash-x/f", "t/.Trash-0"})
        other.write(QString::fromLatin1(name));
    const QString plan = QStringLiteral("--sync mirror %1 --hidden --dry-run --json");
    const QString plans = sync(plan.arg(other.path() + QStringLiteral(" ."))).out +
                          sync(plan.arg(QStringLiteral(". ") + other.path())).out;
    unbind(other.path());
    EXPECT_TRUE(plans.count(QLatin1String("\".Trash-x\"")) == 4 &&
                plans.count(QLatin1String("\"t\"")) == 4 &&
                !plans.contains(QLatin1String("Trash-0")) &&
                !plans.contains(QLatin1String("\".Trash\"")))
        << plans.toStdString();
}

TEST_F(SyncGuards, MirrorDeletingAllOfDestinationNeedsDeleteAll) {
    ASSERT_TRUE(QFile::remove(dest.filePath(QStringLiteral("link"))));
    const QString run = QStringLiteral("--sync mirror %1 . --permanently").arg(other.path());
    const Outcome refused = sync(run);
    EXPECT_TRUE(refused.code == 2 && refused.err.contains(QLatin1String("--delete-all")))
        << refused.err.toStdString();
    EXPECT_EQ(dest.read(QStringLiteral("src/a.txt")), "1");
    other.write(QStringLiteral("empty/kept"));
    EXPECT_EQ(sync(run).code, 0) << "a folder both have stays";
    EXPECT_EQ(sync(run + QStringLiteral(" --delete-all")).code, 0);
    EXPECT_EQ(QDir(dest.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("empty")});
}

} // namespace
