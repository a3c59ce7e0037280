// SPDX-License-Identifier: GPL-3.0-or-later
//
// One engine, proven: the same documents opened in the editor and run in the execution window,
// and run by orb-run. After every press the window's labels show what orb-run's trace line
// says, the end texts agree, and documents with wrong cells have the same red cells in both.

#include "run/runner.h"

#include "app/mainwindow.h"
#include "app/rowmarks.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "sim/executionwindow.h"
#include "clitestutil.h"
#include "editorfixture.h"
#include "testutil.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using editortest::openExecutionWindow;
using namespace orb;
using namespace Qt::StringLiterals;

namespace {

struct Trace {
    int status = -1;
    QList<QJsonObject> lines;
    QStringList wrongCells;
};

Trace runOrbRun(const QString &path, const QStringList &inputs, const QStringList &more = {})
{
    QStringList arguments = QStringList{u"--trace"_s} + more;
    for (const QString &input : inputs)
        arguments << u"--input"_s << input;
    const clitest::Outcome run =
        clitest::runInProcess(runCommandLine, u"orb-run"_s, arguments << path);
    Trace trace;
    trace.status = run.status;
    for (const QString &line : run.outLines())
        trace.lines << QJsonDocument::fromJson(line.toUtf8()).object();
    if (trace.status == RunWrongCells)
        trace.wrongCells = run.errLines();
    return trace;
}

// Loads a document into the editor as Open does: the rows first, then every cell present
// filled and committed in order, then the memory cells.
void loadIntoEditor(MainWindow &window, const LoadedDocument &document)
{
    while (window.stringCount() < document.rowCount)
        window.addString(window.stringCount());
    for (qsizetype i = 0; i < document.cells.size(); ++i)
        window.ttCell(int(i / 4), gridColumnOfField(int(i % 4)))->fillAndCommit(document.cells[i]);
    for (qsizetype address = 0; address < document.memory.size(); ++address)
        window.ramCell(int(address / 16), int(address % 16))->setText(document.memory[address]);
}

QString labelText(QWidget *window, const QString &name)
{
    auto *label = window->findChild<QLabel *>(name);
    return label ? label->text() : u"<no %1>"_s.arg(name);
}

// A panel's value cells as "rk1=00 … p=0", from the window or from a trace object.
QString panelOf(QWidget *window, const QString &suffix)
{
    QStringList cells;
    for (const char *key : ExecutionWindow::panelCellKeys())
        cells << QLatin1StringView(key) + u'=' + labelText(window, QLatin1StringView(key) + suffix);
    return cells.join(u' ');
}

QString panelOf(const QJsonObject &object)
{
    const QJsonObject registers = object.value(u"registers"_s).toObject();
    const QJsonObject flags = object.value(u"flags"_s).toObject();
    QList<int> values;
    for (const QJsonValue value : registers.value(u"RK"_s).toArray())
        values << value.toInt();
    for (const QJsonValue value : registers.value(u"RON"_s).toArray())
        values << value.toInt();
    for (const char *name : {"A", "B", "PC", "SP", "RI", "RA", "RB", "R", "S1", "S2", "S3"})
        values << registers.value(QLatin1StringView(name)).toInt();
    QStringList cells;
    const auto &keys = ExecutionWindow::panelCellKeys();
    for (qsizetype i = 0; i < values.size(); ++i)
        cells << QLatin1StringView(keys[size_t(i)]) + u'=' + formatHex(values[i]);
    for (const char *name : {"X4", "X3", "X2", "X1", "Z", "N", "C", "P"}) {
        cells << QLatin1StringView(keys[size_t(cells.size())]) + u'=' +
                     QString::number(flags.value(QLatin1StringView(name)).toInt());
    }
    return cells.join(u' ');
}

// What the header and the operation label show, as a trace line would say it.
QString headerOf(QWidget *window)
{
    return u"row %1 step %2 source %3 next %4 signals [%5] %6"_s.arg(
        labelText(window, u"rowLabel"_s), labelText(window, u"stepLabel"_s),
        labelText(window, u"initialStateLabel"_s), labelText(window, u"nextStateLabel"_s),
        labelText(window, u"controlSignalsLabel"_s), labelText(window, u"operationLabel"_s));
}

QString headerOf(const QJsonObject &line)
{
    return u"row %1 step %2 source %3 next %4 signals [%5] %6"_s.arg(
        QString::number(line.value(u"row"_s).toInt()),
        QString::number(line.value(u"step"_s).toInt()),
        QString::number(line.value(u"source"_s).toInt()), line.value(u"next"_s).toString(),
        line.value(u"signals"_s).toString(), line.value(u"operation"_s).toString());
}

} // namespace

class TestOneEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testutil::failOnAnyWarning();
        QVERIFY(dir.isValid());
    }
    void init() { testutil::failOnAnyWarning(); }
    void cleanup()
    {
        delete openExecutionWindow();
        editor.reset();
    }

    void sameRunInBoth_data();
    void sameRunInBoth();
    void sameBreakpointsInBoth_data();
    void sameBreakpointsInBoth();
    void breakOption();

private:
    QString writeDocument(const QString &name, const QStringList &rows, const QByteArray &memory);

    QTemporaryDir dir;
    std::unique_ptr<MainWindow> editor;
};

QString TestOneEngine::writeDocument(const QString &name, const QStringList &rows,
                                     const QByteArray &memory)
{
    QList<RowTexts> texts;
    for (const QString &row : rows) {
        const QStringList cells = row.split(u'|');
        texts.append({cells.value(0), cells.value(1), cells.value(2), cells.value(3)});
    }
    QStringList bytes;
    for (const char byte : memory)
        bytes << formatHex(quint8(byte));
    const QString path = dir.filePath(name);
    if (!writeDocumentFile(path, serializeDocument(texts, bytes)))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestOneEngine::sameRunInBoth_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("inputs");

    const QString examples = QStringLiteral(ORB_SOURCE_DIR "/examples/");
    QTest::newRow("add two bytes") << examples + u"01-add-two-bytes.orb"_s << QStringList{};
    QTest::newRow("multiply") << examples + u"02-multiply-shift-and-add.orb"_s << QStringList{};
    QTest::newRow("fetch-decode") << examples + u"03-fetch-decode-loop.orb"_s << QStringList{};
    QTest::newRow("display loop") << examples + u"04-display-loop.orb"_s << QStringList{};
    QTest::newRow("input") << examples + u"05-input-largest-byte.orb"_s
                           << QStringList{u"12"_s, u"7F"_s, u"05"_s, u"80"_s, u"00"_s};
    QTest::newRow("inputs run short")
        << writeDocument(
               u"inputs.orb"_s,
               {u"0|1||y66,y67"_s, u"1|2||y66,y68"_s, u"2|3||y66,y69"_s, u"3|3||y67,y70"_s}, {})
        << QStringList{u"a5"_s};
    QTest::newRow("overflow") << examples + u"06-signed-add-overflow.orb"_s << QStringList{};
    QTest::newRow("sum") << QStringLiteral(ORB_TEST_DATA "/sum.orb") << QStringList{};
    QTest::newRow("CR LF") << QStringLiteral(ORB_TEST_DATA "/crlf.orb") << QStringList{};
    QTest::newRow("wrong cells") << QStringLiteral(ORB_TEST_DATA "/wrong-cells.orb")
                                 << QStringList{};
    QTest::newRow("no row for state 0")
        << writeDocument(u"nozero.orb"_s, {u"1|0||y70"_s}, {}) << QStringList{};
    QTest::newRow("rows without microoperations, stop under conditions")
        << writeDocument(u"conditions.orb"_s,
                         {u"0|1|z|y20"_s, u"0|2|-z|"_s, u"1|3|b|y7"_s, u"3|0|-b|y38"_s, u"3|4|n|"_s,
                          u"4|5||y6,y47"_s, u"5|6|c|y7,y15"_s, u"6|7||y49"_s, u"7|0|c|y20"_s},
                         {})
        << QStringList{};
    QTest::newRow("red operation, no ALU operation, messages")
        << writeDocument(u"errors.orb"_s,
                         {u"0|1||y11,y12,y15,y42"_s, u"1|2||y62"_s, u"2|3||y13,y14,y31"_s,
                          u"3|4||y64,y68"_s, u"4|5||y69"_s, u"5|5||y67,y70"_s},
                         {})
        << QStringList{};
    QTest::newRow("wrong cells made in the editor's own way")
        << writeDocument(u"wrong.orb"_s,
                         {u"0|1|C, -X1|Y10, y6"_s, u"|||"_s, u"||z|"_s, u"1|x||y11,y11"_s,
                          u"5|5|x1,!X1|y1a"_s},
                         {})
        << QStringList{};
}

void TestOneEngine::sameRunInBoth()
{
    QFETCH(QString, path);
    QFETCH(QStringList, inputs);

    const Trace trace = runOrbRun(path, inputs);
    QVERIFY(!trace.lines.isEmpty() || trace.status == RunWrongCells);

    editor = std::make_unique<MainWindow>();
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    const std::optional<LoadedDocument> document = readDocumentFile(path);
    QVERIFY(document);
    loadIntoEditor(*editor, *document);

    // The same red cells.
    QStringList red;
    for (int row = 0; row < editor->stringCount(); ++row) {
        for (int field = 0; field < fieldCount; ++field) {
            const TTLineEdit *cell = editor->ttCell(row, gridColumnOfField(field));
            if (!cell->isCorrect()) {
                static const char *const columns[] = {"source state", "next state", "conditions",
                                                      "signals"};
                red << u"row %1, %2: %3"_s.arg(row + 1).arg(QLatin1StringView(columns[field]),
                                                            terminalText(cell->text(), true));
            }
        }
    }
    // orb-run quotes each red cell's text and adds why it is red; its warnings are no cells.
    QStringList listed;
    for (const QString &line : trace.wrongCells) {
        if (!line.startsWith(u"orb-run: warning: "_s))
            listed << line;
    }
    QCOMPARE(listed.size(), red.size());
    for (qsizetype i = 0; i < red.size(); ++i)
        QVERIFY2(listed[i].startsWith(red[i]), qPrintable(listed[i] + u" / "_s + red[i]));
    QCOMPARE(editor->errorCount(), int(red.size()));
    if (trace.status == RunWrongCells)
        return;

    // Each press answers the dialog it opens as orb-run did: the message is read and closed,
    // a data byte typed, or the dialog closed when no byte was left.
    auto press = [&](const QJsonObject &line, const std::function<void()> &action) {
        QString shownMessage;
        testutil::DialogAnswerer answerer;
        if (line.contains(u"message"_s)) {
            answerer.queue([&](QWidget *dialog) {
                shownMessage = labelText(dialog, u"infoLabel"_s);
                QTest::keyClick(dialog, Qt::Key_Escape);
            });
        } else if (line.contains(u"input"_s)) {
            const QJsonValue input = line.value(u"input"_s);
            answerer.queue([input](QWidget *dialog) {
                if (input.isNull()) {
                    dialog->close();
                    return;
                }
                auto *edit = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
                QVERIFY(edit);
                QTest::keyClick(edit, Qt::Key_Home);
                QTest::keyClicks(edit, formatHex(input.toInt()));
                QTest::keyClick(edit, Qt::Key_Return);
            });
        }
        action();
        QCOMPARE(answerer.answered(),
                 int(line.contains(u"message"_s) || line.contains(u"input"_s)));
        if (line.contains(u"message"_s))
            QCOMPARE(shownMessage, line.value(u"message"_s).toString());
    };

    const QJsonObject first = trace.lines.constFirst();
    auto *startButton = editor->findChild<QPushButton *>(u"startButton"_s);
    QVERIFY(startButton);
    press(first, [&] { QTest::mouseClick(startButton, Qt::LeftButton); });
    const QPointer<ExecutionWindow> window = openExecutionWindow();
    QVERIFY(window);
    auto *nextButton = window->findChild<QPushButton *>(u"nextButton"_s);
    QVERIFY(nextButton);

    for (qsizetype i = 0; i + 1 < trace.lines.size(); ++i) {
        const QJsonObject &line = trace.lines[i];
        if (i > 0)
            press(line, [&] { QTest::mouseClick(nextButton, Qt::LeftButton); });
        QVERIFY(window);
        QCOMPARE(headerOf(window), headerOf(line));
        QCOMPARE(panelOf(window, u"AfterLabel"_s), panelOf(line));
    }
    const QJsonObject end = trace.lines.constLast();
    QVERIFY(!end.value(u"limit"_s).toBool());
    if (trace.lines.size() > 1)
        QTest::mouseClick(nextButton, Qt::LeftButton);
    QVERIFY(window);
    QCOMPARE(labelText(window, u"operationLabel"_s), end.value(u"end"_s).toString());
    QCOMPARE(panelOf(window, u"BeforeLabel"_s), panelOf(end));
    QCOMPARE(window->engine().stepCount(), end.value(u"steps"_s).toInt());
    // The memory the window's steps wrote into the editor's cells.
    QString memory;
    for (int address = 0; address < 256; ++address)
        memory += formatHex(readMemoryByte(editor->ramCell(address / 16, address % 16)->text()));
    QCOMPARE(memory, end.value(u"memory"_s).toString());
}

void TestOneEngine::sameBreakpointsInBoth_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QList<int>>("breakpoints"); // rows from 1
    QTest::addColumn<QStringList>("watches");    // as --watch takes them
    QTest::addColumn<int>("status");

    const QString examples = QStringLiteral(ORB_SOURCE_DIR "/examples/");
    const QString counting =
        writeDocument(u"counting.orb"_s,
                      {u"0|1||y66"_s, u"1|2||y48"_s, u"2|3||y31,y42,y60"_s, u"3|2|-z|y6,y47"_s,
                       u"3|4|z|"_s, u"4|5||y67"_s, u"5|5||y70"_s},
                      {});
    QTest::newRow("the first row of a loop")
        << counting << QStringList{u"3"_s} << QList<int>{3} << QStringList{} << int(RunBreak);
    QTest::newRow("a further row")
        << counting << QStringList{u"3"_s} << QList<int>{5} << QStringList{} << int(RunBreak);
    QTest::newRow("two, the first arrived at wins")
        << counting << QStringList{u"2"_s} << QList<int>{6, 4} << QStringList{} << int(RunBreak);
    QTest::newRow("a row without microoperations")
        << writeDocument(u"none.orb"_s, {u"0|1||y20"_s, u"1|2|-z|"_s, u"1|3|z|"_s, u"3|0||y70"_s},
                         {})
        << QStringList{} << QList<int>{3} << QStringList{} << int(RunBreak);
    QTest::newRow("never arrived: the end")
        << counting << QStringList{u"1"_s} << QList<int>{1} << QStringList{} << int(RunSucceeded);
    // From the data byte 3A the loop counts A up, writing each A to the byte after it.
    QTest::newRow("a watch on A's value") << counting << QStringList{u"3A"_s} << QList<int>{}
                                          << QStringList{u"A=3C"_s} << int(RunBreak);
    QTest::newRow("a watch on a memory byte and a breakpoint")
        << counting << QStringList{u"3A"_s} << QList<int>{6} << QStringList{u"M3C"_s}
        << int(RunBreak);
    QTest::newRow("a watch on a flag") << counting << QStringList{u"2"_s} << QList<int>{}
                                       << QStringList{u"Z=1"_s} << int(RunBreak);
    QTest::newRow("fetch-decode") << examples + u"03-fetch-decode-loop.orb"_s << QStringList{}
                                  << QList<int>{4} << QStringList{} << int(RunBreak);
}

void TestOneEngine::sameBreakpointsInBoth()
{
    // orb-run --break stops where the window's run to the end stops at the same breakpoints.
    QFETCH(QString, path);
    QFETCH(QStringList, inputs);
    QFETCH(QList<int>, breakpoints);
    QFETCH(QStringList, watches);
    QFETCH(int, status);
    QStringList more;
    for (const int row : breakpoints)
        more << u"--break"_s << QString::number(row);
    for (const QString &watch : watches)
        more << u"--watch"_s << watch;
    const Trace trace = runOrbRun(path, inputs, more);
    QCOMPARE(trace.status, status);
    const QJsonObject end = trace.lines.constLast();
    if (status == RunBreak) {
        QVERIFY(end.value(u"end"_s).isNull());
        QVERIFY(breakpoints.contains(end.value(u"break"_s).toInt()) ||
                end.value(u"watch"_s).isObject());
    }

    editor = std::make_unique<MainWindow>();
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    const std::optional<LoadedDocument> document = readDocumentFile(path);
    QVERIFY(document);
    loadIntoEditor(*editor, *document);
    for (const int row : breakpoints)
        QTest::mouseClick(editor->rowNumberLabel(row - 1), Qt::LeftButton);
    QCOMPARE(editor->findChild<RowMarks *>()->breakpoints().size(), size_t(breakpoints.size()));

    // Every dialog of the run answered as orb-run answered it: the bytes in order, messages
    // with a key.
    QStringList bytes = inputs;
    testutil::DialogAnswerer answerer;
    answerer.answerEvery([&bytes](QDialog *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
        if (edit && !edit->isHidden() && !bytes.isEmpty()) {
            QTest::keyClick(edit, Qt::Key_Home);
            QTest::keyClicks(edit, bytes.takeFirst().rightJustified(2, u'0'));
            QTest::keyClick(edit, Qt::Key_Return);
        } else if (edit && !edit->isHidden()) {
            dialog->close();
        } else {
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    const QPointer<ExecutionWindow> window = editortest::pressStart(*editor);
    QVERIFY(window);
    for (const QString &text : watches)
        window->watchList()->set(*parseWatch(text, nullptr));
    QTest::mouseClick(window->findChild<QPushButton *>(u"endButton"_s), Qt::LeftButton);
    QVERIFY(window);
    QCOMPARE(window->engine().stepCount(), end.value(u"steps"_s).toInt());
    const QJsonObject &last = trace.lines[trace.lines.size() - 2];
    // A watch's reason stands on the operation line, the operation in its tool tip.
    auto *operation = window->findChild<QLabel *>(u"operationLabel"_s);
    QString header = headerOf(window);
    if (window->engine().watchStop())
        header.replace(operation->text(), operation->toolTip());
    QCOMPARE(header, headerOf(last));
    QCOMPARE(panelOf(window, u"AfterLabel"_s), panelOf(last));
    QCOMPARE(window->engine().arrivedAtStop(), status == RunBreak);
    QCOMPARE(window->engine().breakpointRow() + 1, end.value(u"break"_s).toInt());
    // A watch's reason: the same in the trace and on the window's operation line.
    const QJsonObject watch = end.value(u"watch"_s).toObject();
    QCOMPARE(window->engine().watchStop().has_value(), !watch.isEmpty());
    if (const std::optional<WatchStop> &stop = window->engine().watchStop()) {
        QCOMPARE(watch.value(u"reason"_s).toString(), stop->reason(WatchNames::Ascii));
        QCOMPARE(watch.value(u"new"_s).toInt(), stop->newValue);
        QCOMPARE(operation->text(), u"Остановка: "_s + stop->reason(WatchNames::Panel));
    }
}

void TestOneEngine::breakOption()
{
    const QString path = writeDocument(u"loop.orb"_s, {u"0|1||y20"_s, u"1|0||y21,y22"_s}, {});
    auto run = [&](const QStringList &options, QString *outText = nullptr) {
        const clitest::Outcome outcome =
            clitest::runInProcess(runCommandLine, u"orb-run"_s, options + QStringList{path});
        if (outText)
            *outText = outcome.out + outcome.err;
        return outcome.status;
    };
    QString text;
    QCOMPARE(run({u"--break"_s, u"2"_s}, &text), int(RunBreak));
    QCOMPARE(text.section(u'\n', 0, 1), u"Остановлено в точке останова: строка 2\nsteps=3"_s);
    // Each press of the loop arrives again at row 1 only through its transition.
    QCOMPARE(run({u"--break"_s, u"1"_s}, &text), int(RunBreak));
    QVERIFY(text.contains(u"steps=5\n"_s));
    for (const QString &wrong : {u"0"_s, u"x"_s, u"-1"_s, u"501"_s}) {
        QCOMPARE(run({u"--break"_s, wrong}, &text), int(RunUsage));
        QVERIFY2(text.contains(u"--break takes a row number"_s), qPrintable(text));
    }
    QCOMPARE(run({u"--break"_s, u"3"_s}, &text), int(RunUsage));
    QVERIFY2(text.contains(u"--break 3: the document has 2 rows"_s), qPrintable(text));
    // The limit comes first when no breakpoint is arrived at before it.
    QCOMPARE(run({u"--break"_s, u"1"_s, u"--max-steps"_s, u"3"_s}, &text), int(RunLimit));
}

QTEST_MAIN(TestOneEngine)
#include "tst_oneengine.moc"
