#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// One byte of the model's main memory: a cell of the memory table holding two hexadecimal
// digits. The cells are the memory; there is no byte array behind them. Typing the second
// digit moves on to the next address, the arrow keys move through the table and Backspace
// works like a block cursor that clears digits from right to left.

#include <QLineEdit>

class DocumentHistory;
class QTableWidget;

class RamLineEdit final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RamLineEdit)

public:
    // Places itself in the table at (row, column); the table owns it from then on.
    RamLineEdit(QTableWidget *table, int row, int column);
    ~RamLineEdit() override;

    int row() const { return row_; }
    int column() const { return column_; }

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    // A click anywhere in the byte puts the cursor before its first digit, so that the two
    // digits typed next fill this byte.
    void mousePressEvent(QMouseEvent *event) override;

private slots:
    void onTextChanged(const QString &string);

private:
    // Gives the focus to the cell at (row, column) with the text cursor at `cursor`.
    void focusCell(int row, int column, int cursor) const;
    // The editor's history, when the cell is in an editor's memory table.
    DocumentHistory *history() const;
    void handleKey(QKeyEvent *event);
    // Reports what the key being handled typed (once, also when it moved the focus on).
    void reportTyping();

    QTableWidget *table_;
    const int row_;
    const int column_;
    bool inKey_ = false;
    QString textBeforeKey_;
};
