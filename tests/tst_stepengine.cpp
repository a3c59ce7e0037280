// SPDX-License-Identifier: GPL-3.0-or-later
//
// The step engine: how it walks the transition table press by press, when it stops, what the
// panels and dialogs show, and the step limit of the run to the end.

#include "sim/stepengine.h"

#include "cells/rowrules.h"
#include "coretestutil.h"
#include "sim/registers.h"

#include <QTest>

#include <deque>
#include <memory>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

// A table typed into the editor: every conditions and signals cell goes through the check, the
// normalisation and the check of the normal text, as a cell does when the user leaves it.
class TextTable final : public TableSource {
public:
    // Each row "source|next|conditions|signals".
    explicit TextTable(const QStringList &rows)
    {
        for (const QString &line : rows) {
            const QStringList cells = line.split(u'|');
            QVERIFY2(cells.size() == 4, qPrintable(line));
            Row row;
            for (int field = 0; field < fieldCount; ++field)
                row.texts[size_t(field)] = cells[field];
            QString &conditions = row.texts[ConditionsField];
            QVERIFY2(checkTransitionConditions(conditions, row.conditions), qPrintable(line));
            conditions = normalizeTransitionConditions(conditions, row.conditions);
            QVERIFY(checkTransitionConditions(conditions, row.conditions));
            QString &signalsText = row.texts[SignalsField];
            QVERIFY2(checkControlSignals(signalsText, row.signalNumbers), qPrintable(line));
            signalsText = normalizeControlSignals(signalsText, row.signalNumbers);
            QVERIFY(checkControlSignals(signalsText, row.signalNumbers));
            rows_.push_back(row);
        }
    }
    int rowCount() const override { return int(rows_.size()); }
    QString cellText(int row, int field) const override
    {
        return rows_[size_t(row)].texts[size_t(field)];
    }
    ParsedConditions parsedConditions(int row) const override
    {
        return rows_[size_t(row)].conditions;
    }
    ParsedSignals parsedSignals(int row) const override { return rows_[size_t(row)].signalNumbers; }

private:
    struct Row {
        std::array<QString, fieldCount> texts;
        ParsedConditions conditions;
        ParsedSignals signalNumbers;
    };
    std::vector<Row> rows_;
};

QString shortOperation(const Operation &operation)
{
    switch (operation.kind) {
    case Operation::Kind::Microoperation:
        return u"y"_s + QString::number(operation.signal);
    case Operation::Kind::NoMicrooperations:
        return u"none"_s;
    case Operation::Kind::NoAluOperation:
        return u"noalu"_s;
    case Operation::Kind::RkLoadFailed:
        return u"rkfail"_s;
    case Operation::Kind::None:
        break;
    }
    return u"-"_s;
}

// A view that keeps what the window would show and logs its dialogs.
class RecordingView final : public ExecutionView {
public:
    StepEngine *engine = nullptr;
    // What the panels show.
    Processor shownBefore;
    Processor shownAfter;
    QString shownHeader; // "row/step source>next [signals] operation"
    QString shownOperationText;
    int afterUpdates = 0;
    // Dialogs and screens since the last take().
    QStringList events;
    // Each dialog with the panels it opened over.
    QStringList dialogLog;
    std::deque<std::optional<int>> dataBytes;

    void updateRegisterPanel(Panel which) override
    {
        if (which == Panel::Before) {
            shownBefore = engine->beforePanel();
            return;
        }
        const AfterPanel &after = engine->afterPanel();
        shownAfter = after.registers;
        shownHeader = u"%1/%2 %3>%4 [%5] %6"_s.arg(after.rowLabel())
                          .arg(after.stepLabel())
                          .arg(after.initialStateLabel())
                          .arg(after.nextStateLabel(), after.controlSignalsLabel(),
                               shortOperation(after.operation));
        shownOperationText = after.operationLabel();
        ++afterUpdates;
    }
    void showEndScreen() override { events << u"END:"_s + engine->endText(); }
    void showMessage(const QString &message) override
    {
        events << u"msg:"_s + message;
        logDialog(message);
    }
    std::optional<int> requestDataByte(const QString &prompt) override
    {
        events << u"byte"_s;
        logDialog(prompt);
        if (dataBytes.empty())
            return std::nullopt;
        const std::optional<int> byte = dataBytes.front();
        dataBytes.pop_front();
        return byte;
    }
    void showStepLimitDialog(const QString &heading, const QString &text) override
    {
        events << u"limit"_s;
        logDialog(heading + u'\n' + text);
    }
    void scheduleDeletion() override { events << u"delete"_s; }

    void logDialog(const QString &dialog)
    {
        dialogLog << dialog + u" over "_s + shownHeader +
                         u" before A=%1 Z=%2 after A=%3"_s.arg(shownBefore.a)
                             .arg(shownBefore.z)
                             .arg(shownAfter.a);
    }
};

// One launch: a table, memory, a view and the engine over them.
struct Launch {
    explicit Launch(const QStringList &rows) : table(rows), engine(table, memory, view)
    {
        view.engine = &engine;
    }
    // What one press left on the screen.
    QString press(bool first = false)
    {
        view.events.clear();
        if (first)
            engine.start();
        else
            engine.executeStep();
        QStringList parts;
        bool end = false;
        for (const QString &event : std::as_const(view.events))
            end = end || event.startsWith(u"END:");
        if (!end)
            parts << view.shownHeader;
        parts << view.events;
        return parts.join(u' ');
    }

    TextTable table;
    ByteArrayMemory memory;
    RecordingView view;
    StepEngine engine;
};

const QString success = u"END:Успешное завершение программы"_s;
QString notDescribed(int state, bool underConditions = false)
{
    return u"END:Не описан переход из состояния  "_s + QString::number(state) +
           (underConditions ? u"  при данных условиях"_s : QString());
}

} // namespace

class TestStepEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }

    void stateWalk_data();
    void stateWalk();
    void afterPanelTexts();
    void conditionsMeanWhatTheCellsSay();
    void dataByte_data();
    void dataByte();
    void stepLimit();
    void stepLimitWhenTheProgramStoppedAtIt();
    void runToEndStopsOnTheLastMicrooperation();
    void runToEndShowsWhatSteppingShows();
    void memoryIsReadLive();
    void snapshotOutlivesTheTable();
    void headlessTable();
    void stepBackEqualsAFreshRun_data();
    void stepBackEqualsAFreshRun();
    void stepBackKeepsAUsersMemoryEdit();
    void historyOnlyWhenAsked();
    void breakpointsAndWatches_data();
    void breakpointsAndWatches();
    void watchTexts_data();
    void watchTexts();
    void runBackGoesToTheLatestStop_data();
    void runBackGoesToTheLatestStop();
};

void TestStepEngine::stateWalk_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("presses"); // what each press shows, from the start

    const QString stop = u"msg:СТОП"_s;
    QTest::newRow("empty table") << QStringList{}
                                 << QStringList{notDescribed(0), u"delete "_s + notDescribed(0)};
    QTest::newRow("no row for state 0")
        << QStringList{u"1|1||y20"_s} << QStringList{notDescribed(0)};
    QTest::newRow("y70 alone") << QStringList{u"0|0||y70"_s}
                               << QStringList{u"1/2 0>0 [y70] y70 "_s + stop, success,
                                              u"delete "_s + success};
    QTest::newRow("microoperations in order, then the transition")
        << QStringList{u"0|1||Y21, y20"_s, u"1|0||y70"_s}
        << QStringList{u"1/2 0>1 [y20,y21] y20"_s, u"1/3 0>1 [y20,y21] y21"_s,
                       u"2/4 1>0 [y70] y70 "_s + stop, success};
    QTest::newRow("nothing after y70 runs")
        << QStringList{u"0|1||y20,y70"_s, u"1|1||y21"_s}
        << QStringList{u"1/2 0>1 [y20,y70] y20"_s, u"1/3 0>1 [y20,y70] y70 "_s + stop, success};
    QTest::newRow("state with control fields only")
        << QStringList{u"0|1||y7,y15"_s, u"1|1||y70"_s}
        << QStringList{u"1/1 0>1 [y7,y15] none"_s, u"2/3 1>1 [y70] y70 "_s + stop, success};
    QTest::newRow("second row of a state, its signals unused")
        << QStringList{u"0|3||y43"_s, u"3|4|z|y38"_s, u"3|5|-z|y20"_s, u"5|5||y68,y70"_s}
        << QStringList{u"1/2 0>3 [y43] y43"_s, u"2/3 3>По условию [y38] y38"_s,
                       u"4/4 5>5 [y68,y70] y68 msg:Переполнение"_s,
                       u"4/5 5>5 [y68,y70] y70 "_s + stop, success};
    QTest::newRow("first row holds again at the end")
        << QStringList{u"0|3||y43"_s, u"3|4|z|y20"_s, u"3|5|-z|y21"_s, u"4|4||y70"_s}
        << QStringList{u"1/2 0>3 [y43] y43"_s, u"2/3 3>По условию [y20] y20"_s,
                       u"4/4 4>4 [y70] y70 "_s + stop, success};
    QTest::newRow("no row of the state holds")
        << QStringList{u"0|1||y38"_s, u"1|2|z|y38"_s}
        << QStringList{u"1/2 0>1 [y38] y38"_s, u"2/3 1>По условию [y38] y38"_s,
                       notDescribed(1, true)};
    QTest::newRow("missing next state")
        << QStringList{u"0|5||y20"_s} << QStringList{u"1/2 0>5 [y20] y20"_s, notDescribed(5)};
    QTest::newRow("state found in a row above")
        << QStringList{u"1|1||y70"_s, u"0|1|x4|y20"_s, u"0|2||"_s, u"2|1||y21"_s}
        << QStringList{u"2/2 0>По условию [y20] y20"_s, u"4/3 2>1 [y21] y21"_s,
                       u"1/4 1>1 [y70] y70 "_s + stop, success};
    QTest::newRow("condition holding only after the microoperations")
        << QStringList{u"0|2|z|y43"_s, u"0|5|-z|"_s, u"2|2||y70"_s}
        << QStringList{u"1/2 0>По условию [y43] y43"_s, u"3/3 2>2 [y70] y70 "_s + stop, success};
    QTest::newRow("first row of a state is the last row")
        << QStringList{u"0|1||y38"_s, u"2|2||y70"_s, u"1|2|z|y43"_s}
        << QStringList{u"1/2 0>1 [y38] y38"_s, u"3/3 1>По условию [y43] y43"_s,
                       u"2/4 2>2 [y70] y70 "_s + stop, success};
    QTest::newRow("further rows belong to other states")
        << QStringList{u"0|1||y38"_s, u"1|2|z|y38"_s, u"2|2||y70"_s}
        << QStringList{u"1/2 0>1 [y38] y38"_s, u"2/3 1>По условию [y38] y38"_s,
                       notDescribed(1, true)};
    QTest::newRow("empty row below is never found")
        << QStringList{u"0|1|x4|y20"_s, u"|||"_s}
        << QStringList{u"1/2 0>По условию [y20] y20"_s, notDescribed(0, true)};
    QTest::newRow("rows without microoperations searched on")
        << QStringList{u"0|1|x4|"_s, u"0|2||"_s, u"2|2||y70"_s}
        << QStringList{u"2/1 0>2 [] none"_s, u"3/3 2>2 [y70] y70 "_s + stop, success};
    QTest::newRow("row without microoperations, no condition holds")
        << QStringList{u"0|1|x4|y7"_s, u"0|2|x3|"_s} << QStringList{notDescribed(0, true)};
    QTest::newRow("constant conditions")
        << QStringList{u"0|1|-b|y20"_s, u"0|2|B|"_s, u"2|2|!B|y70"_s}
        << QStringList{u"1/2 0>По условию [y20] y20"_s, u"3/3 2>По условию [y70] y70 "_s + stop,
                       success};
    QTest::newRow("states with leading zeros")
        << QStringList{u"000|007||y20"_s, u"7|0||y70"_s}
        << QStringList{u"1/2 0>7 [y20] y20"_s, u"2/3 7>0 [y70] y70 "_s + stop, success};
    QTest::newRow("x flags from a РК load")
        << QStringList{u"0|1||y64"_s, u"1|2|x4,-x3,x1|"_s, u"1|3||"_s, u"2|3||y69"_s, u"3|3||y70"_s}
        << QStringList{u"1/2 0>1 [y64] y64"_s, u"2/2 1>По условию [] none"_s,
                       u"4/4 2>3 [y69] y69 msg:Ошибка в коде операции"_s,
                       u"5/5 3>3 [y70] y70 "_s + stop, success};
}

void TestStepEngine::stateWalk()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, presses);
    Launch launch(rows);
    launch.memory.bytes[0] = 0x95; // read by y64: X4 = 1, X3 = 0, X1 = 1
    QStringList shown;
    for (int i = 0; i < presses.size(); ++i)
        shown << launch.press(i == 0);
    QCOMPARE(shown, presses);
}

void TestStepEngine::afterPanelTexts()
{
    Launch launch({u"0|1||y10, Y6,y47"_s, u"1|0|-Z|y31"_s});
    launch.press(true);
    const AfterPanel &after = launch.engine.afterPanel();
    QCOMPARE(after.controlSignalsLabel(), u"y6,y10,y47"_s);
    QCOMPARE(after.nextStateLabel(), u"1"_s);
    QCOMPARE(launch.view.shownOperationText, u"Выполнена микрооперация y47 :    РИ := РИ - 1"_s);
    QCOMPARE(launch.engine.processor().ri, 0xFF);
    QCOMPARE(launch.engine.operationText(), launch.view.shownOperationText);

    launch.press();
    QCOMPARE(after.nextStateLabel(), u"По условию"_s);
    QCOMPARE(launch.engine.conditionText(), u"-z"_s);
    QCOMPARE(launch.view.shownOperationText, u"Выполнена микрооперация y31 :    A := A + 1"_s);
    QCOMPARE(launch.engine.state().controlFields.marks, ControlFields().marks);
    // The "before" panel showed the registers before the microoperation, flags included.
    QCOMPARE(launch.view.shownBefore.ri, 0xFF);
    QCOMPARE(int(launch.view.shownBefore.n), 1);
    QCOMPARE(int(launch.view.shownAfter.n), 0);
    QCOMPARE(launch.view.shownAfter.a, 1);

    // The end screen puts the final state into the "before" panel.
    Launch stopped({u"0|1||y20"_s});
    stopped.press(true);
    stopped.engine.processor().b = 0x42;
    QCOMPARE(stopped.press(), notDescribed(1));
    QCOMPARE(stopped.view.shownBefore.b, 0x42);
    QVERIFY(stopped.engine.endScreenShown());
}

void TestStepEngine::conditionsMeanWhatTheCellsSay()
{
    const QStringList texts = {u""_s,
                               u" "_s,
                               u"b"_s,
                               u"-B"_s,
                               u"!b"_s,
                               u"z"_s,
                               u"-z"_s,
                               u"x4,x3,x2,x1,z,n,c,p"_s,
                               u"C, -X1,z"_s,
                               u"!p ,x4"_s,
                               u"-x4,-x3,-x2,-x1,-z,-n,-c,-p"_s,
                               u"x1,,x2"_s,
                               u"- x1"_s};
    for (const QString &typed : texts) {
        ParsedConditions parsed;
        QVERIFY2(checkTransitionConditions(typed, parsed), qPrintable(typed));
        const QString text = normalizeTransitionConditions(typed, parsed);
        QVERIFY(checkTransitionConditions(text, parsed));
        const TransitionCondition condition = TransitionCondition::fromCell(text, parsed);
        for (int bits = 0; bits < 256; ++bits) {
            std::array<quint8, 8> flags;
            for (int k = 0; k < 8; ++k)
                flags[size_t(k)] = quint8((bits >> k) & 1);
            if (condition.holds(bits) != conditionsHold(text, parsed, flags))
                QFAIL(qPrintable(u"%1 with flags %2"_s.arg(typed).arg(bits, 8, 2, QChar(u'0'))));
        }
    }
    // An emptied cell keeps the parsed form of its older text, which must not count.
    ParsedConditions stale;
    QVERIFY(checkTransitionConditions(u"z"_s, stale));
    normalizeTransitionConditions(u"z"_s, stale);
    QVERIFY(TransitionCondition::fromCell(QString(), stale).holds(0));
}

void TestStepEngine::dataByte_data()
{
    QTest::addColumn<std::optional<int>>("answer");
    QTest::addColumn<int>("a");
    QTest::newRow("closed without entry") << std::optional<int>() << 0x42;
    QTest::newRow("7F") << std::optional<int>(0x7F) << 0x7F;
    QTest::newRow("00 sets no Z") << std::optional<int>(0x00) << 0x00;
    QTest::newRow("FF sets no N") << std::optional<int>(0xFF) << 0xFF;
}

void TestStepEngine::dataByte()
{
    QFETCH(std::optional<int>, answer);
    QFETCH(int, a);
    Launch launch({u"0|1||y30"_s, u"1|1||y66,y70"_s});
    launch.memory.bytes[0] = 0x42;
    launch.view.dataBytes.push_back(answer);
    launch.press(true);
    QCOMPARE(launch.press(), u"2/3 1>1 [y66,y70] y66 byte"_s);
    QVERIFY(launch.view.dialogLog.value(0).startsWith(u"Введите байт данных:  over 1/2 "_s));
    QCOMPARE(launch.view.shownAfter.a, a);
    QCOMPARE(int(launch.view.shownAfter.z), 0);
    QCOMPARE(int(launch.view.shownAfter.n), 0);
    QCOMPARE(launch.view.shownOperationText, u"Выполнена микрооперация y66 :    A := Дисплей"_s);
}

void TestStepEngine::stepLimit()
{
    Launch launch({u"0|0||y20"_s});
    launch.press(true);
    launch.view.events.clear();
    QVERIFY(launch.engine.runToEnd());
    QCOMPARE(launch.engine.stepCount(), 1000);
    QCOMPARE(launch.view.events, QStringList{u"limit"_s});
    QCOMPARE(launch.view.dialogLog.value(0).section(u" over "_s, 0, 0),
             u"Перемотка остановлена\nВаша программа выполняется циклически\n"
             u"или содержит слишком большое количество тактов.\n"
             u"Воспользуйте пошаговым выполнением."_s);
    // The dialog opened over the last executed microoperation, shown once, not 998 times.
    QCOMPARE(launch.view.shownHeader, u"1/1000 0>0 [y20] y20"_s);
    QCOMPARE(launch.view.afterUpdates, 2);

    // Every later run to the end shows the dialog again without stepping; single steps go on.
    QVERIFY(launch.engine.runToEnd());
    QCOMPARE(launch.engine.stepCount(), 1000);
    QCOMPARE(launch.view.events.count(u"limit"_s), 2);
    launch.press();
    QCOMPARE(launch.view.shownHeader, u"1/1001 0>0 [y20] y20"_s);
    QVERIFY(launch.engine.runToEnd());
    QCOMPARE(launch.engine.stepCount(), 1001);
    QVERIFY(launch.engine.running());
}

void TestStepEngine::stepLimitWhenTheProgramStoppedAtIt()
{
    Launch launch({u"0|0||y20,y21,y70"_s});
    launch.press(true);
    launch.view.events.clear();
    // Steps 3 and 4 are taken; the counter then stands past the limit of 3.
    QVERIFY(launch.engine.runToEnd(3));
    QCOMPARE(launch.view.events, (QStringList{u"msg:СТОП"_s, u"limit"_s}));
    QVERIFY(!launch.engine.running());
    QVERIFY(launch.engine.runToEnd(3));
    QCOMPARE(launch.press(), success);
    launch.view.events.clear();
    QVERIFY(launch.engine.runToEnd(3));
    QCOMPARE(launch.view.events, QStringList{u"limit"_s}); // on the end screen, no deletion
}

void TestStepEngine::runToEndStopsOnTheLastMicrooperation()
{
    Launch launch({u"0|1||y20"_s, u"1|1||y70"_s});
    launch.press(true);
    launch.view.events.clear();
    QVERIFY(!launch.engine.runToEnd());
    QCOMPARE(launch.view.events, QStringList{u"msg:СТОП"_s});
    QCOMPARE(launch.view.shownHeader, u"2/3 1>1 [y70] y70"_s);
    QCOMPARE(launch.press(), success);

    // A run whose press ends on the end screen shows it from within the loop.
    Launch failing({u"0|1||y20"_s, u"1|1|x4|y21"_s});
    failing.press(true);
    failing.view.events.clear();
    QVERIFY(!failing.engine.runToEnd());
    QCOMPARE(failing.view.events, QStringList{notDescribed(1, true)});
}

void TestStepEngine::runToEndShowsWhatSteppingShows()
{
    // Reads a count from memory, then shows A and asks for a byte once per round.
    const QStringList rows = {u"0|1||y30,y48"_s, u"1|2||y66,y67"_s, u"2|1|-z|y6,y47"_s, u"2|3|z|"_s,
                              u"3|3||y70"_s};
    auto launchWith = [&](Launch &launch) {
        launch.memory.bytes[0] = 3;
        for (int i = 0; i < 3; ++i)
            launch.view.dataBytes.push_back(0x10 * (i + 1));
    };

    Launch stepped(rows);
    launchWith(stepped);
    stepped.press(true);
    while (stepped.engine.running())
        stepped.press();

    Launch run(rows);
    launchWith(run);
    run.press(true);
    QVERIFY(!run.engine.runToEnd());

    QCOMPARE(run.view.dialogLog, stepped.view.dialogLog);
    QCOMPARE(run.view.dialogLog.size(), 7);
    QCOMPARE(run.view.dialogLog.value(1),
             u"A = 10 over 2/4 1>2 [y66,y67] y66 before A=16 Z=0 after A=16"_s);
    QCOMPARE(run.view.shownHeader, stepped.view.shownHeader);
    QVERIFY(run.view.shownBefore == stepped.view.shownBefore);
    QVERIFY(run.view.shownAfter == stepped.view.shownAfter);
    QCOMPARE(run.view.shownAfter.a, 0x30);
    QVERIFY(run.view.afterUpdates < stepped.view.afterUpdates);
}

void TestStepEngine::memoryIsReadLive()
{
    Launch launch({u"0|0||y30,y60"_s});
    launch.memory.bytes[0] = 0x11;
    launch.press(true);
    QCOMPARE(launch.engine.processor().a, 0x11);
    launch.press();                // y60 writes A back
    launch.memory.bytes[0] = 0x22; // edited between two steps
    launch.press();
    QCOMPARE(launch.engine.processor().a, 0x22);
    launch.engine.processor().ra = 0x80;
    launch.press();
    QCOMPARE(int(launch.memory.bytes[0x80]), 0x22);
}

void TestStepEngine::snapshotOutlivesTheTable()
{
    auto table = std::make_unique<TextTable>(QStringList{u"0|1||y20"_s, u"1|1||y7,y70"_s});
    ByteArrayMemory memory;
    RecordingView view;
    StepEngine engine(*table, memory, view);
    view.engine = &engine;
    table.reset(); // the document was replaced while the window stayed open
    engine.start();
    engine.executeStep();
    QCOMPARE(engine.signalsText(), u"y7,y70"_s);
    QCOMPARE(view.shownHeader, u"2/3 1>1 [y7,y70] y70"_s);
    QCOMPARE(view.events, QStringList{u"msg:СТОП"_s});
}

void TestStepEngine::headlessTable()
{
    // orb-run's table, filled as loading a document fills it: the cells hold their normal forms.
    const QStringList rows = {u"0|1|| y31,Y11 ,y14"_s, u"1|0| -C|"_s, u"1|2||"_s, u"2|2||y70"_s};
    HeadlessTable table;
    table.reset(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        const QStringList cells = rows[row].split(u'|');
        for (int field = 0; field < fieldCount; ++field)
            table.fillAndCommit(row, field, cells[field]);
    }
    QCOMPARE(table.errorCount(), 0);
    ByteArrayMemory memory;
    RecordingView view;
    StepEngine engine(HeadlessTableSource(table), memory, view);
    view.engine = &engine;
    engine.processor().b = 0x80;
    QStringList shown;
    engine.start();
    shown << view.shownHeader;
    for (int press = 0; press < 4; ++press) {
        engine.executeStep();
        shown << view.shownHeader;
    }
    QCOMPARE(shown, (QStringList{u"1/2 0>1 [y11,y14,y31] y31"_s, u"2/2 1>По условию [] none"_s,
                                 u"1/4 0>1 [y11,y14,y31] y31"_s, u"3/4 1>2 [] none"_s,
                                 u"4/6 2>2 [y70] y70"_s}));
    QCOMPARE(engine.conditionText(), QString());
    QCOMPARE(engine.program().row(1).conditionText, u"-c"_s);
    QCOMPARE(view.events, QStringList{u"msg:СТОП"_s});
}

namespace {

// Everything a press leaves for the panels and the next press, as one text.
QString machineText(const StepEngine &engine, const ByteArrayMemory &memory)
{
    const AfterPanel &after = engine.afterPanel();
    const StepEngine::RunState &s = engine.state();
    auto registers = [](const Processor &p) {
        QStringList values;
        for (const int value : p.rk)
            values << formatHex(value);
        for (const int value : p.ron)
            values << formatHex(value);
        for (const int value : {p.a, p.b, p.rs, p.sp, p.ri, p.ra, p.rv, p.r, p.s1, p.s2, p.s3})
            values << formatHex(value);
        for (const quint8 flag : p.flags())
            values << QString::number(flag);
        return values.join(u' ');
    };
    QString bytes;
    for (const quint8 byte : memory.bytes)
        bytes += formatHex(byte);
    return u"row %1 step %2 source %3 next %4 signals [%5] op [%6] cond [%7]\n"
           u"before %8\nafter %9\nnow %10\n"
           u"run %11%12%13%14 steps %15 row %16 next %17 micro %18 fields %19\nmemory %20"_s
               .arg(after.rowLabel())
               .arg(after.stepLabel())
               .arg(after.initialStateLabel())
               .arg(after.nextStateLabel(), after.controlSignalsLabel(), after.operationLabel(),
                    after.conditionText())
               .arg(registers(engine.beforePanel()), registers(after.registers),
                    registers(engine.processor()))
               .arg(int(s.running))
               .arg(int(s.stoppedUnderConditions))
               .arg(int(s.succeeded))
               .arg(int(s.endScreenShown))
               .arg(s.stepCount)
               .arg(s.rowIndex)
               .arg(s.nextState)
               .arg(s.microopIndex)
               .arg(ControlFields(s.controlFields).registerT())
               .arg(bytes);
}

// Answers every data byte from the step counter, so that two runs answer alike.
class CountingView final : public ExecutionView {
public:
    StepEngine *engine = nullptr;
    int dialogs = 0;
    void updateRegisterPanel(Panel) override {}
    void showEndScreen() override {}
    void showMessage(const QString &) override { ++dialogs; }
    std::optional<int> requestDataByte(const QString &) override
    {
        ++dialogs;
        return engine->stepCount() % 3 == 0 ? std::nullopt
                                            : std::optional<int>(engine->stepCount() * 37 & 0xFF);
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override {}
};

struct Run {
    Run(const QStringList &rows, const QByteArray &bytes) : table(rows), engine(table, memory, view)
    {
        view.engine = &engine;
        for (qsizetype i = 0; i < bytes.size(); ++i)
            memory.bytes[size_t(i)] = quint8(bytes[i]);
    }
    TextTable table;
    ByteArrayMemory memory;
    CountingView view;
    StepEngine engine;
};

// Counts down from a data byte, writing to memory each round; a further row leaves the loop.
const QStringList countingLoop = {u"0|1||y66"_s,      u"1|2||y48"_s, u"2|3||y31,y42,y60"_s,
                                  u"3|2|-z|y6,y47"_s, u"3|4|z|"_s,   u"4|5||y67"_s,
                                  u"5|5||y70"_s};

} // namespace

void TestStepEngine::stepBackEqualsAFreshRun_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("memory");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("writes, data bytes, a further row, the end")
        << countingLoop << QByteArray() << quint32(1);
    QTest::newRow("same, other mix") << countingLoop << QByteArray() << quint32(7);
    QTest::newRow("the step limit")
        << QStringList{u"0|0||y31,y42,y60"_s} << QByteArray() << quint32(3);
    QTest::newRow("stop under conditions, rows without microoperations")
        << QStringList{u"0|1||y64"_s, u"1|2|x4,-x3|"_s, u"1|3||y7"_s, u"3|0|x1|y30,y60"_s,
                       u"2|2||y70"_s}
        << QByteArray("\x15\x00\x00\x00", 4) << quint32(5);
    QTest::newRow("no row for state 0") << QStringList{u"1|1||y20"_s} << QByteArray() << quint32(2);
}

void TestStepEngine::stepBackEqualsAFreshRun()
{
    // After any mix of presses, runs to the end and steps back, the engine shows what a fresh
    // run that made only the remaining presses shows, down to memory.
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, memory);
    QFETCH(quint32, seed);
    Run run(rows, memory);
    run.engine.setHistoryEnabled(true);
    run.engine.start();
    const QString firstScreen = machineText(run.engine, run.memory);
    quint32 random = seed;
    for (int action = 0; action < 120; ++action) {
        random = random * 1103515245u + 12345u;
        const int kind = int(random >> 16) % 10;
        if (run.engine.endScreenShown() && kind < 7)
            continue; // a press there closes the window
        if (kind < 4)
            run.engine.executeStep();
        else if (kind < 5)
            run.engine.runToEnd(60);
        else
            run.engine.stepBack();

        Run fresh(rows, memory);
        fresh.engine.start();
        for (qsizetype press = 0; press < run.engine.historyDepth(); ++press)
            fresh.engine.executeStep();
        QCOMPARE(machineText(run.engine, run.memory), machineText(fresh.engine, fresh.memory));
        QCOMPARE(run.engine.canStepBack(), run.engine.historyDepth() > 0);
    }
    while (run.engine.stepBack()) {
    }
    QCOMPARE(machineText(run.engine, run.memory), firstScreen);
    QVERIFY(!run.engine.stepBack());
}

void TestStepEngine::stepBackKeepsAUsersMemoryEdit()
{
    Run run({u"0|0||y31,y42,y60"_s}, QByteArray("\x00\x00\x00\x00", 4));
    run.engine.setHistoryEnabled(true);
    run.engine.start();       // A := 1
    run.engine.executeStep(); // РА := 2
    run.engine.executeStep(); // ОП[2] := 1
    run.engine.executeStep(); // A := 2
    run.engine.executeStep(); // РА := 3
    run.engine.executeStep(); // ОП[3] := 2
    QCOMPARE(int(run.memory.bytes[2]), 1);
    QCOMPARE(int(run.memory.bytes[3]), 2);
    run.memory.bytes[3] = 0x77; // the user edits the byte the last press wrote
    QVERIFY(run.engine.stepBack());
    QCOMPARE(int(run.memory.bytes[3]), 0x77);
    QVERIFY(run.engine.stepBack());
    QVERIFY(run.engine.stepBack());
    QVERIFY(run.engine.stepBack());
    QCOMPARE(int(run.memory.bytes[2]), 0);
    QCOMPARE(run.engine.processor().ra, 2);
}

void TestStepEngine::historyOnlyWhenAsked()
{
    Run plain({u"0|0||y24,y45,y47"_s}, {});
    plain.engine.start();
    plain.engine.runToEnd();
    QVERIFY(!plain.engine.canStepBack());
    QVERIFY(!plain.engine.stepBack());
    QCOMPARE(plain.engine.historyBytes(), 0);

    Run recorded({u"0|0||y24,y45,y47"_s}, {});
    recorded.engine.setHistoryEnabled(true);
    recorded.engine.start();
    recorded.engine.runToEnd();
    // A run to the end counts as its presses, each recorded as what it changed.
    QCOMPARE(recorded.engine.historyDepth(), 998); // from step 2 to step 1000
    QVERIFY2(recorded.engine.historyBytes() < 999 * 48,
             qPrintable(QString::number(recorded.engine.historyBytes())));
    recorded.engine.setHistoryEnabled(false);
    QVERIFY(!recorded.engine.canStepBack());
}

void TestStepEngine::breakpointsAndWatches_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("watches");    // as orb-run's --watch takes them
    QTest::addColumn<QList<int>>("breakpoints"); // rows from 1
    QTest::addColumn<QStringList>("stops"); // what each run to the end shows, and why it stopped

    // Breakpoints alone: each run to the end arrives at one, or reaches the limit.
    QTest::newRow("a state that loops on itself arrives each time round")
        << QStringList{u"0|0||y20,y21"_s} << QStringList{} << QList<int>{1}
        << QStringList{u"1/4 y20 at 1"_s, u"1/6 y20 at 1"_s};
    QTest::newRow("the row shown from another row, not every press inside it")
        << QStringList{u"0|1||y20"_s, u"1|2||y20,y21,y22"_s, u"2|0||y23"_s} << QStringList{}
        << QList<int>{2} << QStringList{u"2/3 y20 at 2"_s, u"2/8 y20 at 2"_s};
    QTest::newRow("a further row: stops on the press that shows the next state")
        << countingLoop << QStringList{} << QList<int>{5}
        << QStringList{u"6/16 y67 at 5 msg"_s, u"7/17 y70 msg"_s};
    QTest::newRow("a first row of a loop and a further row")
        << countingLoop << QStringList{} << QList<int>{3, 5}
        << QStringList{u"3/4 y31 at 3"_s, u"3/8 y31 at 3"_s, u"3/12 y31 at 3"_s,
                       u"6/16 y67 at 5 msg"_s, u"7/17 y70 msg"_s};
    QTest::newRow("a row without microoperations arrives with its transition")
        << QStringList{u"0|1||y20"_s, u"1|0||y7"_s} << QStringList{} << QList<int>{2}
        << QStringList{u"2/2 none at 2"_s, u"2/4 none at 2"_s};
    QTest::newRow("the row on the first screen is arrived at again only through a transition")
        << QStringList{u"0|0||y20,y21,y22"_s} << QStringList{} << QList<int>{1}
        << QStringList{u"1/5 y20 at 1"_s};
    QTest::newRow("never arrived: the step limit")
        << QStringList{u"0|0||y20"_s, u"1|1||y21"_s} << QStringList{} << QList<int>{2}
        << QStringList{u"1/1000 y20 limit"_s};
    QTest::newRow("rows outside the table") << QStringList{u"0|0||y70"_s} << QStringList{}
                                            << QList<int>{0, 2} << QStringList{u"1/2 y70"_s};

    // Row 1 takes the data byte 03; rows 3 and 4 count A up three times, writing A to the
    // byte after it each round (05, 06, 07), until the counter R reaches 0.
    QTest::newRow("any change of A")
        << countingLoop << QStringList{u"A"_s} << QList<int>{}
        << QStringList{u"3/4 y31 A изменился 03 → 04"_s, u"3/8 y31 A изменился 04 → 05"_s,
                       u"3/12 y31 A изменился 05 → 06"_s, u"7/17 y70 msg"_s};
    QTest::newRow("A becomes a value") << countingLoop << QStringList{u"a=05"_s} << QList<int>{}
                                       << QStringList{u"3/8 y31 A = 05"_s, u"7/17 y70 msg"_s};
    QTest::newRow("a flag becomes 1") << countingLoop << QStringList{u"Z=1"_s} << QList<int>{}
                                      << QStringList{u"4/15 y47 Z = 1"_s, u"7/17 y70 msg"_s};
    QTest::newRow("a memory byte written, whatever the value; or a given value")
        << countingLoop << QStringList{u"M06"_s, u"m07=06"_s} << QList<int>{}
        << QStringList{u"3/10 y60 запись в M06: 00 → 05"_s, u"3/14 y60 M07 = 06"_s,
                       u"7/17 y70 msg"_s};
    QTest::newRow("the first watch that stops names the reason")
        << countingLoop << QStringList{u"A=05"_s, u"A"_s} << QList<int>{}
        << QStringList{u"3/4 y31 A изменился 03 → 04"_s, u"3/8 y31 A = 05"_s,
                       u"3/12 y31 A изменился 05 → 06"_s};
    QTest::newRow("watches and breakpoints, each where it arrives")
        << countingLoop << QStringList{u"RA=07"_s} << QList<int>{6}
        << QStringList{u"3/13 y42 RA = 07"_s, u"6/16 y67 at 6 msg"_s, u"7/17 y70 msg"_s};
    // y47 clears Z (RI becomes 1), y60 writes A = 00 to M00 and sets Z again.
    QTest::newRow("a write and a change in one press: the first watch listed names it")
        << QStringList{u"0|0||y47,y60"_s} << QStringList{u"M00"_s, u"Z"_s} << QList<int>{}
        << QStringList{u"1/3 y60 запись в M00: 00 → 00"_s};
    QTest::newRow("the same watches the other way round")
        << QStringList{u"0|0||y47,y60"_s} << QStringList{u"Z=1"_s, u"M00"_s} << QList<int>{}
        << QStringList{u"1/3 y60 Z = 1"_s};
    QTest::newRow("a value it already holds does not stop; the step limit does")
        << QStringList{u"0|0||y20"_s} << QStringList{u"A=00"_s, u"X4"_s} << QList<int>{}
        << QStringList{u"1/1000 y20 limit"_s};
}

void TestStepEngine::breakpointsAndWatches()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, watches);
    QFETCH(QList<int>, breakpoints);
    QFETCH(QStringList, stops);
    Launch launch(rows);
    std::vector<Watch> set;
    for (const QString &text : watches) {
        QString error;
        const std::optional<Watch> watch = parseWatch(text, &error);
        QVERIFY2(watch, qPrintable(error));
        set.push_back(*watch);
    }
    launch.engine.setWatches(set);
    std::vector<int> marks;
    for (const int row : breakpoints)
        marks.push_back(row - 1);
    launch.engine.setBreakpoints(marks);
    launch.view.dataBytes.assign(8, 3);
    launch.press(true);
    QVERIFY(!launch.engine.arrivedAtStop()); // the first screen is no press
    QStringList shown;
    for (int run = 0; run < stops.size(); ++run) {
        launch.view.events.clear();
        const bool limit = launch.engine.runToEnd();
        const AfterPanel &after = launch.engine.afterPanel();
        QString text = u"%1/%2 %3"_s.arg(after.rowLabel())
                           .arg(after.stepLabel())
                           .arg(shortOperation(after.operation));
        if (const std::optional<WatchStop> &stop = launch.engine.watchStop())
            text += u' ' + stop->reason(WatchNames::Ascii);
        else if (launch.engine.arrivedAtBreakpoint())
            text += u" at "_s + QString::number(launch.engine.breakpointRow() + 1);
        if (limit)
            text += u" limit"_s;
        if (launch.view.events.filter(u"msg:"_s).size() > 0)
            text += u" msg"_s;
        shown << text;
        // The registers the stopping press changed include the watched one.
        if (const std::optional<WatchStop> &stop = launch.engine.watchStop();
            stop && stop->watch.kind == Watch::Kind::Register)
            QVERIFY(launch.engine.changedRegisters() & quint64(1) << stop->watch.index);
    }
    QCOMPARE(shown, stops);
}

void TestStepEngine::watchTexts_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("error"); // empty: accepted
    QTest::addColumn<QString>("panelText");
    QTest::addColumn<QString>("stopReason"); // from 0x3C to 0x05 (a flag: 0 to 1), window names

    QTest::newRow("register") << u"ron3"_s << QString() << u"РОН3"_s << u"РОН3 изменился 3C → 05"_s;
    QTest::newRow("register = value") << u"PC=3c"_s << QString() << u"РС = 3C"_s << u"РС = 05"_s;
    QTest::newRow("flag") << u"z"_s << QString() << u"Z"_s << u"Z изменился 0 → 1"_s;
    QTest::newRow("flag = 1") << u"X1=1"_s << QString() << u"X1 = 1"_s << u"X1 = 1"_s;
    QTest::newRow("memory") << u"m3a"_s << QString() << u"ОП[3A]"_s
                            << u"запись в ОП[3A]: 3C → 05"_s;
    QTest::newRow("memory = value")
        << u"M0=5"_s << QString() << u"ОП[00] = 05"_s << u"ОП[00] = 05"_s;
    const QString notAName =
        u"not a register (A, RON3, PC), a flag (Z, X1) or a memory byte (M00 to MFF)"_s;
    QTest::newRow("unknown name") << u"Q"_s << notAName << QString() << QString();
    QTest::newRow("memory past FF") << u"M100"_s << notAName << QString() << QString();
    QTest::newRow("flag = 2") << u"C=2"_s << u"a flag's value must be 0 or 1"_s << QString()
                              << QString();
    QTest::newRow("byte too long")
        << u"A=100"_s << u"the value must be a hexadecimal byte (00 to FF)"_s << QString()
        << QString();
    QTest::newRow("empty value") << u"A="_s << u"the value must be a hexadecimal byte (00 to FF)"_s
                                 << QString() << QString();
}

void TestStepEngine::watchTexts()
{
    QFETCH(QString, option);
    QFETCH(QString, error);
    QFETCH(QString, panelText);
    QFETCH(QString, stopReason);
    QString got;
    const std::optional<Watch> watch = parseWatch(option, &got);
    QCOMPARE(got, error);
    QCOMPARE(watch.has_value(), error.isEmpty());
    if (!watch)
        return;
    QCOMPARE(watchText(*watch, WatchNames::Panel), panelText);
    const bool flag = watch->isFlag();
    const WatchStop stop{*watch, flag ? 0 : 0x3C, flag ? 1 : 0x05};
    QCOMPARE(stop.reason(WatchNames::Panel), stopReason);
}

void TestStepEngine::runBackGoesToTheLatestStop_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("writes, data bytes, a further row, the end") << countingLoop << quint32(1);
    QTest::newRow("same, other mix") << countingLoop << quint32(11);
    QTest::newRow("rows without microoperations, stop under conditions")
        << QStringList{u"0|1||y64"_s, u"1|2|x4,-x3|"_s, u"1|3||y7"_s, u"3|0|x1|y30,y60"_s,
                       u"2|2||y70"_s}
        << quint32(5);
}

void TestStepEngine::runBackGoesToTheLatestStop()
{
    // Whatever was pressed before, and whatever breakpoints and watches are set now, a run back
    // lands where a fresh run with the settings of now first stopped before the current press;
    // the rows' arrival counts are those of that fresh run.
    QFETCH(QStringList, rows);
    QFETCH(quint32, seed);
    const QByteArray memory("\x15\x00\x00\x00", 4);
    const std::vector<std::vector<Watch>> watchSets = {
        {},
        {Watch{Watch::Kind::Register, 20, -1}},
        {Watch{Watch::Kind::Memory, 2, -1}},
        {Watch{Watch::Kind::Register, registerCount + ZFlag, 1}}};
    const std::vector<std::vector<int>> breakpointSets = {{}, {2}, {0, 4}};
    Run run(rows, memory);
    run.engine.setHistoryEnabled(true);
    run.engine.start();
    quint32 random = seed;
    auto next = [&random](int range) {
        random = random * 1103515245u + 12345u;
        return int(random >> 16) % range;
    };
    size_t watchSet = 0;
    size_t breakpointSet = 0;
    int runsBack = 0;
    for (int action = 0; action < 150; ++action) {
        const int kind = next(10);
        if (run.engine.endScreenShown() && kind < 5)
            continue;
        if (kind < 4) {
            run.engine.executeStep();
        } else if (kind < 5) {
            run.engine.runToEnd(40);
        } else if (kind < 6) {
            watchSet = size_t(next(int(watchSets.size())));
            breakpointSet = size_t(next(int(breakpointSets.size())));
            run.engine.setWatches(watchSets[watchSet]);
            run.engine.setBreakpoints(breakpointSets[breakpointSet]);
        } else if (kind < 7) {
            run.engine.stepBack();
        } else {
            const qsizetype depth = run.engine.historyDepth();
            QCOMPARE(run.engine.runBack(), depth > 0);
            ++runsBack;
            // The fresh run, press by press, with the settings of now.
            Run fresh(rows, memory);
            fresh.engine.setHistoryEnabled(true);
            fresh.engine.setWatches(watchSets[watchSet]);
            fresh.engine.setBreakpoints(breakpointSets[breakpointSet]);
            fresh.engine.start();
            qsizetype landing = 0;
            for (qsizetype press = 1; press < depth; ++press) {
                fresh.engine.executeStep();
                if (fresh.engine.arrivedAtStop())
                    landing = press;
            }
            QCOMPARE(run.engine.historyDepth(), landing);
            Run again(rows, memory);
            again.engine.setHistoryEnabled(true);
            again.engine.setWatches(watchSets[watchSet]);
            again.engine.setBreakpoints(breakpointSets[breakpointSet]);
            again.engine.start();
            for (qsizetype press = 0; press < landing; ++press)
                again.engine.executeStep();
            QCOMPARE(machineText(run.engine, run.memory), machineText(again.engine, again.memory));
            QCOMPARE(run.engine.rowArrivals(), again.engine.rowArrivals());
            QCOMPARE(run.engine.arrivedAtStop(), landing > 0);
            QCOMPARE(run.engine.watchStop(), landing > 0 ? again.engine.watchStop() : std::nullopt);
        }
    }
    QVERIFY(runsBack > 10);
}

QTEST_GUILESS_MAIN(TestStepEngine)
#include "tst_stepengine.moc"
