// SPDX-License-Identifier: GPL-3.0-or-later
//
// Undo and redo of the editor's document changes, through the window's own keys and buttons.

#include "undo/documenthistory.h"
#include "app/rowmarks.h"
#include "cells/ramlineedit.h"
#include "editorfixture.h"
#include "sim/executionwindow.h"
#include "testutil.h"

#include <QPushButton>
#include <QRandomGenerator>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <map>

using namespace Qt::StringLiterals;

using namespace editortest;

namespace {

// What undo must put back: every row's texts and marks, errorCount and the memory.
struct State {
    QStringList cells;
    QString marks;
    int errorCount = 0;
    QStringList memory;
    bool operator==(const State &) const = default;
};

State stateOf(MainWindow &window)
{
    State state;
    const orb::TableRows &rows = window.tableRows();
    for (int row = 0; row < rows.rowCount(); ++row) {
        for (int field = 0; field < 4; ++field) {
            state.cells << rows.cellText(row, field);
            state.marks += rows.isCorrect(row, field) ? QLatin1Char('+') : QLatin1Char('-');
        }
        state.marks += QLatin1Char('|');
    }
    state.errorCount = window.errorCount();
    for (int address = 0; address < 256; ++address)
        state.memory << window.ramCell(address / 16, address % 16)->text();
    return state;
}

QString describe(const State &state)
{
    return state.cells.join(QLatin1Char(';')) + QLatin1Char(' ') + state.marks +
           QStringLiteral(" errors %1").arg(state.errorCount);
}

void keyTo(MainWindow &window, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = QApplication::focusWidget();
    QTest::keyClick(target ? target : &window, key, modifiers);
}

void undoKey(MainWindow &window)
{
    keyTo(window, Qt::Key_Z, Qt::ControlModifier);
}

void redoKey(MainWindow &window, bool withY = false)
{
    if (withY)
        keyTo(window, Qt::Key_Y, Qt::ControlModifier);
    else
        keyTo(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
}

// Leaves the table as a click elsewhere would: the cell's edit ends.
void leaveCells(MainWindow &window)
{
    window.setFocus(Qt::OtherFocusReason);
}

void click(MainWindow &window, const char *button)
{
    QTest::mouseClick(testutil::child<QPushButton>(&window, button), Qt::LeftButton);
}

void typeIntoCell(MainWindow &window, int row, int column, const QString &text)
{
    focusCell(window, row, column);
    press(Qt::Key_End);
    press(Qt::Key_Home, Qt::ShiftModifier);
    press(Qt::Key_Delete);
    if (!text.isEmpty())
        type(text);
}

void typeIntoMemory(MainWindow &window, int address, const QString &digits)
{
    click(window, "ramButton");
    RamLineEdit *cell = window.ramCell(address / 16, address % 16);
    QTest::mouseClick(cell, Qt::LeftButton, Qt::NoModifier, cell->rect().center());
    type(digits);
}

std::unique_ptr<ScriptedWindow> showScripted()
{
    auto window = std::make_unique<ScriptedWindow>();
    window->show();
    window->activateWindow();
    return window;
}

} // namespace

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    // A committed edit is one step with its marks; undo and redo restore texts, marks,
    // errorCount and the current cell; the cell's own typing is undone before the document's.
    void cellEdits()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const State blank = stateOf(*window);
        typeIntoCell(*window, 0, 2, QStringLiteral("5"));
        leaveCells(*window);
        const State afterSource = stateOf(*window);
        QCOMPARE(afterSource.marks, QStringLiteral("+-++|"));
        typeIntoCell(*window, 0, 4, QStringLiteral("7"));
        leaveCells(*window);
        const State afterNext = stateOf(*window);
        QCOMPARE(afterNext.errorCount, 0);

        focusCell(*window, 0, 8);
        type(QStringLiteral("y6, Y10"));
        // Inside the cell its own typing goes first and is no document step.
        undoKey(*window);
        QCOMPARE(window->ttCell(0, 8)->text(), QString());
        QCOMPARE(stateOf(*window), afterNext);
        undoKey(*window);
        QCOMPARE(stateOf(*window), afterSource);
        QCOMPARE(window->currentString(), 0);
        QCOMPARE(window->currentColumn(), 4);
        QCOMPARE(focused(), window->ttCell(0, 4));
        undoKey(*window);
        QCOMPARE(stateOf(*window), blank);
        QCOMPARE(window->currentColumn(), 2);
        undoKey(*window); // nothing left
        QCOMPARE(stateOf(*window), blank);
        redoKey(*window);
        QCOMPARE(stateOf(*window), afterSource);
        redoKey(*window, true);
        QCOMPARE(stateOf(*window), afterNext);

        // Normalisation is part of the commit and comes back with the redo.
        typeIntoCell(*window, 0, 8, QStringLiteral("y6, Y10"));
        leaveCells(*window);
        QCOMPARE(window->tableRows().cellText(0, 3), QStringLiteral("y6,y10"));
        const State normal = stateOf(*window);
        undoKey(*window);
        QCOMPARE(stateOf(*window), afterNext);
        redoKey(*window);
        QCOMPARE(stateOf(*window), normal);
        // A wrong text keeps its mark through undo and redo.
        typeIntoCell(*window, 0, 6, QStringLiteral("x9"));
        leaveCells(*window);
        const State wrong = stateOf(*window);
        QCOMPARE(wrong.errorCount, 1);
        undoKey(*window);
        QCOMPARE(stateOf(*window), normal);
        redoKey(*window);
        QCOMPARE(stateOf(*window), wrong);
    }

    // Return's commit and its new row are one step; Backspace and the delete button delete a
    // row as one step each; a deleted row's breakpoint comes back with it.
    void rowsInsertedAndDeleted()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        setRows(*window, {{u"1"_s, u"2"_s, u"x1"_s, u"y11"_s},
                          {u"2"_s, u"3"_s, u""_s, u"y12"_s},
                          {u"3"_s, u"1"_s, u""_s, u"y13"_s}});
        leaveCells(*window);
        window->history().stack().clear();
        const State start = stateOf(*window);

        typeIntoCell(*window, 1, 8, QStringLiteral("y14, y12"));
        press(Qt::Key_Return);
        QCOMPARE(window->stringCount(), 4);
        QCOMPARE(window->tableRows().cellText(1, 3), QStringLiteral("y12,y14"));
        QCOMPARE(window->currentString(), 2);
        const State inserted = stateOf(*window);
        undoKey(*window);
        QCOMPARE(stateOf(*window), start);
        QCOMPARE(window->currentString(), 1);
        QCOMPARE(window->currentColumn(), 8);
        redoKey(*window);
        QCOMPARE(stateOf(*window), inserted);
        QCOMPARE(window->currentString(), 2);
        QCOMPARE(window->currentColumn(), 2);

        // Backspace at the start of a source state deletes its row.
        RowMarks *marks = window->findChild<RowMarks *>();
        QVERIFY(marks);
        marks->toggleBreakpoint(3);
        focusCell(*window, 3, 2);
        press(Qt::Key_Home);
        press(Qt::Key_Backspace);
        QCOMPARE(window->stringCount(), 3);
        QVERIFY(!marks->hasBreakpoint(3));
        const State deleted = stateOf(*window);
        undoKey(*window);
        QCOMPARE(stateOf(*window), inserted);
        QVERIFY(marks->hasBreakpoint(3));
        QCOMPARE(window->currentString(), 3);
        redoKey(*window);
        QCOMPARE(stateOf(*window), deleted);
        QCOMPARE(window->currentString(), 2);

        // The delete button; a breakpoint below the row moves back down with undo.
        marks->toggleBreakpoint(2);
        focusCell(*window, 0, 6);
        click(*window, "deleteButton");
        QCOMPARE(window->tableRows().cellText(0, 0), QStringLiteral("2"));
        QVERIFY(marks->hasBreakpoint(1));
        undoKey(*window);
        QCOMPARE(stateOf(*window), deleted);
        QVERIFY(marks->hasBreakpoint(2));
        QVERIFY(!marks->hasBreakpoint(1));
        QCOMPARE(window->currentString(), 0);
        QCOMPARE(window->currentColumn(), 6);

        // The add button, and the first row's case (a row above the first).
        focusCell(*window, 0, 2);
        press(Qt::Key_Home);
        click(*window, "addButton");
        QCOMPARE(window->tableRows().cellText(0, 0), QString());
        QCOMPARE(window->tableRows().cellText(1, 0), QStringLiteral("1"));
        const State above = stateOf(*window);
        undoKey(*window);
        QCOMPARE(stateOf(*window), deleted);
        redoKey(*window);
        QCOMPARE(stateOf(*window), above);
    }

    // The bytes typed during one visit of a memory cell are one step, the cell's own typing
    // first; the page of the change is shown.
    void memoryTyping()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const State blank = stateOf(*window);
        typeIntoMemory(*window, 0x1F, QStringLiteral("ab"));
        QCOMPARE(window->ramCell(1, 15)->text(), QStringLiteral("AB"));
        type(QStringLiteral("c")); // into 0x20, still being visited
        undoKey(*window);          // the cell's own typing
        QCOMPARE(window->ramCell(2, 0)->text(), QStringLiteral("00"));
        const State typed = stateOf(*window);
        undoKey(*window);
        QCOMPARE(stateOf(*window), blank);
        QCOMPARE(focused(), window->ramCell(1, 15));
        click(*window, "editButton");
        redoKey(*window);
        QCOMPARE(stateOf(*window), typed);
        QVERIFY(window->ramTable()->isVisible());
        // Backspace clears digits as typing does.
        typeIntoMemory(*window, 0x1F, QString());
        press(Qt::Key_End);
        press(Qt::Key_Backspace);
        press(Qt::Key_Backspace);
        leaveCells(*window);
        QCOMPARE(window->ramCell(1, 15)->text(), QStringLiteral("00"));
        undoKey(*window);
        QCOMPARE(stateOf(*window), typed);
    }

    // New and Open are one step each: the previous table, marks and memory come back.
    void newAndOpen()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("two.orb"));
        testutil::writeAll(path, "MKT2\n1\n2\nx1\ny11\n\n\nx2\n\n" + QByteArray(510, '0') + "7F");
        setRows(*window, {{u"1"_s, u""_s, u"x1"_s, u""_s}});
        typeIntoMemory(*window, 5, QStringLiteral("12"));
        leaveCells(*window);
        const State edited = stateOf(*window);
        QCOMPARE(edited.errorCount, 1);

        QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
        const State fresh = stateOf(*window);
        QCOMPARE(fresh.errorCount, 0);
        window->openAnswer = path;
        QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
        const State opened = stateOf(*window);
        QCOMPARE(opened.errorCount, 2);
        QCOMPARE(opened.memory.last(), QStringLiteral("7F"));

        undoKey(*window);
        QCOMPARE(stateOf(*window), fresh);
        undoKey(*window);
        QCOMPARE(stateOf(*window), edited);
        redoKey(*window);
        QCOMPARE(stateOf(*window), fresh);
        redoKey(*window);
        QCOMPARE(stateOf(*window), opened);
    }

    // New pressed while a memory byte is still in editing: the byte is a step of its own before
    // New's, not lost (nor left outside the history).
    void newWhileTypingInMemory()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const State blank = stateOf(*window);
        // One digit: the cell keeps the focus (the second would pass it on, ending the visit).
        typeIntoMemory(*window, 5, QStringLiteral("7"));
        const State typed = stateOf(*window);
        QCOMPARE(typed.memory.at(5), QStringLiteral("70"));
        QCOMPARE(focused(), window->ramCell(0, 5));
        QTest::keyClick(focused(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(stateOf(*window).memory.at(5), QStringLiteral("00"));
        QCOMPARE(window->history().stack().count(), 2);
        undoKey(*window);
        QCOMPARE(stateOf(*window), typed);
        undoKey(*window);
        QCOMPARE(stateOf(*window), blank);
    }

    // While an execution window is open the keys do nothing; a program's writes are no steps.
    void lockedWhileRunning()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        setRows(*window, {{u"1"_s, u"1"_s, u""_s, u"y11"_s}});
        leaveCells(*window);
        const State before = stateOf(*window);
        click(*window, "startButton");
        ExecutionWindow *run = nullptr;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *candidate = qobject_cast<ExecutionWindow *>(widget))
                run = candidate;
        }
        QVERIFY(run);
        QVERIFY(testutil::activate(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(stateOf(*window), before);
        run->close();
        QTRY_VERIFY(testutil::child<QPushButton>(window.get(), "startButton")->isEnabled());
        undoKey(*window);
        QCOMPARE(window->tableRows().cellText(0, 3), QString());
    }

    // The history keeps well over a thousand steps.
    void longHistory()
    {
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        const State blank = stateOf(*window);
        for (int i = 0; i < 1100; ++i) {
            typeIntoCell(*window, 0, 2, QString::number(i % 2 + 1));
            leaveCells(*window);
        }
        QCOMPARE(window->history().stack().count(), 1100);
        for (int i = 0; i < 1100; ++i)
            undoKey(*window);
        QCOMPARE(stateOf(*window), blank);
    }

    // Long random sequences of every kind of change, compared with the states recorded along
    // the way: all undone one by one, all redone, then undos and redos mixed with new changes.
    void randomSequences_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed : {1u, 7u, 2024u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }
    void randomSequences()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        auto window = showScripted();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.orb"));
        testutil::writeAll(path, "MKT3\n1\n2\nx1\ny11\n2\n\n\ny12\n\n1\nz!x2\ny13, y11\n" +
                                     QByteArray(300, '3'));
        window->openAnswer = path;
        const QStringList texts = {u"1"_s,    u"27"_s,      u"x1"_s,  u"x3!x2"_s, u"y6, Y10"_s,
                                   u"y6,y"_s, u""_s,        u"y11"_s, u"z"_s,     u"x9"_s,
                                   u"7"_s,    u"y32, y5"_s, u"y1y2"_s};
        const QStringList bytes = {u"00"_s, u"FF"_s, u"3C"_s, u"a5"_s, u"9"_s};

        // The state after each action, by the stack index it left (an action may make more
        // than one step: Open commits the current cell first).
        std::map<int, State> states{{0, stateOf(*window)}};
        QUndoStack &stack = window->history().stack();
        const auto check = [&](const QString &when) {
            const auto known = states.find(stack.index());
            if (known != states.end())
                QVERIFY2(stateOf(*window) == known->second,
                         qPrintable(when + QLatin1Char(' ') + describe(stateOf(*window))));
        };
        const auto act = [&] {
            const int rows = window->stringCount();
            const int row = int(random.bounded(rows));
            const int column = 2 + 2 * int(random.bounded(4));
            switch (random.bounded(20)) {
            case 0:
            case 1:
                typeIntoCell(*window, row, column, texts[random.bounded(texts.size())]);
                press(Qt::Key_Return);
                break;
            case 2:
                focusCell(*window, row, column);
                click(*window, "addButton");
                break;
            case 3:
            case 4:
                focusCell(*window, row, 2);
                press(Qt::Key_Home);
                press(Qt::Key_Backspace);
                break;
            case 5:
                focusCell(*window, row, column);
                click(*window, "deleteButton");
                break;
            case 6:
            case 7:
                typeIntoMemory(*window, int(random.bounded(256)),
                               bytes[random.bounded(bytes.size())]);
                break;
            case 8:
                QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier);
                break;
            case 9:
                QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier);
                break;
            default:
                typeIntoCell(*window, row, column, texts[random.bounded(texts.size())]);
                break;
            }
            leaveCells(*window);
            click(*window, "editButton");
        };
        for (int i = 0; i < 150; ++i) {
            const int before = stack.index();
            act();
            if (stack.index() == before)
                QCOMPARE(stateOf(*window), states[before]);
            states[stack.index()] = stateOf(*window);
        }
        const int top = stack.index();
        QVERIFY(top > 60);
        for (int i = top; i > 0; --i) {
            undoKey(*window);
            QCOMPARE(stack.index(), i - 1);
            check(QStringLiteral("undo to %1").arg(i - 1));
        }
        for (int i = 1; i <= top; ++i) {
            redoKey(*window, i % 2 == 0);
            QCOMPARE(stack.index(), i);
            check(QStringLiteral("redo to %1").arg(i));
        }
        // Mixed: undo and redo a few, change something new, and check it all again.
        for (int round = 0; round < 40; ++round) {
            const quint32 choice = random.bounded(3);
            if (choice == 0) {
                undoKey(*window);
            } else if (choice == 1) {
                redoKey(*window);
            } else {
                const int before = stack.index();
                act();
                if (stack.index() != before) {
                    for (auto it = states.upper_bound(before); it != states.end();)
                        it = states.erase(it);
                }
                states[stack.index()] = stateOf(*window);
            }
            check(QStringLiteral("round %1").arg(round));
        }
    }
};

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
