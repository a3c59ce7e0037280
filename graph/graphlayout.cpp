// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graphlayout.h"

#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>

#include <QByteArray>
#include <QLineF>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// One context for the program: it loads the layout plugins once.
GVC_t *graphvizContext()
{
    static GVC_t *context = [] {
        // Graphviz's own warnings (a label it cannot place well) are no concern of a student's.
        agseterr(AGERR);
        return gvContext();
    }();
    return context;
}

char *text(const char *literal)
{
    return const_cast<char *>(literal);
}

void set(void *object, const char *name, const QByteArray &value)
{
    agsafeset(object, text(name), const_cast<char *>(value.constData()), text(""));
}

QByteArray inches(double points)
{
    return QByteArray::number(points / 72.0, 'f', 4);
}

GraphLayout::Edge edgeGeometry(Agedge_t *edge, double top)
{
    auto flip = [top](pointf p) { return QPointF(p.x, top - p.y); };
    GraphLayout::Edge out;
    const splines *spline = ED_spl(edge);
    if (spline && spline->size > 0) {
        for (int i = 0; i < spline->size; ++i) {
            const bezier &curve = spline->list[i];
            if (curve.size == 0)
                continue;
            out.path.moveTo(flip(curve.list[0]));
            for (int k = 1; k + 2 < curve.size; k += 3)
                out.path.cubicTo(flip(curve.list[k]), flip(curve.list[k + 1]),
                                 flip(curve.list[k + 2]));
            if (curve.eflag) {
                const QPointF base = flip(curve.list[curve.size - 1]);
                const QPointF tip = flip(curve.ep);
                const QLineF axis(base, tip);
                QLineF normal = axis.normalVector();
                normal.setLength(3.5);
                const QPointF side = normal.p2() - normal.p1();
                out.arrowHead << tip << base + side << base - side;
            }
        }
    }
    if (const textlabel_t *label = ED_label(edge)) {
        out.hasLabel = true;
        out.labelCenter = flip(label->pos);
    }
    return out;
}

// Above this many edges the layout's passes are bounded.
constexpr int largeGraphEdges = 100;

} // namespace

GraphLayout layOutGraph(const GraphModel &model, const GraphLayoutOptions &options)
{
    GraphLayout layout;
    GVC_t *context = graphvizContext();
    Agraph_t *graph = agopen(text("automaton"), Agdirected, nullptr);
    set(graph, "rankdir", "TB");
    set(graph, "nodesep", "0.3");
    set(graph, "ranksep", "0.35");

    std::vector<Agnode_t *> nodes;
    nodes.reserve(size_t(model.nodes.size()));
    for (int i = 0; i < model.nodes.size(); ++i) {
        Agnode_t *node = agnode(graph, QByteArray("n" + QByteArray::number(i)).data(), 1);
        const QSizeF size =
            size_t(i) < options.nodeSizes.size() ? options.nodeSizes[size_t(i)] : QSizeF(40, 24);
        set(node, "shape", "box");
        set(node, "fixedsize", "true");
        set(node, "label", "");
        set(node, "width", inches(size.width()));
        set(node, "height", inches(size.height()));
        nodes.push_back(node);
    }
    Agnode_t *start = nullptr;
    Agedge_t *startEdge = nullptr;
    if (const int first = model.nodeOfState(0); first >= 0 && model.nodes[first].start) {
        start = agnode(graph, text("start"), 1);
        set(start, "shape", "point");
        set(start, "width", "0.1");
        startEdge = agedge(graph, start, nodes[size_t(first)], text("start"), 1);
    }
    const QByteArray fontName = options.labelFont.toUtf8();
    const QByteArray fontSize = QByteArray::number(options.labelPointSize);
    std::vector<Agedge_t *> edges;
    edges.reserve(size_t(model.edges.size()));
    for (int i = 0; i < model.edges.size(); ++i) {
        const GraphModelEdge &edge = model.edges[i];
        Agedge_t *e = agedge(graph, nodes[size_t(edge.from)], nodes[size_t(edge.to)],
                             QByteArray("e" + QByteArray::number(i)).data(), 1);
        if (options.edgeLabels) {
            set(e, "fontname", fontName);
            set(e, "fontsize", fontSize);
            set(e, "label", edge.label().toUtf8());
        }
        edges.push_back(e);
    }

    // dot's rank and crossing passes run unbounded: 500 transitions among 250 states took 39 s
    // (and over 200 s with labels) with the defaults and 1.1 s with these limits, measured with
    // the dot program on this machine under load. Small tables keep the best layout.
    if (model.edges.size() > largeGraphEdges) {
        set(graph, "nslimit", "2");
        set(graph, "nslimit1", "2");
        set(graph, "mclimit", "0.1");
        set(graph, "searchsize", "10");
    }
    gvLayout(context, graph, "dot");
    const boxf box = GD_bb(graph);
    const double top = box.UR.y;
    layout.bounds = QRectF(box.LL.x, 0, box.UR.x - box.LL.x, box.UR.y - box.LL.y);
    for (Agnode_t *node : nodes) {
        const pointf center = ND_coord(node);
        const double width = ND_width(node) * 72.0;
        const double height = ND_height(node) * 72.0;
        layout.nodes.emplace_back(center.x - width / 2, top - center.y - height / 2, width, height);
    }
    for (Agedge_t *edge : edges)
        layout.edges.push_back(edgeGeometry(edge, top));
    if (start) {
        layout.hasStart = true;
        layout.startPoint = QPointF(ND_coord(start).x, top - ND_coord(start).y);
        layout.startEdge = edgeGeometry(startEdge, top);
    }
    gvFreeLayout(context, graph);
    agclose(graph);
    return layout;
}

} // namespace orb
