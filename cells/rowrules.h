#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Which cell of a table row is marked correct or wrong when one of its cells changes or
// finishes an edit. The rules work on any row of four cells: the editor's TTLineEdit rows and
// the headless table of orb-run call the same functions, so both mark exactly the same cells.

#include "cells/celllanguage.h"

#include <QString>

#include <array>
#include <vector>

namespace orb {

// One table row as the rules see it.
class RowCells {
public:
    virtual ~RowCells() = default;
    virtual QString cellText(int field) const = 0;
    // Behaves like QLineEdit::setText: truncates to the field's maximum length and, only when
    // the text really changes, runs RowRules::textChanged for that field.
    virtual void setCellText(int field, const QString &text) = 0;
    // The cell's set-correct operation. A state cell whose text is not a valid state stays
    // wrong whatever it is told (only a loaded document can hold such a text).
    virtual void setCellCorrect(int field, bool correct) = 0;
    virtual ParsedConditions &parsedConditions() = 0;
    virtual ParsedSignals &parsedSignals() = 0;
};

namespace RowRules {
// The text-change handlers (onStateChanged, onTransitionConditionsChanged, ...).
void textChanged(RowCells &row, int field);
// The end-of-edit handlers, with normalisation. Runs on every focus loss, on the commit of the
// current cell by Save and Open and on every cell a document fills, also for a state text the
// validator would refuse.
void editingFinished(RowCells &row, int field);
// Focus entering a cell: a state cell loses its mark while the user is in it.
void focusIn(RowCells &row, int field);
// Loading one cell from a document: set its text, then commit it.
void fillAndCommit(RowCells &row, int field, const QString &text);
// The marks of a row judged from its texts alone, as a document holding them opens (true =
// correct). The rules above let a mark depend on the order of the edits: emptying the signals
// beside empty conditions clears both state marks, whatever the states hold, so a state can
// stand unmarked beside an empty partner and be marked once the document is opened again. A
// launch, and every program that runs a document, goes by these marks as well.
std::array<bool, fieldCount> judgedMarks(const std::array<QString, fieldCount> &texts);
} // namespace RowRules

// A transition table without widgets, marked exactly as the editor marks its cells.
class HeadlessTable {
public:
    struct Cell {
        QString text;
        bool correct = true;
    };
    struct Row {
        std::array<Cell, fieldCount> cells;
        ParsedConditions conditions;
        ParsedSignals signalNumbers;
    };

    int rowCount() const { return int(rows_.size()); }
    const Row &row(int index) const { return rows_[size_t(index)]; }
    int errorCount() const { return errorCount_; }

    // Empties the table to `count` blank rows, as loading a document does.
    void reset(int count);
    void fillAndCommit(int row, int field, const QString &text);
    // Marks every cell RowRules::judgedMarks finds wrong (it clears no mark); returns how many
    // cells it marked.
    int judgeForLaunch();

private:
    class RowAccess;
    std::vector<Row> rows_;
    int errorCount_ = 0;
};

} // namespace orb
