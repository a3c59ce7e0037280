#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The layout of the automaton by Graphviz's dot, in-process through its C library: where the
// nodes go, how the edges run and where their labels sit, in points with y growing downwards
// (a scene's coordinates). The node sizes come from the caller, who draws the texts and so
// knows their size; the edge labels are measured by Graphviz in the font the caller names.

#include "graph/graphmodel.h"

#include <QList>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>

#include <vector>

namespace orb {

struct GraphLayoutOptions {
    std::vector<QSizeF> nodeSizes; // by node index
    bool edgeLabels = true;        // false: the labels are left to the tool tips
    QString labelFont = QStringLiteral("Liberation Sans");
    double labelPointSize = 9;
};

struct GraphLayout {
    struct Edge {
        QPainterPath path;
        QPolygonF arrowHead; // empty when the edge has none
        QPointF labelCenter;
        bool hasLabel = false;
    };
    QRectF bounds;
    std::vector<QRectF> nodes; // by node index
    std::vector<Edge> edges;   // by edge index
    // The arrow into the start state, from a dot above it; empty without a start state.
    Edge startEdge;
    QPointF startPoint;
    bool hasStart = false;
};

GraphLayout layOutGraph(const GraphModel &model, const GraphLayoutOptions &options);

} // namespace orb
