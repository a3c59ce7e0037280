// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/rowmarks.h"

#include "app/constants.h"
#include "app/mainwindow.h"
#include "app/transitiontableview.h"
#include "cells/tablerows.h"
#include "sim/executionwindow.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QScrollArea>

#include <algorithm>
#include <utility>

RowMarks::RowMarks(MainWindow *window) : QObject(window), window_(window) {}

RowMarks::~RowMarks() = default;

QString RowMarks::toolTip()
{
    return QStringLiteral("Точка останова: щелчок — поставить/снять");
}

void RowMarks::follow(const orb::TableRows &rows, const TransitionTableView &view)
{
    view_ = &view;
    connect(&rows, &orb::TableRows::rowsInserted, this, [this](int first, int count) {
        for (int i = 0; i < count; ++i)
            rowInserted(first + i);
    });
    connect(&rows, &orb::TableRows::rowsRemoved, this, [this](int first, int count) {
        for (int i = count - 1; i >= 0; --i)
            rowRemoved(first + i);
    });
    connect(&rows, &orb::TableRows::rowsMoved, this, &RowMarks::rowMoved);
    connect(&rows, &orb::TableRows::rowsReset, this, &RowMarks::clear);
    connect(&view, &TransitionTableView::numberLabelMade, this, [this](int row, QLabel *label) {
        adoptLabel(label);
        restyle(row);
        if (!counts_.empty())
            label->setToolTip(toolTipOf(row));
    });
}

void RowMarks::rowMoved(int from, int to)
{
    if (from == to)
        return;
    std::set<int> moved;
    for (const int mark : breakpoints_) {
        if (mark == from)
            moved.insert(to);
        else if (from > to && mark >= to && mark < from)
            moved.insert(mark + 1);
        else if (from < to && mark > from && mark <= to)
            moved.insert(mark - 1);
        else
            moved.insert(mark);
    }
    std::set<int> changed = breakpoints_;
    changed.insert(moved.begin(), moved.end());
    breakpoints_ = std::move(moved);
    for (const int mark : changed)
        restyle(mark);
    breakpointsChanged();
}

void RowMarks::adoptLabel(QLabel *label)
{
    label->setToolTip(toolTip());
    // A filter, not the label's own handler: a label of a table locked by a run is disabled,
    // and a disabled widget's handlers get no clicks, while its filters do.
    label->installEventFilter(this);
}

void RowMarks::rowInserted(int row)
{
    std::set<int> moved;
    for (const int mark : breakpoints_)
        moved.insert(mark >= row ? mark + 1 : mark);
    std::set<int> changed = breakpoints_;
    changed.insert(moved.begin(), moved.end());
    breakpoints_ = std::move(moved);
    for (const int mark : changed)
        restyle(mark);
    breakpointsChanged();
}

void RowMarks::rowRemoved(int row)
{
    std::set<int> moved;
    for (const int mark : breakpoints_) {
        if (mark != row)
            moved.insert(mark > row ? mark - 1 : mark);
    }
    std::set<int> changed = breakpoints_;
    changed.insert(moved.begin(), moved.end());
    breakpoints_ = std::move(moved);
    for (const int mark : changed)
        restyle(mark);
    breakpointsChanged();
}

void RowMarks::clear()
{
    // Labels that outlive the table (the view may keep a row's label for the new table) lose
    // their marks too.
    std::set<int> marked = std::exchange(breakpoints_, {});
    marked.insert(std::exchange(currentRow_, -1));
    for (const int row : marked)
        restyle(row);
    breakpointsChanged();
}

void RowMarks::attach(ExecutionWindow *run)
{
    run_ = run;
    run->setBreakpoints(breakpoints());
    connect(run, &ExecutionWindow::currentRowChanged, this, &RowMarks::setCurrentRow);
    connect(run, &ExecutionWindow::engineCallFinished, this, &RowMarks::updateCounts);
    connect(run, &QObject::destroyed, this, [this] {
        run_ = nullptr; // gone already: its engine is not asked
        setCurrentRow(-1);
        updateCounts();
    });
    setCurrentRow(run->shownRow());
    updateCounts();
}

QString RowMarks::countText(int count)
{
    // "раз" after 1 and 5 … 20, "раза" after 2 … 4, by the last two digits.
    const int lastTwo = count % 100;
    const int last = count % 10;
    const bool few = last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14);
    return QStringLiteral("Выполнялась: %1 %2")
        .arg(count)
        .arg(few ? QStringLiteral("раза") : QStringLiteral("раз"));
}

QString RowMarks::toolTipOf(int row) const
{
    if (row < 0 || size_t(row) >= counts_.size())
        return toolTip();
    return toolTip() + u'\n' + countText(counts_[size_t(row)]);
}

void RowMarks::updateCounts()
{
    // Only the rows whose count changed get a new tool tip: a press changes one or two.
    const bool open = run_ && !run_->engine().rowArrivals().empty();
    const std::vector<int> counts = open ? run_->engine().rowArrivals() : std::vector<int>();
    const size_t rows = std::max(counts.size(), counts_.size());
    const bool wasOpen = !counts_.empty();
    const std::vector<int> shown = std::exchange(counts_, counts);
    for (size_t row = 0; row < rows; ++row) {
        const bool same = open == wasOpen && row < shown.size() && row < counts.size() &&
                          shown[row] == counts[row];
        if (same)
            continue;
        if (QLabel *label = view_ ? view_->builtNumberLabel(int(row)) : nullptr)
            label->setToolTip(toolTipOf(int(row)));
    }
}

void RowMarks::toggleBreakpoint(int row)
{
    if (row < 0 || row >= window_->stringCount())
        return;
    if (!breakpoints_.erase(row))
        breakpoints_.insert(row);
    restyle(row);
    breakpointsChanged();
}

void RowMarks::breakpointsChanged()
{
    if (run_)
        run_->setBreakpoints(breakpoints());
}

void RowMarks::setCurrentRow(int row)
{
    if (row >= window_->stringCount())
        row = -1;
    if (row == currentRow_)
        return;
    const int previous = currentRow_;
    currentRow_ = row;
    restyle(previous);
    restyle(row);
    QLabel *label = window_->rowNumberLabel(row);
    for (QWidget *parent = label; parent; parent = parent->parentWidget()) {
        if (auto *scrollArea = qobject_cast<QScrollArea *>(parent)) {
            // Rows added since the last pass of the event loop have no geometry yet.
            if (QLayout *layout = label->parentWidget()->layout())
                layout->activate();
            // A row either side stays in sight.
            scrollArea->ensureWidgetVisible(label, 0, label->height() + 6);
            break;
        }
    }
}

void RowMarks::restyle(int row) const
{
    // A label not made yet gets its style when it is made.
    QLabel *label = view_ ? view_->builtNumberLabel(row) : nullptr;
    if (!label)
        return;
    const bool breakpoint = hasBreakpoint(row);
    const bool current = row == currentRow_;
    const QString &style = breakpoint && current ? orb::currentBreakpointRowNumberStyle
                           : breakpoint          ? orb::breakpointRowNumberStyle
                           : current             ? orb::currentRowNumberStyle
                                                 : orb::rowNumberStyle;
    // Setting a style sheet parses it again, even the same one: every label a long table makes.
    if (label->styleSheet() != style)
        label->setStyleSheet(style);
}

bool RowMarks::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
        return false;
    const int row = view_ ? view_->rowOfLabel(watched) : -1;
    if (row < 0)
        return false;
    toggleBreakpoint(row);
    return true;
}
