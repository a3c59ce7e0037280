#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the undo history needs of the window a document is edited in, besides the row store
// and the memory model it is handed: where the focus is and where to put it back, the page
// shown and the table's scroll bar. The window fills these in when it makes its history, so
// the history knows neither the window's type nor a cell widget.

#include <functional>

struct DocumentWindow {
    // The grid column (2, 4, 6 or 8) of the table cell that last had the focus.
    std::function<int()> tableColumn;
    // The row of the window's table cell that has the keyboard focus, or -1.
    std::function<int()> focusedRow;
    // The address of the window's memory cell that has the keyboard focus, or -1.
    std::function<int()> focusedAddress;
    // Puts the focus into a table cell (if the row is there) and records it as the current
    // cell.
    std::function<void(int row, int column)> focusTableCell;
    // Puts the focus into the memory cell of an address, its cursor at the start.
    std::function<void(int address)> focusByte;
    // Runs the end-of-edit check of the focused table cell, as leaving it would.
    std::function<void()> commitFocused;
    // Destroys the table's cells (the rows are replaced next).
    std::function<void()> clearTableWidgets;

    // Which page shows: the memory table or the transition table; switching is a click on
    // the page's tab button.
    std::function<bool()> memoryShown;
    std::function<void(bool shown)> showMemory;
    std::function<bool()> scrollBarShown;
    std::function<void(bool shown)> showScrollBar;
};
