#pragma once

#include "fs/file_system.h"
#include "fs/unique_fd.h"

#include <QByteArray>
#include <QByteArrayView>
#include <list>
#include <sys/stat.h>

// The folders above a file carried to the same relative place on the other
// side: made where missing, each like its counterpart (mode and times),
// reached from the top folders' descriptors, never through a link.
class ParentFolders {
public:
    ParentFolders() = default;
    ParentFolders(const ParentFolders&) = delete;
    ParentFolders& operator=(const ParentFolders&) = delete;
    ~ParentFolders() { finish(); }

    // Makes the folders of `relative` ("a/b", bytes) below `toTop` that are
    // missing, each made writable for now. `made` (when given) gets the path
    // of each folder made, outermost first. Fails, naming the folder, when one
    // cannot be entered or made, or is a link on either side.
    FsResult make(const QByteArray& fromTop, const QByteArray& toTop, QByteArrayView relative,
                  std::vector<QByteArray>* made = nullptr);
    // Gives every folder made its counterpart's mode and times: last, since
    // what is copied into a folder changes its time.
    void finish();

private:
    struct Made {
        UniqueFd fd;
        mode_t mode = 0;
        timespec times[2]{};
    };
    std::list<Made> m_made; // outermost first
};
