#include "fileops/sync_guards.h"

#include "base/name_text.h"
#include "fs/folder_chain.h"
#include "fs/unique_fd.h"
#include "sync/sync_plan.h"

#include <QFile>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

namespace {

// A mount that shows a folder of its file system other than the root there
// (a bind mount of a folder), and that folder's identity.
struct BoundFolder {
    FolderId id;
    QByteArray root; // the folder's path in its file system
};

// A mount of the file system whose root folder is `root` in it, at `point`.
struct MountView {
    dev_t device;
    QByteArray root, point;
};

// mountinfo's fields escape blanks, tabs, new lines and backslashes as \ooo.
QByteArray unescaped(QByteArrayView field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.sliced(i + 1, 3).toByteArray().toInt(&ok, 8);
            if (ok) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<MountView> mountViews() {
    std::vector<MountView> views;
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return views;
    for (const QByteArray& line : file.readAll().split('\n')) {
        // "id parent major:minor root point options ..."
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() < 5)
            continue;
        const QList<QByteArray> numbers = fields[2].split(':');
        if (numbers.size() != 2)
            continue;
        views.push_back({makedev(numbers[0].toUInt(), numbers[1].toUInt()), unescaped(fields[3]),
                         unescaped(fields[4])});
    }
    return views;
}

// The folders that hold the one open at `fd`, itself first, by identity: up
// its parents, and where a bind mount shows one of them, up that folder's
// parents in its own file system too, reached through a mount of the file
// system that shows them.
class Holders {
public:
    explicit Holders(const std::vector<MountView>& views) : m_views(views) {}

    void collect(int fd, int depth = 0) {
        UniqueFd at{::fcntl(fd, F_DUPFD_CLOEXEC, 0)};
        for (int steps = 0; at.fd >= 0 && steps < 4096; ++steps) {
            struct stat here {};
            if (::fstat(at.fd, &here) != 0)
                return;
            const FolderId id = FolderId::of(here);
            if (std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end())
                return;
            m_ids.push_back(id);
            if (depth < 8)
                followBindMounts(here, depth);
            UniqueFd up{::openat(at.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)};
            struct stat parent {};
            if (up.fd < 0 || ::fstat(up.fd, &parent) != 0 || FolderId::of(parent) == id)
                return; // the root
            std::swap(at.fd, up.fd);
        }
    }

    bool contains(const FolderId& id) const {
        return std::find(m_ids.begin(), m_ids.end(), id) != m_ids.end();
    }

private:
    void followBindMounts(const struct stat& here, int depth) {
        for (const MountView& bound : m_views) {
            if (bound.device != here.st_dev || bound.root == "/")
                continue;
            struct stat top {};
            if (::stat(bound.point.constData(), &top) != 0 ||
                !(FolderId::of(top) == FolderId::of(here)))
                continue;
            for (const MountView& whole : m_views) {
                const bool holds = whole.root == "/" || bound.root.startsWith(whole.root + '/');
                if (&whole == &bound || whole.device != bound.device || !holds)
                    continue;
                const QByteArray path =
                    whole.point + bound.root.mid(whole.root == "/" ? 0 : whole.root.size());
                UniqueFd same{::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
                struct stat st {};
                if (same.fd < 0 || ::fstat(same.fd, &st) != 0 ||
                    !(FolderId::of(st) == FolderId::of(here)))
                    continue;
                UniqueFd up{::openat(same.fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC)};
                if (up.fd >= 0)
                    collect(up.fd, depth + 1);
            }
        }
    }

    const std::vector<MountView>& m_views;
    std::vector<FolderId> m_ids;
};

} // namespace

FsResult checkSyncFolders(const QByteArray& source, const QByteArray& destination) {
    // The tops as the walk opens them: a link given there is followed.
    const UniqueFd s{::open(folderPath(source).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    const UniqueFd d{::open(folderPath(destination).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
    struct stat ss {
    }, sd{};
    if (s.fd < 0 || d.fd < 0 || ::fstat(s.fd, &ss) != 0 || ::fstat(d.fd, &sd) != 0)
        return {};
    if (FolderId::of(ss) == FolderId::of(sd))
        return FsError(
            EINVAL, nameText(source),
            QStringLiteral("Source and Destination are the same folder: nothing to synchronize"));
    const std::vector<MountView> views = mountViews();
    Holders aboveSource(views), aboveDestination(views);
    aboveSource.collect(s.fd);
    if (aboveSource.contains(FolderId::of(sd)))
        return FsError(EINVAL, nameText(source),
                       QStringLiteral("Source lies inside Destination: Synchronize would change "
                                      "the folder it copies from"));
    aboveDestination.collect(d.fd);
    if (aboveDestination.contains(FolderId::of(ss)))
        return FsError(EINVAL, nameText(destination),
                       QStringLiteral("Destination lies inside Source: Synchronize would copy "
                                      "the tree into itself"));
    return {};
}

bool deletesAllOfDestination(const SyncPlan& plan) {
    const FolderRows& rows = *plan.rows;
    if (rows.destination.count() == 0 ||
        plan.count(SyncAction::DeleteRight) != rows.destination.count())
        return false;
    // A row below a folder tells that both sides have the folder: it stays.
    for (qsizetype r = 0; r < rows.count(); ++r) {
        for (const Side side : {Side::Source, Side::Destination}) {
            const qint32 i = rows.entry(r, side);
            if (i >= 0 && rows.listing(side).fileName(i).contains('/'))
                return false;
        }
    }
    return true;
}

QString everythingDeletedQuestion() {
    return QStringLiteral("This run deletes every file and folder Destination holds: Source "
                          "has none of them. Is Source a drive that is not mounted?\r\n\r\n"
                          "Delete them all?");
}
