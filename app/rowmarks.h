#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The marks on the transition table's row-number labels: the breakpoints, which a click on a
// label sets or clears (also while a run has locked the table), and the row that an open
// execution window shows. A breakpoint belongs to its row: it moves with the row when rows are
// inserted or deleted above it, goes with a deleted row and with the whole table (New, Open),
// and is never saved. It follows the row store and is handed each number label the table view
// makes (a label keeps its row for its whole life); the window that starts a run hands the
// run's current row and counts in and the breakpoints out.

#include <QObject>
#include <QPointer>

#include <set>
#include <vector>

class QLabel;

namespace orb {
class TableRows;
}

class RowMarks final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowMarks)

public:
    // Follows the rows of the store (inserted, removed, moved, replaced).
    RowMarks(const orb::TableRows &rows, QObject *parent);
    ~RowMarks() override;

    // Row `row`'s number label has been made: it gets its marks and tool tip, and its clicks
    // come here.
    void labelMade(int row, QLabel *label);
    // A blank row has been inserted at `row`; the rows from there on moved one down.
    void rowInserted(int row);
    // Row `row` has been deleted; the rows below it moved one up.
    void rowRemoved(int row);
    // Row `from` has moved to `to`, the rows between moving one place towards `from`.
    void rowMoved(int from, int to);
    // The table is being replaced: no breakpoints, no current row.
    void clear();
    // The row an open run shows, marked; -1 when none is open.
    void setCurrentRow(int row);
    // How many times the open run has executed each row, by row, for the rows' tool tips;
    // empty when no run is open.
    void setCounts(std::vector<int> counts);

    bool hasBreakpoint(int row) const { return breakpoints_.count(row) != 0; }
    void toggleBreakpoint(int row);
    std::vector<int> breakpoints() const { return {breakpoints_.begin(), breakpoints_.end()}; }
    // The row an open execution window shows; -1 for none.
    int currentRow() const { return currentRow_; }

    static QString toolTip();
    // The tool tip of row `row`'s number now: toolTip(), and the run's count while one is open.
    QString toolTipOf(int row) const;
    // "Выполнялась: 3 раза".
    static QString countText(int count);

signals:
    // The set of breakpoints has changed (an open run takes the new set).
    void breakpointsChanged();
    // The row an open run shows has changed (the window keeps it in view).
    void markedRowChanged(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restyle(int row) const;
    // The number label of a row of the table, if the view has made it.
    QLabel *labelOf(int row) const;

    const orb::TableRows &rows_;
    std::vector<QPointer<QLabel>> labels_; // by row, as they were made
    std::set<int> breakpoints_;
    int currentRow_ = -1;
    std::vector<int> counts_; // the counts the tool tips show, by row; empty without a run
};
