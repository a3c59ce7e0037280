#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The editor's undo history. Every change a user makes to the document is recorded after the
// fact as one step on a QUndoStack: a committed cell edit (the row as it was when the cell got
// the focus against the row after the commit), a row inserted or deleted, the bytes typed into
// one memory cell during one visit, and New or Open as a whole. A step holds snapshots of the
// rows and bytes it changed, so undoing and redoing put back texts, marks, errorCount, the
// memory and the current cell exactly.
//
// A user operation may make several changes (Return commits the cell and inserts a row): the
// changes between beginStep() and the matching endStep() are one step. While a step is being
// undone or redone the cells run no focus rules (applying()), so moving the focus to the
// changed cell changes nothing more.

#include "cells/edithistory.h"
#include "cells/tablerows.h"
#include "undo/documentwindow.h"

#include <QObject>
#include <QString>

#include <memory>

class QKeyEvent;
class QWidget;
class QUndoCommand;
class QUndoStack;
class RowMarks;

namespace orb {
class MemoryModel;
}

class DocumentHistory final : public QObject, public EditHistory {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DocumentHistory)

public:
    // Records the changes of `rows` and `memory` made in `window`, whose keys it watches and
    // which owns it; `places` is that window's side of putting the user back where a step was.
    DocumentHistory(QWidget *window, DocumentWindow places, orb::TableRows &rows,
                    orb::MemoryModel &memory, RowMarks &marks);
    ~DocumentHistory() override;

    QUndoStack &stack() { return *stack_; }
    bool applying() const { return applying_; }

    // Undoes or redoes one step; nothing while a run locks the table. The cell being
    // edited is committed first, so its edit is the step undone.
    void undo() override;
    void redo() override;

    // One user operation. With flushEdit, typing not yet committed in the current cell goes
    // into the step first, so the step's snapshots follow one another.
    void beginStep(bool flushEdit = true);
    void endStep();
    // New and Open: the whole document before and after is one step; nothing inside records.
    void beginDocumentChange();
    void endDocumentChange();

    // A table cell is getting the focus; its row as it is now is where its edit starts.
    void cellEntered(int row);
    // A cell's end-of-edit check: the row before it (with the typing since the cell got the
    // focus), then the record of the change.
    orb::TableRows::Row rowBeforeCommit(int row) const;
    void recordCommit(int row, const orb::TableRows::Row &before);
    // addString and deleteString, with the current row as it was before they changed it.
    void rowInserted(int at, int currentBefore, const orb::TableRows::Row &before);
    void rowRemoved(int at, const orb::TableRows::Row &removed, bool breakpoint);

    // A key typed into memory cell `address` changed its text; the visit ends with leaving.
    void memoryTyped(int address, const QString &before, const QString &after) override;
    void memoryLeft(int address) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Place;
    struct Snapshot;
    class Step;
    class EditCommand;
    class InsertCommand;
    class RemoveCommand;
    class MemoryCommand;
    class DocumentCommand;

    // Off while a step is undone or redone and inside New and Open.
    bool recording() const { return !applying_ && suspended_ == 0; }
    void flushEdit();
    // Before an undo or redo: the visit of the focused cell ends as leaving it would end it.
    void endEdit();
    void flushMemory();
    void resetPending();
    Place currentPlace() const;
    void goTo(const Place &place);
    Snapshot snapshot() const;
    void restore(const Snapshot &snapshot);
    void followRows();
    void setMemory(int address, const QString &text);
    void structureChanged();

    QWidget *window_;
    DocumentWindow places_;
    orb::TableRows &rows_;
    orb::MemoryModel &memory_;
    RowMarks &marks_;
    QUndoStack *stack_;
    std::unique_ptr<Step> step_;
    int depth_ = 0;
    bool applying_ = false;
    int suspended_ = 0;
    std::unique_ptr<Snapshot> documentBefore_;
    // The edit under way: the focused cell's row, as it was when the cell got the focus.
    int pendingRow_ = -1;
    orb::TableRows::Row pendingBefore_;
    // The memory visit under way.
    int memoryAddress_ = -1;
    QString memoryBefore_;
    QString memoryAfter_;
};
