#include "fileops/side_copy.h"

#include "base/name_text.h"

#include <cerrno>

bool lendPlaces(CopyOptions& options, const HeldPlace& from, const HeldPlace& to) {
    const std::optional<int> in = from.side.localFolder(from.place),
                             out = to.side.localFolder(to.place);
    if (!in || !out) {
        errno = EREMOTE;
        return false;
    }
    options.folders = std::make_shared<HeldFolders>();
    options.folders->lend(folderPath(from.folder), *in);
    options.folders->lend(folderPath(to.folder), *out);
    return true;
}

FsResult planTreeOn(const FolderSide& side, const SidePlace& place, const FileLocation& folder,
                    TreePlan& plan, PlanDetail detail) {
    const std::optional<int> dir = side.localFolder(place);
    if (!dir)
        return FsError::fromErrno(EREMOTE, folder.text());
    return planTreeAt(*dir, folder.name, folder.path(), plan, detail);
}
