#pragma once

// The line edit in each of the four cells of a transition-table row. It judges its text with
// the shared row rules (cells/rowrules.h) while the user types and when the edit ends, shows
// the correct or the wrong style, keeps its owner's error count in step, keeps the parsed form
// that the step engine reads, and moves the focus through the table by keyboard.
//
// The end-of-edit check runs on every focus loss (also a synthetic FocusOut event) and on
// Return; it does not hang on editingFinished, which Qt 6 emits only after a change.

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

    // The set-correct operation: keeps the owner's errorCount equal to the number of wrong
    // cells. A state cell whose text is not a valid state stays wrong whatever it is told.
    void setCorrect(bool value);
    bool isCorrect() const { return correct_; }
    // A cell built for a row whose contents were kept as data takes over the row's mark; the
    // owner's errorCount has counted it already.
    void takeMark(bool correct);

    // The parsed form of a conditions cell and of a signals cell (the other cells leave theirs
    // untouched).
    const orb::ParsedConditions &parsedConditions() const { return conditions_; }
    orb::ParsedConditions &parsedConditions() { return conditions_; }
    const orb::ParsedSignals &parsedSignals() const { return signals_; }
    orb::ParsedSignals &parsedSignals() { return signals_; }

    // The end-of-edit check of this cell, as when it loses the focus: marks, normalises and
    // parses. Save and Open call it on the current cell before they read the table.
    void commit();
    // Loading a document: sets the text (truncated to the cell's maximum length, as setText
    // does) and commits it.
    void fillAndCommit(const QString &text);

    // The owner calls this before it destroys the cell: from then on the cell runs no rule
    // and no longer touches the owner's count.
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
    // A red cell's tool tip says why it is red; a correct signals cell whose numbers that name
    // no signal were dropped on normalising says which, until the user edits it again. A
    // correct cell has none otherwise. Worked out when asked, from the row as it is then.
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool focusNextPrevChild(bool next) override;

private:
    class RowAdapter;
    enum CursorPlacement { CursorKept, CursorAtStart, CursorAtEnd };

    void applyStyle(const QString &style);
    QString toolTipText() const;
    // After an end-of-edit check of a signals cell whose text before the check was `typed`.
    void noteDroppedSignals(const QString &typed);
    void runTextChangedRules();
    bool focusCell(int row, int column, CursorPlacement placement) const;
    void scrollIntoViewLater();

    MainWindow *owner_;
    const int row_;
    const int column_;
    bool correct_ = true;
    quint64 commitCount_ = 0; // lets Return tell whether its focus change already committed
    orb::ParsedConditions conditions_;
    orb::ParsedSignals signals_;
    // The signals the last commit dropped, and the normal text they were dropped from: the note
    // holds while the cell shows that text and the user has not typed into it.
    QString droppedNote_;
    QString droppedFromText_;
};
