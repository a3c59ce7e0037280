#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the graph window draws for a transition table: the automaton of the static checks (a
// node per state, an edge per row a run may take) with the checks' findings on the nodes and
// edges they concern, and the rows with wrong cells drawn as typed, apart from the checks.
// Widget-free, so that the tests compare it for hand-made tables and the examples.

#include "analysis/automatongraph.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace orb {

struct GraphModelNode {
    enum class Look : quint8 {
        Normal,
        Unreachable, // no run gets there: grey
        Missing,     // a next state without rows: red, dashed
        Wrong,       // known only from rows with wrong cells: red
    };
    Look look = Look::Normal;
    int state = -1;          // -1 for a typed text that is no state number
    QString title;           // the number, or the text as typed
    QString microoperations; // "y31,y60"; empty for none
    QString controlFields;   // "y11,y14"; empty for none
    bool start = false;
    bool stops = false; // executes y70
    int firstRow = 0;   // 1-based; 0 for none
    QStringList findings;
    QString toolTip() const;
};

struct GraphModelEdge {
    int from = 0; // node indexes
    int to = 0;
    int row = 0; // 1-based
    QString condition;
    bool wrong = false; // the row has wrong cells
    QStringList findings;
    // "x1=1\nстр. 4"
    QString label() const;
    QString toolTip(const QList<GraphModelNode> &nodes) const;
};

struct GraphModel {
    QList<GraphModelNode> nodes;
    QList<GraphModelEdge> edges; // in row order
    QStringList generalFindings; // findings that concern no drawn node or edge
    // The node of state `state` (a state with rows or a missing one); -1 for none.
    int nodeOfState(int state) const;
    // The edge of row `row` (1-based); -1 for none.
    int edgeOfRow(int row) const;
};

// The table's rows: `wrongRows[i]` says whether row i (0-based) has a wrong cell.
GraphModel buildGraphModel(const TableSource &table, const std::vector<bool> &wrongRows);

// Where a run is, in model terms: the node being executed, the last transition's edge, and the
// nodes and edges visited so far.
struct GraphRunMarks {
    bool active = false;
    int currentNode = -1;
    int lastEdge = -1;
    std::vector<bool> visitedNodes; // by node index
    std::vector<bool> visitedEdges; // by edge index
    std::vector<int> edgeCounts;    // by edge index: how often the run took it
};

// From the rows (0-based) of the transitions taken, oldest first, and the state shown now.
GraphRunMarks runMarks(const GraphModel &model, const std::vector<int> &takenRows,
                       int currentState);

} // namespace orb
