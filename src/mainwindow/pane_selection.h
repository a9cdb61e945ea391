#pragma once

#include "compare/sorted_name_list.h"
#include "fileops/clipboard.h"

#include <vector>

class CommandHost;
class ListPane;

// Selection over whole panes in one step each, so 100,000 rows cost no more
// than a few passes over them.

// One flag per row, in display order: selected or not.
std::vector<char> selectedRowFlags(const ListPane& pane);
void selectAllRows(ListPane& pane);
void invertRowSelection(ListPane& pane);
// Selects the rows whose flag is set, and only those.
void selectOnlyRows(ListPane& pane, const std::vector<char>& flags);

// The files of the pane's selected rows (placeholders left out), in `folder`,
// as a command chooses them when it begins, read in one pass: rows that hide
// or appear while the command runs change nothing of it.
QList<ClipboardEntry> chosenFiles(const ListPane& pane, const QByteArray& folder,
                                  const std::shared_ptr<FolderSide>& side = nullptr);
// Notes each chosen file's identity, `run` kept painted meanwhile.
void noteIdentities(QList<ClipboardEntry>& chosen, CommandHost& run);
