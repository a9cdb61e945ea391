#include "core/tree_compare.h"

#include "core/content_check.h"
#include "core/name_text.h"
#include "core/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// A path as the walk names it: with one trailing "/".
QByteArray withSlash(const QByteArray& path) {
    return path.endsWith('/') ? path : path + '/';
}

// One walk over two trees. Each level is listed as a pane would list it,
// laid out and given its statuses by the same code as the panes; only the
// folder pairs are left to the level below.
class TreeWalker {
public:
    explicit TreeWalker(const TreeOptions& options) : m_options(options) {
        m_filters = options.filters;
        m_filters.showSubfolders = 1;
        m_scan.cancel = options.cancel;
        m_scan.linksAsLinks = true;
    }

    // The folders open at `a` and `b` (-1 for none on that side). With
    // `keep`, every level is read in full into it; without, the walk stops
    // at the first difference.
    // A listing that fails throws when `mustList`, else makes the pair Unreadable.
    RowStatus walk(int a, const QByteArray& pathA, int b, const QByteArray& pathB, TreeLevel* keep,
                   bool mustList = false) {
        if (m_options.foldersWalked)
            m_options.foldersWalked->fetch_add(1, std::memory_order_relaxed);
        FolderRows local;
        FolderRows& rows = keep ? keep->rows : local;
        try {
            if (a >= 0)
                rows.source = listFilesAt(a, pathA, m_filters, m_scan);
            if (b >= 0)
                rows.destination = listFilesAt(b, pathB, m_filters, m_scan);
        } catch (const FsError&) {
            if (mustList)
                throw;
            rows = FolderRows();
            return RowStatus::Unreadable;
        }
        rows.rows = alignRows(rows.source, SortedNames(rows.source), rows.destination,
                              SortedNames(rows.destination));
        rows.computeStatuses(m_options.filters.times);

        bool differs = false, unreadable = false, otherTimes = false;
        auto note = [&](RowStatus s) {
            if (s == RowStatus::Unreadable)
                unreadable = true;
            else if (s == RowStatus::SameContents)
                otherTimes = true;
            else if (s != RowStatus::Same)
                differs = true;
            return differs && !keep;
        };
        // With contents asked, two files of equal size are the same or not
        // by their bytes, whatever their times: left to the last pass.
        auto byContents = [&](qsizetype r) {
            return m_options.contents && decidedByContents(rows, r);
        };
        // What the stats tell at this level first: the cheapest difference.
        // A link and a file are two kinds of entry, whatever their stats.
        for (qsizetype r = 0; r < rows.count(); ++r) {
            const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
            if (rows.status(r) == RowStatus::Same &&
                rows.source.isLink(i) != rows.destination.isLink(j))
                rows.setStatus(r, RowStatus::Differs);
            if (rows.status(r) != RowStatus::Checking && !byContents(r) && note(rows.status(r)))
                return RowStatus::Differs;
        }
        for (qsizetype r = 0; r < rows.count(); ++r) {
            const qint32 i = rows.entry(r, Side::Source), j = rows.entry(r, Side::Destination);
            const bool folder =
                (i >= 0 && rows.source.isFolder(i)) || (j >= 0 && rows.destination.isFolder(j));
            const bool checking = rows.status(r) == RowStatus::Checking;
            if (!folder || (!checking && !keep))
                continue;
            if ((i >= 0 && rows.source.isLink(i)) || (j >= 0 && rows.destination.isLink(j))) {
                if (checking)
                    rows.setStatus(r, linkedFolders(rows, i, j, m_options.filters.times));
            } else {
                TreeLevel* level = nullptr;
                if (keep) {
                    keep->below.emplace_back(r, std::make_unique<TreeLevel>());
                    level = keep->below.back().second.get();
                }
                const RowStatus below = enter(rows, i, a, pathA, j, b, pathB, level);
                if (checking)
                    rows.setStatus(r, below);
            }
            if (checking && note(rows.status(r)))
                return RowStatus::Differs;
        }
        if (m_options.contents) {
            for (qsizetype r = 0; r < rows.count(); ++r) {
                if (!byContents(r))
                    continue;
                const ContentVerdict v =
                    checkRowContents(rows, r, a, b, m_options.filters.times, cancelFlag(),
                                     m_options.cache, m_options.reads);
                if (v == ContentVerdict::Cancelled)
                    throw ScanCancelled{};
                if (note(v == ContentVerdict::Unreadable ? RowStatus::Unreadable : rows.status(r)))
                    return RowStatus::Differs;
            }
        }
        return differs      ? RowStatus::Differs
               : unreadable ? RowStatus::Unreadable
               : otherTimes ? RowStatus::SameContents
                            : RowStatus::Same;
    }

    // Opens the folder of row entries `i` and `j` (-1 for none) below `a`
    // and `b`, never through a link, and walks it.
    RowStatus enter(const FolderRows& rows, qint32 i, int a, const QByteArray& pathA, qint32 j,
                    int b, const QByteArray& pathB, TreeLevel* keep) {
        const QByteArray nameA = i >= 0 ? rows.source.fileName(i).toByteArray() : QByteArray();
        const QByteArray nameB = j >= 0 ? rows.destination.fileName(j).toByteArray() : QByteArray();
        const QByteArray belowA = pathA + nameA + '/', belowB = pathB + nameB + '/';
        if (m_options.beforeEntering)
            m_options.beforeEntering(belowA, belowB);
        UniqueFd fa, fb;
        for (const auto& [fd, parent, name] :
             {std::tuple{&fa, a, &nameA}, std::tuple{&fb, b, &nameB}}) {
            if (name->isEmpty())
                continue;
            fd->fd = ::openat(parent, name->constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // Gone, or no longer a folder, since the listing: not what was seen.
            if (fd->fd < 0)
                return errno == ENOENT || errno == ENOTDIR || errno == ELOOP
                           ? RowStatus::Differs
                           : RowStatus::Unreadable;
        }
        return walk(fa.fd, belowA, fb.fd, belowB, keep);
    }

    // A folder row with a link on either side: two links compare as files do.
    static RowStatus linkedFolders(const FolderRows& rows, qint32 i, qint32 j,
                                   const TimeRule& rule) {
        if (!rows.source.isLink(i) || !rows.destination.isLink(j))
            return RowStatus::Differs;
        FileStat s = rows.source.stat(i), d = rows.destination.stat(j);
        s.folder = d.folder = false;
        return rowStatus(&s, &d, false, rule);
    }

    const std::atomic<bool>& cancelFlag() const {
        static const std::atomic<bool> never{false};
        return m_options.cancel ? *m_options.cancel : never;
    }

private:
    const TreeOptions& m_options;
    FilterSettings m_filters;
    ScanOptions m_scan;
};

} // namespace

RowStatus compareTrees(const QByteArray& sourceFolder, const QByteArray& destinationFolder,
                       const TreeOptions& options) {
    // The two given are opened without following a link: the path without
    // its trailing "/", which would follow it.
    const QByteArray a = withSlash(sourceFolder).chopped(1),
                     b = withSlash(destinationFolder).chopped(1);
    const UniqueFd fa{
        ::open(a.isEmpty() ? "/" : a.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    const int errA = errno;
    const UniqueFd fb{
        ::open(b.isEmpty() ? "/" : b.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
    const int errB = errno;
    if (fa.fd < 0 || fb.fd < 0) {
        struct stat sa {
        }, sb{};
        if (::lstat(a.constData(), &sa) == 0 && ::lstat(b.constData(), &sb) == 0 &&
            S_ISLNK(sa.st_mode) && S_ISLNK(sb.st_mode)) {
            const FileStat s{qint64(sa.st_size), sa.st_mtime, false, false};
            const FileStat d{qint64(sb.st_size), sb.st_mtime, false, false};
            return rowStatus(&s, &d, false, options.filters.times);
        }
        const int err = fa.fd < 0 ? errA : errB;
        return err == ENOENT || err == ENOTDIR || err == ELOOP ? RowStatus::Differs
                                                               : RowStatus::Unreadable;
    }
    return TreeWalker(options).walk(fa.fd, withSlash(sourceFolder), fb.fd,
                                    withSlash(destinationFolder), nullptr);
}

std::unique_ptr<TreeLevel> readTrees(const QByteArray& sourceFolder,
                                     const QByteArray& destinationFolder,
                                     const TreeOptions& options) {
    auto top = std::make_unique<TreeLevel>();
    const UniqueFd fa{::open(sourceFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fa.fd < 0)
        throw FsError::fromErrno(errno, nameText(sourceFolder));
    const UniqueFd fb{::open(destinationFolder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (fb.fd < 0)
        throw FsError::fromErrno(errno, nameText(destinationFolder));
    TreeWalker(options).walk(fa.fd, withSlash(sourceFolder), fb.fd, withSlash(destinationFolder),
                             top.get(), true);
    return top;
}
