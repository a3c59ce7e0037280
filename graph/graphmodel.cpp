// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graphmodel.h"

#include "analysis/analysis.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// The table with the rows that have wrong cells left blank: the checks never see them, and a
// blank row belongs to no state, so the other rows keep their numbers and their meaning.
class CorrectRows final : public TableSource {
public:
    CorrectRows(const TableSource &table, const std::vector<bool> &wrongRows)
        : table_(table), wrongRows_(wrongRows)
    {
    }
    int rowCount() const override { return table_.rowCount(); }
    QString cellText(int row, int field) const override
    {
        return wrong(row) ? QString() : table_.cellText(row, field);
    }
    ParsedConditions parsedConditions(int row) const override
    {
        return wrong(row) ? ParsedConditions() : table_.parsedConditions(row);
    }
    ParsedSignals parsedSignals(int row) const override
    {
        return wrong(row) ? ParsedSignals{} : table_.parsedSignals(row);
    }

private:
    bool wrong(int row) const { return size_t(row) < wrongRows_.size() && wrongRows_[size_t(row)]; }
    const TableSource &table_;
    const std::vector<bool> &wrongRows_;
};

QString severityText(Severity severity)
{
    switch (severity) {
    case Severity::Error:
        return u"Ошибка: "_s;
    case Severity::Warning:
        return u"Предупреждение: "_s;
    case Severity::Note:
        break;
    }
    return u"Замечание: "_s;
}

void addOnce(QStringList &list, const QString &text)
{
    if (!list.contains(text))
        list << text;
}

} // namespace

QString GraphModelNode::toolTip() const
{
    QString text;
    switch (look) {
    case Look::Missing:
        text = u"Состояние %1: нет строк, выполнение здесь остановится"_s.arg(title);
        break;
    case Look::Wrong:
        text = u"«%1»: только в строках с ошибками"_s.arg(title);
        break;
    case Look::Normal:
    case Look::Unreachable:
        text = u"Состояние %1, первая строка %2"_s.arg(title).arg(firstRow);
        if (!microoperations.isEmpty())
            text += u"\nМикрооперации: "_s + microoperations;
        if (!controlFields.isEmpty())
            text += u"\nУправляющие поля: "_s + controlFields;
        if (start)
            text += u"\nНачальное состояние"_s;
        if (look == Look::Unreachable)
            text += u"\nНедостижимо"_s;
        break;
    }
    for (const QString &finding : findings)
        text += u'\n' + finding;
    return text;
}

QString GraphModelEdge::label() const
{
    return (condition.isEmpty() ? QString() : condition + u'\n') + u"стр. "_s +
           QString::number(row);
}

QString GraphModelEdge::toolTip(const QList<GraphModelNode> &nodes) const
{
    QString text = u"Строка %1: %2 → %3"_s.arg(row).arg(nodes[from].title, nodes[to].title);
    text += condition.isEmpty() ? u", без условия"_s : u", при "_s + condition;
    if (wrong)
        text += u"\nВ строке есть ошибки"_s;
    for (const QString &finding : findings)
        text += u'\n' + finding;
    return text;
}

int GraphModel::nodeOfState(int state) const
{
    for (int i = 0; i < nodes.size(); ++i) {
        if (nodes[i].state == state && nodes[i].look != GraphModelNode::Look::Wrong)
            return i;
    }
    return -1;
}

int GraphModel::edgeOfRow(int row) const
{
    for (int i = 0; i < edges.size(); ++i) {
        if (edges[i].row == row)
            return i;
    }
    return -1;
}

GraphModel buildGraphModel(const TableSource &table, const std::vector<bool> &wrongRows)
{
    const Program program{CorrectRows(table, wrongRows)};
    const Analysis analysis = analyzeProgram(program);
    const AutomatonGraph graph = automatonGraph(program, analysis);

    GraphModel model;
    QHash<int, int> nodeOf; // state → node index
    for (const GraphNode &node : graph.nodes) {
        GraphModelNode out;
        out.state = node.state;
        out.title = QString::number(node.state);
        out.microoperations = node.microoperations;
        out.controlFields = node.controlFields;
        out.start = node.start;
        out.stops = node.stops;
        out.firstRow = node.firstRow;
        out.look = node.kind == GraphNode::Kind::Missing ? GraphModelNode::Look::Missing
                   : node.reachable                      ? GraphModelNode::Look::Normal
                                                         : GraphModelNode::Look::Unreachable;
        nodeOf.insert(node.state, int(model.nodes.size()));
        model.nodes << out;
    }
    for (const GraphEdge &edge : graph.edges)
        model.edges << GraphModelEdge{
            nodeOf.value(edge.from), nodeOf.value(edge.to), edge.row, edge.condition, false, {}};

    // Rows with wrong cells, as typed: their states are the drawn ones where the text names one,
    // else nodes of their own, one per text.
    QHash<QString, int> typedNode;
    auto nodeForText = [&](const QString &typed, int row) {
        const QString text = typed.trimmed();
        bool ok = false;
        const int state = text.toInt(&ok);
        if (ok && text == QString::number(state) && nodeOf.contains(state))
            return nodeOf.value(state);
        if (const auto it = typedNode.constFind(text); it != typedNode.constEnd())
            return *it;
        GraphModelNode out;
        out.look = GraphModelNode::Look::Wrong;
        out.state = ok && text == QString::number(state) ? state : -1;
        out.title = text.isEmpty() ? u"(пусто)"_s : text;
        out.firstRow = row + 1;
        typedNode.insert(text, int(model.nodes.size()));
        model.nodes << out;
        return int(model.nodes.size()) - 1;
    };
    QList<GraphModelEdge> wrongEdges;
    for (int row = 0; row < table.rowCount(); ++row) {
        if (size_t(row) >= wrongRows.size() || !wrongRows[size_t(row)])
            continue;
        GraphModelEdge edge;
        edge.from = nodeForText(table.cellText(row, SourceStateField), row);
        edge.to = nodeForText(table.cellText(row, NextStateField), row);
        edge.row = row + 1;
        edge.condition = table.cellText(row, ConditionsField);
        edge.wrong = true;
        wrongEdges << edge;
    }
    // All edges in row order, so that the edge of a row is found where its row is.
    model.edges << wrongEdges;
    std::sort(model.edges.begin(), model.edges.end(),
              [](const GraphModelEdge &a, const GraphModelEdge &b) { return a.row < b.row; });

    // A finding goes on the edge of the row it is about, else on that row's state, else on the
    // states it names; what has no place on the graph is listed for the window as a whole.
    for (const Finding &finding : analysis.findings) {
        const QString text = severityText(finding.severity) + finding.message;
        if (const int row = finding.row(); row > 0) {
            if (const int edge = model.edgeOfRow(row); edge >= 0) {
                addOnce(model.edges[edge].findings, text);
                continue;
            }
            const int source = program.row(row - 1).sourceState;
            if (const int node = source >= 0 ? model.nodeOfState(source) : -1; node >= 0) {
                addOnce(model.nodes[node].findings, text);
                continue;
            }
        }
        bool placed = false;
        for (const int state : finding.states) {
            if (const int node = model.nodeOfState(state); node >= 0) {
                addOnce(model.nodes[node].findings, text);
                placed = true;
            }
        }
        if (!placed)
            addOnce(model.generalFindings, text);
    }
    return model;
}

GraphRunMarks runMarks(const GraphModel &model, const std::vector<int> &takenRows, int currentState)
{
    GraphRunMarks marks;
    marks.active = true;
    marks.visitedNodes.assign(size_t(model.nodes.size()), false);
    marks.visitedEdges.assign(size_t(model.edges.size()), false);
    marks.edgeCounts.assign(size_t(model.edges.size()), 0);
    // Every run starts in state 0.
    if (const int start = model.nodeOfState(0); start >= 0)
        marks.visitedNodes[size_t(start)] = true;
    for (const int row : takenRows) {
        const int edge = model.edgeOfRow(row + 1);
        marks.lastEdge = edge;
        if (edge < 0)
            continue;
        marks.visitedEdges[size_t(edge)] = true;
        ++marks.edgeCounts[size_t(edge)];
        marks.visitedNodes[size_t(model.edges[edge].to)] = true;
    }
    marks.currentNode = model.nodeOfState(currentState);
    if (marks.currentNode >= 0)
        marks.visitedNodes[size_t(marks.currentNode)] = true;
    return marks;
}

} // namespace orb
