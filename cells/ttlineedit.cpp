// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/ttlineedit.h"

#include "app/constants.h"
#include "undo/documenthistory.h"
#include "app/mainwindow.h"
#include "cells/cellproblem.h"
#include "cells/tablerows.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QToolTip>

#include <array>

TTLineEdit::TTLineEdit(MainWindow *owner, int row, int field, QWidget *parent)
    : QLineEdit(parent), owner_(owner), row_(row), column_(orb::gridColumnOfField(field))
{
    setStyleSheet(orb::correctCellStyle);
    // Typing into the cell ends the note on what its last commit dropped, and so does any
    // other text put here (a row moved or cleared): the note belongs to the text it was made for.
    connect(this, &QLineEdit::textEdited, this, [this] { droppedNote_.clear(); });
    connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text != droppedFromText_)
            droppedNote_.clear();
    });
}

TTLineEdit::~TTLineEdit() = default;

void TTLineEdit::applyStyle(const QString &style)
{
    // Re-polishing a style sheet is costly and the style rarely changes: set it only then.
    if (styleSheet() != style)
        setStyleSheet(style);
}

void TTLineEdit::setCorrect(bool value)
{
    if (owner_)
        owner_->tableRows().setCellCorrect(row_, field(), value);
}

void TTLineEdit::showContents(const QString &text, bool correct)
{
    // A text the user is typing is the store's already; setting it again would move the
    // cursor. A new one fires textChanged, which finds the store agreeing.
    if (text != this->text())
        setText(text);
    correct_ = correct;
    applyStyle(correct ? orb::correctCellStyle : orb::incorrectCellStyle);
}

orb::ParsedConditions TTLineEdit::parsedConditions() const
{
    if (!owner_ || row_ >= owner_->tableRows().rowCount())
        return {};
    return owner_->tableRows().row(row_).conditions;
}

orb::ParsedSignals TTLineEdit::parsedSignals() const
{
    if (!owner_ || row_ >= owner_->tableRows().rowCount())
        return {};
    return owner_->tableRows().row(row_).signalNumbers;
}

void TTLineEdit::commit()
{
    if (!owner_)
        return;
    ++commitCount_;
    const QString typed = text();
    DocumentHistory &history = owner_->history();
    const orb::TableRows::Row before = history.rowBeforeCommit(row_);
    owner_->tableRows().editingFinished(row_, field());
    history.recordCommit(row_, before);
    noteDroppedSignals(typed);
}

void TTLineEdit::fillAndCommit(const QString &text)
{
    if (!owner_)
        return;
    ++commitCount_;
    DocumentHistory &history = owner_->history();
    const orb::TableRows::Row before = history.rowBeforeCommit(row_);
    owner_->tableRows().fillAndCommit(row_, field(), text);
    history.recordCommit(row_, before);
    noteDroppedSignals(text.left(maxLength()));
}

void TTLineEdit::noteDroppedSignals(const QString &typed)
{
    if (field() != orb::SignalsField || !correct_)
        return;
    // A commit that drops nothing (leaving an unchanged cell) keeps the note it has.
    const QString note = orb::droppedSignalsNote(typed);
    if (note.isEmpty())
        return;
    droppedNote_ = note;
    droppedFromText_ = text();
}

QString TTLineEdit::toolTipText() const
{
    if (!owner_ || row_ >= owner_->tableRows().rowCount())
        return QString();
    if (!correct_) {
        std::array<QString, 4> texts;
        for (int field = 0; field < orb::fieldCount; ++field)
            texts[size_t(field)] = owner_->tableRows().cellText(row_, field);
        const std::optional<orb::CellProblem> problem = orb::rowCellProblem(texts, field());
        return problem ? problem->message : QString();
    }
    return droppedNote_;
}

// The tool tip is worked out when it is asked for, from the row as it is then: a red cell says
// why, a correct one what its last commit dropped, if anything.
bool TTLineEdit::event(QEvent *event)
{
    // The undo and redo keys come to keyPressEvent, not to the window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride && owner_ &&
        DocumentHistory::keyOf(static_cast<QKeyEvent *>(event)) != DocumentHistory::Key::None) {
        event->accept();
        return true;
    }
    if (event->type() != QEvent::ToolTip)
        return QLineEdit::event(event);
    const QString tip = toolTipText();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), tip, this, rect());
    }
    return true;
}

void TTLineEdit::onStateEditingFinished()
{
    commit();
}

void TTLineEdit::onTransitionConditionsEditingFinished()
{
    commit();
}

void TTLineEdit::onControlSignalsEditingFinished()
{
    commit();
}

void TTLineEdit::onStateChanged(const QString &text)
{
    textEdited(text);
}

void TTLineEdit::onTransitionConditionsChanged(const QString &text)
{
    textEdited(text);
}

void TTLineEdit::onControlSignalsChanged(const QString &text)
{
    textEdited(text);
}

void TTLineEdit::textEdited(const QString &text)
{
    if (owner_)
        owner_->tableRows().setCellText(row_, field(), text);
}

bool TTLineEdit::focusCell(int row, int column, CursorPlacement placement) const
{
    TTLineEdit *cell = owner_->viewCell(row, column);
    if (!cell)
        return false;
    if (placement == CursorAtStart)
        cell->setCursorPosition(0);
    else if (placement == CursorAtEnd)
        cell->setCursorPosition(int(cell->text().size()));
    cell->setFocus(Qt::OtherFocusReason);
    return true;
}

void TTLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (!owner_) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // The cell's own typing is undone first, then the document's changes.
    switch (DocumentHistory::keyOf(event)) {
    case DocumentHistory::Key::Undo:
        if (isUndoAvailable())
            undo();
        else
            owner_->history().undo();
        event->accept();
        return;
    case DocumentHistory::Key::Redo:
        if (isRedoAvailable())
            redo();
        else
            owner_->history().redo();
        event->accept();
        return;
    case DocumentHistory::Key::None:
        break;
    }
    const int key = event->key();
    // W, A, S and D navigate with or without Shift; with Ctrl, Alt or Meta they stay shortcuts.
    const bool letter =
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const bool atStart = cursorPosition() == 0;
    const bool atEnd = cursorPosition() == text().size();
    const int lastRow = owner_->stringCount() - 1;

    if (key == Qt::Key_Up || (letter && key == Qt::Key_W)) {
        if (row_ > 0)
            focusCell(row_ - 1, column_, CursorKept);
        event->accept();
        return;
    }
    if (key == Qt::Key_Down || (letter && key == Qt::Key_S)) {
        if (row_ < lastRow)
            focusCell(row_ + 1, column_, CursorKept);
        event->accept();
        return;
    }
    if ((letter && key == Qt::Key_A) || (key == Qt::Key_Left && atStart)) {
        if (column_ > 2)
            focusCell(row_, column_ - 2, CursorKept);
        else if (row_ > 0)
            focusCell(row_ - 1, 8, CursorAtEnd);
        event->accept();
        return;
    }
    if ((letter && key == Qt::Key_D) || (key == Qt::Key_Right && atEnd)) {
        if (column_ < 8)
            focusCell(row_, column_ + 2, CursorKept);
        else if (row_ < lastRow)
            focusCell(row_ + 1, 2, CursorAtStart);
        event->accept();
        return;
    }
    if (key == Qt::Key_Backspace && atStart && !hasSelectedText()) {
        event->accept();
        if (owner_->currentColumn() == 2) {
            // The deletion destroys the widgets of the last row, possibly this very cell
            // (deferred, but detached at once): nothing of this cell is used after it.
            MainWindow *owner = owner_;
            const int row = row_;
            const int column = column_;
            // The deletion and the focus move it makes are one undo step.
            owner->history().beginStep();
            owner->deleteString();
            if (row > 0) {
                if (TTLineEdit *cell = owner->viewCell(row - 1, column))
                    cell->setFocus(Qt::OtherFocusReason);
            }
            owner->history().endStep();
        } else {
            focusCell(row_, column_ - 2, CursorKept);
        }
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        // returnPressed inserts a row and usually moves the focus, which commits this cell
        // on its way out; if the focus stayed, the edit ends here. Either way once.
        // The commit and the row inserted are one undo step.
        const quint64 commitsBefore = commitCount_;
        const QPointer<TTLineEdit> self(this);
        MainWindow *owner = owner_;
        owner->history().beginStep();
        QLineEdit::keyPressEvent(event);
        if (self && commitCount_ == commitsBefore)
            commit();
        owner->history().endStep();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TTLineEdit::focusInEvent(QFocusEvent *event)
{
    if (owner_) {
        // Undo and redo put the focus on the cell they changed and restore its mark as it was.
        if (!owner_->history().applying()) {
            owner_->history().cellEntered(row_);
            owner_->tableRows().focusIn(row_, field());
        }
        owner_->setCurrentCell(row_, column_);
    }
    // The cell's own undo covers this visit only: what it undid before is the document's
    // history now. Setting the same text clears it and changes nothing else.
    const int cursor = cursorPosition();
    setText(text());
    setCursorPosition(cursor);
    QLineEdit::focusInEvent(event);
}

void TTLineEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // The cell's own context menu takes the focus without ending the edit.
    if (event->reason() == Qt::PopupFocusReason) {
        const QWidget *popup = QApplication::activePopupWidget();
        if (popup && popup->parentWidget() == this)
            return;
    }
    if (owner_ && owner_->history().applying())
        return;
    commit();
}

bool TTLineEdit::focusNextPrevChild(bool next)
{
    // Tab goes on to the neighbouring row, whose cells the owner may not have built yet;
    // building them puts them next in the focus chain.
    if (owner_) {
        if (next && column_ == 8)
            owner_->viewCell(row_ + 1, 2);
        else if (!next && column_ == 2)
            owner_->viewCell(row_ - 1, 8);
    }
    return QLineEdit::focusNextPrevChild(next);
}
