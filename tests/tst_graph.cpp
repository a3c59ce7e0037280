// SPDX-License-Identifier: GPL-3.0-or-later
//
// The automaton as a graph: the model of hand-made tables and of the examples (nodes, edges,
// labels, marks, findings, rows with wrong cells), its dot layout, and the window through the
// real editor: F2 from both windows, following edits, New and Open with the zoom kept,
// following a run and its steps back, clicks that select rows, and the exported pictures.

#include "app/document.h"
#include "cells/rowrules.h"
#include "editorfixture.h"
#include "graph/graphlink.h"
#include "graph/graphmodel.h"
#include "graph/graphview.h"
#include "graph/graphwindow.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QAbstractGraphicsShapeItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QSet>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;
using editortest::Row;
using orb::GraphModel;
using orb::GraphModelNode;
using testutil::activate;
using testutil::child;

namespace {

using Look = GraphModelNode::Look;

// A table as Open fills it, with the marks the row rules give.
struct Table {
    orb::HeadlessTable table;
    std::vector<bool> wrong;
    GraphModel model() const
    {
        return orb::buildGraphModel(orb::HeadlessTableSource(table), wrong);
    }
};

std::unique_ptr<Table> tableOf(const QList<Row> &rows)
{
    auto out = std::make_unique<Table>();
    out->table.reset(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < orb::fieldCount; ++field)
            out->table.fillAndCommit(row, field, rows[row].value(field));
    }
    for (int row = 0; row < out->table.rowCount(); ++row) {
        bool wrong = false;
        for (const auto &cell : out->table.row(row).cells)
            wrong = wrong || !cell.correct;
        out->wrong.push_back(wrong);
    }
    return out;
}

std::unique_ptr<Table> exampleTable(const QString &name)
{
    const auto document = orb::readDocumentFile(QStringLiteral(ORB_SOURCE_DIR "/examples/") + name);
    if (!document)
        qFatal("example %s unreadable", qPrintable(name));
    auto out = std::make_unique<Table>();
    orb::loadTable(out->table, *document);
    out->wrong.assign(size_t(out->table.rowCount()), false);
    return out;
}

QString lookName(Look look)
{
    switch (look) {
    case Look::Normal:
        return u"normal"_s;
    case Look::Unreachable:
        return u"grey"_s;
    case Look::Missing:
        return u"missing"_s;
    case Look::Wrong:
        return u"wrong"_s;
    }
    return {};
}

// "0[start]:y43 1:y30,y48 5(missing)" — a node per word.
QString nodesOf(const GraphModel &model)
{
    QStringList words;
    for (const GraphModelNode &node : model.nodes) {
        QString word = node.title;
        if (node.start)
            word += u"[start]"_s;
        if (node.stops)
            word += u"[stop]"_s;
        if (node.look != Look::Normal)
            word += u'(' + lookName(node.look) + u')';
        if (!node.microoperations.isEmpty())
            word += u':' + node.microoperations;
        words << word;
    }
    return words.join(u' ');
}

// "0-1@1 1-2@2:z" — an edge per word, with its row and condition; "!" for a wrong row.
QString edgesOf(const GraphModel &model)
{
    QStringList words;
    for (const orb::GraphModelEdge &edge : model.edges) {
        QString word = model.nodes[edge.from].title + u'-' + model.nodes[edge.to].title + u'@' +
                       QString::number(edge.row);
        if (!edge.condition.isEmpty())
            word += u':' + edge.condition;
        if (edge.wrong)
            word += u'!';
        words << word;
    }
    return words.join(u' ');
}

const QList<Row> loopTable = {
    {u"0"_s, u"1"_s, u""_s, u"y43"_s},
    {u"1"_s, u"2"_s, u"z"_s, u"y31"_s},
    {u"1"_s, u"1"_s, u"-z"_s, u""_s},
    {u"2"_s, u"2"_s, u""_s, u"y70"_s},
};

} // namespace

class TestGraph : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }
    void cleanup()
    {
        delete run;
        editor.reset();
    }

    void modelOfHandMadeTables_data();
    void modelOfHandMadeTables();
    void findingsOnTheirNodesAndEdges();
    void modelOfTheExamples_data();
    void modelOfTheExamples();
    void runMarksFromTakenRows();
    void layoutPlacesEveryNodeAndEdge();
    void largeTableIsLaidOut();
    void everyNodeShowsItsTextInEveryRunState();

    void f2FromBothWindowsNotModal();
    void followsEditsNewAndOpenKeepingTheZoom();
    void followsARunAndItsStepsBack();
    void clicksSelectRows();
    void exportsSvgAndPng();
    void pictureOfTheWindow();

private:
    void openEditor(const QList<Row> &rows);
    GraphWindow *pressF2(QWidget *window);
    ExecutionWindow *launch();
    GraphLink *link() const { return editor->findChild<GraphLink *>(); }

    std::unique_ptr<editortest::ScriptedWindow> editor;
    QPointer<ExecutionWindow> run;
};

void TestGraph::modelOfHandMadeTables_data()
{
    QTest::addColumn<QList<Row>>("rows");
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QString>("edges");

    QTest::newRow("loop with a stop")
        << loopTable << u"0[start]:y43 1:y31 2[stop]:y70"_s << u"0-1@1 1-2@2:z 1-1@3:-z"_s;
    // The next state without rows is where the run stops: red, dashed.
    QTest::newRow("missing state") << QList<Row>{{u"0"_s, u"5"_s, u""_s, u"y31"_s}}
                                   << u"0[start]:y31 5(missing)"_s << u"0-5@1"_s;
    // State 3 is never entered: grey, and its row is no edge.
    QTest::newRow("unreachable state")
        << QList<Row>{{u"0"_s, u"0"_s, u""_s, u"y70"_s}, {u"3"_s, u"0"_s, u""_s, u"y31"_s}}
        << u"0[start][stop]:y70 3(grey):y31"_s << u""_s;
    // A row whose condition no flags can meet after its state's rows is no edge either.
    QTest::newRow("shadowed row") << QList<Row>{{u"0"_s, u"1"_s, u""_s, u"y31"_s},
                                                {u"0"_s, u"0"_s, u"z"_s, u""_s},
                                                {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
                                  << u"0[start]:y31 1[stop]:y70"_s << u"0-1@1"_s;
    // A row with a wrong cell is drawn as typed, into the states that exist, and the checks
    // never see it: state 1 without its row is missing.
    QTest::newRow("wrong conditions")
        << QList<Row>{{u"0"_s, u"1"_s, u""_s, u"y31"_s}, {u"1"_s, u"0"_s, u"q=1"_s, u"y70"_s}}
        << u"0[start]:y31 1(missing)"_s << u"0-1@1 1-0@2:q=1!"_s;
    // A typed state that is no drawn one gets a red node of its own, once per text.
    QTest::newRow("wrong rows of their own")
        << QList<Row>{{u"0"_s, u"0"_s, u""_s, u"y70"_s},
                      {u"7"_s, u"8"_s, u"z=2"_s, u""_s},
                      {u"7"_s, u"0"_s, u"n=3"_s, u""_s}}
        << u"0[start][stop]:y70 7(wrong) 8(wrong)"_s << u"7-8@2:z=2! 7-0@3:n=3!"_s;
}

void TestGraph::modelOfHandMadeTables()
{
    QFETCH(QList<Row>, rows);
    const auto table = tableOf(rows);
    const GraphModel model = table->model();
    QFETCH(QString, nodes);
    QFETCH(QString, edges);
    QCOMPARE(nodesOf(model), nodes);
    QCOMPARE(edgesOf(model), edges);
    // Wrong rows carry no findings of their own; the labels give condition and row.
    for (const orb::GraphModelEdge &edge : model.edges) {
        if (edge.wrong)
            QVERIFY(edge.findings.isEmpty());
        QVERIFY(edge.label().endsWith(u"стр. "_s + QString::number(edge.row)));
        QCOMPARE(edge.label().startsWith(edge.condition + u'\n'), !edge.condition.isEmpty());
    }
}

void TestGraph::findingsOnTheirNodesAndEdges()
{
    // Signals on a state's second row are never executed (a finding about row 3), the
    // missing state is an error on the edge that leads there.
    const auto table = tableOf({{u"0"_s, u"1"_s, u""_s, u"y31"_s},
                                {u"1"_s, u"0"_s, u"z"_s, u"y60"_s},
                                {u"1"_s, u"4"_s, u"-z"_s, u"y42"_s}});
    const GraphModel model = table->model();
    QCOMPARE(edgesOf(model), u"0-1@1 1-0@2:z 1-4@3:-z"_s);
    const orb::GraphModelEdge &toMissing = model.edges[model.edgeOfRow(3)];
    QVERIFY2(toMissing.findings.join(u'|').contains(u"y42"_s),
             qPrintable(toMissing.findings.join(u'|')));
    QVERIFY(!toMissing.findings.isEmpty());
    QVERIFY(toMissing.toolTip(model.nodes).startsWith(u"Строка 3: 1 → 4, при -z"_s));
    for (const QString &finding : toMissing.findings)
        QVERIFY(finding.startsWith(u"Ошибка: "_s) || finding.startsWith(u"Предупреждение: "_s) ||
                finding.startsWith(u"Замечание: "_s));
    const GraphModelNode &missing = model.nodes[model.nodeOfState(4)];
    QCOMPARE(missing.look, Look::Missing);
    QVERIFY(missing.toolTip().contains(u"нет строк"_s));
    const GraphModelNode &first = model.nodes[model.nodeOfState(1)];
    QVERIFY(first.toolTip().startsWith(u"Состояние 1, первая строка 2\nМикрооперации: y60"_s));
}

void TestGraph::modelOfTheExamples_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("nodes");
    QTest::addColumn<QString>("edges");
    QTest::newRow("01") << u"01-add-two-bytes.orb"_s << QString() << QString();
    QTest::newRow("02") << u"02-multiply-shift-and-add.orb"_s
                        << u"0[start]:y43,y58 1:y30,y58 2:y24,y42 3:y30,y58 4:y58 5:y29,y57 6:y58 "
                           u"7:y29 8:y24,y42 9:y29,y60 10[stop]:y70"_s
                        << u"0-1@1 1-2@2 2-3@3 3-4@4 4-5@5:c 4-6@6:-c 5-6@7 6-7@8 7-8@9:z "
                           u"7-4@10:-z 8-9@11 9-10@12"_s;
    for (const char *name : {"03-fetch-decode-loop.orb", "04-display-loop.orb",
                             "05-input-largest-byte.orb", "06-signed-add-overflow.orb"})
        QTest::newRow(name) << QString::fromLatin1(name) << QString() << QString();
}

void TestGraph::modelOfTheExamples()
{
    QFETCH(QString, file);
    const auto table = exampleTable(file);
    const GraphModel model = table->model();
    QFETCH(QString, nodes);
    QFETCH(QString, edges);
    if (!nodes.isEmpty()) {
        QCOMPARE(nodesOf(model), nodes);
        QCOMPARE(edgesOf(model), edges);
    }
    // Every example starts in state 0, has no wrong row, stops somewhere, and every state it
    // draws is reached.
    QVERIFY(model.nodeOfState(0) >= 0 && model.nodes[model.nodeOfState(0)].start);
    bool stops = false;
    for (const GraphModelNode &node : model.nodes) {
        QVERIFY2(node.look == Look::Normal, qPrintable(node.title));
        stops = stops || node.stops;
    }
    QVERIFY(stops);
    QVERIFY(!model.edges.isEmpty());
    for (const orb::GraphModelEdge &edge : model.edges)
        QVERIFY(!edge.wrong);
}

void TestGraph::runMarksFromTakenRows()
{
    const auto table = tableOf(loopTable);
    const GraphModel model = table->model();
    // Rows 1, 3, 3, 2 taken (0-based 0, 2, 2, 1); now in state 2.
    orb::GraphRunMarks marks = orb::runMarks(model, {0, 2, 2, 1}, 2);
    QVERIFY(marks.active);
    QCOMPARE(marks.currentNode, model.nodeOfState(2));
    QCOMPARE(marks.lastEdge, model.edgeOfRow(2));
    QCOMPARE(marks.visitedNodes, (std::vector<bool>{true, true, true}));
    QCOMPARE(marks.visitedEdges, (std::vector<bool>{true, true, true}));
    QCOMPARE(marks.edgeCounts, (std::vector<int>{1, 1, 2}));
    // Only the first transition: the loop on state 1 and the stop are not visited yet.
    marks = orb::runMarks(model, {0}, 1);
    QCOMPARE(marks.currentNode, model.nodeOfState(1));
    QCOMPARE(marks.lastEdge, 0);
    QCOMPARE(marks.visitedNodes, (std::vector<bool>{true, true, false}));
    QCOMPARE(marks.visitedEdges, (std::vector<bool>{true, false, false}));
    // Nothing taken yet: state 0 only, no last edge.
    marks = orb::runMarks(model, {}, 0);
    QCOMPARE(marks.lastEdge, -1);
    QCOMPARE(marks.visitedNodes, (std::vector<bool>{true, false, false}));
}

void TestGraph::largeTableIsLaidOut()
{
    // 250 states of two transitions each to pseudo-random states: with dot's unbounded passes
    // this layout ran for minutes and froze the window; every node and edge must be placed.
    QList<Row> rows;
    quint32 seed = 1;
    for (int state = 0; state < 250; ++state) {
        for (const char16_t *condition : {u"z", u"-z"}) {
            seed = seed * 1103515245u + 12345u;
            rows.append({QString::number(state), QString::number((seed >> 8) % 250),
                         QString::fromUtf16(condition), state % 2 ? u""_s : u"y31"_s});
        }
    }
    const auto table = tableOf(rows);
    GraphView view;
    view.setGraph(table->model());
    QCOMPARE(int(view.graphLayout().nodes.size()), view.model().nodes.size());
    QCOMPARE(int(view.graphLayout().edges.size()), view.model().edges.size());
    QVERIFY(view.model().edges.size() > 100); // the bounded layout is the one tried
}

void TestGraph::everyNodeShowsItsTextInEveryRunState()
{
    // A node of each kind: the start, one with control fields, a stopping one (y70), a missing
    // next state, an unreachable one and one known only from a wrong row.
    const auto table = tableOf({{u"0"_s, u"1"_s, u"x1"_s, u"y7,y62"_s},
                                {u"0"_s, u"3"_s, u"-x1"_s, u""_s},
                                {u"1"_s, u"1"_s, u""_s, u"y70"_s},
                                {u"5"_s, u"5"_s, u""_s, u"y21"_s},
                                {u"6"_s, u"9"_s, u"zz"_s, u"y21"_s}});
    GraphView view;
    view.setGraph(table->model());
    const GraphModel &model = view.model();
    QSet<QString> kinds;
    for (const GraphModelNode &node : model.nodes)
        kinds << lookName(node.look) + (node.stops ? u"+stop"_s : QString()) +
                     (node.start ? u"+start"_s : QString());
    QCOMPARE(kinds, (QSet<QString>{u"normal+start"_s, u"normal+stop"_s, u"missing"_s, u"grey"_s,
                                   u"wrong"_s}));

    // Each text of a node must stand out from what is under it: rendered with and without the
    // texts, the picture differs strongly inside each text's box.
    auto render = [&view](bool texts) {
        for (int i = 0; i < view.model().nodes.size(); ++i) {
            for (QGraphicsItem *part : view.nodeItem(i)->childItems()) {
                if (part->type() == QGraphicsSimpleTextItem::Type)
                    part->setVisible(texts);
            }
        }
        const QRectF source = view.scene()->sceneRect();
        QImage image(source.size().toSize(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        view.scene()->render(&painter, QRectF(image.rect()), source);
        return image;
    };
    const QPointF origin = view.scene()->sceneRect().topLeft();
    for (int node = 0; node < model.nodes.size(); ++node) {
        for (const QString &state : {u"none"_s, u"visited"_s, u"current"_s}) {
            orb::GraphRunMarks marks;
            marks.active = state != u"none"_s;
            marks.visitedNodes.assign(size_t(model.nodes.size()), true);
            marks.visitedEdges.assign(size_t(model.edges.size()), false);
            marks.currentNode = state == u"current"_s ? node : -1;
            view.setRunMarks(marks);
            const QImage with = render(true);
            const QImage without = render(false);
            int parts = 0;
            for (QGraphicsItem *part : view.nodeItem(node)->childItems()) {
                if (part->type() != QGraphicsSimpleTextItem::Type)
                    continue;
                ++parts;
                const QRect box = part->sceneBoundingRect().translated(-origin).toRect();
                int strong = 0;
                for (int y = box.top(); y <= box.bottom(); ++y) {
                    for (int x = box.left(); x <= box.right(); ++x) {
                        const QColor a = with.pixelColor(x, y);
                        const QColor b = without.pixelColor(x, y);
                        strong += qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) +
                                      qAbs(a.blue() - b.blue()) >
                                  150;
                    }
                }
                QVERIFY2(strong >= 5, qPrintable(u"node %1 (%2), %3: text %4 unseen"_s.arg(node)
                                                     .arg(model.nodes[node].title, state)
                                                     .arg(parts)));
            }
            // The number, and the microoperations or control fields where there are any.
            const GraphModelNode &shown = model.nodes[node];
            QCOMPARE(parts, 1 + int(!shown.microoperations.isEmpty()) +
                                int(!shown.controlFields.isEmpty()) +
                                int(shown.look == Look::Missing));
        }
    }
}

void TestGraph::layoutPlacesEveryNodeAndEdge()
{
    const auto table = exampleTable(u"02-multiply-shift-and-add.orb"_s);
    GraphView view;
    view.setGraph(table->model());
    const orb::GraphLayout &layout = view.graphLayout();
    const GraphModel &model = view.model();
    QCOMPARE(int(layout.nodes.size()), model.nodes.size());
    QCOMPARE(int(layout.edges.size()), model.edges.size());
    QVERIFY(view.edgeLabelsShown());
    for (size_t i = 0; i < layout.nodes.size(); ++i) {
        QVERIFY(layout.bounds.adjusted(-1, -1, 1, 1).contains(layout.nodes[i]));
        for (size_t k = i + 1; k < layout.nodes.size(); ++k)
            QVERIFY2(!layout.nodes[i].intersects(layout.nodes[k]),
                     qPrintable(u"%1 %2"_s.arg(i).arg(k)));
    }
    // Each edge leaves its source and its arrow ends at its target's border, the start arrow
    // points at state 0 from above.
    for (int i = 0; i < model.edges.size(); ++i) {
        const orb::GraphLayout::Edge &edge = layout.edges[size_t(i)];
        const QRectF from = layout.nodes[size_t(model.edges[i].from)].adjusted(-3, -3, 3, 3);
        const QRectF to = layout.nodes[size_t(model.edges[i].to)].adjusted(-3, -3, 3, 3);
        QVERIFY2(from.contains(edge.path.pointAtPercent(0)), qPrintable(QString::number(i)));
        QCOMPARE(edge.arrowHead.size(), 3);
        QVERIFY2(to.contains(edge.arrowHead.first()), qPrintable(QString::number(i)));
        QVERIFY(edge.hasLabel);
    }
    QVERIFY(layout.hasStart);
    const QRectF start = layout.nodes[size_t(model.nodeOfState(0))];
    QVERIFY(layout.startPoint.y() < start.top());
    QVERIFY(start.adjusted(-3, -3, 3, 3).contains(layout.startEdge.arrowHead.first()));
}

void TestGraph::openEditor(const QList<Row> &rows)
{
    editor = std::make_unique<editortest::ScriptedWindow>();
    QVERIFY(activate(editor.get()));
    editortest::setRows(*editor, rows);
}

GraphWindow *TestGraph::pressF2(QWidget *window)
{
    if (!activate(window))
        qFatal("window not active");
    QTest::keyClick(window->focusWidget() ? window->focusWidget() : window, Qt::Key_F2);
    GraphWindow *graph = link()->graphWindow();
    if (!graph || !graph->isVisible())
        qFatal("F2 opened no graph window");
    return graph;
}

ExecutionWindow *TestGraph::launch()
{
    run = editortest::pressStart(*editor);
    if (!run)
        qFatal("no execution window");
    return run;
}

void TestGraph::f2FromBothWindowsNotModal()
{
    openEditor(loopTable);
    QVERIFY(!link()->graphWindow());
    GraphWindow *graph = pressF2(editor.get());
    QCOMPARE(graph->windowTitle(), u"ORB — граф автомата"_s);
    QVERIFY(graph->isWindow());
    QCOMPARE(graph->windowModality(), Qt::NonModal);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(graph->minimumSize() != graph->maximumSize());
    QCOMPARE(nodesOf(graph->view()->model()), u"0[start]:y43 1:y31 2[stop]:y70"_s);
    // The editor goes on taking input while the graph is open.
    QVERIFY(activate(editor.get()));
    editortest::focusCell(*editor, 0, 8);
    QTest::keyClick(editor->ttCell(0, 8), Qt::Key_End);
    editortest::type(u",y31"_s);
    QCOMPARE(editor->ttCell(0, 8)->text(), u"y43,y31"_s);

    // Closed, then opened from a running program: the same window, the table as it is now.
    graph->close();
    QVERIFY(!graph->isVisible());
    ExecutionWindow *execution = launch();
    const int step = execution->engine().stepCount();
    QCOMPARE(pressF2(execution), graph);
    QCOMPARE(nodesOf(graph->view()->model()), u"0[start]:y31,y43 1:y31 2[stop]:y70"_s);
    QVERIFY(graph->view()->runMarks().active);
    // F2 is no step.
    QCOMPARE(execution->engine().stepCount(), step);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestGraph::followsEditsNewAndOpenKeepingTheZoom()
{
    openEditor(loopTable);
    GraphWindow *graph = pressF2(editor.get());
    GraphView *view = graph->view();
    view->zoomBy(1.25);
    view->zoomBy(1.25);
    const qreal zoom = view->zoom();

    // A committed edit: nothing before the delay, the new graph after it.
    QVERIFY(activate(editor.get()));
    editortest::focusCell(*editor, 3, 8);
    editortest::press(Qt::Key_A, Qt::ControlModifier);
    editortest::type(u"y31"_s);
    QCOMPARE(edgesOf(view->model()), u"0-1@1 1-2@2:z 1-1@3:-z"_s); // not committed yet
    editortest::press(Qt::Key_Tab);
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(50);
    if (clock.elapsed() < GraphLink::relayoutDelayMs)
        QCOMPARE(edgesOf(view->model()), u"0-1@1 1-2@2:z 1-1@3:-z"_s);
    QTRY_COMPARE(edgesOf(view->model()), u"0-1@1 1-2@2:z 1-1@3:-z 2-2@4"_s);
    QCOMPARE(nodesOf(view->model()), u"0[start]:y43 1:y31 2:y31"_s);
    QCOMPARE(view->zoom(), zoom);

    // A row inserted above row 2 and one deleted: the rows are renumbered.
    editortest::focusCell(*editor, 0, 2);
    editor->addString(1);
    QTRY_COMPARE(edgesOf(view->model()), u"0-1@1 1-2@3:z 1-1@4:-z 2-2@5"_s);
    editortest::focusCell(*editor, 1, 2);
    editor->deleteString();
    QTRY_COMPARE(edgesOf(view->model()), u"0-1@1 1-2@2:z 1-1@3:-z 2-2@4"_s);

    // A wrong cell typed and left: the row is drawn in red as typed.
    editortest::focusCell(*editor, 0, 6);
    editortest::type(u"q=1"_s);
    editortest::press(Qt::Key_Tab);
    QCOMPARE(editortest::rowMarks(*editor, 0), u"++-+"_s);
    QTRY_COMPARE(edgesOf(view->model()).left(10), u"0-1@1:q=1!"_s);

    // New, then Open: the graph follows, the zoom stays.
    QTest::keyClick(editor.get(), Qt::Key_N, Qt::ControlModifier);
    QTRY_COMPARE(view->model().nodes.size(), 0);
    editor->openAnswer = QStringLiteral(ORB_SOURCE_DIR "/examples/02-multiply-shift-and-add.orb");
    QTest::keyClick(editor.get(), Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(view->model().nodes.size(), 11);
    QCOMPARE(view->zoom(), zoom);

    // Ctrl+minus, Ctrl+plus and Ctrl+0 in the graph window.
    QVERIFY(activate(graph));
    QTest::keyClick(graph, Qt::Key_Minus, Qt::ControlModifier);
    QVERIFY(qAbs(view->zoom() - zoom * 0.8) < 1e-6);
    QTest::keyClick(graph, Qt::Key_Plus, Qt::ControlModifier);
    QVERIFY(qAbs(view->zoom() - zoom) < 1e-6);
    QTest::keyClick(graph, Qt::Key_0, Qt::ControlModifier);
    QVERIFY(view->zoom() <= 1.0);
    const QRectF shown = view->mapToScene(view->viewport()->rect()).boundingRect();
    QVERIFY(shown.adjusted(-2, -2, 2, 2).contains(view->graphLayout().bounds));

    // A closed window is not laid out again, and opens on the table as it is.
    graph->close();
    editor->deleteString();
    QTest::qWait(GraphLink::relayoutDelayMs + 100);
    QCOMPARE(view->model().nodes.size(), 11);
    QCOMPARE(pressF2(editor.get())->view()->model().edges.size(), 12);
}

void TestGraph::followsARunAndItsStepsBack()
{
    openEditor(loopTable);
    GraphWindow *graph = pressF2(editor.get());
    GraphView *view = graph->view();
    QVERIFY(!view->runMarks().active);
    ExecutionWindow *execution = launch();
    const GraphModel &model = view->model();
    // The first screen: state 0 executing y43, nothing taken yet.
    QVERIFY(view->runMarks().active);
    QCOMPARE(view->runMarks().currentNode, model.nodeOfState(0));
    QCOMPARE(view->runMarks().lastEdge, -1);
    // The current state is filled in the colour of the current-row mark.
    QCOMPARE(view->nodeItem(0)->brush().color(), QColor(60, 100, 160));
    QCOMPARE(view->nodeItem(1)->brush().color(), QColor(Qt::white));

    execution->executeStep(); // into state 1: y31
    QCOMPARE(view->runMarks().currentNode, model.nodeOfState(1));
    QCOMPARE(view->runMarks().lastEdge, model.edgeOfRow(1));
    const qreal plain = view->edgeItem(1)->pen().widthF();
    QVERIFY(view->edgeItem(0)->pen().widthF() > plain);
    QCOMPARE(view->nodeItem(1)->brush().color(), QColor(60, 100, 160));
    QVERIFY(view->nodeItem(0)->brush().color() != QColor(Qt::white)); // visited
    // Each transition carries how often the run took it.
    QCOMPARE(view->edgeCountShown(model.edgeOfRow(1)), u"×1"_s);
    QCOMPARE(view->edgeCountShown(model.edgeOfRow(2)), u"×0"_s);

    execution->executeStep(); // y31, then row 2 or 3 by Z
    const int afterTwo = view->runMarks().lastEdge;
    QVERIFY(afterTwo == model.edgeOfRow(2) || afterTwo == model.edgeOfRow(3));
    const std::vector<bool> visitedTwo = view->runMarks().visitedEdges;
    QVERIFY(visitedTwo[size_t(afterTwo)]);

    // A step back puts the marks where they were after the first step.
    execution->stepBack();
    QCOMPARE(view->runMarks().currentNode, model.nodeOfState(1));
    QCOMPARE(view->runMarks().lastEdge, model.edgeOfRow(1));
    QCOMPARE(view->runMarks().visitedEdges, (std::vector<bool>{true, false, false}));
    execution->stepBack();
    QCOMPARE(view->runMarks().currentNode, model.nodeOfState(0));
    QCOMPARE(view->runMarks().lastEdge, -1);
    QCOMPARE(view->runMarks().visitedEdges, (std::vector<bool>{false, false, false}));

    // To the end (its y70 message answered): the stop state is current, its edge the last.
    testutil::DialogAnswerer stop([](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Space); });
    execution->runToEnd();
    QVERIFY(stop.answered());
    QCOMPARE(view->runMarks().currentNode, model.nodeOfState(2));
    QCOMPARE(view->runMarks().lastEdge, model.edgeOfRow(2));

    // The run's window closes: no marks.
    execution->close();
    QTRY_VERIFY(!run);
    QVERIFY(!view->runMarks().active);
    QCOMPARE(view->nodeItem(0)->brush().color(), QColor(Qt::white));
    QCOMPARE(view->edgeCountShown(model.edgeOfRow(1)), QString());
}

void TestGraph::clicksSelectRows()
{
    QList<Row> rows;
    // A long table, so that selecting a far row must scroll.
    for (int state = 0; state < 30; ++state)
        rows << Row{QString::number(state), QString::number(state + 1), QString(), u"y31"_s};
    rows << Row{u"30"_s, u"30"_s, QString(), u"y70"_s};
    openEditor(rows);
    GraphWindow *graph = pressF2(editor.get());
    GraphView *view = graph->view();
    QVERIFY(activate(graph));
    auto clickAt = [view](const QPointF &scenePoint) {
        view->centerOn(scenePoint);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(scenePoint));
    };
    auto *scrollBar = child<QScrollArea>(editor.get(), "scrollArea")->verticalScrollBar();
    QVERIFY(scrollBar->value() > 0); // the last row was filled last

    const int node = view->model().nodeOfState(3);
    clickAt(view->graphLayout().nodes[size_t(node)].topLeft() + QPointF(4, 4));
    QCOMPARE(editor->currentString(), 3);
    QTRY_COMPARE(QApplication::focusWidget(), editor->ttCell(3, 2));
    QVERIFY(scrollBar->value() < scrollBar->maximum());

    const int edge = view->model().edgeOfRow(25);
    clickAt(view->edgePoint(edge));
    QCOMPARE(editor->currentString(), 24);

    // During a run a click only scrolls the locked table.
    launch();
    const int current = editor->currentString();
    QVERIFY(activate(graph));
    clickAt(view->graphLayout().nodes[size_t(view->model().nodeOfState(30))].center());
    QVERIFY(scrollBar->value() > 0);
    clickAt(view->graphLayout().nodes[size_t(view->model().nodeOfState(0))].center());
    QCOMPARE(editor->currentString(), current);
    QVERIFY(QApplication::focusWidget() != editor->ttCell(0, 2));
    QCOMPARE(scrollBar->value(), 0);
    // A drag pans and selects nothing.
    const QPoint from = view->mapFromScene(view->graphLayout().nodes[size_t(node)].center());
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(view->viewport(), from + QPoint(40, 40));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, from + QPoint(40, 40));
    QCOMPARE(scrollBar->value(), 0);
}

void TestGraph::exportsSvgAndPng()
{
    openEditor({});
    QVERIFY(editor->openDocument(QStringLiteral(ORB_SOURCE_DIR "/examples/01-add-two-bytes.orb")));
    GraphWindow *graph = pressF2(editor.get());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    auto exportAs = [&](QAction *action, const QString &typedName) {
        // The file dialog's own complaint about the offscreen platform, once per dialog.
        QTest::ignoreMessage(QtWarningMsg, "This plugin does not support propagateSizeHints()");
        testutil::DialogAnswerer answer([&](QWidget *dialog) {
            auto *files = qobject_cast<QFileDialog *>(dialog);
            if (!files) {
                qobject_cast<QDialog *>(dialog)->reject(); // not left open to hang the test
                QFAIL("not a file dialog");
            }
            // Typed as a user types it: selectFile() leaves a focused name field as it is,
            // and the dialog would then take its folder for the answer and stay open.
            auto *name = files->findChild<QLineEdit *>(u"fileNameEdit"_s);
            QVERIFY(name);
            name->setFocus();
            name->setText(dir.filePath(typedName));
            QTest::keyClick(name, Qt::Key_Return);
            if (files->isVisible()) {
                files->reject();
                QFAIL("the file dialog did not take the name");
            }
        });
        action->trigger();
        QVERIFY(answer.answered());
    };
    // The suffix is added to a name without one.
    exportAs(graph->svgAction(), u"graph"_s);
    const QString svgPath = dir.filePath(u"graph.svg"_s);
    QVERIFY(QFile::exists(svgPath));
    QXmlStreamReader xml(testutil::readAll(svgPath));
    int texts = 0;
    QString root;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            if (root.isEmpty())
                root = xml.name().toString();
            texts += xml.name() == u"text"_s;
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(root, u"svg"_s);
    QVERIFY(texts >= graph->view()->model().nodes.size());
    QSvgRenderer renderer(svgPath);
    QVERIFY(renderer.isValid());

    exportAs(graph->pngAction(), u"graph.PNG"_s);
    const QImage image(dir.filePath(u"graph.PNG"_s));
    QVERIFY(!image.isNull());
    QVERIFY(image.width() >= graph->view()->graphLayout().bounds.width());
    // Not blank: the drawing's ink is there.
    int dark = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            dark += qGray(image.pixel(x, y)) < 128;
    QVERIFY(dark > 100);
}

void TestGraph::pictureOfTheWindow()
{
    openEditor({});
    QVERIFY(editor->openDocument(
        QStringLiteral(ORB_SOURCE_DIR "/examples/02-multiply-shift-and-add.orb")));
    GraphWindow *graph = pressF2(editor.get());
    ExecutionWindow *execution = launch();
    for (int i = 0; i < 6; ++i)
        execution->executeStep();
    QVERIFY(graph->view()->runMarks().lastEdge >= 0);
    const QString file = testutil::renderToPng(graph, u"graph-window"_s);
    QVERIFY(!QImage(file).isNull());
    // At the end the stopping state is the current one, drawn with its text.
    testutil::DialogAnswerer stop([](QWidget *dialog) { QTest::keyClick(dialog, Qt::Key_Space); });
    execution->runToEnd();
    QVERIFY(stop.answered());
    QVERIFY(graph->view()->model().nodes[graph->view()->runMarks().currentNode].stops);
    QVERIFY(!QImage(testutil::renderToPng(graph, u"graph-window-stopped"_s)).isNull());
}

QTEST_MAIN(TestGraph)
#include "tst_graph.moc"
