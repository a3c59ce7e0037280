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
};

void TestAnalysis::checks_data()
{
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<QStringList>("expected");

    const QStringList none;
    QTest::newRow("one stop") << Rows{{"0", "0", "", "y70"}} << none;
    QTest::newRow("no start") << Rows{{"1", "1", "", "y70"}} << QStringList{"no-start@0"};
    QTest::newRow("no success") << Rows{{"0", "0", "", "y20"}} << QStringList{"no-success@0"};
    QTest::newRow("y70 on an unreachable state")
        << Rows{{"0", "0", "", "y21"}, {"1", "1", "", "y70"}}
        << QStringList{"no-success@0", "unreachable-state@2"};

    QTest::newRow("missing state")
        << Rows{{"0", "5", "", "y20"}} << QStringList{"no-success@0", "missing-state@1"};
    // A stopping state takes no transition, so its next state is never looked for.
    QTest::newRow("next state of a stop") << Rows{{"0", "5", "", "y70"}} << none;
    // y38 leaves N set and Z clear: the "z" row cannot lead to the missing state.
    QTest::newRow("missing state behind a condition that cannot hold")
        << Rows{{"0", "7", "z", "y38"}, {"0", "1", "", ""}, {"1", "1", "", "y70"}}
        << QStringList{"flag-never-set@1"};

    QTest::newRow("ignored signals") << Rows{{"0", "1", "z", "y20"},
                                             {"0", "2", "", "y21"},
                                             {"1", "1", "", "y70"},
                                             {"2", "2", "", "y70"}}
                                     << QStringList{"ignored-signals@2"};

    QTest::newRow("shadowed by an empty condition")
        << Rows{{"0", "1", "", "y20"},
                {"0", "2", "z", ""},
                {"1", "1", "", "y70"},
                {"2", "2", "", "y70"}}
        << QStringList{"shadowed-row@2", "unreachable-state@4"};
    QTest::newRow("shadowed by two rows together") << Rows{{"0", "1", "z", "y31"},
                                                           {"0", "1", "-z", ""},
                                                           {"0", "1", "c", ""},
                                                           {"1", "1", "", "y70"}}
                                                   << QStringList{"shadowed-row@3"};
    QTest::newRow("narrower earlier row shadows nothing") << Rows{{"0", "1", "z,c", "y31"},
                                                                  {"0", "1", "z", ""},
                                                                  {"0", "1", "", ""},
                                                                  {"1", "1", "", "y70"}}
                                                          << none;

    QTest::newRow("never row") << Rows{{"0", "1", "!b", "y70"}} << QStringList{"never-row@1"};

    QTest::newRow("flag never set")
        << Rows{{"0", "1", "c", "y20"}, {"0", "0", "-c", ""}, {"1", "1", "", "y70"}}
        << QStringList{"no-success@0", "flag-never-set@1", "flag-never-set@2",
                       "unreachable-state@3"};
    QTest::newRow("carry of an arithmetic ALU function")
        << Rows{{"0", "1", "c", "y11,y14,y31"}, {"0", "0", "-c", ""}, {"1", "1", "", "y70"}}
        << none;
    QTest::newRow("logic ALU functions set no carry")
        << Rows{{"0", "1", "c", "y11,y14,y15,y31"}, {"0", "0", "", ""}, {"1", "1", "", "y70"}}
        << QStringList{"no-success@0", "flag-never-set@1", "unreachable-state@3"};
    // A state without microoperations keeps the flags it came with.
    QTest::newRow("flags kept through a state without microoperations")
        << Rows{{"0", "1", "", "y11,y14,y31"},
                {"1", "2", "c", ""},
                {"1", "0", "", ""},
                {"2", "2", "", "y70"}}
        << none;
    // X4 … X1 are 0 until a РК load.
    QTest::newRow("condition flag never loaded") << Rows{{"0", "1", "x1", "y20"},
                                                         {"0", "2", "", ""},
                                                         {"1", "1", "", "y70"},
                                                         {"2", "2", "", "y70"}}
                                                 << QStringList{"unreachable-state@3"};

    QTest::newRow("incomplete state")
        << Rows{{"0", "1", "z", "y20"}, {"1", "1", "", "y70"}} << QStringList{"incomplete-state@1"};
    QTest::newRow("complete state")
        << Rows{{"0", "1", "z", "y20"}, {"0", "0", "-z", ""}, {"1", "1", "", "y70"}} << none;
    QTest::newRow("incomplete on loaded condition flags")
        << Rows{{"0", "1", "x1", "y62"}, {"1", "1", "", "y70"}}
        << QStringList{"incomplete-state@1"};
    QTest::newRow("complete on condition flags never loaded")
        << Rows{{"0", "1", "-x1", "y20"}, {"1", "1", "", "y70"}} << none;

    QTest::newRow("empty cycle") << Rows{{"0", "1", "", "y20"},
                                         {"1", "2", "", ""},
                                         {"2", "1", "", ""}}
                                 << QStringList{"no-success@0", "empty-cycle@2"};
    QTest::newRow("empty cycle on some flags") << Rows{{"0", "1", "", "y20"},
                                                       {"1", "2", "z", ""},
                                                       {"1", "1", "", ""},
                                                       {"2", "2", "", "y70"}}
                                               << QStringList{"empty-cycle@3"};
    QTest::newRow("cycle with a microoperation") << Rows{{"0", "1", "", ""},
                                                         {"1", "0", "z", "y20"},
                                                         {"1", "2", "", ""},
                                                         {"2", "2", "", "y70"}}
                                                 << none;

    QTest::newRow("unused control field")
        << Rows{{"0", "0", "", "y11,y20,y70"}} << QStringList{"unused-control-field@1"};
    QTest::newRow("only control fields") << Rows{{"0", "1", "", "y7"}, {"1", "1", "", "y70"}}
                                         << QStringList{"unused-control-field@1"};
    QTest::newRow("used control fields")
        << Rows{{"0", "0", "", "y6,y7,y11,y14,y15,y29,y31,y47,y70"}} << none;
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
    const Analysis ignored = analyzeProgram(
        programOf({{"4", "4", "", "y70"}, {"0", "4", "", ""}, {"4", "0", "z", "y31,y60"}}));
    const auto it = std::find_if(ignored.findings.begin(), ignored.findings.end(),
                                 [](const Finding &f) { return f.code == u"ignored-signals"; });
    QVERIFY(it != ignored.findings.end());
    QCOMPARE(it->message,
             u"строка 3 — не первая строка состояния 4, её сигналы y31,y60 не выполняются"_s);
    QCOMPARE(it->severity, Severity::Warning);
    QCOMPARE(it->states, QList<int>{4});

    const Analysis never = analyzeProgram(
        programOf({{"0", "1", "c", "y20"}, {"0", "0", "", ""}, {"1", "1", "", "y70"}}));
    QVERIFY(hasFinding(never, u"flag-never-set"_s, 1, 0));
    QCOMPARE(never.findings.first().message,
             u"ни один путь из состояния 0 не доходит до микрооперации y70: программа не может "
             u"завершиться успешно"_s);
    QCOMPARE(
        never.findings.at(1).message,
        u"строка 1: условие проверяет флаг C, но последняя микрооперация состояния 0 (y20) его "
        u"не устанавливает: при проверке он всегда 0"_s);

    const Analysis missing = analyzeProgram(programOf({{"0", "12", "", "y20"}}));
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
    const Program program = programOf({{"0", "4", "", "y20"},
                                       {"0", "9", "", "y31"},
                                       {"4", "0", "z", "y31,y60"},
                                       {"4", "7", "-z", ""},
                                       {"5", "5", "", "y70"}});
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
            QVERIFY2(facts && facts->reachable(), context);
            const bool microop = e.kind != Operation::Kind::NoMicrooperations;
            if (microop) {
                const int result = e.flags >> 4;
                QVERIFY2(resultFlagOutcomes(e.signal, e.fields) & (1u << result), context);
                if (!e.lastMicroop || e.signal == 70)
                    continue;
            }
            QVERIFY2(facts->exit[size_t(e.flags)], context);
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
                         context);
                continue;
            }
            const bool last = i + 1 == events.size();
            if (row < 0) {
                if (last && !engine.running()) {
                    QVERIFY2(engine.endText().endsWith(u"при данных условиях"_s), context);
                    QVERIFY2(hasFinding(analysis, u"incomplete-state"_s, -1, e.state), context);
                    ++stops;
                }
                continue;
            }
            ++transitions;
            QVERIFY2(analysis.takeable[size_t(row)], context);
            QVERIFY2(!hasFinding(analysis, u"shadowed-row"_s, row + 1) &&
                         !hasFinding(analysis, u"never-row"_s, row + 1),
                     context);
            const int target = program.row(row).nextState;
            if (!analysis.facts(target)) {
                if (last && !engine.running()) {
                    QVERIFY2(engine.endText() ==
                                 u"Не описан переход из состояния  "_s + QString::number(target),
                             context);
                    QVERIFY2(hasFinding(analysis, u"missing-state"_s, row + 1, target), context);
                    ++missingStops;
                }
                continue;
            }
            if (!last)
                QVERIFY2(events[i + 1].state == target, context);
        }
        if (engine.state().succeeded) {
            ++successes;
            QVERIFY2(!hasFinding(analysis, u"no-success"_s), context);
        }
        if (!analysis.facts(0))
            QVERIFY2(hasFinding(analysis, u"no-start"_s) && events.empty(), context);
        // A run that went on stepping through states without microoperations only.
        if (events.size() > 40 &&
            std::all_of(events.end() - 40, events.end(), [](const ObservingView::Event &e) {
                return e.kind == Operation::Kind::NoMicrooperations;
            }))
            QVERIFY2(hasFinding(analysis, u"empty-cycle"_s, -1, events.back().state), context);
    }
    // The random tables reach every kind of ending.
    QVERIFY(transitions > 1000);
    QVERIFY(stops > 20);
    QVERIFY(missingStops > 20);
    QVERIFY(successes > 20);
}

QTEST_GUILESS_MAIN(TestAnalysis)
#include "tst_analysis.moc"
