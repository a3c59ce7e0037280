#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// A shown, active editor window for the widget tests of the main window and its cells, with
// helpers that type and move the focus as a user does. Focus-dependent behaviour (focus-in
// rules, end-of-edit checks on focus loss, key navigation) needs the window to be active.

#include "app/mainwindow.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "sim/executionwindow.h"
#include "scriptedwindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace editortest {

// The four cell texts of a row, source state to control signals.
using Row = QStringList;
inline const Row blankRow = {QString(), QString(), QString(), QString()};

inline std::unique_ptr<MainWindow> showWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    window->activateWindow();
    return window;
}

inline QWidget *focused()
{
    return QApplication::focusWidget();
}

// Types into the focused widget, as the keyboard does; also Cyrillic letters, which
// QTest::keyClicks cannot send.
inline void type(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(focused(), char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, focused(), Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
    }
}

inline void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(focused(), key, modifiers);
}

// The execution window that is open, or nullptr; and how many are.
inline ExecutionWindow *openExecutionWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<ExecutionWindow *>(widget))
            return window;
    }
    return nullptr;
}

// Clicks the start button as a student does; returns the execution window that opened.
inline ExecutionWindow *pressStart(QWidget &editor)
{
    QTest::mouseClick(editor.findChild<QPushButton *>(QStringLiteral("startButton")),
                      Qt::LeftButton);
    return openExecutionWindow();
}

inline int executionWindowCount()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        count += int(qobject_cast<ExecutionWindow *>(widget) != nullptr);
    return count;
}

// Moves the focus as the navigation keys do (focus reason "other": the cursor stays put).
inline void focusCell(MainWindow &window, int row, int column)
{
    window.ttCell(row, column)->setFocus(Qt::OtherFocusReason);
}

// Gives the table the rows given through its cells: rows are added until there are enough,
// then every cell is filled and committed, as loading a document filled them before Open
// took the headless loader (tst_tablerows holds the two against each other). Rows beyond the
// list stay as they are.
inline void setRows(MainWindow &window, const QList<Row> &rows)
{
    while (window.stringCount() < rows.size())
        window.addString(window.stringCount());
    for (int row = 0; row < rows.size(); ++row) {
        for (int field = 0; field < 4; ++field)
            window.ttCell(row, 2 * field + 2)->fillAndCommit(rows[row].value(field));
    }
}

// The texts of the 256 memory cells.
inline QStringList memoryTexts(const MainWindow &window)
{
    QStringList texts;
    for (int address = 0; address < 256; ++address)
        texts << window.ramCell(address / 16, address % 16)->text();
    return texts;
}

inline Row rowTexts(const MainWindow &window, int row)
{
    Row texts;
    for (int field = 0; field < 4; ++field)
        texts << window.ttCell(row, 2 * field + 2)->text();
    return texts;
}

// The correct flags of a row as a string of four characters: '+' correct, '-' wrong.
inline QString rowMarks(const MainWindow &window, int row)
{
    QString marks;
    for (int column = 2; column <= 8; column += 2)
        marks += window.ttCell(row, column)->isCorrect() ? QLatin1Char('+') : QLatin1Char('-');
    return marks;
}

inline int countWrongCells(const MainWindow &window)
{
    int wrong = 0;
    for (int row = 0; row < window.stringCount(); ++row)
        wrong += int(rowMarks(window, row).count(QLatin1Char('-')));
    return wrong;
}

} // namespace editortest
