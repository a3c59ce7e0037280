// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/rowmarks.h"

#include "app/constants.h"
#include "cells/tablerows.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>
#include <utility>

RowMarks::RowMarks(const orb::TableRows &rows, QObject *parent) : QObject(parent), rows_(rows)
{
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
}

RowMarks::~RowMarks() = default;

QString RowMarks::toolTip()
{
    return QStringLiteral("Точка останова: щелчок — поставить/снять");
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
    emit breakpointsChanged();
}

void RowMarks::labelMade(int row, QLabel *label)
{
    if (size_t(row) >= labels_.size())
        labels_.resize(size_t(row) + 1);
    labels_[size_t(row)] = label;
    label->setToolTip(toolTipOf(row));
    // A filter, not the label's own handler: a label of a table locked by a run is disabled,
    // and a disabled widget's handlers get no clicks, while its filters do.
    label->installEventFilter(this);
    restyle(row);
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
    emit breakpointsChanged();
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
    emit breakpointsChanged();
}

void RowMarks::clear()
{
    // Labels that outlive the table (the view may keep a row's label for the new table) lose
    // their marks too.
    std::set<int> marked = std::exchange(breakpoints_, {});
    marked.insert(std::exchange(currentRow_, -1));
    for (const int row : marked)
        restyle(row);
    emit breakpointsChanged();
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

void RowMarks::setCounts(std::vector<int> counts)
{
    // Only the rows whose count changed get a new tool tip: a press changes one or two.
    const bool open = !counts.empty();
    const size_t rows = std::max(counts.size(), counts_.size());
    const bool wasOpen = !counts_.empty();
    const std::vector<int> shown = std::exchange(counts_, std::move(counts));
    for (size_t row = 0; row < rows; ++row) {
        const bool same = open == wasOpen && row < shown.size() && row < counts_.size() &&
                          shown[row] == counts_[row];
        if (same)
            continue;
        if (QLabel *label = labelOf(int(row)))
            label->setToolTip(toolTipOf(int(row)));
    }
}

void RowMarks::toggleBreakpoint(int row)
{
    if (row < 0 || row >= rows_.rowCount())
        return;
    if (!breakpoints_.erase(row))
        breakpoints_.insert(row);
    restyle(row);
    emit breakpointsChanged();
}

void RowMarks::setCurrentRow(int row)
{
    if (row >= rows_.rowCount())
        row = -1;
    if (row == currentRow_)
        return;
    const int previous = currentRow_;
    currentRow_ = row;
    restyle(previous);
    restyle(row);
    emit markedRowChanged(row);
}

QLabel *RowMarks::labelOf(int row) const
{
    // A label of a deleted last row lingers until its deferred deletion.
    if (row < 0 || row >= rows_.rowCount() || size_t(row) >= labels_.size())
        return nullptr;
    return labels_[size_t(row)];
}

void RowMarks::restyle(int row) const
{
    // A label not made yet gets its style when it is made.
    QLabel *label = labelOf(row);
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
    const auto it = std::find(labels_.begin(), labels_.end(), watched);
    const int row = int(it - labels_.begin());
    if (it == labels_.end() || row >= rows_.rowCount())
        return false;
    toggleBreakpoint(row);
    return true;
}
