#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The automaton as a graph: a node per state, an edge per row that a run may take, with the
// marks the checks found. Plain data, so a graph window can lay it out as well as the DOT writer
// below renders it for Graphviz.

#include "analysis/analysis.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace orb {

struct GraphNode {
    enum class Kind : quint8 {
        State,   // a state with rows
        Missing, // a next state without rows: the run stops there
    };
    Kind kind = Kind::State;
    int state = 0;
    QString microoperations; // "y31,y60"; empty for none
    QString controlFields;   // "y11,y14"; empty for none
    bool start = false;      // state 0
    bool reachable = true;
    bool stops = false; // executes y70
    int firstRow = 0;   // 1-based; 0 for a missing state
};

struct GraphEdge {
    int from = 0;
    int to = 0;
    int row = 0;       // 1-based
    QString condition; // the cell's text, in normal form
};

// Signals written on a state's later rows, never executed.
struct GraphNote {
    int state = 0;
    int row = 0; // 1-based
    QString signalsText;
};

struct AutomatonGraph {
    QList<GraphNode> nodes; // states ascending, then missing states ascending
    QList<GraphEdge> edges; // in row order
    QList<GraphNote> notes;
};

AutomatonGraph automatonGraph(const Program &program, const Analysis &analysis);

// Graphviz DOT text, UTF-8.
QByteArray writeDot(const AutomatonGraph &graph);

} // namespace orb
