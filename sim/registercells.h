#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The value cells of the execution window's two register panels ("before" and "after"), in the
// register table's order: what they show (each register in its radix, each flag as 0 or 1),
// their tool tips, and their looks as a debugger sets them: a watched register in the
// breakpoint red, a cell the last microoperation changed framed (F6). Their own inputs are
// here too: a double-click on an "after" cell watches the register (Shift: for a value), and a
// cell's context menu chooses the register's radix and its watch. The window hands in the run
// and the watch list and asks for the panels to be filled and restyled after every press.

#include "sim/registers.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>

class QLabel;
class QWidget;

namespace orb {
class Processor;
class StepEngine;
class WatchList;
} // namespace orb

class RegisterCells final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RegisterCells)

public:
    static constexpr int cellCount = orb::registerTableSize;

    // The cells are the labels named KEY + "BeforeLabel" in `beforeBox` and KEY + "AfterLabel"
    // in `afterBox`, KEY from cellKeys(); they show what `engine` records.
    RegisterCells(QWidget *beforeBox, QWidget *afterBox, const orb::StepEngine &engine,
                  QObject *parent);
    ~RegisterCells() override;

    // The panels' value cells in the register table's order (keys rk1 … s3, then x4 … p).
    static const std::array<const char *, cellCount> &cellKeys();

    // Where the cells' double-clicks and menus set and clear watches.
    void setWatchList(orb::WatchList *watches);

    // The "before" panel from the engine's registers before the microoperation, the "after"
    // panel from those after it; only the cells whose value changed get a new text.
    void fillBefore();
    void fillAfter();
    // The looks and tool tips of the cells: watched, changed by the last microoperation, plain.
    void restyle();

    void setChangeMarks(bool on);
    bool changeMarks() const { return changeMarks_; }

    // How a register's cells show its byte, kept for the rest of the program's life.
    static orb::Radix radixOf(int registerIndex);
    void chooseRadix(int registerIndex, orb::Radix radix);
    static QString radixText(orb::Radix radix);
    // A register value cell's tool tip: "3C = 60 = +60 = 0011 1100".
    static QString valueToolTip(int value);

signals:
    // A dialog of the cells is about to open (a paced run pauses for it).
    void dialogOpening();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Panel {
        std::array<QLabel *, cellCount> labels{};
        std::array<int, cellCount> shown{}; // the values the labels show now
    };

    void fill(Panel &panel, const orb::Processor &registers);
    void refill(int registerIndex);
    void askForWatchValue(int cell);
    void showMenu(int cell, const QPoint &globalPosition);

    const orb::StepEngine &engine_;
    Panel before_;
    Panel after_;
    QPointer<orb::WatchList> watches_;
    bool changeMarks_ = false;
    quint64 markedCells_ = 0;  // by register table index: cells shown as changed
    quint64 watchedCells_ = 0; // and as watched
    QFont cellFont_;
    std::array<QString, cellCount> plainStyles_;
};
