#include "fileops/source_removals.h"

#include "fileops/file_copy.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Bounds on one batch: the folders it holds open (a quarter of the
// descriptors the program may open), its files, and the data written since
// the last flush (so a large move frees its sources as it goes).
size_t heldAtMost() {
    static const size_t most = [] {
        rlimit limit{};
        const rlim_t soft = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? limit.rlim_cur : 1024;
        return size_t(std::clamp<rlim_t>(soft / 4, 16, 4096));
    }();
    return most;
}
constexpr size_t filesAtMost = 8192;
constexpr off_t bytesAtMost = off_t(256) << 20;

} // namespace

SourceRemovals::~SourceRemovals() {
    for (const Pending& p : m_pending) {
        if (p.kind == Pending::Kind::Replacement)
            ::unlinkat(p.dir->fd, p.name.constData(), 0);
    }
}

bool SourceRemovals::holdSource(int dir) {
    if (dir == AT_FDCWD)
        return true;
    struct stat st {};
    if (::fstat(dir, &st) != 0)
        return false;
    // Descriptor numbers are used again once closed: the folder is known by its identity.
    auto& held = m_sources[{st.st_dev, st.st_ino}];
    if (!held) {
        const int fd = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            m_sources.erase({st.st_dev, st.st_ino});
            return false;
        }
        held = std::make_shared<UniqueFd>(fd);
    }
    m_lastSource = held;
    return true;
}

bool SourceRemovals::hold(int sourceDir, int targetDir) {
    struct stat st {};
    if (::fstat(targetDir, &st) != 0)
        return false;
    bool known = false;
    for (const auto& [device, fd] : m_targets)
        known = known || device == st.st_dev;
    if (!known) {
        // Flushed through a readable descriptor: one only for finding the way is refused.
        const int flushable = ::openat(targetDir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (flushable < 0)
            return false;
        m_targets.emplace_back(st.st_dev, std::make_shared<UniqueFd>(flushable));
    }
    return holdSource(sourceDir);
}

void SourceRemovals::addFile(const FileLocation& source, const FileLocation& target,
                             const struct stat& entry, const struct stat& data) {
    Pending p;
    p.dir = m_lastSource;
    p.name = source.name;
    p.source = source;
    p.target = target;
    p.entry = entry;
    p.data = data;
    m_bytes += data.st_size;
    m_pending.push_back(std::move(p));
}

void SourceRemovals::addReplacement(const FileLocation& target, const QByteArray& temp,
                                    std::shared_ptr<UniqueFd> lock, const struct stat& replaced,
                                    off_t written) {
    Pending p;
    p.dir = m_lastSource;
    p.name = temp;
    p.kind = Pending::Kind::Replacement;
    p.target = target;
    p.entry = replaced;
    p.lock = std::move(lock);
    m_bytes += written;
    ++m_locks;
    m_pending.push_back(std::move(p));
}

bool SourceRemovals::addName(int dir, const QByteArray& name, dev_t device, ino_t inode,
                             bool folder, Then then) {
    if (!holdSource(dir))
        return false;
    Pending p;
    if (dir != AT_FDCWD)
        p.dir = m_lastSource;
    p.name = name;
    p.kind = folder ? Pending::Kind::Folder : Pending::Kind::Name;
    p.entry.st_dev = device;
    p.entry.st_ino = inode;
    p.then = std::move(then);
    m_pending.push_back(std::move(p));
    return true;
}

bool SourceRemovals::full() const {
    return m_sources.size() + m_locks >= heldAtMost() || m_pending.size() >= filesAtMost ||
           m_bytes >= bytesAtMost;
}

SourceRemovals::After SourceRemovals::flush(const CopyOptions& options) {
    int flushed = 0;
    if (m_pending.empty())
        m_targets.clear();
    for (const auto& [device, fd] : m_targets) {
        if (flushed == 0 && (options.fsync ? options.fsync(fd->fd) : ::syncfs(fd->fd)) != 0)
            flushed = errno;
    }
    After after = After::GoOn;
    for (const Pending& p : m_pending) {
        const int dir = p.dir ? p.dir->fd : AT_FDCWD;
        FsResult removed;
        if (flushed != 0) {
            if (p.kind == Pending::Kind::Replacement)
                ::unlinkat(dir, p.name.constData(), 0);
            removed = FsError::fromErrno(flushed, p.target.text());
        } else if (p.kind == Pending::Kind::Replacement) {
            removed = replaceWithCopy(dir, p.name, p.target, p.entry);
        } else if (p.kind == Pending::Kind::File) {
            removed = removeMovedSource(dir, p.source, p.target, p.entry, p.data, options);
        } else {
            struct stat now {};
            const int flag = p.kind == Pending::Kind::Folder ? AT_REMOVEDIR : 0;
            if (::fstatat(dir, p.name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
                now.st_dev != p.entry.st_dev || now.st_ino != p.entry.st_ino)
                removed = FsError(ESTALE, QString(), QString());
            else if (::unlinkat(dir, p.name.constData(), flag) != 0)
                removed = FsError::fromErrno(errno, QString());
        }
        if (p.then && p.then(removed, after == After::GoOn) == After::Stop)
            after = After::Stop;
    }
    m_pending.clear();
    m_sources.clear();
    m_lastSource.reset();
    m_targets.clear();
    m_bytes = 0;
    m_locks = 0;
    return after;
}
