#pragma once

#include "fs/exclusions.h"
#include "fs/file_system.h"
#include "fs/filter_settings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <atomic>
#include <functional>
#include <vector>

// One folder's entries under the filters, each read once (readdir) and
// statted once, held compactly: a few bytes of length and time per entry and
// the names' bytes in one block.
class FolderListing {
public:
    qsizetype count() const { return static_cast<qsizetype>(m_files.size()); }
    // The bytes that reach the file in its folder.
    QByteArrayView fileName(qsizetype i) const {
        const File& f = m_files[static_cast<size_t>(i)];
        return {m_names.data() + f.nameAt, qsizetype(f.nameLength)};
    }
    // The name as shown (name_text.h).
    QString name(qsizetype i) const;
    FileStat stat(qsizetype i) const {
        const File& f = m_files[static_cast<size_t>(i)];
        FileStat st{f.size, static_cast<std::time_t>(f.modified), (f.flags & Folder) != 0,
                    (f.flags & Dangling) != 0};
        if (!m_identities.empty())
            st.identity = identity(static_cast<size_t>(i));
        return st;
    }
    bool isFolder(qsizetype i) const { return m_files[static_cast<size_t>(i)].flags & Folder; }
    // Set only where links keep their own stats (ScanOptions::linksAsLinks).
    bool isLink(qsizetype i) const { return m_files[static_cast<size_t>(i)].flags & Link; }
    // Listed by the stats of what a link at its name leads to (or of an
    // entry whose type its folder did not tell): to be opened following it.
    bool isFollowed(qsizetype i) const { return m_files[static_cast<size_t>(i)].flags & Followed; }

    void add(QByteArrayView fileName, const FileStat& st, bool link = false, bool followed = false);

private:
    enum Flag : quint8 { Dangling = 1, Folder = 2, Link = 4, Followed = 8 };
    struct File {
        qint64 size = 0;
        qint64 modified = 0;
        quint32 nameAt = 0;
        quint16 nameLength = 0; // 255 bytes on most file systems, up to 765 on NTFS
        quint8 flags = 0;
    };
    std::vector<File> m_files;
    std::vector<char> m_names; // each name followed by a NUL, for the system calls
    // The rest of each entry's identity, where the stats added carry it
    // (else none, costing nothing), packed in 20 bytes: the change time in
    // seconds from the modification time, each count of nanoseconds in 30
    // bits and the two bits above them holding half of the device's index
    // in m_devices. An identity that does not fit (a 16th device, a change
    // time 68 years from the modification time) is kept whole in m_wide.
    struct Identity {
        quint32 inodeLow = 0, inodeHigh = 0;
        qint32 changedAfter = 0;
        quint32 modifiedNs = 0, changedNs = 0;
    };
    static constexpr quint32 wideDevice = 15;
    FileIdentity identity(size_t i) const;
    Identity pack(const FileIdentity& id, size_t i);
    std::vector<Identity> m_identities;
    std::vector<dev_t> m_devices;
    std::vector<std::pair<size_t, FileIdentity>> m_wide; // by entry, in their order
};

// How a listing runs; the defaults suit the window and the report.
struct ScanOptions {
    // Stats sent out at once per folder: 0 chooses by file system (one on a
    // local disk, several on a network or FUSE file system, where each stat
    // waits for an answer).
    int statsInFlight = 0;
    // Set from another thread to stop a scan early; it then throws ScanCancelled.
    const std::atomic<bool>* cancel = nullptr;
    // Entries looked at so far, both folders together, for a progress bar.
    std::atomic<qint64>* progress = nullptr;
    // Called between reading a folder's names and statting them (with
    // statsInFlight forced above 1): lets tests change the folder meanwhile.
    std::function<void()> afterNames;
    // Links listed with their own length and time and marked as links, as
    // the tree walk compares them; what they lead to still decides whether
    // they are listed and as what.
    bool linksAsLinks = false;
    // Each entry's whole identity kept (FileStat::identity), as a two-way
    // synchronisation compares it with what the last run left.
    bool identities = false;
    // Where the folder lies below the folders compared ("" at the top, else
    // ending with "/"), for the exclusions that name a path.
    QByteArray relativeFolder;
};

struct ScanCancelled {};

// Which entries a listing admits, whatever side it lists (listFiles below):
// first by name and type alone, then, for what needs one, by a stat.
class EntryRules {
public:
    EntryRules(const FilterSettings& settings, const ScanOptions& options);
    // What the name and the entry's type (a d_type) tell before any stat: 0
    // left out, 1 wanted, 2 wanted if the pattern applies and admits it.
    // `driveTop` is asked only for a name that is a drive's Trash.
    int wanted(const char* raw, unsigned char type, const std::function<bool()>& driveTop) const;
    // Whether an entry so wanted, whose stat (a link followed) gave `mode`, is listed.
    bool admits(mode_t mode, int want, const char* raw) const;
    // The same for a link that leads to no file: a system entry.
    bool admitsLeadingNowhere(int want, const char* raw) const;

private:
    bool matches(const char* raw) const;
    const ScanOptions& m_options;
    const int m_mask;
    const QString m_pattern;
    const bool m_everyName;
    const bool m_folders;
    const Exclusions m_exclusions;
};

// Lists the files of `folderPath` (bytes, ending with "/") whose names match
// the pattern (letter case ignored) and that the filters admit (hidden: a
// leading "."; system: anything but a regular file, a link to no file
// included), with the length and time of each: a link that leads to no file
// is listed with its own length and time, a file gone between readdir and
// stat is left out. With showSubfolders on, folders are listed too, marked
// as such: the hidden switch applies to them, the pattern and the system
// switch do not, and a link to a folder is listed as a folder, since stepping
// into it follows it as a file manager does ("." and ".." never). The
// program's own temporaries are never listed (see FileSystem::ownTemporary),
// nor the files and folders the exclusions name.
// A folder that does not exist lists nothing; one that exists but cannot be
// read, or an entry that cannot be statted for another reason, throws FsError.
FolderListing listFiles(const QByteArray& folderPath, const FilterSettings& settings,
                        const ScanOptions& options = {});

// The same for the folder open at `folderFd` (left open, its position
// moved), named `folderPath` in messages. `statsInFlight`, where the
// options leave it to the file system, is the caller's choice for it
// (statsInFlightOn); 0 asks the system.
FolderListing listFilesAt(int folderFd, const QByteArray& folderPath,
                          const FilterSettings& settings, const ScanOptions& options = {},
                          int statsInFlight = 0);

// Stats a listing sends out at once in the folder open at `fd`, by its file
// system: one on a local disk, several where each waits on a server.
int statsInFlightOn(int fd);
