// SPDX-License-Identifier: GPL-3.0-or-later
//
// The child processes of this program: start-up and peak memory are measured in a fresh
// process each time.

#include "bench/bench.h"

#include "app/mainwindow.h"
#include "tests/scriptedwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableWidget>

#include <cstdio>
#include <memory>

using namespace Qt::StringLiterals;
using editortest::ScriptedWindow;

namespace bench {

// Prints the time to build, show and paint one window, as the first window of a fresh process,
// and the time until the main window's memory page is ready too (its cells are built after the
// first paint).
int childStartup(const QString &kind)
{
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QWidget> window =
        kind == "main"_L1 ? std::unique_ptr<QWidget>(new MainWindow) : buildFloorWindow();
    if (!showAndPaint(window.get()))
        return 1;
    const double paintedMs = elapsedMs(timer);
    if (kind == "main"_L1) {
        // Looked up by name: the accessor would build the cells at once.
        const auto *memory = window->findChild<QTableWidget *>(u"ramTable"_s);
        while (!memory->cellWidget(15, 15) && timer.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    std::printf("%.3f %.3f\n", paintedMs, elapsedMs(timer));
    return 0;
}

// Opens a document in a shown main window and prints the peak resident size in kB.
// With everyRow, the whole table is scrolled through too.
int childPeakMemory(const QString &path, bool everyRow)
{
    ScriptedWindow window;
    window.openAnswer = path;
    showAndPaint(&window);
    activate(&window);
    action(&window, "actionOpen")->trigger();
    settle();
    if (window.stringCount() != documentRows)
        return 1;
    if (everyRow)
        seeEveryRow(&window);
    window.repaint();
    // VmHWM, not getrusage's ru_maxrss: that one survives exec, so it would report the parent's
    // size at the fork when the parent was larger.
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            std::printf("%s\n", line.mid(6).trimmed().split(' ').value(0).constData());
            return 0;
        }
    }
    return 1;
}

} // namespace bench
