// SPDX-License-Identifier: GPL-3.0-or-later

#include "undo/documenthistory.h"

#include "app/rowmarks.h"
#include "cells/memorymodel.h"
#include "undo/documentwindow.h"

#include <QKeyEvent>
#include <QUndoStack>
#include <QWidget>

#include <utility>
#include <vector>

namespace {

// The scroll bar rules of addString and deleteString.
constexpr int scrollBarShownAt = 18;
constexpr int scrollBarHiddenAt = 16;

bool sameRow(const orb::TableRows::Row &a, const orb::TableRows::Row &b)
{
    for (size_t field = 0; field < a.cells.size(); ++field) {
        if (a.cells[field].text != b.cells[field].text ||
            a.cells[field].correct != b.cells[field].correct)
            return false;
    }
    return true;
}

} // namespace

// Where the user was: a table cell (row, grid column) or a memory byte (row = address).
struct DocumentHistory::Place {
    bool memory = false;
    int row = 0;
    int column = 2;
};

struct DocumentHistory::Snapshot {
    std::vector<orb::TableRows::Row> rows;
    QStringList memory;
    std::vector<int> breakpoints;
    bool scrollBarShown = false;
};

// One step: its children are the changes in the order they were made. It is pushed once they
// are made, so the first redo, which QUndoStack::push runs, does nothing.
class DocumentHistory::Step final : public QUndoCommand {
public:
    Step(DocumentHistory &history, const Place &before) : history_(history), before_(before) {}
    Place after;

    void undo() override
    {
        QUndoCommand::undo();
        history_.goTo(before_);
    }
    void redo() override
    {
        if (first_) {
            first_ = false;
            return;
        }
        QUndoCommand::redo();
        history_.goTo(after);
    }

private:
    DocumentHistory &history_;
    Place before_;
    bool first_ = true;
};

class DocumentHistory::EditCommand final : public QUndoCommand {
public:
    EditCommand(orb::TableRows &rows, int row, orb::TableRows::Row before,
                orb::TableRows::Row after, QUndoCommand *parent)
        : QUndoCommand(parent), rows_(rows), row_(row), before_(std::move(before)),
          after_(std::move(after))
    {
    }
    void undo() override { rows_.setRow(row_, before_); }
    void redo() override { rows_.setRow(row_, after_); }

private:
    orb::TableRows &rows_;
    int row_;
    orb::TableRows::Row before_;
    orb::TableRows::Row after_;
};

// A blank row inserted at `at`; the current row (`current`, before the insertion) may have been
// marked on the way (the first row's case).
class DocumentHistory::InsertCommand final : public QUndoCommand {
public:
    InsertCommand(DocumentHistory &history, int at, int current, orb::TableRows::Row before,
                  orb::TableRows::Row after, QUndoCommand *parent)
        : QUndoCommand(parent), history_(history), at_(at), current_(current),
          before_(std::move(before)), after_(std::move(after))
    {
    }
    void undo() override
    {
        history_.rows_.setRow(movedCurrent(), before_);
        history_.rows_.removeRow(at_);
        history_.structureChanged();
    }
    void redo() override
    {
        history_.rows_.insertRow(at_);
        history_.rows_.setRow(movedCurrent(), after_);
        history_.structureChanged();
    }

private:
    int movedCurrent() const { return current_ < at_ ? current_ : current_ + 1; }

    DocumentHistory &history_;
    int at_;
    int current_;
    orb::TableRows::Row before_;
    orb::TableRows::Row after_;
};

// A deleted row comes back whole, its breakpoint included.
class DocumentHistory::RemoveCommand final : public QUndoCommand {
public:
    RemoveCommand(DocumentHistory &history, int at, orb::TableRows::Row removed, bool breakpoint,
                  QUndoCommand *parent)
        : QUndoCommand(parent), history_(history), at_(at), removed_(std::move(removed)),
          breakpoint_(breakpoint)
    {
    }
    void undo() override
    {
        history_.rows_.insertRow(at_);
        history_.rows_.setRow(at_, removed_);
        if (breakpoint_ && !history_.marks_.hasBreakpoint(at_))
            history_.marks_.toggleBreakpoint(at_);
        history_.structureChanged();
    }
    void redo() override
    {
        history_.rows_.removeRow(at_);
        history_.structureChanged();
    }

private:
    DocumentHistory &history_;
    int at_;
    orb::TableRows::Row removed_;
    bool breakpoint_;
};

class DocumentHistory::MemoryCommand final : public QUndoCommand {
public:
    MemoryCommand(DocumentHistory &history, int address, QString before, QString after,
                  QUndoCommand *parent)
        : QUndoCommand(parent), history_(history), address_(address), before_(std::move(before)),
          after_(std::move(after))
    {
    }
    void undo() override { history_.setMemory(address_, before_); }
    void redo() override { history_.setMemory(address_, after_); }

private:
    DocumentHistory &history_;
    int address_;
    QString before_;
    QString after_;
};

class DocumentHistory::DocumentCommand final : public QUndoCommand {
public:
    DocumentCommand(DocumentHistory &history, Snapshot before, Snapshot after, QUndoCommand *parent)
        : QUndoCommand(parent), history_(history), before_(std::move(before)),
          after_(std::move(after))
    {
    }
    void undo() override { history_.restore(before_); }
    void redo() override { history_.restore(after_); }

private:
    DocumentHistory &history_;
    Snapshot before_;
    Snapshot after_;
};

DocumentHistory::DocumentHistory(QWidget *window, DocumentWindow places, orb::TableRows &rows,
                                 orb::MemoryModel &memory, RowMarks &marks)
    : QObject(window), window_(window), places_(std::move(places)), rows_(rows), memory_(memory),
      marks_(marks), stack_(new QUndoStack(this))
{
    // No limit: the history lasts as long as the program.
    stack_->setUndoLimit(0);
    followRows();
    // The keys where no cell has the focus reach the window unhandled (a cell handles them
    // itself, its own typing first). No shortcuts: those would take the keys' names off the
    // cells' own context menus.
    window->installEventFilter(this);
}

DocumentHistory::~DocumentHistory() = default;

bool DocumentHistory::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window_ && event->type() == QEvent::KeyPress) {
        switch (keyOf(static_cast<QKeyEvent *>(event))) {
        case Key::Undo:
            undo();
            return true;
        case Key::Redo:
            redo();
            return true;
        case Key::None:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void DocumentHistory::followRows()
{
    // The edit under way keeps to its row while rows are inserted, deleted or moved.
    connect(&rows_, &orb::TableRows::rowsInserted, this, [this](int first, int count) {
        if (pendingRow_ >= first)
            pendingRow_ += count;
    });
    connect(&rows_, &orb::TableRows::rowsRemoved, this, [this](int first, int count) {
        if (pendingRow_ >= first + count)
            pendingRow_ -= count;
        else if (pendingRow_ >= first)
            pendingRow_ = -1;
    });
    connect(&rows_, &orb::TableRows::rowsMoved, this, [this](int from, int to) {
        if (pendingRow_ == from)
            pendingRow_ = to;
        else if (from > to && pendingRow_ >= to && pendingRow_ < from)
            ++pendingRow_;
        else if (from < to && pendingRow_ > from && pendingRow_ <= to)
            --pendingRow_;
    });
    connect(&rows_, &orb::TableRows::rowsReset, this, [this] { pendingRow_ = -1; });
}

DocumentHistory::Place DocumentHistory::currentPlace() const
{
    const int address = places_.focusedAddress();
    if (address >= 0)
        return {true, address, 0};
    return {false, rows_.currentRow(), places_.tableColumn()};
}

void DocumentHistory::beginStep(bool flush)
{
    if (depth_ > 0) {
        ++depth_;
        return;
    }
    // A memory byte still in editing is a step of its own, before this one.
    flushMemory();
    ++depth_;
    step_ = std::make_unique<Step>(*this, currentPlace());
    if (flush)
        flushEdit();
}

void DocumentHistory::endStep()
{
    if (--depth_ > 0)
        return;
    std::unique_ptr<Step> step = std::move(step_);
    if (step->childCount() == 0)
        return;
    step->after = currentPlace();
    stack_->push(step.release());
}

void DocumentHistory::flushEdit()
{
    if (pendingRow_ < 0 || pendingRow_ >= rows_.rowCount() || !step_)
        return;
    const orb::TableRows::Row &now = rows_.row(pendingRow_);
    if (sameRow(now, pendingBefore_))
        return;
    new EditCommand(rows_, pendingRow_, pendingBefore_, now, step_.get());
    pendingBefore_ = now;
}

void DocumentHistory::flushMemory()
{
    if (memoryAddress_ < 0)
        return;
    const int address = memoryAddress_;
    memoryAddress_ = -1;
    if (memoryBefore_ == memoryAfter_)
        return;
    const bool own = depth_ == 0;
    if (own) {
        ++depth_;
        step_ = std::make_unique<Step>(*this, Place{true, address, 0});
    }
    new MemoryCommand(*this, address, memoryBefore_, memoryAfter_, step_.get());
    if (own) {
        --depth_;
        std::unique_ptr<Step> step = std::move(step_);
        step->after = Place{true, address, 0};
        stack_->push(step.release());
    }
}

void DocumentHistory::cellEntered(int row)
{
    if (!recording() || row < 0 || row >= rows_.rowCount())
        return;
    pendingRow_ = row;
    pendingBefore_ = rows_.row(row);
}

orb::TableRows::Row DocumentHistory::rowBeforeCommit(int row) const
{
    if (row == pendingRow_)
        return pendingBefore_;
    return rows_.row(row);
}

void DocumentHistory::recordCommit(int row, const orb::TableRows::Row &before)
{
    if (!recording() || row < 0 || row >= rows_.rowCount())
        return;
    const orb::TableRows::Row &now = rows_.row(row);
    if (row == pendingRow_)
        pendingBefore_ = now;
    if (sameRow(now, before))
        return;
    beginStep(false);
    new EditCommand(rows_, row, before, now, step_.get());
    endStep();
}

void DocumentHistory::rowInserted(int at, int currentBefore, const orb::TableRows::Row &before)
{
    if (!recording())
        return;
    const int moved = currentBefore < at ? currentBefore : currentBefore + 1;
    beginStep();
    new InsertCommand(*this, at, currentBefore, before, rows_.row(moved), step_.get());
    endStep();
}

void DocumentHistory::rowRemoved(int at, const orb::TableRows::Row &removed, bool breakpoint)
{
    if (!recording())
        return;
    beginStep();
    new RemoveCommand(*this, at, removed, breakpoint, step_.get());
    endStep();
}

void DocumentHistory::memoryTyped(int address, const QString &before, const QString &after)
{
    if (!recording() || before == after)
        return;
    if (memoryAddress_ != address) {
        flushMemory();
        memoryAddress_ = address;
        memoryBefore_ = before;
    }
    memoryAfter_ = after;
}

void DocumentHistory::memoryLeft(int address)
{
    if (memoryAddress_ == address)
        flushMemory();
}

DocumentHistory::Snapshot DocumentHistory::snapshot() const
{
    Snapshot shot;
    shot.rows = rows_.rows();
    shot.memory = memory_.texts();
    shot.breakpoints = marks_.breakpoints();
    shot.scrollBarShown = places_.scrollBarShown();
    return shot;
}

void DocumentHistory::restore(const Snapshot &shot)
{
    places_.clearTableWidgets();
    rows_.reset(shot.rows);
    places_.showScrollBar(shot.scrollBarShown);
    memory_.setTexts(shot.memory);
    for (const int row : shot.breakpoints)
        marks_.toggleBreakpoint(row);
}

void DocumentHistory::beginDocumentChange()
{
    if (suspended_ == 0) {
        beginStep();
        documentBefore_ = std::make_unique<Snapshot>(snapshot());
    }
    ++suspended_;
}

void DocumentHistory::endDocumentChange()
{
    if (--suspended_ > 0)
        return;
    new DocumentCommand(*this, *documentBefore_, snapshot(), step_.get());
    documentBefore_.reset();
    endStep();
    resetPending();
}

void DocumentHistory::setMemory(int address, const QString &text)
{
    // The cell shows it without passing the focus on: it is not typing.
    memory_.setText(address, text);
}

void DocumentHistory::structureChanged()
{
    const int count = rows_.rowCount();
    if (count == scrollBarShownAt)
        places_.showScrollBar(true);
    else if (count == scrollBarHiddenAt)
        places_.showScrollBar(false);
}

void DocumentHistory::goTo(const Place &place)
{
    const bool memoryShown = places_.memoryShown();
    if (place.memory) {
        if (!memoryShown)
            places_.showMemory(true);
        places_.focusByte(place.row);
        return;
    }
    if (memoryShown)
        places_.showMemory(false);
    const int row = qBound(0, place.row, rows_.rowCount() - 1);
    places_.focusTableCell(row, place.column);
}

void DocumentHistory::resetPending()
{
    pendingRow_ = -1;
    const int row = places_.focusedRow();
    if (row >= 0)
        cellEntered(row);
}

void DocumentHistory::endEdit()
{
    flushMemory();
    const int row = places_.focusedRow();
    if (row < 0)
        return;
    // A cell entered and left as it was (after an undo, say) needs no check: the check of a
    // row put back could mark what the row's history had left unmarked.
    if (row == pendingRow_ && pendingRow_ < rows_.rowCount() &&
        sameRow(rows_.row(pendingRow_), pendingBefore_))
        return;
    places_.commitFocused();
}

void DocumentHistory::undo()
{
    if (rows_.runLocked() || !stack_->canUndo())
        return;
    // The edit under way ends here, so that it is the step undone.
    endEdit();
    applying_ = true;
    stack_->undo();
    applying_ = false;
    resetPending();
}

void DocumentHistory::redo()
{
    if (rows_.runLocked() || !stack_->canRedo())
        return;
    endEdit();
    applying_ = true;
    stack_->redo();
    applying_ = false;
    resetPending();
}
