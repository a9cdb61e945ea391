#pragma once

#include "support/temp_tree.h"
#include "sync/sync_plan.h"

#include <QDirIterator>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

// Two trees holding every kind of row, at fixed times.
class SyncTrees : public ::testing::Test {
protected:
    void SetUp() override {
        const QDateTime t(QDate(2024, 3, 9), QTime(14, 5, 0), Qt::UTC), later = t.addSecs(60);
        source.write(QStringLiteral("alone_left.txt"), "12345", t);
        dest.write(QStringLiteral("alone_right.txt"), "1", t);
        source.write(QStringLiteral("sub/newer_left.txt"), "new!", later);
        dest.write(QStringLiteral("sub/newer_left.txt"), "old", t);
        source.write(QStringLiteral("sub/newer_right.txt"), "old", t);
        dest.write(QStringLiteral("sub/newer_right.txt"), "newer", later);
        source.write(QStringLiteral("sub/same_contents.txt"), "abc", t);
        dest.write(QStringLiteral("sub/same_contents.txt"), "abc", later);
        source.write(QStringLiteral("differs.txt"), "aa", t);
        dest.write(QStringLiteral("differs.txt"), "bbb", t);
        source.write(QStringLiteral("same.txt"), "same", t);
        dest.write(QStringLiteral("same.txt"), "same", t);
        source.write(QStringLiteral("build.o"), "excluded", later);
        source.write(QStringLiteral("lonedir/inner.txt"), "in", t);
        dest.write(QStringLiteral("rightdir/x.txt"), "x", t);
        source.write(QStringLiteral("clash/in.txt"), "folder here", t); // a file of that name there
        dest.write(QStringLiteral("clash"), "file", t);
        // Folders too: a time of today's would print wider or narrower on
        // other days and hours, moving the report's columns.
        for (const TempTree* tree : {&source, &dest}) {
            QDirIterator it(tree->path(), QDir::Dirs | QDir::NoDotAndDotDot,
                            QDirIterator::Subdirectories);
            while (it.hasNext())
                setTime(it.next(), t);
        }
    }

    static void setTime(const QString& path, const QDateTime& when) {
        const struct timespec times[2] = {{when.toSecsSinceEpoch(), 0},
                                          {when.toSecsSinceEpoch(), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }

    // The filters the plans are made under: *.o excluded, contents compared.
    static TreeOptions options() {
        TreeOptions options;
        options.filters.excludeNames = QStringLiteral("*.o");
        options.contents = true;
        return options;
    }
    SyncPlan plan(SyncMode mode) const { return planSync(src, dst, mode, options()); }

    // An entry's path on the side that has it (Source's when both), a folder's with "/".
    static QString pathOf(const SyncPlan& p, const SyncEntry& e) {
        const Side side = p.path(e, Side::Source).isEmpty() ? Side::Destination : Side::Source;
        const qint32 i = p.rows->entry(e.row, side);
        return QString::fromUtf8(p.path(e, side)) +
               (p.rows->listing(side).isFolder(i) ? QStringLiteral("/") : QString());
    }

    // "path=action" for every entry.
    static std::map<QString, QString> actions(const SyncPlan& p) {
        std::map<QString, QString> out;
        for (const SyncEntry& e : p.entries)
            EXPECT_TRUE(out.emplace(pathOf(p, e), syncActionKey(e.action)).second)
                << pathOf(p, e).toStdString();
        return out;
    }

    TempTree source, dest;
    const QByteArray src = QFile::encodeName(source.path()), dst = QFile::encodeName(dest.path());
};
