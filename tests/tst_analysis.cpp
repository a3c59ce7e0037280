// SPDX-License-Identifier: GPL-3.0-or-later
//
// The static checks: each on small tables where it must speak and where it must keep quiet,
// then random tables run by the step engine itself, whose every observation the analysis must
// have allowed for.

#include "analysis/analysis.h"
#include "analysis/automatongraph.h"
#include "cells/rowrules.h"
#include "sim/microops.h"
#include "coretestutil.h"

#include <QRandomGenerator>
#include <QTest>

#include <map>
#include <optional>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

using Rows = QList<QStringList>;

// A table as Open fills it: every cell set, checked and normalised.
Program programOf(const Rows &rows)
{
    HeadlessTable table;
    table.reset(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < fieldCount; ++field)
            table.fillAndCommit(row, field, rows[row].value(field));
    }
    if (table.errorCount() != 0)
        qFatal("a test table has wrong cells");
    return Program(HeadlessTableSource(table));
}

// Whether Open would fill the table without wrong cells (random signals may conflict).
bool withoutWrongCells(const Rows &rows)
{
    HeadlessTable table;
    table.reset(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < fieldCount; ++field)
            table.fillAndCommit(row, field, rows[row].value(field));
    }
    return table.errorCount() == 0;
}

// "code@row" per finding, in the analysis' order.
QStringList summary(const Analysis &analysis)
{
    QStringList lines;
    for (const Finding &finding : analysis.findings)
        lines << finding.code + u'@' + QString::number(finding.row());
    return lines;
}

bool hasFinding(const Analysis &analysis, const QString &code, int row = -1, int state = -1)
{
    return std::any_of(analysis.findings.begin(), analysis.findings.end(), [&](const Finding &f) {
        return f.code == code && (row < 0 || f.row() == row) &&
               (state < 0 || f.states.contains(state));
    });
}

// Records what the panels would show after every step, and answers y66 with random bytes.
class ObservingView final : public ExecutionView {
public:
    struct Event {
        int state;
        int row;
        Operation::Kind kind;
        int signal;
        bool lastMicroop;
        int flags;
        ControlFields fields;
    };
    explicit ObservingView(QRandomGenerator &random) : random_(random) {}
    StepEngine *engine = nullptr;
    std::vector<Event> events;

    void updateRegisterPanel(Panel which) override
    {
        if (which != Panel::After)
            return;
        const AfterPanel &panel = engine->afterPanel();
        const StepEngine::RunState &s = engine->state();
        Event event{panel.sourceState,      panel.rowIndex, panel.operation.kind,
                    panel.operation.signal, false,          panel.registers.flagBits(),
                    s.controlFields};
        if (event.kind != Operation::Kind::NoMicrooperations) {
            const int next = s.microopIndex + 1;
            event.lastMicroop = next >= signalSlots || s.signalList[size_t(next)] == 0;
        }
        events.push_back(event);
    }
    void showEndScreen() override {}
    void showMessage(const QString &) override {}
    std::optional<int> requestDataByte(const QString &) override
    {
        return int(random_.bounded(256));
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override {}

private:
    QRandomGenerator &random_;
};

QString randomSignals(QRandomGenerator &random)
{
    static const int microops[] = {20, 21, 24, 31, 31, 37, 38, 43, 47, 49,
                                   50, 57, 60, 62, 63, 64, 66, 67, 70};
    QStringList items;
    const int count = int(random.bounded(4));
    for (int i = 0; i < count; ++i)
        items << u"y"_s + QString::number(microops[random.bounded(int(std::size(microops)))]);
    for (int field = 6; field <= 15; ++field) {
        if (random.bounded(4) == 0)
            items << u"y"_s + QString::number(field);
    }
    items.removeDuplicates();
    return items.join(u',');
}

Rows randomTable(QRandomGenerator &random)
{
    static const char16_t *conditions[] = {u"",  u"",   u"z",   u"-z",    u"!c",  u"c",
                                           u"n", u"-n", u"p",   u"x1",    u"-x1", u"x4,-z",
                                           u"b", u"-b", u"z,c", u"-z,-n", u"-p",  u"x2,x3"};
    Rows rows;
    const int count = 1 + int(random.bounded(9));
    for (int i = 0; i < count; ++i) {
        const int source = int(random.bounded(6));
        rows << QStringList{
            QString::number(source), QString::number(random.bounded(7)),
            QString::fromUtf16(conditions[random.bounded(int(std::size(conditions)))]),
            randomSignals(random)};
    }
    return rows;
}

} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void checks_data();
    void checks();
    void messages();
    void flagOutcomes();
    void graph();
    void randomTablesAgainstTheEngine();
    void missingStatesAreReachedBySteeredRuns();
};

void TestAnalysis::checks_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QStringList>("expected");

    const QStringList none;
    QTest::newRow("one stop") << Rows{{u"0"_s, u"0"_s, u""_s, u"y70"_s}} << none;
    QTest::newRow("no start") << Rows{{u"1"_s, u"1"_s, u""_s, u"y70"_s}}
                              << QStringList{u"no-start@0"_s};
    QTest::newRow("no success") << Rows{{u"0"_s, u"0"_s, u""_s, u"y20"_s}}
                                << QStringList{u"no-success@0"_s};
    QTest::newRow("y70 on an unreachable state")
        << Rows{{u"0"_s, u"0"_s, u""_s, u"y21"_s}, {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << QStringList{u"no-success@0"_s, u"unreachable-state@2"_s};

    QTest::newRow("missing state") << Rows{{u"0"_s, u"5"_s, u""_s, u"y20"_s}}
                                   << QStringList{u"no-success@0"_s, u"missing-state@1"_s};
    // A stopping state takes no transition, so its next state is never looked for.
    QTest::newRow("next state of a stop") << Rows{{u"0"_s, u"5"_s, u""_s, u"y70"_s}} << none;
    // y38 leaves N set and Z clear: the u"z"_s row cannot lead to the missing state.
    QTest::newRow("missing state behind a condition that cannot hold")
        << Rows{{u"0"_s, u"7"_s, u"z"_s, u"y38"_s},
                {u"0"_s, u"1"_s, u""_s, u""_s},
                {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << QStringList{u"flag-never-set@1"_s};

    QTest::newRow("ignored signals") << Rows{{u"0"_s, u"1"_s, u"z"_s, u"y20"_s},
                                             {u"0"_s, u"2"_s, u""_s, u"y21"_s},
                                             {u"1"_s, u"1"_s, u""_s, u"y70"_s},
                                             {u"2"_s, u"2"_s, u""_s, u"y70"_s}}
                                     << QStringList{u"ignored-signals@2"_s};

    QTest::newRow("shadowed by an empty condition")
        << Rows{{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                {u"0"_s, u"2"_s, u"z"_s, u""_s},
                {u"1"_s, u"1"_s, u""_s, u"y70"_s},
                {u"2"_s, u"2"_s, u""_s, u"y70"_s}}
        << QStringList{u"shadowed-row@2"_s, u"unreachable-state@4"_s};
    QTest::newRow("shadowed by two rows together") << Rows{{u"0"_s, u"1"_s, u"z"_s, u"y31"_s},
                                                           {u"0"_s, u"1"_s, u"-z"_s, u""_s},
                                                           {u"0"_s, u"1"_s, u"c"_s, u""_s},
                                                           {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
                                                   << QStringList{u"shadowed-row@3"_s};
    QTest::newRow("narrower earlier row shadows nothing")
        << Rows{{u"0"_s, u"1"_s, u"z,c"_s, u"y31"_s},
                {u"0"_s, u"1"_s, u"z"_s, u""_s},
                {u"0"_s, u"1"_s, u""_s, u""_s},
                {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << none;

    QTest::newRow("never row") << Rows{{u"0"_s, u"1"_s, u"!b"_s, u"y70"_s}}
                               << QStringList{u"never-row@1"_s};

    QTest::newRow("flag never set") << Rows{{u"0"_s, u"1"_s, u"c"_s, u"y20"_s},
                                            {u"0"_s, u"0"_s, u"-c"_s, u""_s},
                                            {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
                                    << QStringList{u"no-success@0"_s, u"flag-never-set@1"_s,
                                                   u"flag-never-set@2"_s, u"unreachable-state@3"_s};
    QTest::newRow("carry of an arithmetic ALU function")
        << Rows{{u"0"_s, u"1"_s, u"c"_s, u"y11,y14,y31"_s},
                {u"0"_s, u"0"_s, u"-c"_s, u""_s},
                {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << none;
    QTest::newRow("logic ALU functions set no carry")
        << Rows{{u"0"_s, u"1"_s, u"c"_s, u"y11,y14,y15,y31"_s},
                {u"0"_s, u"0"_s, u""_s, u""_s},
                {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << QStringList{u"no-success@0"_s, u"flag-never-set@1"_s, u"unreachable-state@3"_s};
    // A state without microoperations keeps the flags it came with.
    QTest::newRow("flags kept through a state without microoperations")
        << Rows{{u"0"_s, u"1"_s, u""_s, u"y11,y14,y31"_s},
                {u"1"_s, u"2"_s, u"c"_s, u""_s},
                {u"1"_s, u"0"_s, u""_s, u""_s},
                {u"2"_s, u"2"_s, u""_s, u"y70"_s}}
        << none;
    // X4 … X1 are 0 until a РК load.
    QTest::newRow("condition flag never loaded") << Rows{{u"0"_s, u"1"_s, u"x1"_s, u"y20"_s},
                                                         {u"0"_s, u"2"_s, u""_s, u""_s},
                                                         {u"1"_s, u"1"_s, u""_s, u"y70"_s},
                                                         {u"2"_s, u"2"_s, u""_s, u"y70"_s}}
                                                 << QStringList{u"unreachable-state@3"_s};

    QTest::newRow("incomplete state")
        << Rows{{u"0"_s, u"1"_s, u"z"_s, u"y20"_s}, {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << QStringList{u"incomplete-state@1"_s};
    QTest::newRow("complete state") << Rows{{u"0"_s, u"1"_s, u"z"_s, u"y20"_s},
                                            {u"0"_s, u"0"_s, u"-z"_s, u""_s},
                                            {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
                                    << none;
    QTest::newRow("incomplete on loaded condition flags")
        << Rows{{u"0"_s, u"1"_s, u"x1"_s, u"y62"_s}, {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << QStringList{u"incomplete-state@1"_s};
    QTest::newRow("complete on condition flags never loaded")
        << Rows{{u"0"_s, u"1"_s, u"-x1"_s, u"y20"_s}, {u"1"_s, u"1"_s, u""_s, u"y70"_s}} << none;

    QTest::newRow("empty cycle") << Rows{{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                                         {u"1"_s, u"2"_s, u""_s, u""_s},
                                         {u"2"_s, u"1"_s, u""_s, u""_s}}
                                 << QStringList{u"no-success@0"_s, u"empty-cycle@2"_s};
    QTest::newRow("empty cycle on some flags") << Rows{{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                                                       {u"1"_s, u"2"_s, u"z"_s, u""_s},
                                                       {u"1"_s, u"1"_s, u""_s, u""_s},
                                                       {u"2"_s, u"2"_s, u""_s, u"y70"_s}}
                                               << QStringList{u"empty-cycle@3"_s};
    QTest::newRow("cycle with a microoperation") << Rows{{u"0"_s, u"1"_s, u""_s, u""_s},
                                                         {u"1"_s, u"0"_s, u"z"_s, u"y20"_s},
                                                         {u"1"_s, u"2"_s, u""_s, u""_s},
                                                         {u"2"_s, u"2"_s, u""_s, u"y70"_s}}
                                                 << none;

    QTest::newRow("unused control field") << Rows{{u"0"_s, u"0"_s, u""_s, u"y11,y20,y70"_s}}
                                          << QStringList{u"unused-control-field@1"_s};
    QTest::newRow("only control fields")
        << Rows{{u"0"_s, u"1"_s, u""_s, u"y7"_s}, {u"1"_s, u"1"_s, u""_s, u"y70"_s}}
        << QStringList{u"unused-control-field@1"_s};
    QTest::newRow("used control fields")
        << Rows{{u"0"_s, u"0"_s, u""_s, u"y6,y7,y11,y14,y15,y29,y31,y47,y70"_s}} << none;
}

void TestAnalysis::checks()
{
    QFETCH(Rows, rows);
    QFETCH(QStringList, expected);
    const Analysis analysis = analyzeProgram(programOf(rows));
    QCOMPARE(summary(analysis), expected);
}

void TestAnalysis::messages()
{
    // The texts students read: rows and states named, the signals quoted as the cell shows them.
    const Analysis ignored = analyzeProgram(programOf({{u"4"_s, u"4"_s, u""_s, u"y70"_s},
                                                       {u"0"_s, u"4"_s, u""_s, u""_s},
                                                       {u"4"_s, u"0"_s, u"z"_s, u"y31,y60"_s}}));
    const auto it = std::find_if(ignored.findings.begin(), ignored.findings.end(),
                                 [](const Finding &f) { return f.code == u"ignored-signals"; });
    QVERIFY(it != ignored.findings.end());
    QCOMPARE(it->message,
             u"строка 3 — не первая строка состояния 4, её сигналы y31,y60 не выполняются"_s);
    QCOMPARE(it->severity, Severity::Warning);
    QCOMPARE(it->states, QList<int>{4});

    const Analysis never = analyzeProgram(programOf({{u"0"_s, u"1"_s, u"c"_s, u"y20"_s},
                                                     {u"0"_s, u"0"_s, u""_s, u""_s},
                                                     {u"1"_s, u"1"_s, u""_s, u"y70"_s}}));
    QVERIFY(hasFinding(never, u"flag-never-set"_s, 1, 0));
    QCOMPARE(never.findings.first().message,
             u"ни один путь из состояния 0 не доходит до микрооперации y70: программа не может "
             u"завершиться успешно"_s);
    QCOMPARE(
        never.findings.at(1).message,
        u"строка 1: условие проверяет флаг C, но последняя микрооперация состояния 0 (y20) его "
        u"не устанавливает: при проверке он всегда 0"_s);

    const Analysis missing = analyzeProgram(programOf({{u"0"_s, u"12"_s, u""_s, u"y20"_s}}));
    QVERIFY(hasFinding(missing, u"missing-state"_s, 1, 12));
    QCOMPARE(missing.missingStates, std::vector<int>{12});
}

void TestAnalysis::flagOutcomes()
{
    auto fields = [](std::initializer_list<int> numbers) {
        ControlFields f;
        for (int n : numbers)
            f.marks[size_t(n)] = 1;
        return f;
    };
    auto index = [](int z, int n, int c, int p) { return 1u << (z | n << 1 | c << 2 | p << 3); };
    // A := R: R is 0..15, so Z or nothing, never N.
    QCOMPARE(resultFlagOutcomes(20, {}), quint16(index(1, 0, 0, 0) | index(0, 0, 0, 0)));
    // B := F.R is always negative.
    QCOMPARE(resultFlagOutcomes(38, {}), quint16(index(0, 1, 0, 0)));
    QCOMPARE(resultFlagOutcomes(43, {}), quint16(index(1, 0, 0, 0)));
    QCOMPARE(resultFlagOutcomes(66, {}), quint16(index(0, 0, 0, 0)));
    // Logic 3 is the constant 0, logic 12 the constant FF; arithmetic 3 is no operation.
    QCOMPARE(resultFlagOutcomes(31, fields({13, 14, 15})), quint16(index(1, 0, 0, 0)));
    QCOMPARE(resultFlagOutcomes(31, fields({11, 12, 15})), quint16(index(0, 1, 0, 0)));
    QCOMPARE(resultFlagOutcomes(31, fields({13, 14})), quint16(index(0, 0, 0, 0)));
    // x + 1: a carry only out of FF (result 0), an overflow only out of 7F (result 80).
    QCOMPARE(resultFlagOutcomes(50, {}), quint16(index(0, 0, 0, 0) | index(0, 1, 0, 0) |
                                                 index(1, 0, 1, 0) | index(0, 1, 0, 1)));
    QCOMPARE(resultFlagOutcomes(47, {}), resultFlagOutcomes(50, {}));
    QVERIFY(resultFlagOutcomes(47, fields({6})) != resultFlagOutcomes(47, {}));
}

void TestAnalysis::graph()
{
    const Program program = programOf({{u"0"_s, u"4"_s, u""_s, u"y20"_s},
                                       {u"0"_s, u"9"_s, u""_s, u"y31"_s},
                                       {u"4"_s, u"0"_s, u"z"_s, u"y31,y60"_s},
                                       {u"4"_s, u"7"_s, u"-z"_s, u""_s},
                                       {u"5"_s, u"5"_s, u""_s, u"y70"_s}});
    const Analysis analysis = analyzeProgram(program);
    const AutomatonGraph graph = automatonGraph(program, analysis);
    QCOMPARE(graph.nodes.size(), 4); // 0, 4, 5 and the missing 7
    QVERIFY(graph.nodes[0].start);
    QVERIFY(!graph.nodes[2].reachable);
    QCOMPARE(graph.nodes[3].kind, GraphNode::Kind::Missing);
    QCOMPARE(graph.nodes[3].state, 7);
    QCOMPARE(graph.nodes[1].microoperations, u"y31,y60"_s);
    QCOMPARE(graph.edges.size(), 3); // row 2 (shadowed) cannot be taken
    QCOMPARE(graph.edges[0].row, 1);
    QCOMPARE(graph.edges[1].condition, u"z"_s);
    QCOMPARE(graph.notes.size(), 1);
    QCOMPARE(graph.notes[0].row, 2);

    const QString dot = QString::fromUtf8(writeDot(graph));
    QVERIFY(dot.startsWith(u"digraph automaton {"_s));
    QVERIFY(dot.contains(u"s4 [label=\"4\\ny31,y60\""_s));
    QVERIFY(dot.contains(u"m7 [label=\"7\\nнет строк\", style=\"rounded,dashed\", color=red"_s));
    QVERIFY(dot.contains(u"s4 -> m7 [label=\"-z\\nстр. 4\"]"_s));
    QVERIFY(dot.contains(u"start -> s0"_s));
    QVERIFY(dot.contains(u"s5 [label=\"5\\ny70\", peripheries=2, color=gray"_s));
}

void TestAnalysis::randomTablesAgainstTheEngine()
{
    // Every observation of real runs must lie inside what the analysis allows: the states
    // shown, the flags after each microoperation and at each transition, the rows taken, and
    // how the run ends.
    QRandomGenerator random(20261208);
    int transitions = 0;
    int stops = 0;
    int missingStops = 0;
    int successes = 0;
    for (int table = 0; table < 1500; ++table) {
        const Rows rows = randomTable(random);
        const Program program = programOf(rows);
        const Analysis analysis = analyzeProgram(program);
        QByteArray context;
        for (const QStringList &row : rows)
            context += row.join(u'|').toUtf8() + "; ";

        ObservingView view(random);
        ByteArrayMemory memory;
        for (quint8 &byte : memory.bytes)
            byte = quint8(random.bounded(256));
        StepEngine engine(program, memory, view);
        view.engine = &engine;
        engine.start();
        while (!engine.endScreenShown() && engine.stepCount() < 300)
            engine.executeStep();

        const auto &events = view.events;
        for (size_t i = 0; i < events.size(); ++i) {
            const ObservingView::Event &e = events[i];
            const StateFacts *facts = analysis.facts(e.state);
            QVERIFY2(facts && facts->reachable(), context.constData());
            const bool microop = e.kind != Operation::Kind::NoMicrooperations;
            if (microop) {
                const int result = e.flags >> 4;
                QVERIFY2(resultFlagOutcomes(e.signal, e.fields) & (1u << result),
                         context.constData());
                if (!e.lastMicroop || e.signal == 70)
                    continue;
            }
            QVERIFY2(facts->exit[size_t(e.flags)], context.constData());
            // The row the engine takes next: the first of the state whose condition holds.
            int row = -1;
            for (int r : facts->rows) {
                if (program.row(r).condition.holds(e.flags)) {
                    row = r;
                    break;
                }
            }
            if (!microop && row >= 0 && row != e.row) {
                // The engine moves on to the state's row that holds within the same press.
                QVERIFY2(i + 1 < events.size() && events[i + 1].state == e.state &&
                             events[i + 1].row == row,
                         context.constData());
                continue;
            }
            const bool last = i + 1 == events.size();
            if (row < 0) {
                if (last && !engine.running()) {
                    QVERIFY2(engine.endText().endsWith(u"при данных условиях"_s),
                             context.constData());
                    QVERIFY2(hasFinding(analysis, u"incomplete-state"_s, -1, e.state),
                             context.constData());
                    ++stops;
                }
                continue;
            }
            ++transitions;
            QVERIFY2(analysis.takeable[size_t(row)], context.constData());
            QVERIFY2(!hasFinding(analysis, u"shadowed-row"_s, row + 1) &&
                         !hasFinding(analysis, u"never-row"_s, row + 1),
                     context.constData());
            const int target = program.row(row).nextState;
            if (!analysis.facts(target)) {
                if (last && !engine.running()) {
                    QVERIFY2(engine.endText() ==
                                 u"Не описан переход из состояния  "_s + QString::number(target),
                             context.constData());
                    QVERIFY2(hasFinding(analysis, u"missing-state"_s, row + 1, target),
                             context.constData());
                    ++missingStops;
                }
                continue;
            }
            if (!last)
                QVERIFY2(events[i + 1].state == target, context.constData());
        }
        if (engine.state().succeeded) {
            ++successes;
            QVERIFY2(!hasFinding(analysis, u"no-success"_s), context.constData());
        }
        if (!analysis.facts(0))
            QVERIFY2(hasFinding(analysis, u"no-start"_s) && events.empty(), context.constData());
        // A run that went on stepping through states without microoperations only.
        if (events.size() > 40 &&
            std::all_of(events.end() - 40, events.end(), [](const ObservingView::Event &e) {
                return e.kind == Operation::Kind::NoMicrooperations;
            }))
            QVERIFY2(hasFinding(analysis, u"empty-cycle"_s, -1, events.back().state),
                     context.constData());
    }
    // The random tables reach every kind of ending.
    QVERIFY(transitions > 1000);
    QVERIFY(stops > 20);
    QVERIFY(missingStops > 20);
    QVERIFY(successes > 20);
}

void TestAnalysis::missingStatesAreReachedBySteeredRuns()
{
    // Every missing-state finding names a stop a real run can be steered into. First the data
    // alone is tried (random memory and y66 bytes). Where that fails, the flags are chosen at
    // each transition from the state's exit set: registers and memory count as any value in
    // the analysis, so a path whose conditions need values the program's own microoperations
    // exclude is reached only that way. Those over-approximated findings are counted apart;
    // none may be unreachable even with the flags chosen.
    QRandomGenerator random(20261209);
    int findings = 0;
    int byData = 0;
    int byFlags = 0;
    for (int table = 0; table < 1500; ++table) {
        const Rows rows = randomTable(random);
        if (!withoutWrongCells(rows))
            continue;
        const Program program = programOf(rows);
        const Analysis analysis = analyzeProgram(program);
        QByteArray context;
        for (const QStringList &row : rows)
            context += row.join(u'|').toUtf8() + "; ";
        for (const Finding &finding : analysis.findings) {
            if (finding.code != u"missing-state"_s)
                continue;
            ++findings;
            const int goalRow = finding.row() - 1;
            const int target = program.row(goalRow).nextState;
            const QString stop = u"Не описан переход из состояния  "_s + QString::number(target);
            // flagsFor: the vector to give each state at its transition (empty: the data's own).
            auto run = [&](const std::map<int, int> &flagsFor) {
                ObservingView view(random);
                ByteArrayMemory memory;
                for (quint8 &byte : memory.bytes)
                    byte = quint8(random.bounded(256));
                StepEngine engine(program, memory, view);
                view.engine = &engine;
                engine.start();
                while (!engine.endScreenShown() && engine.stepCount() < 300) {
                    if (!view.events.empty()) {
                        const ObservingView::Event &e = view.events.back();
                        // A state without microoperations tries its rows inside the press
                        // that enters it, on the flags it came with: no press to steer it.
                        const bool transitionNext = e.lastMicroop && e.signal != 70;
                        if (const auto chosen = flagsFor.find(e.state);
                            transitionNext && chosen != flagsFor.end()) {
                            Processor &p = engine.processor();
                            quint8 *const flags[] = {&p.x4, &p.x3, &p.x2, &p.x1,
                                                     &p.z,  &p.n,  &p.c,  &p.p};
                            for (int k = 0; k < 8; ++k)
                                *flags[k] = quint8(chosen->second >> k & 1);
                        }
                    }
                    engine.executeStep();
                }
                return engine.endScreenShown() && !engine.state().succeeded &&
                       engine.endText() == stop;
            };
            bool reached = false;
            for (int attempt = 0; attempt < 30 && !reached; ++attempt)
                reached = run({});
            if (reached) {
                ++byData;
                continue;
            }
            // A path of the analysis from state 0 to the goal row, breadth first over steering
            // points: a state with microoperations gets any vector of its exit set after its
            // last one; a state without keeps the vector it came with, so it is a node per
            // vector. Per state with microoperations, the vector that takes the path's row.
            auto firstRow = [&](const StateFacts &facts, int v) {
                for (const int r : facts.rows) {
                    if (program.row(r).condition.holds(v))
                        return r;
                }
                return -1;
            };
            using Node = std::pair<int, int>; // state, inherited vector or -1 (chosen there)
            std::map<Node, std::pair<Node, int>> cameFrom; // → previous node, vector chosen
            const StateFacts *start = analysis.facts(0);
            QVERIFY2(start && start->reachable(), context.constData());
            const Node first{0, start->microops.empty() ? 0 : -1};
            std::vector<Node> queue{first};
            cameFrom[first] = {{-1, -1}, -1};
            std::optional<std::pair<Node, int>> found;
            for (size_t i = 0; i < queue.size() && !found; ++i) {
                const Node node = queue[i];
                const StateFacts *facts = analysis.facts(node.first);
                if (!facts || facts->stops)
                    continue;
                for (int v = 0; v < 256 && !found; ++v) {
                    if ((node.second >= 0 && v != node.second) || !facts->exit[size_t(v)])
                        continue;
                    const int r = firstRow(*facts, v);
                    if (r < 0)
                        continue;
                    if (r == goalRow) {
                        found = {node, v};
                        break;
                    }
                    const StateFacts *next = analysis.facts(program.row(r).nextState);
                    if (!next)
                        continue;
                    const Node to{next->state, next->microops.empty() ? v : -1};
                    if (cameFrom.count(to))
                        continue;
                    cameFrom[to] = {node, v};
                    queue.push_back(to);
                }
            }
            QVERIFY2(found, context.constData());
            std::map<int, int> flagsFor;
            for (std::pair<Node, int> step = *found; step.first.first >= 0;
                 step = cameFrom[step.first]) {
                if (step.first.second < 0)
                    flagsFor[step.first.first] = step.second;
            }
            QVERIFY2(run(flagsFor), context.constData());
            ++byFlags;
        }
    }
    QVERIFY(findings > 100);
    // Most are reached by data alone; the rest show where the analysis over-approximates.
    QVERIFY2(byData > findings / 2, qPrintable(u"%1 of %2"_s.arg(byData).arg(findings)));
    QCOMPARE(byData + byFlags, findings);
}

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
