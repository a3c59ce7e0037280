// SPDX-License-Identifier: GPL-3.0-or-later
//
// The transition-table cell editor inside the main window: red marks and the error count as
// the user types and leaves cells, normalisation on leaving, the end-of-edit check on every
// focus loss, keyboard navigation and row deletion by Backspace.

#include "editorfixture.h"
#include "testutil.h"

#include "app/constants.h"
#include "app/mainwindow.h"
#include "cells/ttlineedit.h"

#include <QFocusEvent>
#include <QTest>

using namespace Qt::StringLiterals;

using namespace editortest;

class TestTTLineEdit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init();
    void cleanup();

    void rowRulesWhileEditing_data();
    void rowRulesWhileEditing();
    void styles();
    void commitWithoutFocus();
    void stateValidatorRefusesKeystrokes_data();
    void stateValidatorRefusesKeystrokes();
    void refusedStateTextStaysWrong();
    void keyNavigation_data();
    void keyNavigation();
    void backspaceDeletesRow_data();
    void backspaceDeletesRow();
    void backspaceDeletingTheFocusedLastRow();

private:
    std::unique_ptr<MainWindow> window;
};

void TestTTLineEdit::init()
{
    // Qt Test clears the patterns after each test function; initTestCase alone covers no test.
    testutil::failOnAnyWarning();
    window = showWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TestTTLineEdit::cleanup()
{
    if (window && window->ttCell(0, 2))
        QCOMPARE(window->errorCount(), countWrongCells(*window));
    window.reset();
}

void TestTTLineEdit::rowRulesWhileEditing_data()
{
    // Steps on row 1 of a two-row table: "<column>:<text>" focuses the cell, clears it and
    // types the text; "<column>" only focuses it; "leave" focuses row 2.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<Row>("texts");
    QTest::addColumn<QString>("marks");

    QTest::newRow("fresh row") << QStringList{} << blankRow << "++++";
    QTest::newRow("source state left alone marks the next state")
        << QStringList{u"2:5"_s, u"leave"_s} << Row{u"5"_s, u""_s, u""_s, u""_s} << u"+-++"_s;
    QTest::newRow("entering the next state clears its mark")
        << QStringList{u"2:5"_s, u"leave"_s, u"4"_s} << Row{u"5"_s, u""_s, u""_s, u""_s}
        << u"++++"_s;
    QTest::newRow("leaving it empty again marks it again")
        << QStringList{u"2:5"_s, u"leave"_s, u"4"_s, u"leave"_s} << Row{u"5"_s, u""_s, u""_s, u""_s}
        << u"+-++"_s;
    QTest::newRow("both states") << QStringList{u"2:5"_s, u"leave"_s, u"4:7"_s, u"leave"_s}
                                 << Row{u"5"_s, u"7"_s, u""_s, u""_s} << u"++++"_s;
    QTest::newRow("conditions mark both empty states")
        << QStringList{u"6:x1"_s, u"leave"_s} << Row{u""_s, u""_s, u"x1"_s, u""_s} << u"--++"_s;
    QTest::newRow("emptying the conditions clears both marks at once")
        << QStringList{u"6:x1"_s, u"leave"_s, u"6:"_s} << blankRow << u"++++"_s;
    QTest::newRow("emptying the conditions keeps a mark beside a state")
        << QStringList{u"6:x1"_s, u"leave"_s, u"2:3"_s, u"6:"_s} << Row{u"3"_s, u""_s, u""_s, u""_s}
        << u"+-++"_s;
    QTest::newRow("emptying the signals clears both state marks")
        << QStringList{u"2:3"_s, u"leave"_s, u"8:y7"_s, u"leave"_s, u"8:"_s}
        << Row{u"3"_s, u""_s, u""_s, u""_s} << u"++++"_s;
    QTest::newRow("typing never marks")
        << QStringList{u"6:x9"_s} << Row{u""_s, u""_s, u"x9"_s, u""_s} << u"++++"_s;
    QTest::newRow("wrong conditions are marked on leaving")
        << QStringList{u"2:1"_s, u"4:2"_s, u"6:x9"_s, u"leave"_s}
        << Row{u"1"_s, u"2"_s, u"x9"_s, u""_s} << u"++-+"_s;
    QTest::newRow("correcting the conditions clears the mark while typing")
        << QStringList{u"2:1"_s, u"4:2"_s, u"6:x9"_s, u"leave"_s, u"6:x1"_s}
        << Row{u"1"_s, u"2"_s, u"x1"_s, u""_s} << u"++++"_s;
    QTest::newRow("conditions normalised")
        << QStringList{u"2:1"_s, u"4:2"_s, u"6:C, -X1,z"_s, u"leave"_s}
        << Row{u"1"_s, u"2"_s, u"-x1,z,c"_s, u""_s} << u"++++"_s;
    QTest::newRow("constant condition kept")
        << QStringList{u"2:1"_s, u"4:2"_s, u"6:-B"_s, u"leave"_s}
        << Row{u"1"_s, u"2"_s, u"-B"_s, u""_s} << u"++++"_s;
    QTest::newRow("signals normalised")
        << QStringList{u"2:1"_s, u"4:2"_s, u"8:y6, Y10"_s, u"leave"_s}
        << Row{u"1"_s, u"2"_s, u""_s, u"y6,y10"_s} << u"++++"_s;
    QTest::newRow("signals normalised, states missing")
        << QStringList{u"8:y6, Y10"_s, u"leave"_s} << Row{u""_s, u""_s, u""_s, u"y6,y10"_s}
        << u"--++"_s;
    QTest::newRow("wrong signals stay as typed")
        << QStringList{u"8:y6,y"_s, u"leave"_s} << Row{u""_s, u""_s, u""_s, u"y6,y"_s} << u"--+-"_s;
    QTest::newRow("signals that are no signal vanish")
        << QStringList{u"2:1"_s, u"4:2"_s, u"8:y80"_s, u"leave"_s}
        << Row{u"1"_s, u"2"_s, u""_s, u""_s} << u"++++"_s;
    // Leaving a cell whose text did not change still ends the edit.
    QTest::newRow("unchanged state judged again")
        << QStringList{u"6:x1"_s, u"leave"_s, u"2"_s, u"leave"_s}
        << Row{u""_s, u""_s, u"x1"_s, u""_s} << u"--++"_s;
}

void TestTTLineEdit::rowRulesWhileEditing()
{
    QFETCH(QStringList, steps);
    QFETCH(Row, texts);
    QFETCH(QString, marks);

    window->addString(1);
    QCOMPARE(window->stringCount(), 2);
    focusCell(*window, 0, 2);
    for (const QString &step : steps) {
        if (step == QLatin1String("leave")) {
            focusCell(*window, 1, 2);
            continue;
        }
        const int column = step.section(u':', 0, 0).toInt();
        focusCell(*window, 0, column);
        if (step.contains(u':')) {
            window->ttCell(0, column)->selectAll();
            press(Qt::Key_Delete);
            type(step.section(u':', 1));
        }
    }
    QCOMPARE(rowTexts(*window, 0), texts);
    QCOMPARE(rowMarks(*window, 0), marks);
    QCOMPARE(window->errorCount(), int(marks.count(u'-')));
}

void TestTTLineEdit::styles()
{
    TTLineEdit *cell = window->ttCell(0, 6);
    QCOMPARE(cell->styleSheet(), orb::correctCellStyle);
    cell->setCorrect(false);
    QCOMPARE(cell->styleSheet(), orb::incorrectCellStyle);
    QCOMPARE(window->errorCount(), 1);
    cell->setCorrect(false);
    QCOMPARE(window->errorCount(), 1);
    cell->setCorrect(true);
    QCOMPARE(cell->styleSheet(), orb::correctCellStyle);
    QCOMPARE(window->errorCount(), 0);
    cell->setCorrect(true);
    QCOMPARE(window->errorCount(), 0);
    // A red cell differs from a correct one by its border only.
    QCOMPARE(QString(orb::incorrectCellStyle).remove(QStringLiteral("border: 1px solid #E28383;")),
             orb::correctCellStyle);
}

void TestTTLineEdit::commitWithoutFocus()
{
    // A focus-out sent to a cell that does not have the focus (as a caller may send it) and
    // the commit of a loaded cell must both judge and normalise it.
    focusCell(*window, 0, 2);
    TTLineEdit *conditions = window->ttCell(0, 6);
    conditions->setText(QStringLiteral("C,x4,!z"));
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("++++"));
    QFocusEvent focusOut(QEvent::FocusOut, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(conditions, &focusOut);
    QCOMPARE(conditions->text(), QStringLiteral("x4,!z,c"));
    QCOMPARE(conditions->parsedConditions().operandIndexes[0], 0);
    QCOMPARE(conditions->parsedConditions().operandIndexes[1], 4);
    QCOMPARE(conditions->parsedConditions().operandIndexes[2], 6);
    QCOMPARE(conditions->parsedConditions().operandIndexes[3], -1);
    QCOMPARE(conditions->parsedConditions().operandExpected[1], quint8(0));
    QCOMPARE(conditions->parsedConditions().operandExpected[2], quint8(1));
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("--++"));

    TTLineEdit *signalCell = window->ttCell(0, 8);
    signalCell->setText(QStringLiteral("y21, y7"));
    signalCell->commit();
    QCOMPARE(signalCell->text(), QStringLiteral("y7,y21"));
    QCOMPARE(signalCell->parsedSignals().count(), 2);
    QCOMPARE(signalCell->parsedSignals().signalNumbers[0], 7);

    window->ttCell(0, 2)->fillAndCommit(QStringLiteral("12"));
    window->ttCell(0, 4)->fillAndCommit(QStringLiteral("1234"));
    QCOMPARE(rowTexts(*window, 0), (Row{u"12"_s, u"123"_s, u"x4,!z,c"_s, u"y7,y21"_s}));
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("++++"));
}

void TestTTLineEdit::stateValidatorRefusesKeystrokes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::newRow("three digits") << "999"
                                  << "999";
    QTest::newRow("leading zeros kept") << "007"
                                        << "007";
    QTest::newRow("fourth digit refused") << "1000"
                                          << "100";
    QTest::newRow("letter refused") << "12a"
                                    << "12";
    QTest::newRow("sign refused") << "-5"
                                  << "5";
    QTest::newRow("blank refused") << "1 2"
                                   << "12";
}

void TestTTLineEdit::stateValidatorRefusesKeystrokes()
{
    QFETCH(QString, typed);
    QFETCH(QString, text);
    focusCell(*window, 0, 4);
    type(typed);
    QCOMPARE(window->ttCell(0, 4)->text(), text);
}

void TestTTLineEdit::refusedStateTextStaysWrong()
{
    // Only a document can put such a text into a state cell. Nothing but a valid text may
    // clear its mark: no row rule, no focus-in, no re-activation of the window.
    window->addString(1);
    window->ttCell(0, 2)->fillAndCommit(QStringLiteral("1a"));
    window->ttCell(0, 4)->fillAndCommit(QStringLiteral("2"));
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("-+++"));
    QCOMPARE(window->errorCount(), 1);

    TTLineEdit *source = window->ttCell(0, 2);
    source->setCorrect(true);
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("-+++"));
    focusCell(*window, 0, 2);
    QCOMPARE(focused(), source);
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("-+++"));
    QCOMPARE(source->styleSheet(), orb::incorrectCellStyle);
    focusCell(*window, 0, 8);
    focusCell(*window, 0, 8);
    type(QStringLiteral("y7"));
    focusCell(*window, 1, 2);
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("-+++"));

    focusCell(*window, 0, 2);
    QWidget other;
    QVERIFY(testutil::activate(&other));
    QVERIFY(testutil::activate(window.get()));
    QCOMPARE(focused(), source);
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("-+++"));

    // Correcting the text clears the mark as usual.
    source->selectAll();
    type(QStringLiteral("1"));
    QCOMPARE(source->text(), QStringLiteral("1"));
    QCOMPARE(rowMarks(*window, 0), QStringLiteral("++++"));
}

void TestTTLineEdit::keyNavigation_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("cursor"); // -1: at the end of the text
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("toRow");
    QTest::addColumn<int>("toColumn");
    QTest::addColumn<int>("toCursor"); // -1: at the end, -2: not checked

    const int none = Qt::NoModifier;
    const int shift = Qt::ShiftModifier;
    QTest::newRow("W") << 1 << 4 << 0 << int(Qt::Key_W) << none << 0 << 4 << -2;
    QTest::newRow("Shift+W") << 1 << 4 << 0 << int(Qt::Key_W) << shift << 0 << 4 << -2;
    QTest::newRow("W in the first row") << 0 << 4 << 0 << int(Qt::Key_W) << none << 0 << 4 << 0;
    QTest::newRow("Up") << 1 << 6 << 1 << int(Qt::Key_Up) << none << 0 << 6 << -2;
    QTest::newRow("S") << 0 << 2 << 0 << int(Qt::Key_S) << none << 1 << 2 << -2;
    QTest::newRow("Down in the last row")
        << 2 << 8 << 1 << int(Qt::Key_Down) << none << 2 << 8 << 1;
    QTest::newRow("A") << 1 << 4 << 1 << int(Qt::Key_A) << none << 1 << 2 << -2;
    QTest::newRow("Shift+A to the previous row")
        << 1 << 2 << 1 << int(Qt::Key_A) << shift << 0 << 8 << -1;
    QTest::newRow("A in the first cell") << 0 << 2 << 1 << int(Qt::Key_A) << none << 0 << 2 << 1;
    QTest::newRow("Left at the start") << 1 << 6 << 0 << int(Qt::Key_Left) << none << 1 << 4 << -2;
    QTest::newRow("Left inside the text")
        << 1 << 6 << 1 << int(Qt::Key_Left) << none << 1 << 6 << 0;
    QTest::newRow("D") << 1 << 2 << 0 << int(Qt::Key_D) << none << 1 << 4 << -2;
    QTest::newRow("Shift+D to the next row")
        << 0 << 8 << 0 << int(Qt::Key_D) << shift << 1 << 2 << 0;
    QTest::newRow("Right at the end of the signals")
        << 1 << 8 << -1 << int(Qt::Key_Right) << none << 2 << 2 << 0;
    QTest::newRow("Right at the end of the last signals")
        << 2 << 8 << -1 << int(Qt::Key_Right) << none << 2 << 8 << -1;
    QTest::newRow("Right inside the text")
        << 1 << 8 << 0 << int(Qt::Key_Right) << none << 1 << 8 << 1;
    QTest::newRow("Backspace at the start of the conditions")
        << 1 << 6 << 0 << int(Qt::Key_Backspace) << none << 1 << 4 << -2;
    QTest::newRow("Ctrl+A selects")
        << 1 << 6 << 0 << int(Qt::Key_A) << int(Qt::ControlModifier) << 1 << 6 << -1;
}

void TestTTLineEdit::keyNavigation()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, cursor);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, toRow);
    QFETCH(int, toColumn);
    QFETCH(int, toCursor);

    setRows(*window, {{u"10"_s, u"11"_s, u"x1"_s, u"y6"_s},
                      {u"20"_s, u"21"_s, u"x2"_s, u"y7"_s},
                      {u"30"_s, u"31"_s, u"x3"_s, u"y8"_s}});
    const QList<Row> before = {rowTexts(*window, 0), rowTexts(*window, 1), rowTexts(*window, 2)};
    for (int r = 0; r < 3; ++r) {
        for (int c = 2; c <= 8; c += 2)
            window->ttCell(r, c)->setCursorPosition(1);
    }
    TTLineEdit *start = window->ttCell(row, column);
    start->setCursorPosition(cursor < 0 ? int(start->text().size()) : cursor);
    focusCell(*window, row, column);
    QTest::keyClick(start, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    TTLineEdit *target = window->ttCell(toRow, toColumn);
    QCOMPARE(focused(), target);
    if (toCursor == -1)
        QCOMPARE(target->cursorPosition(), int(target->text().size()));
    else if (toCursor >= 0)
        QCOMPARE(target->cursorPosition(), toCursor);
    // Navigation keys type nothing.
    for (int r = 0; r < 3; ++r)
        QCOMPARE(rowTexts(*window, r), before[r]);
    QCOMPARE(window->currentString(), toRow);
    QCOMPARE(window->currentColumn(), toColumn);
}

void TestTTLineEdit::backspaceDeletesRow_data()
{
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<QStringList>("expectedSources");
    QTest::addColumn<int>("focusRow");

    QTest::newRow("second row") << 3 << 1 << false << 2 << QStringList{u"0"_s, u"2"_s} << 0;
    QTest::newRow("first row of three") << 3 << 0 << false << 2 << QStringList{u"1"_s, u"2"_s} << 0;
    QTest::newRow("only row") << 1 << 0 << false << 1 << QStringList{u"0"_s} << 0;
    // With the text selected Backspace edits the text as usual.
    QTest::newRow("selected text")
        << 3 << 1 << true << 3 << QStringList{u"0"_s, u""_s, u"2"_s} << 1;
}

void TestTTLineEdit::backspaceDeletesRow()
{
    QFETCH(int, rowCount);
    QFETCH(int, row);
    QFETCH(bool, selected);
    QFETCH(int, expectedCount);
    QFETCH(QStringList, expectedSources);
    QFETCH(int, focusRow);

    QList<Row> rows;
    for (int r = 0; r < rowCount; ++r)
        rows << Row{QString::number(r), QString::number(r + 1), u""_s,
                    u"y"_s + QString::number(r + 6)};
    setRows(*window, rows);
    focusCell(*window, row, 2);
    TTLineEdit *cell = window->ttCell(row, 2);
    if (selected)
        cell->selectAll();
    cell->setCursorPosition(0);
    if (selected)
        cell->setSelection(1, -1);
    press(Qt::Key_Backspace);

    QCOMPARE(window->stringCount(), expectedCount);
    QStringList sources;
    for (int r = 0; r < expectedCount; ++r)
        sources << window->ttCell(r, 2)->text();
    QCOMPARE(sources, expectedSources);
    QCOMPARE(focused(), window->ttCell(focusRow, 2));
}

void TestTTLineEdit::backspaceDeletingTheFocusedLastRow()
{
    // The deletion destroys the very cell whose key handler runs.
    setRows(*window, {{u"0"_s, u"1"_s, u""_s, u""_s},
                      {u"1"_s, u""_s, u""_s, u""_s},
                      {u""_s, u""_s, u"x1"_s, u""_s}});
    QCOMPARE(window->errorCount(), 3);
    focusCell(*window, 2, 2);
    QPointer<TTLineEdit> last = window->ttCell(2, 2);
    press(Qt::Key_Backspace);
    QCOMPARE(window->stringCount(), 2);
    QCOMPARE(window->errorCount(), 1);
    QCOMPARE(focused(), window->ttCell(1, 2));
    QCOMPARE(window->currentString(), 1);
    QTRY_VERIFY(!last);
    QCOMPARE(window->findChildren<TTLineEdit *>().size(), 8);

    // And again from the new last row, with typing in between.
    type(QStringLiteral("7"));
    window->ttCell(1, 2)->setCursorPosition(0);
    press(Qt::Key_Backspace);
    QCOMPARE(window->stringCount(), 1);
    QCOMPARE(focused(), window->ttCell(0, 2));
    QCOMPARE(window->errorCount(), 0);
}

QTEST_MAIN(TestTTLineEdit)
#include "tst_ttlineedit.moc"
