#pragma once

#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <QByteArray>
#include <functional>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <vector>

struct CopyOptions;

// What one command's copies give up, a batch at a time: the sources of its
// moves across file systems, and the files its copies replace for good. The
// batch's copies (with their folders' entries) reach the disk in one flush of
// each target file system before any source goes or any copy takes a
// replaced file's name, where a flush per file would cost a disk commit
// each. No data is given up before its copy is on disk. The command flushes
// when full() and at its end; what is still held at the end goes unflushed
// and is kept: a replaced file stays, its copy's temporary is removed.
class SourceRemovals {
public:
    SourceRemovals() = default;
    SourceRemovals(const SourceRemovals&) = delete;
    SourceRemovals& operator=(const SourceRemovals&) = delete;
    ~SourceRemovals();

    // What follows one removal: `removed` is its result (the source kept on
    // failure), `tell` false once the user chose to hear no more failures.
    // Stop when the user chose to skip the files still to come.
    enum class After { GoOn, Stop };
    using Then = std::function<After(const FsResult& removed, bool tell)>;

    // Holds the folder `sourceDir` a source is removed from and `targetDir`
    // its copy goes to (each once for the batch) before the copy is made.
    // False with errno when they cannot be held (too many open, a folder
    // that cannot be flushed): the caller then flushes and removes itself.
    bool hold(int sourceDir, int targetDir);
    // A file moveFile() copied: its source `source` (in the folder held
    // last, as `entry` and `data` found it) goes when still the one copied
    // and unchanged.
    void addFile(const FileLocation& source, const FileLocation& target, const struct stat& entry,
                 const struct stat& data);
    // A further name of a file, or (`folder`) a folder emptied by the batch:
    // `name` in `dir` (AT_FDCWD with a full path for a top folder) goes when
    // it is still the entry `device`/`inode`.
    bool addName(int dir, const QByteArray& name, dev_t device, ino_t inode, bool folder,
                 Then then);
    // A copy written to the temporary `temp` in the folder held last (by
    // hold(dir, dir)), locked by `lock` until it is renamed: it takes
    // `target`'s name only while that is still the file `replaced` (identity,
    // size, modification and change time). `written` counts to the batch's bytes.
    void addReplacement(const FileLocation& target, const QByteArray& temp,
                        std::shared_ptr<UniqueFd> lock, const struct stat& replaced, off_t written);
    // What follows the removal added last.
    void thenForLast(Then then) { m_pending.back().then = std::move(then); }
    size_t size() const { return m_pending.size(); }
    bool full() const;
    // Flushes the target file systems, then renames each copy over the file it
    // replaces or removes each source, in the order added, and runs what
    // follows it. A failed flush keeps every source and replaced file, and
    // removes the copies' temporaries.
    After flush(const CopyOptions& options);

private:
    struct Pending {
        std::shared_ptr<UniqueFd> dir; // null: AT_FDCWD
        QByteArray name;
        enum class Kind { File, Name, Folder, Replacement } kind = Kind::File;
        FileLocation source, target; // a file's, for its checks and messages
        struct stat entry {
        }, data{};                      // a replacement's entry: the file it replaces
        std::shared_ptr<UniqueFd> lock; // a replacement's temporary, held
        Then then;
    };
    bool holdSource(int dir);

    std::vector<Pending> m_pending;
    // Each source folder of the batch once, by its identity.
    std::map<std::pair<dev_t, ino_t>, std::shared_ptr<UniqueFd>> m_sources;
    std::shared_ptr<UniqueFd> m_lastSource; // the one held last
    std::vector<std::pair<dev_t, std::shared_ptr<UniqueFd>>>
        m_targets; // one on each target file system
    off_t m_bytes = 0;
    size_t m_locks = 0; // temporaries held open
};
