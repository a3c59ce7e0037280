#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The marks on the transition table's row-number labels: the breakpoints, which a click on a
// label sets or clears (also while a run has locked the table), and the row that an open
// execution window shows. A breakpoint belongs to its row: it moves with the row when rows are
// inserted or deleted above it, goes with a deleted row and with the whole table (New, Open),
// and is never saved. The main window tells this class when labels are made and rows move;
// everything else happens here.

#include <QObject>
#include <QPointer>

#include <set>
#include <vector>

class ExecutionWindow;
class MainWindow;
class QLabel;
class TransitionTableView;

namespace orb {
class TableRows;
}

class RowMarks final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowMarks)

public:
    explicit RowMarks(MainWindow *window);
    ~RowMarks() override;

    // Follows the rows of the store (inserted, removed, moved, replaced) and the labels the view
    // makes for them.
    void follow(const orb::TableRows &rows, const TransitionTableView &view);
    // A row's number label has been made: it gets the tool tip and its clicks come here.
    void adoptLabel(QLabel *label);
    // A blank row has been inserted at `row`; the rows from there on moved one down.
    void rowInserted(int row);
    // Row `row` has been deleted; the rows below it moved one up.
    void rowRemoved(int row);
    // Row `from` has moved to `to`, the rows between moving one place towards `from`.
    void rowMoved(int from, int to);
    // The table is being replaced: no breakpoints, no current row.
    void clear();
    // A run has started: it gets the breakpoints, now and whenever they change, and its
    // current row is marked until the window goes. While it is open, each row number's tool
    // tip says how many times the run has executed the row.
    void attach(ExecutionWindow *run);

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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCurrentRow(int row);
    void restyle(int row) const;
    void breakpointsChanged();
    void updateCounts();

    MainWindow *window_;
    const TransitionTableView *view_ = nullptr;
    std::set<int> breakpoints_;
    int currentRow_ = -1;
    QPointer<ExecutionWindow> run_;
    std::vector<int> counts_; // the counts the tool tips show, by row; empty without a run
};
