#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// One byte of the document's memory: a cell of the memory table showing the two hexadecimal
// digits of its address in the memory model. Every change of its text (a key, a paste, an
// undo of its own) goes into the model at once; a change of the model's text is shown
// without counting as typing. Typing the second digit moves on to the next address, and so
// does a program's write; the arrow keys move through the table and Backspace works like a
// block cursor that clears digits from right to left.

#include <QLineEdit>

class EditHistory;
class QTableWidget;

namespace orb {
class MemoryModel;
}

class RamLineEdit final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RamLineEdit)

public:
    // Places itself in the table at (row, column), showing the byte at 16 * row + column; the
    // table owns it from then on. Without a history the undo keys are the line edit's own.
    RamLineEdit(QTableWidget *table, orb::MemoryModel &memory, EditHistory *history, int row,
                int column);
    ~RamLineEdit() override;

    int row() const { return row_; }
    int column() const { return column_; }
    int address() const;

    // The model's text of the byte changed: shown, and the focus stays.
    void showMemoryText();
    // A program wrote the byte: the focus passes on as after a typed second digit, so that a
    // student watching the memory page sees where it wrote.
    void followWrite();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // A click anywhere in the byte puts the cursor before its first digit, so that the two
    // digits typed next fill this byte.
    void mousePressEvent(QMouseEvent *event) override;

private slots:
    void onTextChanged();

private:
    // Gives the focus to the cell at (row, column) with the text cursor at `cursor`.
    void focusCell(int row, int column, int cursor) const;
    void handleKey(QKeyEvent *event);
    // Reports what the key being handled typed (once, also when it moved the focus on).
    void reportTyping();

    void advance();

    QTableWidget *table_;
    orb::MemoryModel &memory_;
    EditHistory *history_;
    const int row_;
    const int column_;
    bool inKey_ = false;
    QString textBeforeKey_;
};
