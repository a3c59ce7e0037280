// SPDX-License-Identifier: GPL-3.0-or-later
//
// The editor: start-up, opening a document, inserting and deleting rows, peak memory.

#include "bench/bench.h"

#include "app/document.h"
#include "app/mainwindow.h"
#include "cells/ttlineedit.h"
#include "selfcheck/selfchecklink.h"
#include "tests/scriptedwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using editortest::ScriptedWindow;

namespace bench {

std::vector<Row> benchStartup()
{
    // Fresh processes, alternating, so that both pay the first use of fonts and styles.
    std::vector<double> mainTimes;
    std::vector<double> readyTimes;
    std::vector<double> floorTimes;
    for (int i = 0; i < repeatCount; ++i) {
        if (auto ms = runChild({u"--child-startup"_s, u"main"_s}); ms && ms->size() == 2) {
            mainTimes.push_back((*ms)[0]);
            readyTimes.push_back((*ms)[1]);
        }
        if (auto ms = runChild({u"--child-startup"_s, u"floor"_s}))
            floorTimes.push_back(ms->front());
    }
    const double mainMs = median(mainTimes);
    const double readyMs = median(readyTimes);
    const double floorMs = median(floorTimes);

    // The same in this process, after the first windows: what building costs by itself.
    std::vector<double> warmMain;
    std::vector<double> warmFloor;
    for (int i = 0; i < repeatCount; ++i) {
        QElapsedTimer timer;
        timer.start();
        {
            MainWindow window;
            showAndPaint(&window);
            warmMain.push_back(elapsedMs(timer));
        }
        timer.start();
        {
            std::unique_ptr<QWidget> window = buildFloorWindow();
            showAndPaint(window.get());
            warmFloor.push_back(elapsedMs(timer));
        }
        settle();
    }
    const double warmMainMs = median(warmMain);
    const double warmFloorMs = median(warmFloor);

    const auto row = [](const QString &action, double ms, double floor) {
        const double ratio = floor > 0 ? ms / floor : 0;
        return Row{action, u"≤ 1.3 × floor and ≤ 150 ms"_s,
                   u"%1 (floor %2, %3×)"_s.arg(formatMs(ms), formatMs(floor)).arg(ratio, 0, 'f', 2),
                   ms > 0 && floor > 0 && ratio <= 1.3 && ms <= 150};
    };
    return {row(u"start-up: MainWindow built, shown, painted (new process)"_s, mainMs, floorMs),
            row(u"start-up: the same, repeated in one process"_s, warmMainMs, warmFloorMs),
            {u"start-up until the memory page's cells exist too (new process)"_s, u"≤ 150 ms"_s,
             formatMs(readyMs), readyMs > 0 && readyMs <= 150}};
}

// Opens the document over a new one. With overSeenTable, over the same document scrolled
// through from top to end first (the worst case before the cells of rows out of view went).
Row benchOpen(const QString &path, bool overSeenTable)
{
    ScriptedWindow window;
    window.openAnswer = path;
    showAndPaint(&window);
    activate(&window);
    QAction *open = action(&window, "actionOpen");
    QAction *newDocument = action(&window, "actionNew");
    std::vector<double> times;
    bool loaded = true;
    for (int i = 0; i < repeatCount; ++i) {
        if (overSeenTable) {
            open->trigger();
            settle();
            seeEveryRow(&window);
        } else {
            newDocument->trigger();
        }
        settle();
        QElapsedTimer timer;
        timer.start();
        open->trigger();
        settle();
        times.push_back(elapsedMs(timer));
        loaded = loaded && window.stringCount() == documentRows && window.errorCount() == 0 &&
                 window.cellText(documentRows - 1, 6).size() == 27 &&
                 window.cellText(documentRows - 1, 8).size() == 36;
    }
    const double ms = median(times);
    return {u"open a 500-row document, every cell at its maximum length"_s +
                (overSeenTable ? u", over one scrolled through from top to end"_s : QString()),
            u"≤ 100 ms"_s, loaded ? formatMs(ms) : u"not loaded"_s, loaded && ms <= 100};
}

// With everyRow, the whole table is scrolled through first (the worst case: a user who has
// looked at every row).
std::vector<Row> benchInsertDelete(const QString &path, bool everyRow, bool checking)
{
    ScriptedWindow window;
    window.openAnswer = path;
    showAndPaint(&window);
    activate(&window);
    action(&window, "actionOpen")->trigger();
    settle();
    // The check window open on three cases, which run again after every change.
    const QString testsPath = QFileInfo(path).dir().filePath(u"full.orbtest"_s);
    if (checking && writeFile(testsPath, "case a\n expect end=success\ncase b\n set M00=01\n "
                                         "expect end=success\ncase c\n expect A=00\n")) {
        window.findChild<SelfCheckLink *>()->showCheck();
        activate(&window);
    }
    if (everyRow)
        seeEveryRow(&window);
    QPushButton *add = button(&window, "addButton");
    QPushButton *remove = button(&window, "deleteButton");

    // 499 rows, so that the insertion makes 500 (the most the table takes).
    window.ttCell(documentRows - 1, 2)->setFocus(Qt::OtherFocusReason);
    settle();
    QTest::mouseClick(remove, Qt::LeftButton);
    settle();

    std::vector<double> insertTimes;
    std::vector<double> deleteTimes;
    std::vector<double> undoTimes;
    bool ok = window.stringCount() == documentRows - 1;
    for (int i = 0; i < repeatCount && ok; ++i) {
        TTLineEdit *first = window.ttCell(0, 2);
        first->setFocus(Qt::OtherFocusReason);
        first->setCursorPosition(0);
        settle();
        const QString firstText = first->text();
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(add, Qt::LeftButton);
        settle();
        insertTimes.push_back(elapsedMs(timer));
        ok = window.stringCount() == documentRows && window.ttCell(0, 2)->text().isEmpty() &&
             window.ttCell(1, 2)->text() == firstText;

        window.ttCell(0, 2)->setFocus(Qt::OtherFocusReason);
        settle();
        timer.start();
        QTest::mouseClick(remove, Qt::LeftButton);
        settle();
        deleteTimes.push_back(elapsedMs(timer));
        ok = ok && window.stringCount() == documentRows - 1 &&
             window.ttCell(0, 2)->text() == firstText;

        // The deletion undone brings the row back at the top; its redo restores the 499.
        timer.start();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
        settle();
        undoTimes.push_back(elapsedMs(timer));
        ok = ok && window.stringCount() == documentRows && window.ttCell(1, 2)->text() == firstText;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z,
                        Qt::ControlModifier | Qt::ShiftModifier);
        settle();
        ok = ok && window.stringCount() == documentRows - 1;
    }
    const double insertMs = median(insertTimes);
    const double deleteMs = median(deleteTimes);
    const double undoMs = median(undoTimes);
    const QString worstCase = (everyRow ? u", every row seen"_s : QString()) +
                              (checking ? u", check window open"_s : QString());
    if (checking)
        QFile::remove(testsPath);
    const QString target = u"≤ 16 ms"_s;
    return {
        {u"insert a row at the top of a 500-row table (add button, row 1 focused)"_s + worstCase,
         target, ok ? formatMs(insertMs) : u"failed"_s, ok && insertMs <= 16},
        {u"delete the first row of a 500-row table"_s + worstCase, target,
         ok ? formatMs(deleteMs) : u"failed"_s, ok && deleteMs <= 16},
        {u"undo the deletion of the first row of a 500-row table (Ctrl+Z)"_s + worstCase, target,
         ok ? formatMs(undoMs) : u"failed"_s, ok && undoMs <= 16}};
}

std::vector<Row> benchPeakMemory(const QString &path)
{
    std::vector<Row> rows;
    for (const bool everyRow : {false, true}) {
        std::vector<double> sizes;
        for (int i = 0; i < 3; ++i) {
            if (auto kb = runChild(
                    {everyRow ? u"--child-peak-memory-every-row"_s : u"--child-peak-memory"_s,
                     path}))
                sizes.push_back(kb->front());
        }
        const double mb = median(sizes) / 1024;
        rows.push_back({u"peak memory of ORB with a 500-row document open"_s +
                            (everyRow ? u", scrolled through from top to end"_s : QString()),
                        u"≤ 60 MB"_s,
                        sizes.size() == 3 ? u"%1 MB"_s.arg(mb, 0, 'f', 1) : u"failed"_s,
                        sizes.size() == 3 && mb <= 60});
    }
    return rows;
}

} // namespace bench
