#pragma once

#include "core/sorted_name_list.h"

#include <vector>

class ListPane;

// Selection over whole panes in one step each, so 100,000 rows cost no more
// than a few passes over them.

// One flag per row, in display order: selected or not.
std::vector<char> selectedRowFlags(const ListPane& pane);
void selectAllRows(ListPane& pane);
void invertRowSelection(ListPane& pane);
// Selects the rows whose flag is set, and only those.
void selectOnlyRows(ListPane& pane, const std::vector<char>& flags);
