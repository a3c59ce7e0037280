#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Static checks of a control automaton: what a transition table will do before it runs.
//
// The analysis walks the table as the step engine does (a state's signals are those of its
// first row; after its last microoperation the state's rows are tried in table order on the
// flags) over sets of flag values instead of values: for every state the set of X4 … P vectors
// with which it can be entered and left. Z, N, C and P after a microoperation are the values
// that microoperation can leave (from the signal table, the ALU tried on every pair of bytes),
// X4 … X1 are 0 until a РК load, after one any value. Registers and memory count as any value,
// so the sets over-approximate what a run can see: a state outside them is certainly never
// reached, while a stop found inside them happens only if the run gets there.
//
// Widget-free: the editor, the graph window and orb-check share it.

#include "sim/stepengine.h"

#include <QList>
#include <QString>

#include <bitset>
#include <vector>

namespace orb {

enum class Severity : quint8 {
    Error,   // the run will fail on some path
    Warning, // almost surely a mistake
    Note,    // legal but worth knowing
};
QString severityName(Severity severity); // "error", "warning", "note"

struct Finding {
    QString code; // stable: "missing-state", "ignored-signals", …
    Severity severity = Severity::Warning;
    // 1-based, as the editor numbers them: the row the finding is about first, then any other
    // row it involves.
    QList<int> rows;
    QList<int> states; // ascending
    QString message;   // for students, in Russian
    // The first row, or 0 for a finding without a row.
    int row() const { return rows.isEmpty() ? 0 : rows.first(); }
};

// A set of flag vectors: bit k of a vector is the flag of FlagIndex k (as Processor::flagBits).
using FlagSet = std::bitset<256>;

// What the analysis learnt about one state that has rows.
struct StateFacts {
    int state = 0;
    std::vector<int> rows;       // 0-based, table order; rows.front() is the first row
    std::vector<int> microops;   // executed in order (up to and including a y70)
    ControlFields controlFields; // as the first row loads them
    bool stops = false;          // executes y70: no transition follows
    FlagSet entry;               // flag vectors it can be entered with (empty: unreachable)
    FlagSet exit;                // flag vectors its rows are tried on
    bool reachable() const { return entry.any(); }
};

struct Analysis {
    QList<Finding> findings;        // sorted: findings without a row first, then by row
    std::vector<StateFacts> states; // ascending by state number
    // Per table row (0-based): whether some run may take it (its state is reached, does not
    // stop, and the row is the first whose condition holds for some flag vector of its state).
    std::vector<bool> takeable;
    // States that a takeable row leads to but that have no row.
    std::vector<int> missingStates;

    // nullptr for a state without rows.
    const StateFacts *facts(int state) const;
};

Analysis analyzeProgram(const Program &program);

// The Z, N, C, P values (bit 0 Z, 1 N, 2 C, 3 P of the index) that microoperation `signal`
// can leave under the row's control fields, as a set of 16 bits.
quint16 resultFlagOutcomes(int signal, const ControlFields &fields);

// "Z=1, C=0" for the flags of `mask` in vector `flags`.
QString describeFlags(int flags, int mask);

} // namespace orb
