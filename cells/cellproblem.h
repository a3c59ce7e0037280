#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Why a transition-table cell is refused, as a stable code and a Russian sentence: the tool
// tip of a red cell, orb-run's wrong-cell lines and the static checks all say the same thing.
// The reasons walk a text exactly as the checks of the cell language do, so a text is refused
// by its check if and only if cellProblem names a reason.

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace orb {

struct CellProblem {
    QString code;    // stable, e.g. "cyrillic-y", "blank-before", "operand-twice"
    QString message; // Russian, one sentence
};

// Why the text of a cell of `field` (orb::Field) is refused by the cell's own check; nullopt
// when it passes.
std::optional<CellProblem> cellProblem(int field, QStringView text);

// Why a cell of a row is marked wrong, given the row's four texts (in field order): the cell's
// own check first, then the row rule that a row with anything in it needs both states.
// nullopt when the cell is correct.
std::optional<CellProblem> rowCellProblem(const std::array<QString, 4> &row, int field);

// The numbers of a correct signals text that normalisation drops because they name no signal,
// e.g. "y32, y80 — таких сигналов нет; убраны"; empty when there are none (or the text is
// refused).
QString droppedSignalsNote(QStringView signalsText);

} // namespace orb
