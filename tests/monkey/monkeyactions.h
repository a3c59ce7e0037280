#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The monkey's actions and the checks after each. An action is plain data (a kind, two
// numbers and a text), drawn from a seed without looking at the windows, so that a sequence
// can be repeated, shrunk and kept as a script; what it means is decided when it runs (a row
// number is taken modulo the rows there are, a run action with no execution window open does
// nothing).

#include <QString>
#include <QtGlobal>

#include <vector>

namespace monkey {

enum class Kind {
    Type,    // focus table cell (a, b) and type text
    Key,     // key a (index into the key list) with Shift when b is odd, to the focused cell
    RamType, // focus memory cell (a / 16 % 16, a % 16) and type text
    RamKey,  // memory cell a, key b
    Button,  // editor button a (add, delete, start, table page, memory page)
    New,
    Open, // the file dialog answered with path a of the folder's list
    Save,
    Exit,       // close request, the exit dialog answered " Нет"
    Breakpoint, // click on the number label of row a
    Help,       // F1 on the editor (b even) or the execution window
    Step,       // the execution window: step button
    RunToEnd,
    StepBack, // pushButton_3 (b even) or Backspace
    Escape,
    CloseRun, // the execution window's close button
    // Undo and redo go here once the editor has them.
    Count
};

struct Action {
    Kind kind = Kind::Step;
    int a = 0;
    int b = 0;
    QString text;
    // Answers of the dialogs the action meets are drawn from this.
    quint32 answers = 0;

    QString describe() const;
};

struct Outcome {
    int done = 0;    // actions performed, the failing one included
    QString failure; // empty: every check held
};

std::vector<Action> generate(quint64 seed, int count);
// Runs the actions on a fresh editor in a fresh temporary folder, checking after each.
Outcome runActions(const std::vector<Action> &actions, quint64 seed);

// A script is "seed N" (the seed of the folder's random file), then one action a line.
QString writeScript(const std::vector<Action> &actions, quint64 seed);
std::vector<Action> readScript(const QString &script, quint64 *seed);

// What the actions met so far, over all runs.
struct Counts {
    qint64 launches = 0;   // execution windows opened
    qint64 runPresses = 0; // steps, runs to the end and steps back in an open window
    qint64 dialogs = 0;    // modal dialogs answered
};
const Counts &totals();

// Every Qt message from warning up becomes a finding of the running action.
void installWarningTrap();

} // namespace monkey
