#include "fs/folder_side.h"

#include "base/name_text.h"

#include <cerrno>

FsResult reachFolder(SideWalk& walk, const QByteArray& folder, const QByteArray& told,
                     const QByteArray& top) {
    const QByteArray from = folderPath(top);
    const bool below = !top.isEmpty() && folderPath(folder).startsWith(from);
    bool reached =
        below ? walk.openTop(top, true) : walk.openTop(folder.startsWith('/') ? "/" : ".", false);
    for (const QByteArray& name :
         (below ? folderPath(folder).sliced(from.size()) : folder).split('/')) {
        if (reached && !name.isEmpty() && name != ".")
            reached = walk.enter(name);
    }
    if (reached)
        return {};
    if (errno == ELOOP || errno == ENOTDIR)
        return FsError(errno, nameText(told),
                       QStringLiteral("a folder on its way is now a link or no folder: nothing "
                                      "was done through it"));
    return FsError::fromErrno(errno, nameText(told));
}
