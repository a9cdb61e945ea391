#include "fs/folder_scan.h"

#include "base/name_text.h"
#include "base/wildcard.h"
#include "fs/exclusions.h"
#include "fs/file_system_kind.h"
#include "fs/trash.h"
#include "fs/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

int attributeMask(const FilterSettings& settings) {
    int mask = 0;
    if (settings.showArchive != 0)
        mask += Attr::Archive;
    if (settings.showReadOnly != 0)
        mask += Attr::ReadOnly;
    if (settings.showHidden != 0)
        mask += Attr::Hidden;
    if (settings.showSystem != 0)
        mask += Attr::System;
    return mask;
}

QString FolderListing::name(qsizetype i) const {
    const QByteArrayView bytes = fileName(i);
    // Printable ASCII without a backslash shows as it is.
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7e || c == '\\')
            return nameText(QByteArray::fromRawData(bytes.data(), bytes.size()));
    }
    return QString::fromLatin1(bytes.data(), bytes.size());
}

void FolderListing::add(QByteArrayView fileName, const FileStat& st, bool link, bool followed) {
    File f;
    f.size = st.size;
    f.modified = st.modified;
    f.nameAt = static_cast<quint32>(m_names.size());
    f.nameLength = static_cast<quint16>(std::min<qsizetype>(fileName.size(), 65535));
    f.flags = quint8((st.dangling ? Dangling : 0) | (st.folder ? Folder : 0) | (link ? Link : 0) |
                     (followed ? Followed : 0));
    m_names.insert(m_names.end(), fileName.begin(), fileName.begin() + f.nameLength);
    m_names.push_back('\0');
    m_files.push_back(f);
    if (st.identity || !m_identities.empty()) {
        // Entries added without one read as a zero identity.
        while (m_identities.size() + 1 < m_files.size())
            m_identities.push_back(pack(FileIdentity{}, m_identities.size()));
        m_identities.push_back(pack(st.identity.value_or(FileIdentity{}), m_files.size() - 1));
    }
}

FolderListing::Identity FolderListing::pack(const FileIdentity& id, size_t i) {
    constexpr long nsLimit = 1 << 30;
    const qint64 modified = m_files[i].modified;
    auto device =
        quint32(std::find(m_devices.begin(), m_devices.end(), id.device) - m_devices.begin());
    if (device == m_devices.size() && device < wideDevice)
        m_devices.push_back(id.device);
    qint64 after = 0;
    if (device >= wideDevice ||
        __builtin_sub_overflow(qint64(id.changed.tv_sec), modified, &after) ||
        after != qint32(after) || id.modified.tv_nsec < 0 || id.modified.tv_nsec >= nsLimit ||
        id.changed.tv_nsec < 0 || id.changed.tv_nsec >= nsLimit) {
        m_wide.emplace_back(i, id);
        device = wideDevice;
        after = 0;
    }
    return {quint32(quint64(id.inode)), quint32(quint64(id.inode) >> 32), qint32(after),
            quint32(id.modified.tv_nsec & (nsLimit - 1)) | (device & 3) << 30,
            quint32(id.changed.tv_nsec & (nsLimit - 1)) | (device >> 2) << 30};
}

FileIdentity FolderListing::identity(size_t i) const {
    const File& f = m_files[i];
    const Identity& id = m_identities[i];
    const quint32 device = id.modifiedNs >> 30 | (id.changedNs >> 30) << 2;
    FileIdentity whole;
    if (device == wideDevice) {
        whole = std::lower_bound(m_wide.begin(), m_wide.end(), i, [](const auto& w, size_t at) {
                    return w.first < at;
                })->second;
    } else {
        whole.device = m_devices[device];
        whole.inode = ino_t(quint64(id.inodeHigh) << 32 | id.inodeLow);
        whole.modified.tv_nsec = long(id.modifiedNs & ((1u << 30) - 1));
        whole.changed = {std::time_t(f.modified + id.changedAfter),
                         long(id.changedNs & ((1u << 30) - 1))};
    }
    // The size and seconds are the entry's own.
    whole.size = off_t(f.size);
    whole.modified.tv_sec = std::time_t(f.modified);
    return whole;
}

EntryRules::EntryRules(const FilterSettings& settings, const ScanOptions& options)
    : m_options(options), m_mask(attributeMask(settings)), m_pattern(settings.fileTypes),
      m_everyName(m_pattern == QLatin1String("*.*") || m_pattern == QLatin1String("*")),
      m_folders(settings.showSubfolders != 0), m_exclusions(settings.excludeNames) {}

int EntryRules::wanted(const char* raw, unsigned char type,
                       const std::function<bool()>& driveTop) const {
    if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
        return 0;
    if (raw[0] == '.' && !(m_mask & Attr::Hidden))
        return 0;
    if (!m_exclusions.isEmpty() &&
        m_exclusions.excludes(QByteArrayView(raw), m_options.relativeFolder))
        return 0;
    // The trash of a drive compared from its top is the program's, never data.
    if (raw[0] == '.' && m_options.relativeFolder.isEmpty() && Trash::isTopTrashName(raw) &&
        driveTop())
        return 0;
    if (type == DT_DIR)
        return m_folders ? 1 : 0;
    if ((type == DT_FIFO || type == DT_SOCK || type == DT_CHR || type == DT_BLK) &&
        !(m_mask & Attr::System))
        return 0;
    // What a link or an entry of unknown type is decides whether the
    // pattern applies: the stat looks.
    if (m_folders && (type == DT_LNK || type == DT_UNKNOWN))
        return 2;
    return matches(raw) ? 1 : 0;
}

bool EntryRules::matches(const char* raw) const {
    return m_everyName || wildcardMatch(m_pattern, nameText(QByteArray(raw)));
}

bool EntryRules::admits(mode_t mode, int want, const char* raw) const {
    if (S_ISDIR(mode))
        return m_folders; // without folders, a link to one is no file either
    if (!S_ISREG(mode) && !(m_mask & Attr::System))
        return false;
    return want != 2 || matches(raw);
}

bool EntryRules::admitsLeadingNowhere(int want, const char* raw) const {
    return (m_mask & Attr::System) && (want != 2 || matches(raw));
}

// A folder's entries as the system gives them, a block at a time.
class DirEntries {
public:
    explicit DirEntries(int fd) : m_fd(fd) {}
    // The next one; none at the end, or on a failure with errno set.
    const dirent64* next() {
        if (m_at == m_end) {
            const ssize_t n = ::getdents64(m_fd, m_block.get(), blockSize);
            errno = n < 0 ? errno : 0;
            if (n <= 0)
                return nullptr;
            m_at = 0;
            m_end = size_t(n);
        }
        const auto* entry = reinterpret_cast<const dirent64*>(m_block.get() + m_at);
        m_at += entry->d_reclen;
        return entry;
    }

private:
    static constexpr size_t blockSize = 32768; // as much as a stream reads at once
    const int m_fd;
    const std::unique_ptr<char[]> m_block{new char[blockSize]};
    size_t m_at = 0, m_end = 0;
};

// Reads one folder: the names first, then one stat each, inline on a local
// disk or from several threads where every stat waits on a server.
class FolderReader {
public:
    FolderReader(const QByteArray& folder, const FilterSettings& settings,
                 const ScanOptions& options)
        : m_folder(folder), m_options(options), m_rules(settings, options),
          m_driveTop([this] { return driveTop(); }) {}

    // A file set aside by an unfinished move got its name back during the
    // reading: read again, so it is listed once.
    bool nameGivenBack() const { return m_nameGivenBack; }

    // Reads the folder at the path, or the one open at `folderFd`, by
    // `inFlight` stats at once (0: as its file system asks).
    FolderListing read(int folderFd = -1, int inFlightChosen = 0) {
        // Its entries taken straight from the system, with no stream, whose
        // opening would cost a stat and two more calls a folder; a folder
        // given is read through its own descriptor, rewound, unless it is
        // held only as a place: then opened again, to read or say why not.
        UniqueFd own;
        m_fd = folderFd;
        if (folderFd < 0 || ::lseek(folderFd, 0, SEEK_SET) != 0) {
            own.fd = folderFd < 0 ? ::open(m_folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                  : ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (own.fd < 0) {
                if (folderFd < 0 && (errno == ENOENT || errno == ENOTDIR))
                    return {}; // no such folder: nothing to list
                throw FsError::fromErrno(errno, nameText(m_folder));
            }
            m_fd = own.fd;
        }
        tick(0);
        DirEntries entries(m_fd);
        const int inFlight = m_options.afterNames          ? std::max(2, m_options.statsInFlight)
                             : m_options.statsInFlight > 0 ? m_options.statsInFlight
                             : inFlightChosen > 0          ? inFlightChosen
                                                           : statsInFlightOn(m_fd);
        std::vector<Candidate> later; // names waiting for their stat
        for (qint64 seen = 1;; ++seen) {
            const dirent64* entry = entries.next();
            if (!entry) {
                if (errno != 0)
                    throw FsError::fromErrno(errno, nameText(m_folder));
                tick((seen - 1) & 255); // the entries since the last count
                break;
            }
            if ((seen & 255) == 0)
                tick(256);
            const char* raw = entry->d_name;
            if (FileSystem::ownTemporary(m_fd, m_folder, raw, m_nameGivenBack))
                continue;
            const int want = m_rules.wanted(raw, entry->d_type, m_driveTop);
            if (want == 0)
                continue;
            // A stat that follows links follows what may be one.
            const bool followed =
                !m_options.linksAsLinks && (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN);
            if (inFlight > 1) {
                later.push_back({QByteArray(raw), {}, 0, false, want == 2, followed});
                continue;
            }
            Candidate c{QByteArray::fromRawData(raw, qsizetype(std::strlen(raw))),
                        {},
                        0,
                        false,
                        want == 2,
                        followed};
            statOne(c);
            if (c.outcome < 0)
                throw FsError::fromErrno(-c.outcome, nameText(m_folder + c.name));
            if (c.outcome > 0)
                m_listing.add(c.name, c.st, c.link, c.followed);
        }
        if (m_options.afterNames)
            m_options.afterNames();
        if (!later.empty())
            statConcurrently(later, inFlight);
        return std::move(m_listing);
    }

private:
    struct Candidate {
        QByteArray name;
        FileStat st;
        int outcome;             // 1 listed, 0 left out, -errno could not be statted
        bool link;               // with linksAsLinks: the entry is a link, st its own
        bool patternDue = false; // the stat tells whether the pattern applies
        bool followed = false;   // the stat may be of what a link leads to
    };

    // Whether the folder read is a drive's top: a mount's root, or "/".
    bool driveTop() const {
        struct statx x {};
        if (::statx(m_fd, "", AT_EMPTY_PATH, STATX_INO, &x) == 0 &&
            (x.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
            return (x.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        struct stat here {
        }, up{};
        return ::fstat(m_fd, &here) == 0 && ::fstatat(m_fd, "..", &up, 0) == 0 &&
               (here.st_dev != up.st_dev || here.st_ino == up.st_ino);
    }

    void tick(qint64 n) const {
        if (m_options.progress)
            m_options.progress->fetch_add(n, std::memory_order_relaxed);
        if (m_options.cancel && m_options.cancel->load(std::memory_order_relaxed))
            throw ScanCancelled{};
    }

    // Whether an entry, its stat taken, is listed.
    int outcomeFor(const Candidate& c, const struct stat& st) const {
        return m_rules.admits(st.st_mode, c.patternDue ? 2 : 1, c.name.constData()) ? 1 : 0;
    }

    // One stat, following links (unless linksAsLinks asks for the link's
    // own); a link that leads to no file is its own entry.
    void statOne(Candidate& c) const {
        struct stat st {};
        const char* name = c.name.constData();
        if (m_options.linksAsLinks) {
            if (::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                c.outcome = errno == ENOENT ? 0 : -errno; // gone since it was listed: left out
                return;
            }
            c.st = {static_cast<qint64>(st.st_size), st.st_mtime, S_ISDIR(st.st_mode), false};
            if (m_options.identities)
                c.st.identity = FileIdentity::of(st);
            if (!S_ISLNK(st.st_mode)) {
                c.outcome = outcomeFor(c, st);
                return;
            }
            struct stat target {};
            c.link = true;
            if (::fstatat(m_fd, name, &target, 0) != 0)
                return leadsNowhere(c, st);
            c.outcome = outcomeFor(c, target);
            c.st.folder = S_ISDIR(target.st_mode);
            return;
        }
        if (::fstatat(m_fd, name, &st, 0) == 0) {
            c.outcome = outcomeFor(c, st);
            c.st = {static_cast<qint64>(st.st_size), st.st_mtime, S_ISDIR(st.st_mode), false};
            if (m_options.identities)
                c.st.identity = FileIdentity::of(st);
            return;
        }
        const int err = errno;
        if (::fstatat(m_fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Gone since it was listed: left out.
            c.outcome = errno == ENOENT ? 0 : -errno;
            return;
        }
        if (!S_ISLNK(st.st_mode)) {
            c.outcome = -err;
            return;
        }
        leadsNowhere(c, st);
    }

    // A link that leads to no file: a system entry, with its own stats.
    void leadsNowhere(Candidate& c, const struct stat& own) const {
        c.outcome = m_rules.admitsLeadingNowhere(c.patternDue ? 2 : 1, c.name.constData()) ? 1 : 0;
        c.st = {static_cast<qint64>(own.st_size), own.st_mtime, false, true};
        if (m_options.identities)
            c.st.identity = FileIdentity::of(own);
    }

    void statConcurrently(std::vector<Candidate>& names, int threads) {
        std::atomic<size_t> next{0};
        std::exception_ptr failure;
        std::atomic<bool> failed{false};
        auto work = [&] {
            try {
                for (size_t i; !failed.load() && (i = next.fetch_add(1)) < names.size();) {
                    if ((i & 255) == 0)
                        tick(0);
                    statOne(names[i]);
                }
            } catch (...) {
                if (!failed.exchange(true))
                    failure = std::current_exception();
            }
        };
        std::vector<std::thread> pool;
        for (int t = 1; t < threads; ++t)
            pool.emplace_back(work);
        work();
        for (std::thread& t : pool)
            t.join();
        if (failure)
            std::rethrow_exception(failure);
        for (const Candidate& c : names) {
            if (c.outcome < 0)
                throw FsError::fromErrno(-c.outcome, nameText(m_folder + c.name));
            if (c.outcome > 0)
                m_listing.add(c.name, c.st, c.link, c.followed);
        }
    }

    const QByteArray& m_folder;
    const ScanOptions& m_options;
    const EntryRules m_rules;
    const std::function<bool()> m_driveTop;
    int m_fd = -1;
    FolderListing m_listing;
    bool m_nameGivenBack = false;
};

int statsInFlightOn(int fd) {
    return servedFileSystem(fileSystemTypeOf(fd)) ? 16 : 1;
}

FolderListing listFilesAt(int folderFd, const QByteArray& folderPath,
                          const FilterSettings& settings, const ScanOptions& options,
                          int statsInFlight) {
    FolderReader reader(folderPath, settings, options);
    FolderListing listing = reader.read(folderFd, statsInFlight);
    if (reader.nameGivenBack())
        return FolderReader(folderPath, settings, options).read(folderFd, statsInFlight);
    return listing;
}

FolderListing listFiles(const QByteArray& folderPath, const FilterSettings& settings,
                        const ScanOptions& options) {
    return listFilesAt(-1, folderPath, settings, options);
}
