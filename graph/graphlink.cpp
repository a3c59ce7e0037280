// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graphlink.h"

#include "cells/tablerows.h"
#include "graph/graphmodel.h"
#include "graph/graphview.h"
#include "graph/graphwindow.h"
#include "sim/executionwindow.h"

#include <QKeySequence>
#include <QShortcut>
#include <QTimer>

using namespace Qt::StringLiterals;

GraphLink::GraphLink(const orb::TableRows &rows, QWidget *window) : QObject(window), rows_(rows)
{
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(relayoutDelayMs);
    connect(timer_, &QTimer::timeout, this, [this] { rebuild(false); });
    // Whatever changes the rows (edits, inserts, deletes, undo, New, Open) redraws the graph; so
    // does a commit, which restarts the delay even when it changed nothing.
    for (auto change : {&orb::TableRows::rowsInserted, &orb::TableRows::rowsRemoved,
                        &orb::TableRows::rowsChanged})
        connect(&rows, change, this, &GraphLink::tableChanged);
    connect(&rows, &orb::TableRows::cellCommitted, this, &GraphLink::tableChanged);
    connect(&rows, &orb::TableRows::rowsMoved, this, &GraphLink::tableChanged);
    connect(&rows, &orb::TableRows::rowsReset, this, &GraphLink::tableChanged);
    installShortcut(window);
}

GraphLink::~GraphLink()
{
    delete graph_;
}

QKeySequence GraphLink::graphKey()
{
    return QKeySequence(Qt::Key_F2);
}

void GraphLink::installShortcut(QWidget *window)
{
    auto *shortcut = new QShortcut(graphKey(), window);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this] { showGraph(); });
}

GraphWindow *GraphLink::graphWindow() const
{
    return graph_;
}

GraphWindow *GraphLink::showGraph()
{
    const bool opened = !graph_;
    if (opened) {
        graph_ = new GraphWindow;
        connect(graph_, &GraphWindow::rowChosen, this, [this](int row) {
            if (row >= 0 && row < rows_.rowCount())
                emit rowSelected(row);
        });
    }
    if (graph_->isVisible()) {
        graph_->raise();
    } else {
        // Closing only hides it; on showing again it is drawn from the table as it is now.
        graph_->show();
        drawnTable_.clear();
    }
    graph_->activateWindow();
    rebuild(true);
    return graph_;
}

void GraphLink::attach(ExecutionWindow *run)
{
    run_ = run;
    installShortcut(run);
    connect(run, &ExecutionWindow::engineCallFinished, this, &GraphLink::updateRunMarks);
    connect(run, &QObject::destroyed, this, [this] {
        if (graph_)
            graph_->clearRunMarks();
    });
    updateRunMarks();
}

void GraphLink::tableChanged()
{
    if (graph_ && graph_->isVisible())
        timer_->start();
}

void GraphLink::rebuild(bool force)
{
    if (!graph_ || !graph_->isVisible())
        return;
    std::vector<bool> wrongRows(size_t(rows_.rowCount()), false);
    QStringList texts;
    texts.reserve(rows_.rowCount());
    for (int row = 0; row < rows_.rowCount(); ++row) {
        QString line;
        for (int field = 0; field < orb::fieldCount; ++field) {
            if (!rows_.isCorrect(row, field))
                wrongRows[size_t(row)] = true;
            line += rows_.cellText(row, field) + u'\t';
        }
        texts << line + (wrongRows[size_t(row)] ? u"!"_s : QString());
    }
    // Leaving a cell unchanged commits it too; the same table is not laid out again.
    if (!force && texts == drawnTable_)
        return;
    drawnTable_ = texts;
    graph_->setGraph(orb::buildGraphModel(rows_, wrongRows));
    updateRunMarks();
}

void GraphLink::updateRunMarks()
{
    if (!graph_)
        return;
    if (!run_) {
        graph_->clearRunMarks();
        return;
    }
    const orb::StepEngine &engine = run_->engine();
    int current = engine.afterPanel().sourceState;
    // A run that stopped for want of a state's rows ends in that state.
    if (!engine.running() && !engine.state().succeeded)
        current = engine.state().nextState;
    graph_->setRunMarks(orb::runMarks(graph_->view()->model(), engine.takenTransitions(), current));
}
