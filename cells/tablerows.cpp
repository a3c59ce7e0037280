// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/tablerows.h"

#include <algorithm>

namespace orb {

// The row rules see one row of the store; every change is noted for the signal.
class TableRows::Access final : public RowCells {
public:
    Access(TableRows &rows, int index) : rows_(rows), row_(rows.rows_[size_t(index)]) {}

    bool changed = false;

    QString cellText(int field) const override { return row_.cells[size_t(field)].text; }

    void setCellText(int field, const QString &text) override
    {
        const QString truncated = text.left(maxLengthOfField(field));
        HeadlessTable::Cell &cell = row_.cells[size_t(field)];
        if (cell.text == truncated)
            return;
        cell.text = truncated;
        changed = true;
        RowRules::textChanged(*this, field);
    }

    void setCellCorrect(int field, bool correct) override
    {
        HeadlessTable::Cell &cell = row_.cells[size_t(field)];
        if (correct && isStateField(field) && !isStateTextValid(cell.text))
            correct = false;
        if (correct == cell.correct)
            return;
        cell.correct = correct;
        changed = true;
        rows_.errorCount_ += correct ? -1 : 1;
    }

    // The rules rebuild a parsed form whenever they check a text; it follows the text, so a
    // change of it alone is no change of the row.
    ParsedConditions &parsedConditions() override { return row_.conditions; }
    ParsedSignals &parsedSignals() override { return row_.signalNumbers; }

private:
    TableRows &rows_;
    Row &row_;
};

TableRows::TableRows(QObject *parent) : QObject(parent) {}

TableRows::~TableRows() = default;

QString TableRows::cellText(int row, int field) const
{
    return rows_[size_t(row)].cells[size_t(field)].text;
}

bool TableRows::isCorrect(int row, int field) const
{
    return rows_[size_t(row)].cells[size_t(field)].correct;
}

void TableRows::setCurrentRow(int row)
{
    if (row == currentRow_)
        return;
    currentRow_ = row;
    emit currentRowChanged(row);
}

int TableRows::wrongCells(const Row &row)
{
    return int(std::count_if(row.cells.begin(), row.cells.end(),
                             [](const HeadlessTable::Cell &cell) { return !cell.correct; }));
}

void TableRows::finish(int row, int errorsBefore, bool changed)
{
    if (changed)
        emit rowsChanged(row, 1);
    if (errorCount_ != errorsBefore)
        emit errorCountChanged(errorCount_);
}

void TableRows::setCellText(int row, int field, const QString &text)
{
    const int errors = errorCount_;
    Access access(*this, row);
    access.setCellText(field, text);
    finish(row, errors, access.changed);
}

void TableRows::setCellCorrect(int row, int field, bool correct)
{
    const int errors = errorCount_;
    Access access(*this, row);
    access.setCellCorrect(field, correct);
    finish(row, errors, access.changed);
}

void TableRows::editingFinished(int row, int field)
{
    const int errors = errorCount_;
    Access access(*this, row);
    RowRules::editingFinished(access, field);
    finish(row, errors, access.changed);
    emit cellCommitted(row);
}

void TableRows::focusIn(int row, int field)
{
    const int errors = errorCount_;
    Access access(*this, row);
    RowRules::focusIn(access, field);
    finish(row, errors, access.changed);
}

void TableRows::fillAndCommit(int row, int field, const QString &text)
{
    const int errors = errorCount_;
    Access access(*this, row);
    RowRules::fillAndCommit(access, field, text);
    finish(row, errors, access.changed);
}

int TableRows::judgeForLaunch()
{
    int marked = 0;
    for (int row = 0; row < rowCount(); ++row) {
        std::array<QString, fieldCount> texts;
        for (int field = 0; field < fieldCount; ++field)
            texts[size_t(field)] = cellText(row, field);
        const std::array<bool, fieldCount> marks = RowRules::judgedMarks(texts);
        for (int field = 0; field < fieldCount; ++field) {
            if (isCorrect(row, field) && !marks[size_t(field)]) {
                setCellCorrect(row, field, false);
                ++marked;
            }
        }
    }
    return marked;
}

void TableRows::insertRow(int index)
{
    rows_.insert(rows_.begin() + index, Row{});
    emit rowsInserted(index, 1);
}

void TableRows::removeRow(int index)
{
    const int errors = errorCount_;
    errorCount_ -= wrongCells(rows_[size_t(index)]);
    rows_.erase(rows_.begin() + index);
    emit rowsRemoved(index, 1);
    if (errorCount_ != errors)
        emit errorCountChanged(errorCount_);
}

void TableRows::moveRow(int from, int to)
{
    if (from == to)
        return;
    const auto first = rows_.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
    emit rowsMoved(from, to);
}

void TableRows::setRow(int index, const Row &row)
{
    const int errors = errorCount_;
    errorCount_ += wrongCells(row) - wrongCells(rows_[size_t(index)]);
    rows_[size_t(index)] = row;
    finish(index, errors, true);
}

void TableRows::reset(std::vector<Row> rows)
{
    const int errors = errorCount_;
    rows_ = std::move(rows);
    errorCount_ = 0;
    for (const Row &row : rows_)
        errorCount_ += wrongCells(row);
    emit rowsReset();
    if (errorCount_ != errors)
        emit errorCountChanged(errorCount_);
}

void TableRows::assignRows(const std::vector<Row> &rows)
{
    const int errors = errorCount_;
    const size_t count = std::min(rows.size(), rows_.size());
    for (size_t index = 0; index < count; ++index) {
        errorCount_ += wrongCells(rows[index]) - wrongCells(rows_[index]);
        rows_[index] = rows[index];
    }
    if (count > 0)
        emit rowsChanged(0, int(count));
    if (errorCount_ != errors)
        emit errorCountChanged(errorCount_);
}

} // namespace orb
