#include "remote/remote_side.h"

#include "base/name_text.h"
#include "remote/remote_changes.h"
#include "remote/remote_digest.h"
#include "remote/remote_trash.h"
#include "remote/ssh_link.h"

#include <QDateTime>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace {

// Levels whose folders and links are kept at most: a walk leaves each
// behind as it goes up, other callers' are dropped past this.
constexpr qsizetype keptLevels = 64;
// Subfolders listed in one command at most, and their entries held at most
// until the walk enters them.
constexpr size_t listedTogether = 256;
constexpr qsizetype heldBelow = 50000;

using FolderIdKey = std::pair<quint64, quint64>; // device, inode

mode_t typeBits(char type) {
    switch (type) {
    case 'f':
        return S_IFREG;
    case 'd':
        return S_IFDIR;
    case 'l':
        return S_IFLNK;
    case 'p':
        return S_IFIFO;
    case 's':
        return S_IFSOCK;
    case 'c':
        return S_IFCHR;
    case 'b':
        return S_IFBLK;
    default:
        return 0;
    }
}

unsigned char direntType(char type) {
    return type == 'f'   ? DT_REG
           : type == 'd' ? DT_DIR
           : type == 'l' ? DT_LNK
           : type == 'p' ? DT_FIFO
           : type == 's' ? DT_SOCK
           : type == 'c' ? DT_CHR
           : type == 'b' ? DT_BLK
                         : DT_UNKNOWN;
}

} // namespace

void RemoteSide::toStat(const RemoteEntry& e, struct stat& st) {
    st = {};
    st.st_mode = typeBits(e.type) | (e.mode & 07777);
    st.st_size = off_t(e.size);
    st.st_mtim = e.modified;
    st.st_ctim = e.changed;
    st.st_dev = dev_t(e.device);
    st.st_ino = ino_t(e.inode);
    st.st_nlink = 1;
}

namespace {

FileIdentity identityOf(const RemoteEntry& e) {
    return {dev_t(e.device), ino_t(e.inode), off_t(e.size), e.modified, e.changed};
}

// A link that leads nowhere, round in a loop, or where find could not look.
bool leadsNowhere(char target) {
    return target == 'N' || target == 'L' || target == '?';
}

// The last line of a complaint: ssh's and the host's tools' decisive words.
QByteArray lastLine(const QByteArray& complaint) {
    const QByteArray text = complaint.trimmed();
    return text.mid(text.lastIndexOf('\n') + 1).trimmed();
}

// The error a complaint in the C locale's words tells; EIO for any other.
int errorOf(const QByteArray& complaint) {
    static const std::pair<const char*, int> words[] = {
        {"No such file or directory", ENOENT},
        {"Not a directory", ENOTDIR},
        {"Permission denied", EACCES},
        {"Too many levels of symbolic links", ELOOP},
        {"Directory not empty", ENOTEMPTY},
        {"Is a directory", EISDIR},
        {"Operation not permitted", EPERM},
        {"Read-only file system", EROFS},
        {"File exists", EEXIST},
        {"Invalid cross-device link", EXDEV}};
    for (const auto& [text, number] : words) {
        if (complaint.contains(text))
            return number;
    }
    return EIO;
}

FsError complaintError(const QByteArray& complaint, const QByteArray& path) {
    const int number = errorOf(complaint);
    return number == EIO ? FsError(EIO, nameText(path), QString::fromLocal8Bit(lastLine(complaint)))
                         : FsError::fromErrno(number, nameText(path));
}

// "@seconds.nanoseconds" as touch -d takes it, before 1970 too.
QByteArray touchTime(const struct timespec& t) {
    const bool negative = t.tv_sec < 0;
    qint64 seconds = negative ? -qint64(t.tv_sec) : qint64(t.tv_sec);
    long nanoseconds = t.tv_nsec;
    if (negative && nanoseconds > 0) { // -6 s + 0.5 s is -5.5 s
        seconds -= 1;
        nanoseconds = 1000000000 - nanoseconds;
    }
    return (negative ? "@-" : "@") + QByteArray::number(seconds) + '.' +
           QByteArray::number(qint64(nanoseconds)).rightJustified(9, '0');
}

} // namespace

// The folders from a top down to the one the walk is in, each a path on
// the host whose identity the side checks at every listing of it.
class RemoteWalk final : public SideWalk {
public:
    explicit RemoteWalk(RemoteSide& side) : m_side(side) { ++m_side.m_walks; }
    ~RemoteWalk() override {
        while (!m_levels.empty())
            leave();
        if (--m_side.m_walks == 0)
            m_side.forget(); // the run's digests and early levels end with its walks
    }

    bool openTop(const QByteArray& path, bool followLink, const FolderId* expected) override {
        const QByteArray top = RemoteSide::hostPath(path);
        std::vector<RemoteEntry> found;
        if (followLink && m_side.m_top && m_side.m_top->path == top)
            found.push_back(*std::exchange(m_side.m_top, std::nullopt));
        else
            found = m_side.entries({top}, followLink);
        if (found.empty())
            return false;
        return push(top, found.front().type,
                    {dev_t(found.front().device), ino_t(found.front().inode)}, expected);
    }
    bool openTopAt(const SidePlace& place, const QByteArray& name, const QByteArray&,
                   const FolderId* expected) override {
        const QByteArray top = RemoteSide::at(place, name);
        const std::vector<RemoteEntry> found = m_side.entries({top}, false);
        return !found.empty() &&
               push(top, found.front().type,
                    {dev_t(found.front().device), ino_t(found.front().inode)}, expected);
    }
    bool enter(const QByteArray& name, const FolderId* expected) override {
        const QByteArray path = RemoteSide::at(place(), name);
        const auto level = m_side.m_kept.constFind(m_levels.back().path);
        if (level != m_side.m_kept.cend()) {
            const auto kept = level->constFind(name);
            if (kept == level->cend()) {
                errno = ENOENT;
                return false;
            }
            return push(path, kept->type, {dev_t(kept->device), ino_t(kept->inode)}, expected);
        }
        if (const auto told = m_side.m_told.constFind(path); told != m_side.m_told.cend())
            return push(path, told->type, {dev_t(told->device), ino_t(told->inode)}, expected);
        const std::vector<RemoteEntry> found = m_side.entries({path}, false);
        return !found.empty() &&
               push(path, found.front().type,
                    {dev_t(found.front().device), ino_t(found.front().inode)}, expected);
    }
    bool leave() override {
        const QByteArray path = m_levels.back().path;
        m_levels.pop_back();
        m_side.m_walked.remove(path);
        // Levels listed early that the walk did not enter (filtered) go too.
        if (const auto level = m_side.m_kept.constFind(path); level != m_side.m_kept.cend()) {
            for (auto k = level->cbegin(); k != level->cend(); ++k) {
                if (k->type == 'd')
                    m_side.dropEarly(RemoteSide::at(SidePlace::onHost(path), k.key()));
            }
        }
        m_side.m_kept.remove(path);
        m_side.m_below.remove(path);
        return true;
    }
    bool empty() const override { return m_levels.empty(); }
    SidePlace place() const override { return SidePlace::onHost(m_levels.back().path); }
    const FolderId& id() const override { return m_levels.back().id; }

private:
    bool push(const QByteArray& path, char type, const FolderId& id, const FolderId* expected) {
        if (type != 'd') {
            errno = type == 'l' ? ELOOP : ENOTDIR;
            return false;
        }
        if (expected && !(*expected == id)) {
            errno = ESTALE;
            return false;
        }
        m_levels.push_back({path, id});
        m_side.m_walked.insert(path, id);
        return true;
    }

    struct Level {
        QByteArray path;
        FolderId id;
    };
    RemoteSide& m_side;
    std::vector<Level> m_levels;
};

RemoteSide::RemoteSide(std::shared_ptr<const SshLink> link) : m_link(std::move(link)) {}

RemoteSide::~RemoteSide() = default;

FsResult RemoteSide::connect(const QByteArray& given, const QByteArray& top) {
    std::vector<RemoteEntry> found;
    RemoteListingReader reader([&](const RemoteEntry& e) { found.push_back(e); });
    const ChildResult r = m_link->run(remoteStatCommand(true), top + '\0',
                                      [&](QByteArrayView piece) { reader.feed(piece); });
    if (found.size() == 1 && reader.complete()) {
        m_top = found.front();
        return {};
    }
    if (r.exitCode != 255 && reader.complete() && errorOf(r.errors) != EIO)
        return {}; // GNU find's own words on the folder: the walk tells them
    const QByteArray why = r.startError
                               ? "ssh could not start: " + QByteArray(std::strerror(r.startError))
                           : r.exitCode == 255 ? lastLine(r.errors)
                                               : QByteArray("the host has no GNU find");
    return FsError(EHOSTUNREACH, nameText(given), QString::fromLocal8Bit(why));
}

QByteArray RemoteSide::hostPath(const QByteArray& given) {
    QByteArray path = given;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (path.isEmpty() || path == ".")
        return ".";
    return path.startsWith('/') || path.startsWith("./") ? path : "./" + path;
}

QByteArray RemoteSide::at(const SidePlace& place, QByteArrayView name) {
    const QByteArray& folder = place.hostPath();
    if (folder.isEmpty())
        return hostPath(name.toByteArray());
    if (name.isEmpty())
        return folder;
    return folderPath(folder) + name.toByteArray();
}

std::unique_ptr<SideWalk> RemoteSide::walk(size_t) {
    return std::make_unique<RemoteWalk>(*this);
}

FolderListing RemoteSide::list(const SidePlace& place, const QByteArray& path,
                               const FilterSettings& settings, const ScanOptions& options) {
    const QByteArray folder = at(place, {});
    const EntryRules rules(settings, options);
    // The host's Trash folders are listed as data: no drive's top is told from here.
    const std::function<bool()> driveTop = [] { return false; };
    const bool follow = !options.linksAsLinks;
    const auto walked = m_walked.constFind(folder);
    FolderListing listing;
    QHash<QByteArray, Kept> kept;
    bool replaced = false;
    const auto entry = [&](const RemoteEntry& e) {
        if (e.path.isEmpty()) { // the folder itself: the one the walk entered
            replaced = walked != m_walked.cend() &&
                       !(*walked == FolderId{dev_t(e.device), ino_t(e.inode)});
            return;
        }
        if (options.progress)
            options.progress->fetch_add(1, std::memory_order_relaxed);
        if (!follow) // followed, a link is not told apart
            kept.insert(e.path, e);
        const int want = rules.wanted(e.path.constData(), direntType(e.type), driveTop);
        if (want == 0)
            return;
        const bool link = e.type == 'l';
        // Followed, only a link that leads nowhere is still one.
        const bool nowhere = link && (follow || leadsNowhere(e.target));
        const char is = follow || !link ? e.type : e.target;
        if (nowhere ? !rules.admitsLeadingNowhere(want, e.path.constData())
                    : !rules.admits(typeBits(is), want, e.path.constData()))
            return;
        FileStat st{e.size, e.modified.tv_sec, !nowhere && is == 'd', nowhere};
        if (options.identities)
            st.identity = identityOf(e);
        // Followed, any entry may have been a link: stated through it.
        listing.add(e.path, st, link && !follow, follow);
    };
    QByteArray complaint;
    if (std::optional<std::vector<RemoteEntry>> early =
            follow ? std::nullopt : listedEarly(folder, options.cancel)) {
        for (const RemoteEntry& e : *early)
            entry(e);
    } else {
        complaint = listRemote(*m_link, folder, 1, entry, options.cancel, follow);
    }
    if (options.cancel && options.cancel->load())
        throw ScanCancelled{};
    if (!complaint.isEmpty())
        throw complaintError(complaint, path);
    if (replaced)
        throw FsError(ESTALE, nameText(path),
                      QStringLiteral("another folder was put in its place while it was compared"));
    if (m_kept.size() >= keptLevels)
        m_kept.clear();
    // A walk enters the subfolders next: the first it enters is listed
    // with its siblings, without a round trip each.
    if (!follow) {
        Below& below = m_below[folder];
        below = {};
        for (auto k = kept.cbegin(); k != kept.cend(); ++k) {
            if (k->type == 'd')
                below.unlisted.push_back(k.key());
        }
    }
    m_kept.insert(folder, std::move(kept));
    return listing;
}

std::optional<std::vector<RemoteEntry>> RemoteSide::listedEarly(const QByteArray& folder,
                                                                const std::atomic<bool>* cancel) {
    const auto take = [&]() -> std::optional<std::vector<RemoteEntry>> {
        const auto ready = m_early.find(folder);
        if (ready == m_early.end())
            return std::nullopt;
        std::vector<RemoteEntry> entries = std::move(*ready);
        m_early.erase(ready);
        m_earlyHeld -= qsizetype(entries.size());
        return entries;
    };
    if (m_early.contains(folder))
        return take();
    const qsizetype slash = folder.lastIndexOf('/');
    const QByteArray parentPath = slash == 0 ? QByteArray("/") : folder.left(slash);
    const auto parent = m_below.find(parentPath);
    const auto kept = m_kept.constFind(parentPath);
    if (slash < 0 || parent == m_below.end() || kept == m_kept.cend())
        return std::nullopt;
    std::vector<QByteArray>& unlisted = parent->unlisted;
    const auto it = std::find(unlisted.begin(), unlisted.end(), folder.mid(slash + 1));
    if (it == unlisted.end())
        return std::nullopt;
    // The walk goes down: this folder and its siblings not listed yet, each
    // with everything below it, in one find, each told by its identity.
    std::iter_swap(it, unlisted.end() - 1);
    std::vector<QByteArray> paths;
    QHash<FolderIdKey, QByteArray> byId;
    while (!unlisted.empty() && paths.size() < listedTogether) {
        const Kept k = kept->value(unlisted.back());
        paths.push_back(at(SidePlace::onHost(parentPath), unlisted.back()));
        unlisted.pop_back();
        byId.insert({k.device, k.inode}, paths.back());
    }
    // Each folder's level, begun by its own record (path ""); find leaves
    // a folder's level whole once it has gone past everything below it.
    QHash<QByteArray, std::vector<RemoteEntry>> levels;
    QByteArray start, last; // the folder listed from, the level the last record went to
    qsizetype held = m_earlyHeld;
    std::atomic<bool> cut{false};
    const QByteArray complaint = listRemote(
        *m_link, paths, 0,
        [&](const RemoteEntry& e) {
            if (cut || (cancel && cancel->load())) {
                cut = true;
                return;
            }
            if (e.path.isEmpty())
                start = byId.value({e.device, e.inode});
            if (start.isEmpty())
                return;
            const qsizetype at = e.path.lastIndexOf('/');
            last = at < 0 ? start : start + '/' + e.path.left(at);
            if (e.type == 'd') {
                RemoteEntry own = e;
                own.path.clear();
                levels[e.path.isEmpty() ? start : start + '/' + e.path] = {own};
            }
            if (!e.path.isEmpty()) {
                RemoteEntry named = e;
                named.path = e.path.mid(at + 1);
                levels[last].push_back(std::move(named));
            }
            // Past the bound the rest is listed when the walk comes to it.
            if (++held > heldBelow)
                cut = true;
        },
        &cut);
    if (cancel && cancel->load())
        return std::nullopt;
    // Any other complaint may have cut a level short: each is then listed alone.
    if (!cut && !complaint.isEmpty())
        return std::nullopt;
    if (cut) { // the level last filled and those holding it are not whole
        for (QByteArray open = last; open.size() > parentPath.size();
             open = open.left(std::max<qsizetype>(open.lastIndexOf('/'), 0)))
            levels.remove(open);
    }
    for (const QByteArray& p : paths) { // the one asked for is listed now, whatever came
        if (!levels.contains(p) && p != folder)
            unlisted.push_back(p.mid(p.lastIndexOf('/') + 1));
    }
    for (auto l = levels.begin(); l != levels.end(); ++l) {
        m_earlyHeld += qsizetype(l->size());
        m_early.insert(l.key(), std::move(l.value()));
    }
    return take();
}

void RemoteSide::dropEarly(const QByteArray& folder) {
    const auto level = m_early.find(folder);
    if (level == m_early.end())
        return;
    const std::vector<RemoteEntry> entries = std::move(*level);
    m_early.erase(level);
    m_earlyHeld -= qsizetype(entries.size());
    for (const RemoteEntry& e : entries) {
        if (e.type == 'd' && !e.path.isEmpty())
            dropEarly(at(SidePlace::onHost(folder), e.path));
    }
}

std::vector<RemoteEntry> RemoteSide::entries(const std::vector<QByteArray>& paths,
                                             bool follow) const {
    QByteArray input;
    for (const QByteArray& p : paths)
        input += p + '\0';
    std::vector<RemoteEntry> found;
    RemoteListingReader reader([&](const RemoteEntry& e) { found.push_back(e); });
    const ChildResult r = m_link->run(remoteStatCommand(follow), input,
                                      [&](QByteArrayView piece) { reader.feed(piece); });
    if (found.empty())
        errno = r.exitCode == 0 ? EIO : errorOf(r.errors);
    return found;
}

bool RemoteSide::stat(const SidePlace& place, const char* name, struct stat& st, bool followLink) {
    const QByteArray path = at(place, name);
    // Only a link's status depends on following it.
    if (const auto ahead = m_ahead.constFind(path);
        ahead != m_ahead.cend() && (!followLink || ahead->entry.type != 'l')) {
        toStat(ahead->entry, st);
        return true;
    }
    if (const auto told = m_told.constFind(path);
        told != m_told.cend() && (!followLink || told->type != 'l')) {
        toStat(*told, st);
        return true;
    }
    const std::vector<RemoteEntry> found = entries({path}, followLink);
    if (found.empty())
        return false;
    toStat(found.front(), st);
    return true;
}

std::optional<QByteArray> RemoteSide::linkTarget(const SidePlace& place, const char* name) {
    const auto level = m_kept.constFind(at(place, {}));
    if (level != m_kept.cend()) {
        if (const auto kept = level->constFind(name); kept != level->cend() && kept->type == 'l')
            return kept->linkTarget;
    }
    const std::vector<RemoteEntry> found = entries({at(place, name)}, false);
    if (found.empty())
        return std::nullopt;
    if (found.front().type != 'l') {
        errno = EINVAL;
        return std::nullopt;
    }
    return found.front().linkTarget;
}

QHash<QByteArray, QByteArray> RemoteSide::digests(const SidePlace& place,
                                                  const std::vector<QByteArray>& names,
                                                  const std::atomic<bool>* cancel) {
    QHash<QByteArray, QByteArray> found;
    const QByteArray complaint = remoteDigests(*m_link, at(place, {}), names, found, cancel);
    errno = complaint.isEmpty() ? 0 : errorOf(complaint);
    return found;
}

void RemoteSide::readAhead(const SidePlace& place, const std::vector<QByteArray>& names,
                           const std::atomic<bool>* cancel) {
    m_ahead.clear();
    if (names.empty())
        return;
    // The files as their folder's listing saw them; asked only where it did not.
    const QByteArray folder = at(place, {});
    const auto level = m_kept.constFind(folder);
    std::vector<QByteArray> unseen, paths;
    for (const QByteArray& name : names) {
        const auto kept = level == m_kept.cend() ? QHash<QByteArray, Kept>::const_iterator()
                                                 : level->constFind(name);
        if (level == m_kept.cend() || kept == level->cend())
            unseen.push_back(at(place, name));
        else if (kept->type == 'f')
            m_ahead.insert(at(place, name), {*kept});
    }
    for (const RemoteEntry& e :
         unseen.empty() ? std::vector<RemoteEntry>() : entries(unseen, false)) {
        if (e.type == 'f')
            m_ahead.insert(e.path, {e});
    }
    for (auto a = m_ahead.begin(); a != m_ahead.end(); ++a) {
        a->entry.path = a.key();
        paths.push_back(a.key());
    }
    if (cancel && cancel->load())
        return;
    // One command for the run's digests: a new one where the last has ended.
    for (int tries = 0; tries < 2; ++tries) {
        if (!m_digests)
            m_digests = std::make_unique<RemoteDigestStream>(*m_link);
        if (m_digests->ask(paths))
            return;
        m_digests.reset();
    }
}

std::optional<QByteArray> RemoteSide::digest(const SidePlace& place, const char* name,
                                             const std::atomic<bool>* cancel, bool followLink) {
    // The host's digest tool reads through a link: the listing's type of the
    // entry, checked before a digest is asked for, keeps a link unread.
    Q_UNUSED(followLink);
    const QByteArray path = at(place, name);
    if (m_ahead.remove(path) && m_digests && m_digests->asked(path)) {
        std::optional<QByteArray> sum = m_digests->take(path, cancel);
        if (!sum && errno == ECANCELED)
            m_digests.reset();
        return sum;
    }
    // A name with folders in it (a path from the root) is read in its own folder.
    const auto [folder, base] = split(place, name);
    const QHash<QByteArray, QByteArray> found = digests(SidePlace::onHost(folder), {base}, cancel);
    if (cancel && cancel->load()) {
        errno = ECANCELED;
        return std::nullopt;
    }
    if (found.isEmpty()) {
        errno = errno ? errno : EIO;
        return std::nullopt;
    }
    return found.begin().value();
}

bool RemoteSide::runOn(const QByteArray& command, const QByteArray& path) const {
    const ChildResult r = m_link->run(command, path + '\0', {});
    if (r.exitCode == 0)
        return true;
    errno = errorOf(r.errors);
    return false;
}

bool RemoteSide::setModified(const SidePlace& place, const char* name,
                             const struct timespec& modified) {
    m_told.remove(at(place, name));
    if (m_heldTimes) {
        m_heldTimes->push_back({at(place, name), touchTime(modified)});
        return true;
    }
    // The time is the program's own digits; the path travels as data.
    return runOn("env LC_ALL=C xargs -0 -r touch -h -c -d " + touchTime(modified) + " --",
                 at(place, name));
}

FsResult RemoteSide::remove(const SidePlace& place, const QByteArray& name,
                            const QByteArray& path) {
    changed();
    // rm -d: a file, a link itself or an empty folder, as unlinkat does.
    if (runOn("env LC_ALL=C xargs -0 -r rm -d --", at(place, name)))
        return {};
    return FsError::fromErrno(errno, nameText(path));
}

std::pair<QByteArray, QByteArray> RemoteSide::split(const SidePlace& place, QByteArrayView name) {
    const QByteArray full = at(place, name);
    const qsizetype slash = full.lastIndexOf('/');
    return {slash < 0    ? QByteArray(".")
            : slash == 0 ? QByteArray("/")
                         : full.left(slash),
            full.mid(slash + 1)};
}

namespace {

// What went wrong, named by the path the caller gave.
FsResult namedBy(FsResult result, const QByteArray& path) {
    if (result)
        return result;
    return FsError(result.error().number(), nameText(path), result.error().reason());
}

} // namespace

FsResult RemoteSide::trash(const SidePlace& place, const QByteArray& name, const QByteArray& path,
                           TrashEntry& entry) {
    changed();
    const auto [folder, base] = split(place, name);
    return namedBy(trashRemote(*m_link, folder, base, {}, entry), path);
}

FsResult RemoteSide::keepInTrash(const SidePlace& place, const QByteArray& name,
                                 const QByteArray& path, TrashEntry& entry) {
    changed();
    const auto [folder, base] = split(place, name);
    return namedBy(linkIntoTrashRemote(*m_link, folder, base, entry), path);
}

void RemoteSide::discard(const TrashEntry& entry) {
    changed();
    discardRemote(*m_link, entry);
}

bool RemoteSide::makeFolder(const SidePlace& place, const QByteArray& name, mode_t mode) {
    changed();
    const auto [folder, base] = split(place, name);
    return makeFolderOnHost(*m_link, folder, base, mode);
}

bool RemoteSide::removeFolder(const SidePlace& place, const QByteArray& name) {
    changed();
    const auto [folder, base] = split(place, name);
    return removeFolderOnHost(*m_link, folder, base);
}

bool RemoteSide::rename(const SidePlace& fromPlace, const QByteArray& from,
                        const SidePlace& toPlace, const QByteArray& to) {
    changed();
    const auto [fromFolder, fromName] = split(fromPlace, from);
    const auto [toFolder, toName] = split(toPlace, to);
    return renameOnHost(*m_link, fromFolder, fromName, toFolder, toName);
}

FsResult RemoteSide::removeTree(const SidePlace& place, const QByteArray& name,
                                const QByteArray& path) {
    changed();
    const auto [folder, base] = split(place, name);
    return removeTreeOnHost(*m_link, folder, base, path);
}

FsResult RemoteSide::removeFile(const SidePlace& place, const QByteArray& name,
                                const QByteArray& path, struct stat* left) {
    changed();
    const auto [folder, base] = split(place, name);
    return removeFileOnHost(*m_link, folder, base, path, left);
}

FsResult RemoteSide::restore(const TrashEntry& entry, bool replace) {
    changed();
    return restoreRemote(*m_link, entry, replace);
}

void RemoteSide::tell(const std::vector<RemoteEntry>& entries) {
    m_told.clear();
    for (const RemoteEntry& e : entries)
        m_told.insert(hostPath(e.path), e);
}

void RemoteSide::holdTimes() {
    m_heldTimes.emplace();
}

bool RemoteSide::giveHeldTimes() {
    const std::optional<std::vector<std::pair<QByteArray, QByteArray>>> held =
        std::exchange(m_heldTimes, std::nullopt);
    if (!held || held->empty())
        return true;
    QByteArray input;
    for (const auto& [path, time] : *held)
        input += path + '\0' + time + '\0';
    const ChildResult r = m_link->run(
        "env LC_ALL=C xargs -0 -r -n 2 sh -c 'exec touch -h -c -d \"$1\" -- \"$0\"'", input, {});
    return r.exitCode == 0;
}

void RemoteSide::changed() {
    m_told.clear();
    m_early.clear();
    m_earlyHeld = 0;
}

void RemoteSide::forget() {
    m_digests.reset();
    m_early.clear();
    m_earlyHeld = 0;
}
