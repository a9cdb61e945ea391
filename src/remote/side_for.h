#pragma once

#include "fs/folder_side.h"

#include <QByteArray>
#include <memory>

// A local folder's LocalSide, or for an address on another host
// (remote_address.h) a RemoteSide over the one link the program keeps to
// that host, which is reached first: throws FsError with ssh's words, or
// the host's lack of GNU find, naming the address. `batch`: ssh asks
// nothing (a password or an unknown host is an error).
ChosenSide sideFor(const QByteArray& folderAsGiven, bool batch = true);
