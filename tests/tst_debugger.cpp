// SPDX-License-Identifier: GPL-3.0-or-later
//
// The execution window as a debugger, through the real windows: stepping back (pushButton_3,
// Backspace) against fresh runs, memory and data bytes across a step back, breakpoints set by
// clicks on the row numbers and moved with their rows, the mark of the current row, the tool
// tips and where the window opens.

#include "app/constants.h"
#include "app/rowmarks.h"
#include "cells/ramlineedit.h"
#include "editorfixture.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QInputDialog>
#include <QMenu>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using testutil::child;
using testutil::labelText;
using namespace Qt::StringLiterals;
using editortest::Row;

namespace {

// Answers every modal dialog while it lives: a data byte with `byte`, a message with a key,
// the step-limit dialog with its button; notes what each said.
struct Answers {
    QString byte = u"03"_s;
    QString watchValue = u"06"_s; // typed into the watch's value question
    QStringList seen;
    testutil::DialogAnswerer answerer;

    Answers()
    {
        answerer.answerEvery([this](QDialog *dialog) {
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                seen << input->labelText();
                auto *edit = input->findChild<QLineEdit *>();
                edit->selectAll();
                QTest::keyClicks(edit, watchValue);
                QTest::keyClick(edit, Qt::Key_Return);
                return;
            }
            auto *info = dialog->findChild<QLabel *>(u"infoLabel"_s);
            seen << (info ? info->text() : QString());
            auto *edit = dialog->findChild<QLineEdit *>(u"byteLineEdit"_s);
            if (edit && !edit->isHidden()) {
                QTest::keyClick(edit, Qt::Key_Home);
                QTest::keyClicks(edit, byte);
                QTest::keyClick(edit, Qt::Key_Return);
            } else if (auto *ok = dialog->findChild<QPushButton *>(u"okButton"_s)) {
                QTest::mouseClick(ok, Qt::LeftButton);
            } else {
                QTest::keyClick(dialog, Qt::Key_Space);
            }
        });
    }
};

// Counts down from a data byte, writing to memory each round; a further row (5) leaves the
// loop for a display and the stop.
const QList<Row> countingLoop = {
    {u"0"_s, u"1"_s, u""_s, u"y66"_s},         {u"1"_s, u"2"_s, u""_s, u"y48"_s},
    {u"2"_s, u"3"_s, u""_s, u"y31,y42,y60"_s}, {u"3"_s, u"2"_s, u"-z"_s, u"y6,y47"_s},
    {u"3"_s, u"4"_s, u"z"_s, u""_s},           {u"4"_s, u"5"_s, u""_s, u"y67"_s},
    {u"5"_s, u"5"_s, u""_s, u"y70"_s}};

// What the window shows: the header, the operation, both panels with their tool tips, what
// the end screen hid and moved, and the step-back button.
QString screenOf(QWidget *window)
{
    QStringList parts;
    for (const char *name : {"rowLabel", "stepLabel", "initialStateLabel", "nextStateLabel",
                             "controlSignalsLabel", "operationLabel"})
        parts << QLatin1String(name) + u'=' + child<QLabel>(window, name)->text();
    parts << u"tip="_s + child<QLabel>(window, "nextStateLabel")->toolTip();
    for (const char *key : ExecutionWindow::panelCellKeys()) {
        for (const char *panel : {"BeforeLabel", "AfterLabel"}) {
            auto *cell = window->findChild<QLabel *>(QLatin1String(key) + QLatin1String(panel));
            parts << QLatin1String(key) + QLatin1String(panel) + u'=' + cell->text() + u'/' +
                         cell->toolTip();
        }
    }
    for (const char *name : {"rowTagLabel", "afterGroupBox", "beforeOperationLabel",
                             "afterOperationLabel", "controlSignalsLabel", "beforeGroupBox"})
        parts << QLatin1String(name) +
                     (child<QWidget>(window, name)->isHidden() ? u" hidden"_s : u" shown"_s);
    parts << u"operation y %1, before y %2"_s.arg(child<QWidget>(window, "operationLabel")->y())
                 .arg(child<QWidget>(window, "beforeGroupBox")->y());
    parts << u"back "_s +
                 (child<QWidget>(window, "pushButton_3")->isEnabled() ? u"on"_s : u"off"_s);
    return parts.join(u'\n');
}

void click(QWidget *window, const char *name, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(child<QPushButton>(window, name), Qt::LeftButton, modifiers);
}

// Presses the window's keys and buttons as a script says: s nextButton, e endButton,
// b pushButton_3, k Backspace.
void press(QWidget *window, const QString &script)
{
    const QPointer<QWidget> open(window);
    for (const QChar action : script) {
        if (!open)
            return;
        if (action == u'k')
            QTest::keyClick(window, Qt::Key_Backspace);
        else
            click(window, action == u's'   ? "nextButton"
                          : action == u'e' ? "endButton"
                                           : "pushButton_3");
    }
}

QLabel *cell(QWidget *window, const char *key, bool after = true)
{
    return child<QLabel>(window,
                         (QByteArray(key) + (after ? "AfterLabel" : "BeforeLabel")).constData());
}

// Opens `target`'s context menu as a right click does and triggers the entry `text`; returns
// the texts of the entries, checked ones marked with '*'.
QStringList chooseFromMenu(QWidget *target, const QString &text)
{
    QStringList entries;
    bool found = false;
    QTimer::singleShot(0, target, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            if (action->isSeparator())
                continue;
            entries << action->text() + (action->isChecked() ? u"*"_s : QString());
            if (action->text() == text) {
                found = true;
                menu->setActiveAction(action);
            }
        }
        if (found)
            QTest::keyClick(menu, Qt::Key_Return);
        else
            menu->close();
    });
    // What the offscreen platform says about every popup.
    QTest::ignoreMessage(QtWarningMsg, "This plugin does not support raise()");
    QTest::ignoreMessage(QtWarningMsg, "This plugin does not support grabbing the keyboard");
    const QPoint centre = target->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, centre, target->mapToGlobal(centre));
    QApplication::sendEvent(target, &event);
    if (!found)
        qWarning("no menu entry %s among %s", qPrintable(text), qPrintable(entries.join(u", ")));
    return entries;
}

// What the offscreen platform says when a dialog of Qt's own (QInputDialog) is shown.
void expectDialogWarning()
{
    for (int i = 0; i < 2; ++i)
        QTest::ignoreMessage(QtWarningMsg, "This plugin does not support propagateSizeHints()");
}

void doubleClick(QWidget *target, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseDClick(target, Qt::LeftButton, modifiers);
}

QString styleOf(QWidget *window, const char *key, bool after = true)
{
    return cell(window, key, after)->styleSheet();
}

const QString plainCell =
    u"color: rgb(75,75,75);\nborder-radius: 7px;\nborder: 0px;\nbackground-color: rgb(245,245,245);"_s;
const QString watchedCell =
    u"color: rgb(255,255,255);\nborder-radius: 7px;\nborder: 0px;\nbackground-color: rgb(226, 131, 131);"_s;

} // namespace

class TestDebugger : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void stepBackButton();
    void stepBackMatchesAFreshRun_data();
    void stepBackMatchesAFreshRun();
    void stepBackAndMemory();
    void stepBackAsksForTheDataByteAgain();
    void breakpointsByClicks();
    void breakpointsMoveWithTheirRows();
    void currentRowMark();
    void marksKeepTheTableInPlace();
    void toolTips_data();
    void toolTips();
    void placementBesideTheMainWindow_data();
    void placementBesideTheMainWindow();
    void watchesStopTheRunAndRunBackReturns();
    void memoryByteWatch();
    void pacedRunPausesAndAnswers();
    void changeMarksAreExactlyTheChangedCells();
    void radixOfARegister();

private:
    // Releases the start button and returns the window it opened.
    ExecutionWindow *launch()
    {
        run = editortest::pressStart(*editor);
        if (!run)
            qFatal("no execution window");
        return run;
    }
    void closeRun()
    {
        QTest::keyClick(run, Qt::Key_Escape);
        for (int i = 0; i < 50 && run; ++i)
            QTest::qWait(5);
        QVERIFY(!run);
    }
    // The first 16 bytes of the memory.
    QStringList memory() const { return editortest::memoryTexts(*editor).mid(0, 16); }
    // Closes the run, clears the memory and presses a fresh run's step button `presses` times.
    ExecutionWindow *freshRun(qsizetype presses)
    {
        if (run)
            closeRun();
        for (int address = 0; address < 16; ++address)
            editor->ramCell(0, address)->setText(u"00"_s);
        ExecutionWindow *fresh = launch();
        press(fresh, QString(presses, u's'));
        return fresh;
    }
    QString labelStyle(int row) const { return editor->rowNumberLabel(row)->styleSheet(); }
    void clickRowNumber(int row) { QTest::mouseClick(editor->rowNumberLabel(row), Qt::LeftButton); }
    RowMarks *marks() const { return editor->findChild<RowMarks *>(); }

    std::unique_ptr<editortest::ScriptedWindow> editor;
    QPointer<ExecutionWindow> run;
};

void TestDebugger::init()
{
    testutil::failOnAnyWarning();
    editor = std::make_unique<editortest::ScriptedWindow>();
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
}

void TestDebugger::cleanup()
{
    delete run;
    editor.reset();
}

void TestDebugger::stepBackButton()
{
    editortest::setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y20,y31"_s}});
    ExecutionWindow *window = launch();
    auto *back = child<QPushButton>(window, "pushButton_3");
    QCOMPARE(back->toolTip(), u"Шаг назад (Backspace)"_s);
    QCOMPARE(child<QPushButton>(window, "nextButton")->toolTip(),
             u"Следующая микрооперация (Enter)"_s);
    QCOMPARE(child<QPushButton>(window, "endButton")->toolTip(),
             u"Выполнить до конца (до точки останова или 999 тактов)"_s);
    QVERIFY(!back->isEnabled()); // the first screen: nothing to undo
    QVERIFY(!back->icon().isNull());

    click(window, "nextButton");
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QVERIFY(back->isEnabled());
    // The pressed look of the step button; the action comes with the release.
    QTest::mousePress(back, Qt::LeftButton);
    QCOMPARE(back->geometry(), QRect(9, 419, 61, 51));
    QCOMPARE(back->iconSize(), QSize(54, 54));
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QTest::mouseRelease(back, Qt::LeftButton);
    QCOMPARE(back->geometry(), QRect(10, 420, 61, 51));
    QCOMPARE(back->iconSize(), QSize(55, 55));
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s);
    QVERIFY(!back->isEnabled());
    // Enter steps forward again, not back.
    QCOMPARE(window->focusWidget(), child<QWidget>(window, "nextButton"));

    // Backspace steps back without touching the button.
    press(window, u"ssk"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QCOMPARE(back->geometry(), QRect(10, 420, 61, 51));
    press(window, u"kk"_s); // nothing left for the second: nothing happens
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s);
}

void TestDebugger::stepBackMatchesAFreshRun_data()
{
    QTest::addColumn<QString>("script"); // as press() takes it
    QTest::newRow("single steps") << u"sssbsb"_s;
    QTest::newRow("a run to the end, then back into it") << u"ebbbb"_s;
    QTest::newRow("from the end screen") << u"esb"_s;
    QTest::newRow("back from the end screen, forward to it again") << u"eskse"_s;
    QTest::newRow("back to the first screen") << u"ssebbbbbbbbbbbbbbbbbbbbbbk"_s;
    QTest::newRow("mixed") << u"sebkskbeb"_s;
}

void TestDebugger::stepBackMatchesAFreshRun()
{
    QFETCH(QString, script);
    editortest::setRows(*editor, countingLoop);
    Answers answerer;
    ExecutionWindow *window = launch();
    press(window, script);
    QVERIFY(run);
    const QString shown = screenOf(window);
    const QStringList written = memory();
    ExecutionWindow *fresh = freshRun(window->engine().historyDepth());
    QCOMPARE(shown, screenOf(fresh));
    QCOMPARE(written, memory());
}

void TestDebugger::stepBackAndMemory()
{
    editortest::setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y31,y42,y60"_s}});
    ExecutionWindow *window = launch(); // A := 1
    click(window, "nextButton");        // РА := 2
    click(window, "nextButton");        // ОП[2] := 1
    QCOMPARE(editor->ramCell(0, 2)->text(), u"01"_s);
    QTest::keyClick(window, Qt::Key_Backspace);
    QCOMPARE(editor->ramCell(0, 2)->text(), u"00"_s);
    click(window, "nextButton");
    QCOMPARE(editor->ramCell(0, 2)->text(), u"01"_s);
    // The user edits the written byte: a step back keeps the edit.
    editor->ramCell(0, 2)->setText(u"5A"_s);
    QTest::keyClick(window, Qt::Key_Backspace);
    QCOMPARE(editor->ramCell(0, 2)->text(), u"5A"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"3"_s);
    QCOMPARE(labelText(window, "raAfterLabel"), u"02"_s);
}

void TestDebugger::stepBackAsksForTheDataByteAgain()
{
    editortest::setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                                  {u"1"_s, u"2"_s, u""_s, u"y66"_s},
                                  {u"2"_s, u"2"_s, u""_s, u"y67,y70"_s}});
    Answers answerer;
    ExecutionWindow *window = launch();
    answerer.byte = u"11"_s;
    click(window, "nextButton");
    QCOMPARE(labelText(window, "aAfterLabel"), u"11"_s);
    QTest::keyClick(window, Qt::Key_Backspace);
    QCOMPARE(labelText(window, "aAfterLabel"), u"00"_s);
    answerer.byte = u"22"_s;
    click(window, "nextButton");
    QCOMPARE(labelText(window, "aAfterLabel"), u"22"_s);
    press(window, u"sks"_s); // the display shows the new byte, and once more after a step back
    QCOMPARE(answerer.seen, (QStringList{u"Введите байт данных: "_s, u"Введите байт данных: "_s,
                                         u"A = 22"_s, u"A = 22"_s}));
}

void TestDebugger::breakpointsByClicks()
{
    editortest::setRows(*editor, countingLoop);
    QCOMPARE(editor->rowNumberLabel(0)->toolTip(), u"Точка останова: щелчок — поставить/снять"_s);
    QCOMPARE(editor->rowNumberLabel(6)->toolTip(), RowMarks::toolTip());
    clickRowNumber(2);
    QCOMPARE(labelStyle(2), u"background-color: rgb(226, 131, 131);border-radius: 10px;"
                            u"color: rgb(255, 255, 255);"_s);
    clickRowNumber(1);
    clickRowNumber(1); // set and cleared again
    QCOMPARE(labelStyle(1), orb::rowNumberStyle);

    Answers answerer;
    ExecutionWindow *window = launch();
    QVERIFY(!child<QWidget>(editor.get(), "scrollAreaContents")->isEnabled());
    click(window, "endButton"); // arrives at row 3
    QCOMPARE(labelText(window, "rowLabel"), u"3"_s);
    QCOMPARE(labelText(window, "stepLabel"), u"4"_s);
    QCOMPARE(window->focusWidget(), child<QWidget>(window, "nextButton"));
    click(window, "endButton"); // the next arrival, one round later
    QCOMPARE(labelText(window, "stepLabel"), u"8"_s);

    // Clicks work on the locked table: row 3 off, the further row 5 on.
    clickRowNumber(2);
    clickRowNumber(4);
    QVERIFY(marks()->hasBreakpoint(4));
    QVERIFY(!marks()->hasBreakpoint(2));
    click(window, "endButton");
    QCOMPARE(labelText(window, "rowLabel"), u"6"_s); // the press that took row 5's
    QCOMPARE(labelText(window, "stepLabel"), u"16"_s);
    QCOMPARE(answerer.seen.value(1), u"A = 06"_s);
    closeRun();
    QVERIFY(marks()->hasBreakpoint(4)); // kept after the run
}

void TestDebugger::breakpointsMoveWithTheirRows()
{
    editortest::setRows(*editor, {{u"0"_s, u"1"_s, u""_s, u"y20"_s},
                                  {u"1"_s, u"2"_s, u""_s, u"y21"_s},
                                  {u"2"_s, u"0"_s, u""_s, u"y22"_s}});
    clickRowNumber(1);
    clickRowNumber(2);
    // A row inserted above moves both down.
    editor->setCurrentCell(0, 4);
    child<QPushButton>(editor.get(), "addButton")->click(); // a blank row at index 1
    QCOMPARE(marks()->breakpoints(), (std::vector<int>{2, 3}));
    QCOMPARE(labelStyle(1), orb::rowNumberStyle);
    QCOMPARE(labelStyle(3), orb::breakpointRowNumberStyle);
    QCOMPARE(editor->ttCell(2, 8)->text(), u"y21"_s);
    // Deleting a row with a breakpoint removes it; the one below moves up.
    editor->setCurrentCell(2, 4);
    child<QPushButton>(editor.get(), "deleteButton")->click();
    QCOMPARE(marks()->breakpoints(), std::vector<int>{2});
    QCOMPARE(labelStyle(2), orb::breakpointRowNumberStyle);
    QVERIFY(!editor->rowNumberLabel(3)); // gone with its row
    QCOMPARE(editor->ttCell(2, 8)->text(), u"y22"_s);
    // Not saved: the file is the one saved without them. Cleared by Open and New.
    QTemporaryDir dir;
    editor->saveAnswer = dir.filePath(u"marks.orb"_s);
    editor->findChild<QAction *>(u"actionSave"_s)->trigger();
    clickRowNumber(2);
    editor->saveAnswer = dir.filePath(u"plain.orb"_s);
    editor->findChild<QAction *>(u"actionSave"_s)->trigger();
    QCOMPARE(testutil::readAll(dir.filePath(u"marks.orb"_s)),
             testutil::readAll(editor->saveAnswer));
    clickRowNumber(2);
    editor->openAnswer = editor->saveAnswer;
    editor->findChild<QAction *>(u"actionOpen"_s)->trigger();
    QCOMPARE(editor->stringCount(), 3);
    QVERIFY(marks()->breakpoints().empty());
    QCOMPARE(labelStyle(2), orb::rowNumberStyle);
    clickRowNumber(0);
    editor->findChild<QAction *>(u"actionNew"_s)->trigger();
    QVERIFY(marks()->breakpoints().empty());
    QCOMPARE(labelStyle(0), orb::rowNumberStyle);
}

void TestDebugger::currentRowMark()
{
    // Forty rows: the loop at the end is out of sight until the run gets there.
    QList<Row> rows = {{u"0"_s, u"1"_s, u""_s, u"y20"_s}};
    for (int state = 1; state < 39; ++state)
        rows.append({QString::number(state), QString::number(state + 1), u""_s, u""_s});
    rows.append({u"39"_s, u"39"_s, u""_s, u"y21,y22"_s});
    editortest::setRows(*editor, rows);
    clickRowNumber(39);
    auto *scrollBar = child<QScrollArea>(editor.get(), "scrollArea")->verticalScrollBar();
    scrollBar->setValue(0);

    ExecutionWindow *window = launch();
    QCOMPARE(marks()->currentRow(), 0);
    QCOMPARE(labelStyle(0),
             u"background-color: rgb(101, 220, 177);border-radius: 10px;"
             u"color: rgb(255, 255, 255);border: 2px solid rgb(60, 100, 160);padding: -2px;"_s);
    click(window, "nextButton"); // row 2, no microoperations
    QCOMPARE(marks()->currentRow(), 1);
    QCOMPARE(labelStyle(0), orb::rowNumberStyle);
    QCOMPARE(labelStyle(1), orb::currentRowNumberStyle);
    QCOMPARE(scrollBar->value(), 0);
    click(window, "endButton"); // to the breakpoint at the end
    QCOMPARE(labelText(window, "rowLabel"), u"40"_s);
    QCOMPARE(labelStyle(39),
             u"background-color: rgb(226, 131, 131);border-radius: 10px;"
             u"color: rgb(255, 255, 255);border: 2px solid rgb(60, 100, 160);padding: -2px;"_s);
    QVERIFY(scrollBar->value() > 0);
    QLabel *label = editor->rowNumberLabel(39);
    const QWidget *viewport = child<QScrollArea>(editor.get(), "scrollArea")->viewport();
    const QRect seen(label->mapTo(viewport, QPoint(0, 0)), label->size());
    QVERIFY(viewport->rect().contains(seen));
    // Back to where it was.
    QTest::keyClick(window, Qt::Key_Backspace);
    QCOMPARE(marks()->currentRow(), 38);
    QCOMPARE(labelStyle(39), orb::breakpointRowNumberStyle);
    closeRun();
    QCOMPARE(marks()->currentRow(), -1);
    QCOMPARE(labelStyle(38), orb::rowNumberStyle);
    QCOMPARE(labelStyle(39), orb::breakpointRowNumberStyle);
}

void TestDebugger::marksKeepTheTableInPlace()
{
    // A frame around a row number must not widen the number column: the cells stay put.
    QList<Row> rows;
    for (int state = 0; state < 120; ++state)
        rows.append({QString::number(state), QString::number(state + 1), u""_s, u"y20"_s});
    editortest::setRows(*editor, rows);
    QTest::qWait(20);
    auto cellsAt = [this] {
        QList<int> x;
        for (const int row : {0, 99, 119})
            x << editor->ttCell(row, 2)->x() << editor->rowNumberLabel(row)->width()
              << editor->ttCell(row, 2)->y();
        return x;
    };
    const QList<int> before = cellsAt();
    clickRowNumber(119);
    ExecutionWindow *window = launch();
    click(window, "endButton");
    QCOMPARE(labelText(window, "rowLabel"), u"120"_s);
    QTest::qWait(20);
    QCOMPARE(cellsAt(), before);
}

void TestDebugger::toolTips_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("tip");
    QTest::newRow("3C") << 0x3C << u"3C = 60 = +60 = 0011 1100"_s;
    QTest::newRow("0") << 0 << u"00 = 0 = 0 = 0000 0000"_s;
    QTest::newRow("7F") << 0x7F << u"7F = 127 = +127 = 0111 1111"_s;
    QTest::newRow("80") << 0x80 << u"80 = 128 = -128 = 1000 0000"_s;
    QTest::newRow("FF") << 0xFF << u"FF = 255 = -1 = 1111 1111"_s;
}

void TestDebugger::toolTips()
{
    QFETCH(int, value);
    QFETCH(QString, tip);
    QCOMPARE(ExecutionWindow::registerToolTip(value), tip);
    if (value != 0x3C)
        return;
    // Through the window: the register cells and the condition of the shown row.
    editortest::setRows(*editor, {{u"0"_s, u"1"_s, u"z,-c"_s, u"y43"_s},
                                  {u"0"_s, u"2"_s, u""_s, u""_s},
                                  {u"1"_s, u"1"_s, u"x1"_s, u"y38"_s}});
    ExecutionWindow *window = launch(); // y43: РА := 0, Z := 1
    QCOMPARE(child<QLabel>(window, "nextStateLabel")->toolTip(), u"z,-c — выполнено"_s);
    QCOMPARE(window->findChild<QLabel *>(u"raAfterLabel"_s)->toolTip(),
             u"00 = 0 = 0 = 0000 0000"_s);
    click(window, "nextButton"); // y38: B := F0 + R
    QCOMPARE(child<QLabel>(window, "nextStateLabel")->toolTip(), u"x1 — не выполнено"_s);
    QCOMPARE(window->findChild<QLabel *>(u"bAfterLabel"_s)->toolTip(),
             u"F0 = 240 = -16 = 1111 0000"_s);
    QCOMPARE(window->findChild<QLabel *>(u"bBeforeLabel"_s)->toolTip(),
             u"00 = 0 = 0 = 0000 0000"_s);
    QVERIFY(window->findChild<QLabel *>(u"zAfterLabel"_s)->toolTip().isEmpty());
    QTest::keyClick(window, Qt::Key_Backspace);
    QCOMPARE(window->findChild<QLabel *>(u"bAfterLabel"_s)->toolTip(), u"00 = 0 = 0 = 0000 0000"_s);
    // A row without a condition has no tool tip.
    closeRun();
    editortest::setRows(*editor, {{u"0"_s, u"0"_s, u""_s, u"y20"_s}});
    ExecutionWindow *plain = launch();
    QVERIFY(child<QLabel>(plain, "nextStateLabel")->toolTip().isEmpty());
}

void TestDebugger::placementBesideTheMainWindow_data()
{
    QTest::addColumn<QRect>("mainFrame");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("expected"); // (-1, -1): left to the window system
    const QSize frame(920, 510);
    QTest::newRow("right") << QRect(0, 0, 900, 600) << QRect(0, 0, 1920, 1050) << QPoint(900, 0);
    QTest::newRow("right, raised to fit")
        << QRect(0, 700, 900, 300) << QRect(0, 0, 1920, 1050) << QPoint(900, 1050 - frame.height());
    QTest::newRow("exactly fits right")
        << QRect(0, 0, 1000, 600) << QRect(0, 0, 1920, 1050) << QPoint(1000, 0);
    QTest::newRow("one pixel short: below")
        << QRect(0, 0, 1001, 500) << QRect(0, 0, 1920, 1050) << QPoint(0, 500);
    QTest::newRow("below, moved in")
        << QRect(1500, 0, 600, 400) << QRect(0, 0, 1920, 1050) << QPoint(1920 - frame.width(), 400);
    QTest::newRow("no room") << QRect(0, 0, 1200, 700) << QRect(0, 0, 1920, 1050) << QPoint(-1, -1);
    QTest::newRow("second screen")
        << QRect(1920, 0, 900, 500) << QRect(1920, 0, 1920, 1050) << QPoint(2820, 0);
}

void TestDebugger::placementBesideTheMainWindow()
{
    QFETCH(QRect, mainFrame);
    QFETCH(QRect, available);
    QFETCH(QPoint, expected);
    const std::optional<QPoint> place =
        ExecutionWindow::placeBeside(mainFrame, QSize(920, 510), available);
    QCOMPARE(place.value_or(QPoint(-1, -1)), expected);
    if (place)
        QVERIFY(available.contains(QRect(*place, QSize(920, 510))));
}

void TestDebugger::watchesStopTheRunAndRunBackReturns()
{
    // The data byte 03, then A counts up 04, 05, 06, written to memory at 05, 06, 07.
    editortest::setRows(*editor, countingLoop);
    Answers answerer;
    ExecutionWindow *window = launch();
    auto *endButton = child<QPushButton>(window, "endButton");
    const QString plainTip = endButton->toolTip();
    doubleClick(cell(window, "a"));
    QCOMPARE(styleOf(window, "a"), watchedCell);
    QCOMPARE(styleOf(window, "a", false), watchedCell);
    QCOMPARE(styleOf(window, "b"), plainCell);
    QCOMPARE(endButton->toolTip(), plainTip + u"\nНаблюдение: A"_s);
    click(window, "endButton");
    QCOMPARE(labelText(window, "stepLabel"), u"4"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Остановка: A изменился 03 → 04"_s);
    QCOMPARE(child<QLabel>(window, "operationLabel")->toolTip(),
             u"Выполнена микрооперация y31 :    A := A + 1"_s);
    QCOMPARE(window->focusWidget(), child<QWidget>(window, "nextButton"));

    // Shift+double-click: only the value 06 stops it, a flag watch asks for 0 or 1.
    expectDialogWarning();
    doubleClick(cell(window, "a"), Qt::ShiftModifier);
    QCOMPARE(answerer.seen.last(),
             u"Остановиться, когда A станет равным\n(шестнадцатеричное число от 00 до FF):"_s);
    QCOMPARE(endButton->toolTip(), plainTip + u"\nНаблюдение: A = 06"_s);
    click(window, "endButton");
    QCOMPARE(labelText(window, "stepLabel"), u"12"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Остановка: A = 06"_s);
    answerer.watchValue = u"1"_s;
    expectDialogWarning();
    doubleClick(cell(window, "z"), Qt::ShiftModifier);
    QCOMPARE(answerer.seen.last(), u"Остановиться, когда Z станет равным\n(0 или 1):"_s);
    // While the run is open, each row number says how often its row ran.
    const QStringList counts = {u"1 раз"_s, u"1 раз"_s, u"3 раза"_s, u"2 раза"_s, u"0 раз"_s};
    for (int row = 0; row < counts.size(); ++row)
        QCOMPARE(editor->rowNumberLabel(row)->toolTip(),
                 RowMarks::toolTip() + u"\nВыполнялась: "_s + counts[row]);
    QStringList said;
    for (const int count : {11, 12, 21, 22, 104, 114})
        said << RowMarks::countText(count);
    QCOMPARE(said.join(u", "),
             u"Выполнялась: 11 раз, Выполнялась: 12 раз, Выполнялась: 21 раз, "
             u"Выполнялась: 22 раза, Выполнялась: 104 раза, Выполнялась: 114 раз"_s);
    QCOMPARE(endButton->toolTip(), plainTip + u"\nНаблюдение: A = 06, Z = 1"_s);

    // Back to the watch on any change; Shift+Backspace goes back to the press where it stopped
    // before, and Shift with the back button to the one before that.
    doubleClick(cell(window, "z"));
    doubleClick(cell(window, "a"));
    doubleClick(cell(window, "a"));
    QCOMPARE(endButton->toolTip(), plainTip + u"\nНаблюдение: A"_s);
    QTest::keyClick(window, Qt::Key_Backspace, Qt::ShiftModifier);
    QCOMPARE(labelText(window, "stepLabel"), u"8"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Остановка: A изменился 04 → 05"_s);
    const QString shown = screenOf(window);
    const QStringList written = memory();
    click(window, "pushButton_3", Qt::ShiftModifier);
    QCOMPARE(labelText(window, "stepLabel"), u"4"_s);
    click(window, "pushButton_3", Qt::ShiftModifier); // no earlier stop: the first screen
    QCOMPARE(labelText(window, "stepLabel"), u"2"_s);
    QVERIFY(!child<QWidget>(window, "pushButton_3")->isEnabled());
    doubleClick(cell(window, "a")); // off, and on again in the fresh run below
    closeRun();
    QCOMPARE(editor->rowNumberLabel(2)->toolTip(), RowMarks::toolTip());

    // The panels and memory at step 8 are those of a fresh run stepped there.
    ExecutionWindow *fresh = freshRun(6);
    QCOMPARE(memory(), written);
    doubleClick(cell(fresh, "a"));
    QString freshShown = screenOf(fresh);
    freshShown.replace(u"operationLabel=Выполнена микрооперация y31 :    A := A + 1"_s,
                       u"operationLabel=Остановка: A изменился 04 → 05"_s);
    QCOMPARE(shown, freshShown);
}

void TestDebugger::memoryByteWatch()
{
    // y60 writes A to 05, 06 and 07 in turn; the byte 06 is watched from its context menu.
    editortest::setRows(*editor, countingLoop);
    QTest::mouseClick(child<QPushButton>(editor.get(), "ramButton"), Qt::LeftButton);
    QWidget *byte = editor->ramCell(0, 6);
    QTest::qWait(10);
    const QStringList entries = chooseFromMenu(byte, u"Остановиться при записи"_s);
    QCOMPARE(entries.last(), u"Остановиться при записи"_s);
    QVERIFY(entries.size() > 3); // the line edit's own entries stay
    QCOMPARE(byte->toolTip(), u"Остановка при записи"_s);
    Answers answerer;
    ExecutionWindow *window = launch();
    QVERIFY(child<QPushButton>(window, "endButton")->toolTip().endsWith(u"\nНаблюдение: ОП[06]"_s));
    click(window, "endButton");
    QCOMPARE(labelText(window, "stepLabel"), u"10"_s);
    QCOMPARE(labelText(window, "operationLabel"), u"Остановка: запись в ОП[06]: 00 → 05"_s);
    QCOMPARE(editor->ramCell(0, 6)->text(), u"05"_s);
    // Taken off again during the run: the run goes on to the end.
    QCOMPARE(chooseFromMenu(byte, u"Остановиться при записи"_s).last(),
             u"Остановиться при записи*"_s);
    QVERIFY(byte->toolTip().isEmpty());
    click(window, "endButton");
    QCOMPARE(labelText(window, "stepLabel"), u"17"_s);
}

void TestDebugger::pacedRunPausesAndAnswers()
{
    editortest::setRows(*editor, countingLoop);
    Answers answerer;
    ExecutionWindow *window = launch();
    auto *endButton = child<QPushButton>(window, "endButton");
    QCOMPARE(chooseFromMenu(endButton, u"Быстро"_s),
             (QStringList{u"Сразу*"_s, u"Быстро"_s, u"Медленно"_s, u"По шагу в секунду"_s}));
    QCOMPARE(window->pace(), ExecutionWindow::Pace::Fast);
    QVERIFY(endButton->toolTip().endsWith(u"\nТемп: Быстро"_s));

    // The run goes on a timer: the window shows its steps one by one and takes events.
    QStringList seenSteps;
    click(window, "endButton");
    QVERIFY(window->pacedRunActive());
    for (int i = 0; i < 40 && seenSteps.size() < 3; ++i) {
        QTest::qWait(10);
        const QString step = labelText(window, "stepLabel");
        if (seenSteps.isEmpty() || seenSteps.last() != step)
            seenSteps << step;
    }
    QCOMPARE(seenSteps.mid(0, 3), (QStringList{u"3"_s, u"4"_s, u"5"_s}));
    QTest::keyClick(window, Qt::Key_A);
    QVERIFY(!window->pacedRunActive());
    const QString paused = labelText(window, "stepLabel");
    QTest::qWait(150);
    QCOMPARE(labelText(window, "stepLabel"), paused);
    // Resumed, it goes to the end as the instant run does, the dialogs included.
    click(window, "endButton");
    QTRY_VERIFY_WITH_TIMEOUT(!window->pacedRunActive(), 5000);
    QCOMPARE(labelText(window, "stepLabel"), u"17"_s);
    QCOMPARE(answerer.seen, (QStringList{u"Введите байт данных: "_s, u"A = 06"_s, u"СТОП"_s}));
    const QString paced = screenOf(window);
    closeRun();
    ExecutionWindow *instant = launch();
    QCOMPARE(instant->pace(), ExecutionWindow::Pace::Instant); // each run starts instant
    click(instant, "endButton");
    QCOMPARE(screenOf(instant), paced);
}

void TestDebugger::changeMarksAreExactlyTheChangedCells()
{
    editortest::setRows(*editor, countingLoop);
    Answers answerer;
    ExecutionWindow *window = launch();
    auto framed = [window] {
        QStringList keys;
        for (const char *key : ExecutionWindow::panelCellKeys()) {
            if (styleOf(window, key).contains(u"border: 2px solid rgb(60, 100, 160);"_s))
                keys << QLatin1String(key);
        }
        return keys;
    };
    QCOMPARE(framed(), QStringList());
    QTest::keyClick(window, Qt::Key_F6);
    QCOMPARE(framed(), QStringList{u"a"_s}); // at once, for the data byte on screen
    QVERIFY(cell(window, "a")->toolTip().endsWith(u"\nИзменён микрооперацией: 00 → 03"_s));
    bool wroteMemory = false;
    for (int press = 0; press < 15; ++press) {
        click(window, "nextButton");
        // Marked: exactly the cells whose text the microoperation changed.
        QStringList changed;
        const bool microoperation =
            !labelText(window, "operationLabel").startsWith(u"Нет микроопераций"_s);
        for (const char *key : ExecutionWindow::panelCellKeys()) {
            if (microoperation && cell(window, key)->text() != cell(window, key, false)->text())
                changed << QLatin1String(key);
        }
        QCOMPARE(framed(), changed);
        const QString operationTip = child<QLabel>(window, "operationLabel")->toolTip();
        if (labelText(window, "operationLabel").contains(u"ОП[РА] := A"_s)) {
            wroteMemory = true;
            QVERIFY2(operationTip.startsWith(u"Записано в память: ОП[0"_s),
                     qPrintable(operationTip));
        } else {
            QCOMPARE(operationTip, QString());
        }
    }
    QVERIFY(wroteMemory);
    // A step back marks what the press now shown changed; F6 again takes every mark away.
    QTest::keyClick(window, Qt::Key_Backspace);
    QVERIFY(!framed().isEmpty() || labelText(window, "operationLabel").startsWith(u"Нет"));
    QTest::keyClick(window, Qt::Key_F6);
    QCOMPARE(framed(), QStringList());
    for (const char *key : ExecutionWindow::panelCellKeys())
        QCOMPARE(styleOf(window, key), plainCell);
}

void TestDebugger::radixOfARegister()
{
    editortest::setRows(*editor, countingLoop);
    Answers answerer;
    answerer.byte = u"3C"_s;
    ExecutionWindow *window = launch();
    QCOMPARE(cell(window, "a")->text(), u"3C"_s);
    const QStringList entries = chooseFromMenu(cell(window, "a", false), u"Десятичное без знака"_s);
    QCOMPARE(entries, (QStringList{u"Шестнадцатеричное*"_s, u"Десятичное без знака"_s,
                                   u"Десятичное со знаком"_s, u"Двоичное"_s,
                                   u"Остановиться при изменении (двойной щелчок)"_s,
                                   u"Остановиться при значении… (Shift+двойной щелчок)"_s}));
    QCOMPARE(cell(window, "a")->text(), u"60"_s);
    QCOMPARE(cell(window, "a", false)->text(), u"0"_s);
    QCOMPARE(cell(window, "b")->text(), u"00"_s); // only that register
    chooseFromMenu(cell(window, "a"), u"Двоичное"_s);
    QCOMPARE(cell(window, "a")->text(), u"0011 1100"_s);
    click(window, "nextButton"); // РИ := A: the other registers stay hexadecimal
    QCOMPARE(cell(window, "ri")->text(), u"3C"_s);
    QCOMPARE(cell(window, "a", false)->text(), u"0011 1100"_s);
    // A picture with all of it: the radix, a watch, the change marks and a stop reason.
    chooseFromMenu(cell(window, "ri"), u"Десятичное со знаком"_s);
    QTest::keyClick(window, Qt::Key_F6);
    doubleClick(cell(window, "ra"));
    click(window, "endButton");
    QCOMPARE(labelText(window, "operationLabel"), u"Остановка: РА изменился 00 → 3E"_s);
    testutil::renderToPng(window, u"execution-debugger"_s);
    doubleClick(cell(window, "ra"));
    chooseFromMenu(cell(window, "ri"), u"Шестнадцатеричное"_s);
    // Kept for the next run; flags offer watches only.
    closeRun();
    ExecutionWindow *next = launch();
    QCOMPARE(cell(next, "a")->text(), u"0011 1100"_s);
    QCOMPARE(
        chooseFromMenu(cell(next, "z"), u"Остановиться при изменении (двойной щелчок)"_s).size(),
        2);
    QCOMPARE(styleOf(next, "z"), watchedCell);
    chooseFromMenu(cell(next, "a"), u"Шестнадцатеричное"_s);
    QCOMPARE(cell(next, "a")->text(), u"3C"_s);
    QCOMPARE(cell(next, "a")->font(), cell(next, "b")->font());
    // Watches last from run to run, as breakpoints do, and go with New.
    closeRun();
    QCOMPARE(styleOf(launch(), "z"), watchedCell);
    closeRun();
    editor->findChild<QAction *>(u"actionNew"_s)->trigger();
    editortest::setRows(*editor, countingLoop);
    QCOMPARE(styleOf(launch(), "z"), plainCell);
    QCOMPARE(child<QPushButton>(run, "endButton")->toolTip(),
             u"Выполнить до конца (до точки останова или 999 тактов)"_s);
}

QTEST_MAIN(TestDebugger)
#include "tst_debugger.moc"
