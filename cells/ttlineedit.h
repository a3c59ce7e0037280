#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The line edit in each of the four cells of a transition-table row. It shows one cell of its
// owner's row store (cells/tablerows.h): what the user types, the end of an edit and the focus
// entering go to the store, whose row rules mark, normalise and parse the row; the owner's
// view then shows the result in the row's cells (showContents). It also moves the focus
// through the table by keyboard.
//
// The end-of-edit check runs on every focus loss (also a FocusOut event sent to a cell without
// the focus) and on Return; it does not hang on editingFinished, which Qt 6 emits only after a
// change. Save and Open call commit() on the current cell directly.

#include "cells/celllanguage.h"

#include <QLineEdit>

class MainWindow;

class TTLineEdit final : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TTLineEdit)

public:
    // field 0..3: source state, next state, conditions, signals (grid column 2 * field + 2).
    // The owner's grid layout adopts the cell; passing its widget as parent at once saves
    // polishing the cell's style twice.
    TTLineEdit(MainWindow *owner, int row, int field, QWidget *parent = nullptr);
    ~TTLineEdit() override;

    int row() const { return row_; }
    int column() const { return column_; }
    int field() const { return orb::fieldOfGridColumn(column_); }

    // The set-correct operation on the store, which keeps errorCount equal to the number of
    // wrong cells. A state cell whose text is not a valid state stays wrong whatever it is told.
    void setCorrect(bool value);
    bool isCorrect() const { return correct_; }
    // The view shows the store's text and mark of this cell.
    void showContents(const QString &text, bool correct);

    // The parsed forms of the cell's row (those of a detached cell are empty).
    orb::ParsedConditions parsedConditions() const;
    orb::ParsedSignals parsedSignals() const;

    // The end-of-edit check of this cell, as when it loses the focus: marks, normalises and
    // parses. Save and Open call it on the current cell before they read the table.
    void commit();
    // Sets the text (truncated to the cell's maximum length, as setText does) and commits it,
    // as loading a document fills a cell. Open itself fills the rows through the headless
    // loader; the tests and tools fill single cells this way.
    void fillAndCommit(const QString &text);

    // The owner calls this before it destroys the cell: from then on the cell runs no rule
    // and no longer touches the owner's rows.
    void detach() { owner_ = nullptr; }

public slots:
    // The end-of-edit handlers, each the cell's commit(). They are deliberately not connected
    // to editingFinished: Qt 6 emits it on a focus loss only after the text changed, but a
    // state cell's mark, lifted on focus-in, must come back when the cell is left unchanged,
    // so focusOutEvent and Return commit instead. Connecting the signal as well would run
    // every changed cell's check, normalisation included, twice.
    void onStateEditingFinished();
    void onStateChanged(const QString &text);
    void onTransitionConditionsEditingFinished();
    void onTransitionConditionsChanged(const QString &text);
    void onControlSignalsEditingFinished();
    void onControlSignalsChanged(const QString &text);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    enum CursorPlacement { CursorKept, CursorAtStart, CursorAtEnd };

    void applyStyle(const QString &style);
    void textEdited(const QString &text);
    QString toolTipText() const;
    // After an end-of-edit check of a signals cell whose text before the check was `typed`.
    void noteDroppedSignals(const QString &typed);
    bool focusCell(int row, int column, CursorPlacement placement) const;

    MainWindow *owner_;
    const int row_;
    const int column_;
    bool correct_ = true;
    quint64 commitCount_ = 0; // lets Return tell whether its focus change already committed
    // The signals the last commit dropped, and the normal text they were dropped from: the note
    // holds while the cell shows that text and the user has not typed into it.
    QString droppedNote_;
    QString droppedFromText_;
};
