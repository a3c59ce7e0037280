#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the self-check needs of the editor it serves, besides the row store and the memory
// model it is handed: the document's file, a cell to select, the memory table to lay a case's
// memory over, and a run started as the start button starts one. The main window implements it.

#include <QString>

#include <functional>

class ExecutionWindow;
class QTableWidget;

class CheckHost {
public:
    // The file the document was last opened from or saved to; empty for a new document.
    virtual QString documentPath() const = 0;
    // Shows the table page and puts the focus into a cell (grid column 2 … 8).
    virtual void selectCell(int row, int column) = 0;
    // The memory page's table.
    virtual QTableWidget *ramTable() const = 0;
    // Starts a run in the window `make` builds, locking the table as a launch does; nullptr,
    // after saying so as a launch does, when the table has red cells.
    virtual ExecutionWindow *launch(const std::function<ExecutionWindow *()> &make) = 0;

protected:
    CheckHost() = default;
    ~CheckHost() = default;
    CheckHost(const CheckHost &) = default;
    CheckHost &operator=(const CheckHost &) = default;
};
