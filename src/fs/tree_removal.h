#pragma once

#include "fs/file_system.h"

#include <QByteArray>
#include <vector>

// The names of a folder's entries but "." and "..", read in one pass so
// that no descriptor stays open below it; the program's own temporaries are
// left out (and cleared away when nothing holds them), as in a listing.
// Each with its type as the listing gives it (DT_UNKNOWN where it does not).
struct Listed {
    QByteArray name;
    unsigned char type;
};
// The names of the folder `dir` (at `path`); false with errno when it cannot be read.
bool readNames(int dir, const QByteArray& path, std::vector<Listed>& names);

// Removes the folder `name` of the folder `dir`, held by the caller, with
// everything in it, never following a link nor leaving the folders it
// entered. On a failure what could not be removed stays, with its folders.
FsResult removeTreeAt(int dir, const QByteArray& name, const QByteArray& path);
