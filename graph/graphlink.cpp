// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graphlink.h"

#include "app/mainwindow.h"
#include "cells/ttlineedit.h"
#include "graph/graphmodel.h"
#include "graph/graphview.h"
#include "graph/graphwindow.h"
#include "sim/executionwindow.h"

#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// The main window's table as it stands, read without building the cells of rows that have none.
class EditorTable final : public orb::TableSource {
public:
    explicit EditorTable(const MainWindow *window) : window_(window) {}
    int rowCount() const override { return window_->stringCount(); }
    QString cellText(int row, int field) const override
    {
        return window_->cellText(row, orb::gridColumnOfField(field));
    }
    orb::ParsedConditions parsedConditions(int row) const override
    {
        return window_->parsedConditions(row);
    }
    orb::ParsedSignals parsedSignals(int row) const override { return window_->parsedSignals(row); }

private:
    const MainWindow *window_;
};

} // namespace

GraphLink::GraphLink(MainWindow *window) : QObject(window), window_(window)
{
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(relayoutDelayMs);
    connect(timer_, &QTimer::timeout, this, [this] { rebuild(false); });
    connect(window, &MainWindow::tableChanged, this, &GraphLink::tableChanged);
    connect(window, &MainWindow::launched, this, &GraphLink::attach);
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
        connect(graph_, &GraphWindow::rowChosen, this, &GraphLink::chooseRow);
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
    const EditorTable table(window_);
    std::vector<bool> wrongRows(size_t(table.rowCount()), false);
    QStringList texts;
    texts.reserve(table.rowCount());
    for (int row = 0; row < table.rowCount(); ++row) {
        QString line;
        for (int field = 0; field < orb::fieldCount; ++field) {
            const int column = orb::gridColumnOfField(field);
            if (!window_->cellCorrect(row, column))
                wrongRows[size_t(row)] = true;
            line += table.cellText(row, field) + u'\t';
        }
        texts << line + (wrongRows[size_t(row)] ? u"!"_s : QString());
    }
    // Leaving a cell unchanged commits it too; the same table is not laid out again.
    if (!force && texts == drawnTable_)
        return;
    drawnTable_ = texts;
    graph_->setGraph(orb::buildGraphModel(table, wrongRows));
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

void GraphLink::chooseRow(int row)
{
    if (row < 0 || row >= window_->stringCount())
        return;
    // A run locks the table: it is only scrolled to the row. Otherwise the row's first cell
    // takes the focus, which scrolls it into view.
    QLabel *label = window_->rowNumberLabel(row);
    for (QWidget *parent = label; parent; parent = parent->parentWidget()) {
        if (auto *scrollArea = qobject_cast<QScrollArea *>(parent)) {
            if (QLayout *layout = label->parentWidget()->layout())
                layout->activate();
            scrollArea->ensureWidgetVisible(label, 0, label->height() + 6);
            break;
        }
    }
    if (run_)
        return;
    TTLineEdit *cell = window_->ttCell(row, 2);
    window_->activateWindow();
    cell->setFocus(Qt::OtherFocusReason);
    window_->setCurrentCell(row, 2);
}
