#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The rows of the editor's transition table as data: every row's four texts, their correct
// marks and the parsed forms, and the count of wrong cells. The cells on screen are a view of
// these rows; typing, end-of-edit checks and focus-in rules arrive here as calls on a cell of a
// row, run the shared row rules on the data, and every change is announced by a signal, so
// that the cells in sight, and anything else that follows the rows, can follow.
//
// It is also the table the engine, the graph and the analyses read (TableSource).
//
// Rows are 0-based. A change to one row's contents is one rowsChanged() for that row, sent
// when the call that made it returns (the rules may touch several cells of the row first).

#include "cells/rowrules.h"
#include "cells/tablesource.h"

#include <QObject>

#include <vector>

namespace orb {

class TableRows final : public QObject, public TableSource {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TableRows)

public:
    using Row = HeadlessTable::Row;

    explicit TableRows(QObject *parent = nullptr);
    ~TableRows() override;

    int rowCount() const override { return int(rows_.size()); }
    const std::vector<Row> &rows() const { return rows_; }
    // The row at `index`; callers keep it within 0 .. rowCount() - 1.
    const Row &row(int index) const { return rows_[size_t(index)]; }
    QString cellText(int row, int field) const override;
    ParsedConditions parsedConditions(int row) const override { return this->row(row).conditions; }
    ParsedSignals parsedSignals(int row) const override { return this->row(row).signalNumbers; }
    bool isCorrect(int row, int field) const;
    int errorCount() const { return errorCount_; }

    // The row of the cell that last had the focus (the editor's currentString). Set by its
    // owner only; inserting and removing rows leave it alone.
    int currentRow() const { return currentRow_; }
    void setCurrentRow(int row);

    // A run locks the table until it ends: its rows are not edited, inserted, deleted or
    // undone meanwhile. Set by the editor's window on a launch and when the run has gone.
    bool runLocked() const { return runLocked_; }
    void setRunLocked(bool locked) { runLocked_ = locked; }

    // The cell operations, with the row rules. setCellText is a line edit's setText (truncated
    // to the field's maximum length; the text-change rules run only for a new text).
    void setCellText(int row, int field, const QString &text);
    // The set-correct operation: a state cell whose text is not a valid state stays wrong.
    void setCellCorrect(int row, int field, bool correct);
    void editingFinished(int row, int field);
    void focusIn(int row, int field);
    void fillAndCommit(int row, int field, const QString &text);
    // What a launch does first: marks every cell RowRules::judgedMarks finds wrong, so that
    // the table runs only as its saved document would run. Returns how many cells it marked.
    int judgeForLaunch();

    // Structure. A new row is blank and correct; removing a row forgets its marks.
    void insertRow(int index);
    void removeRow(int index);
    // Moves one row to another index, the rows between closing up.
    void moveRow(int from, int to);
    // Puts back a row's whole contents as they were, marks and parsed forms included.
    void setRow(int index, const Row &row);
    // Replaces every row (New, Open); errorCount is recounted from the marks.
    void reset(std::vector<Row> rows);
    // Replaces the contents of every row without changing their number: one rowsChanged().
    void assignRows(const std::vector<Row> &rows);

signals:
    void rowsInserted(int first, int count);
    void rowsRemoved(int first, int count);
    void rowsMoved(int from, int to);
    void rowsChanged(int first, int count);
    void rowsReset();
    // A cell's end-of-edit check ran (editingFinished), whether or not it changed the row.
    void cellCommitted(int row);
    void errorCountChanged(int errorCount);
    void currentRowChanged(int row);

private:
    class Access;
    void finish(int row, int errorsBefore, bool changed);
    static int wrongCells(const Row &row);

    std::vector<Row> rows_;
    int errorCount_ = 0;
    int currentRow_ = 0;
    bool runLocked_ = false;
};

} // namespace orb
