// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/automatongraph.h"

using namespace Qt::StringLiterals;

namespace orb {

namespace {

QString joinSignals(const std::vector<int> &numbers)
{
    QStringList parts;
    for (int number : numbers)
        parts << u"y"_s + QString::number(number);
    return parts.join(u',');
}

// A DOT string literal; "\n" in `text` becomes a centred line break.
QString quoted(const QString &text)
{
    QString out = u"\""_s;
    for (const QChar c : text) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c == u'\n')
            out += u"\\n"_s;
        else
            out += c;
    }
    return out + u'"';
}

QString nodeId(const GraphNode &node)
{
    return (node.kind == GraphNode::Kind::Missing ? u"m"_s : u"s"_s) + QString::number(node.state);
}

} // namespace

AutomatonGraph automatonGraph(const Program &program, const Analysis &analysis)
{
    AutomatonGraph graph;
    for (const StateFacts &facts : analysis.states) {
        GraphNode node;
        node.state = facts.state;
        node.start = facts.state == 0;
        node.reachable = facts.reachable();
        node.stops = facts.stops;
        node.firstRow = facts.rows.front() + 1;
        node.microoperations = joinSignals(facts.microops);
        std::vector<int> fields;
        for (int field = 0; field < 16; ++field) {
            if (facts.controlFields.marks[size_t(field)])
                fields.push_back(field);
        }
        node.controlFields = joinSignals(fields);
        graph.nodes << node;
        for (size_t k = 1; k < facts.rows.size(); ++k) {
            const ProgramRow &row = program.row(facts.rows[k]);
            if (!row.signalsText.isEmpty())
                graph.notes << GraphNote{facts.state, facts.rows[k] + 1, row.signalsText};
        }
    }
    for (int state : analysis.missingStates) {
        GraphNode node;
        node.kind = GraphNode::Kind::Missing;
        node.state = state;
        graph.nodes << node;
    }
    for (int row = 0; row < program.rowCount(); ++row) {
        if (analysis.takeable[size_t(row)]) {
            const ProgramRow &r = program.row(row);
            graph.edges << GraphEdge{r.sourceState, r.nextState, row + 1, r.conditionText};
        }
    }
    return graph;
}

QByteArray writeDot(const AutomatonGraph &graph)
{
    QString dot =
        u"digraph automaton {\n"
        u"    rankdir=TB;\n"
        u"    node [shape=box, style=rounded, fontname=\"Liberation Sans\", fontsize=11];\n"
        u"    edge [fontname=\"Liberation Sans\", fontsize=9];\n"_s;
    auto idOf = [&](int state) {
        for (const GraphNode &node : graph.nodes) {
            if (node.state == state)
                return nodeId(node);
        }
        return u"s"_s + QString::number(state);
    };
    bool hasStart = false;
    for (const GraphNode &node : graph.nodes) {
        QStringList attributes;
        QString label = QString::number(node.state);
        if (node.kind == GraphNode::Kind::Missing) {
            label += u"\nнет строк"_s;
            attributes << u"style=\"rounded,dashed\""_s << u"color=red"_s << u"fontcolor=red"_s;
        } else {
            if (!node.microoperations.isEmpty())
                label += u'\n' + node.microoperations;
            if (!node.controlFields.isEmpty())
                label += u"\n("_s + node.controlFields + u')';
            if (node.stops)
                attributes << u"peripheries=2"_s;
            if (!node.reachable)
                attributes << u"color=gray"_s << u"fontcolor=gray"_s;
            if (node.start) {
                attributes << u"penwidth=2"_s;
                hasStart = true;
            }
        }
        attributes.prepend(u"label="_s + quoted(label));
        dot += u"    "_s + nodeId(node) + u" ["_s + attributes.join(u", "_s) + u"];\n"_s;
    }
    if (hasStart)
        dot += u"    start [shape=point, width=0.15];\n    start -> s0;\n"_s;
    for (const GraphEdge &edge : graph.edges) {
        QString label = edge.condition.isEmpty() ? QString() : edge.condition + u'\n';
        label += u"стр. "_s + QString::number(edge.row);
        dot += u"    "_s + idOf(edge.from) + u" -> "_s + idOf(edge.to) + u" [label="_s +
               quoted(label) + u"];\n"_s;
    }
    for (const GraphNote &note : graph.notes) {
        const QString id = u"note"_s + QString::number(note.row);
        dot += u"    "_s + id +
               u" [shape=note, style=\"\", color=gray, fontcolor=gray, "
               u"fontsize=9, label="_s +
               quoted(u"стр. "_s + QString::number(note.row) + u": "_s + note.signalsText +
                      u"\nне выполняются"_s) +
               u"];\n    "_s + id + u" -> "_s + idOf(note.state) +
               u" [style=dashed, color=gray, arrowhead=none];\n"_s;
    }
    dot += u"}\n"_s;
    return dot.toUtf8();
}

} // namespace orb
