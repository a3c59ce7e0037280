#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Ties the graph window to the editor's rows: F2 in the editor's window or in an execution
// window opens it; it is drawn anew 200 ms after the last change of the rows (a committed
// cell, a row inserted or deleted, New, Open), shows where an open run is, and a click on it
// asks for the row to be selected (rowSelected). The main window owns one; the window itself
// has no parent, so that it is a window of its own, and goes with its link.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <vector>

class ExecutionWindow;
class GraphWindow;
class QKeySequence;
class QTimer;
class QWidget;

namespace orb {
class TableRows;
}

class GraphLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GraphLink)

public:
    static constexpr int relayoutDelayMs = 200;

    // F2 opens the graph in `window`, which owns the link.
    GraphLink(const orb::TableRows &rows, QWidget *window);
    ~GraphLink() override;

    static QKeySequence graphKey();

    // Opens the window (or brings it forward) on the table as it is now.
    GraphWindow *showGraph();
    // The window if it is open.
    GraphWindow *graphWindow() const;
    // A run has started: F2 there opens the window too, and the window follows it.
    void attach(ExecutionWindow *run);

signals:
    // A click on the graph chose a row (from 0) of the table.
    void rowSelected(int row);

private:
    void installShortcut(QWidget *window);
    void tableChanged();
    void rebuild(bool force);
    void updateRunMarks();

    const orb::TableRows &rows_;
    QPointer<GraphWindow> graph_;
    QPointer<ExecutionWindow> run_;
    QTimer *timer_ = nullptr;
    // The table as last drawn: its texts and marks, row by row.
    QStringList drawnTable_;
};
