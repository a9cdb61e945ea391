#pragma once

#include "core/row_matching.h"
#include "core/tree_compare.h"

#include <memory>

// Both trees below two folders as one list of rows, the way the flattened
// view shows them: every entry is named by its path relative to its top
// folder ("a/b/x.txt"), and rows come folder by folder, each folder's own
// rows in the order a pane lists them, then the folders below it in that
// order. A folder present on both sides gives the rows of what it holds,
// never a row of its own (unless it could not be read, or one side is a
// link); a folder present on one side stays one row, a thing to copy or
// delete as a whole. Statuses are the walk's (tree_compare.h). Throws as
// walkTrees does.
std::shared_ptr<FolderRows> flattenTrees(const QByteArray& sourceFolder,
                                         const QByteArray& destinationFolder,
                                         const TreeOptions& options);

// The parts of a relative path as the flattened view shows them: the folder
// ("" at the top) and the name.
QByteArrayView folderPart(QByteArrayView relativePath);
QByteArrayView namePart(QByteArrayView relativePath);
