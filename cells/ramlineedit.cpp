// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/ramlineedit.h"

#include "app/constants.h"
#include "cells/edithistory.h"
#include "cells/memorymodel.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTableWidget>

namespace {
constexpr int lastIndex = 15; // the table is 16 x 16
}

RamLineEdit::RamLineEdit(QTableWidget *table, orb::MemoryModel &memory, EditHistory *history,
                         int row, int column)
    : QLineEdit(table->viewport()), table_(table), memory_(memory), history_(history), row_(row),
      column_(column)
{
    // Born in the viewport that setCellWidget would move it to, and given its style sheet
    // before it is shown: the style is polished once, not again on the move.
    setText(memory.text(address()));
    setAlignment(Qt::AlignHCenter);
    setInputMask(QStringLiteral(">HH"));
    setStyleSheet(row % 2 == 0 ? orb::ramEvenRowStyle : orb::ramOddRowStyle);
    // Connected after the initial text, so that building the table moves no focus.
    connect(this, &QLineEdit::textChanged, this, &RamLineEdit::onTextChanged);
    table->setCellWidget(row, column, this);
}

RamLineEdit::~RamLineEdit() = default;

int RamLineEdit::address() const
{
    return row_ * (lastIndex + 1) + column_;
}

void RamLineEdit::showMemoryText()
{
    const QString &text = memory_.text(address());
    if (QLineEdit::text() == text)
        return;
    const QSignalBlocker blocker(this);
    setText(text);
}

void RamLineEdit::followWrite()
{
    showMemoryText();
    // Where setting the text leaves the cursor, also in a cell built with the written text.
    setCursorPosition(int(text().size()));
    advance();
}

void RamLineEdit::focusCell(int row, int column, int cursor) const
{
    if (auto *cell = qobject_cast<QLineEdit *>(table_->cellWidget(row, column))) {
        cell->setCursorPosition(cursor);
        cell->setFocus(Qt::OtherFocusReason);
    }
}

void RamLineEdit::onTextChanged()
{
    memory_.setText(address(), text());
    advance();
}

void RamLineEdit::advance()
{
    if (cursorPosition() != 2)
        return;
    if (column_ < lastIndex)
        focusCell(row_, column_ + 1, 0);
    else if (row_ < lastIndex)
        focusCell(row_ + 1, 0, 0);
}

void RamLineEdit::mousePressEvent(QMouseEvent *event)
{
    QLineEdit::mousePressEvent(event);
    // Where the click fell between the digits would decide where typing starts; a selection
    // (Shift+click) is the user's own and stays.
    if (event->button() == Qt::LeftButton && !hasSelectedText())
        setCursorPosition(0);
}

bool RamLineEdit::event(QEvent *event)
{
    // The undo and redo keys come to keyPressEvent, not to the window's shortcuts.
    if (event->type() == QEvent::ShortcutOverride && history_ &&
        EditHistory::keyOf(static_cast<QKeyEvent *>(event)) != EditHistory::Key::None) {
        event->accept();
        return true;
    }
    return QLineEdit::event(event);
}

void RamLineEdit::focusInEvent(QFocusEvent *event)
{
    // The cell's own undo covers this visit only; setting the same text clears it.
    const int cursor = cursorPosition();
    {
        const QSignalBlocker blocker(this);
        setText(text());
    }
    setCursorPosition(cursor);
    QLineEdit::focusInEvent(event);
}

void RamLineEdit::focusOutEvent(QFocusEvent *event)
{
    // A key may move the focus on and back (Backspace does): its end decides.
    if (!inKey_) {
        if (history_)
            history_->memoryLeft(address());
    }
    QLineEdit::focusOutEvent(event);
}

void RamLineEdit::reportTyping()
{
    if (!inKey_)
        return;
    inKey_ = false;
    if (history_)
        history_->memoryTyped(address(), textBeforeKey_, text());
}

void RamLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (history_) {
        // The cell's own typing is undone first, then the document's changes.
        switch (EditHistory::keyOf(event)) {
        case EditHistory::Key::Undo:
            event->accept();
            if (isUndoAvailable()) {
                textBeforeKey_ = text();
                inKey_ = true;
                undo();
                reportTyping();
            } else {
                history_->undo();
            }
            return;
        case EditHistory::Key::Redo:
            event->accept();
            if (isRedoAvailable()) {
                textBeforeKey_ = text();
                inKey_ = true;
                redo();
                reportTyping();
            } else {
                history_->redo();
            }
            return;
        case EditHistory::Key::None:
            break;
        }
    }
    // Only keys are the user's typing: a running program's writes are no undo steps.
    textBeforeKey_ = text();
    inKey_ = true;
    handleKey(event);
    reportTyping();
    // The second digit and Backspace at the start leave the byte: its visit ends.
    if (history_ && !hasFocus())
        history_->memoryLeft(address());
}

void RamLineEdit::handleKey(QKeyEvent *event)
{
    const int cursor = cursorPosition();
    switch (event->key()) {
    case Qt::Key_Up:
        if (row_ > 0)
            focusCell(row_ - 1, column_, cursor);
        event->accept();
        return;
    case Qt::Key_Down:
        if (row_ < lastIndex)
            focusCell(row_ + 1, column_, cursor);
        event->accept();
        return;
    case Qt::Key_Left:
        if (column_ > 0 && cursor == 0) {
            focusCell(row_, column_ - 1, 1);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Right:
        if (column_ < lastIndex && (cursor == 1 || cursor == 2)) {
            focusCell(row_, column_ + 1, 0);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        event->accept();
        return;
    case Qt::Key_Backspace: {
        // The cursor stands on a digit; after the last digit it stands on the last one.
        const int position = qMin(cursor, 1);
        // A cut cell shows mask blanks; they read as zero digits here.
        QString digits = displayText().leftJustified(2, QLatin1Char(' '), true);
        digits.replace(QLatin1Char(' '), QLatin1Char('0'));
        digits[position] = QLatin1Char('0');
        // Setting the text may advance the focus; the focus given below wins.
        setText(digits);
        if (position == 1)
            focusCell(row_, column_, 0);
        else if (column_ > 0)
            focusCell(row_, column_ - 1, 1);
        else if (row_ > 0)
            focusCell(row_ - 1, lastIndex, 1);
        else
            focusCell(row_, column_, 0);
        event->accept();
        return;
    }
    default:
        break;
    }
    QLineEdit::keyPressEvent(event);
}
