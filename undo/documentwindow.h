#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the undo history needs of the window a document is edited in, besides the row store
// and the memory model it is handed: the cells to put the focus back into, the page shown and
// the table's scroll bar. The main window implements it.

class RamLineEdit;
class TTLineEdit;

class DocumentWindow {
public:
    // The grid column (2, 4, 6 or 8) of the table cell that last had the focus.
    virtual int currentColumn() const = 0;
    // Records the table cell that has the focus.
    virtual void setCurrentCell(int row, int column) = 0;
    // A table cell for a moment's use; nullptr outside the table.
    virtual TTLineEdit *viewCell(int row, int column) const = 0;
    // The memory cell editor of the byte at 16 * row + column.
    virtual RamLineEdit *ramCell(int row, int column) const = 0;
    // Destroys the table's cells (the rows are replaced next).
    virtual void removeStringWidgets() = 0;

    // Which page shows: the memory table or the transition table; switching is a click on
    // the page's tab button.
    virtual bool memoryPageShown() const = 0;
    virtual void showMemoryPage(bool shown) = 0;
    virtual bool verticalScrollBarShown() const = 0;
    virtual void setVerticalScrollBarShown(bool shown) = 0;

protected:
    DocumentWindow() = default;
    ~DocumentWindow() = default;
    DocumentWindow(const DocumentWindow &) = default;
    DocumentWindow &operator=(const DocumentWindow &) = default;
};
