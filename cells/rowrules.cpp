// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/rowrules.h"

namespace orb {

namespace {

int otherStateField(int field)
{
    return field == SourceStateField ? NextStateField : SourceStateField;
}

bool isEmpty(const RowCells &row, int field)
{
    return row.cellText(field).isEmpty();
}

} // namespace

namespace RowRules {

void textChanged(RowCells &row, int field)
{
    switch (field) {
    case SourceStateField:
    case NextStateField:
        if (!isEmpty(row, field))
            row.setCellCorrect(field, true);
        else if (isEmpty(row, ConditionsField) && isEmpty(row, SignalsField))
            row.setCellCorrect(otherStateField(field), true);
        break;
    case ConditionsField:
        if (checkTransitionConditions(row.cellText(ConditionsField), row.parsedConditions()))
            row.setCellCorrect(ConditionsField, true);
        // Emptying the conditions clears a state mark only when the other state is empty too.
        if (isEmpty(row, ConditionsField) && isEmpty(row, SignalsField)) {
            if (isEmpty(row, NextStateField))
                row.setCellCorrect(SourceStateField, true);
            if (isEmpty(row, SourceStateField))
                row.setCellCorrect(NextStateField, true);
        }
        break;
    case SignalsField:
        if (checkControlSignals(row.cellText(SignalsField), row.parsedSignals()))
            row.setCellCorrect(SignalsField, true);
        if (isEmpty(row, SignalsField) && isEmpty(row, ConditionsField)) {
            row.setCellCorrect(SourceStateField, true);
            row.setCellCorrect(NextStateField, true);
        }
        break;
    }
}

void editingFinished(RowCells &row, int field)
{
    switch (field) {
    case SourceStateField:
    case NextStateField: {
        const int other = otherStateField(field);
        if (!isEmpty(row, field)) {
            if (isEmpty(row, other))
                row.setCellCorrect(other, false);
        } else if (!isEmpty(row, ConditionsField) || !isEmpty(row, SignalsField) ||
                   !isEmpty(row, other)) {
            row.setCellCorrect(field, false);
        }
        // Typing cannot produce such a text, but a loaded document can; the validator would
        // keep Qt from ever finishing this edit, so the cell is judged here.
        if (!isStateTextValid(row.cellText(field)))
            row.setCellCorrect(field, false);
        break;
    }
    case ConditionsField: {
        const QString text = row.cellText(ConditionsField);
        if (checkTransitionConditions(text, row.parsedConditions()))
            row.setCellText(ConditionsField,
                            normalizeTransitionConditions(text, row.parsedConditions()));
        else
            row.setCellCorrect(ConditionsField, false);
        if (!isEmpty(row, ConditionsField)) {
            if (isEmpty(row, SourceStateField))
                row.setCellCorrect(SourceStateField, false);
            if (isEmpty(row, NextStateField))
                row.setCellCorrect(NextStateField, false);
        }
        break;
    }
    case SignalsField: {
        const QString text = row.cellText(SignalsField);
        if (checkControlSignals(text, row.parsedSignals()))
            row.setCellText(SignalsField, normalizeControlSignals(text, row.parsedSignals()));
        else
            row.setCellCorrect(SignalsField, false);
        if (!isEmpty(row, SignalsField)) {
            if (isEmpty(row, SourceStateField))
                row.setCellCorrect(SourceStateField, false);
            if (isEmpty(row, NextStateField))
                row.setCellCorrect(NextStateField, false);
        }
        break;
    }
    }
}

void focusIn(RowCells &row, int field)
{
    if (isStateField(field))
        row.setCellCorrect(field, true);
}

void fillAndCommit(RowCells &row, int field, const QString &text)
{
    row.setCellText(field, text);
    editingFinished(row, field);
}

namespace {

// A row of its own, for judging texts outside any table.
class LooseRow final : public RowCells {
public:
    std::array<HeadlessTable::Cell, fieldCount> cells;
    ParsedConditions conditions;
    ParsedSignals signalNumbers;

    QString cellText(int field) const override { return cells[size_t(field)].text; }
    void setCellText(int field, const QString &text) override
    {
        const QString truncated = text.left(maxLengthOfField(field));
        if (cells[size_t(field)].text == truncated)
            return;
        cells[size_t(field)].text = truncated;
        textChanged(*this, field);
    }
    void setCellCorrect(int field, bool correct) override
    {
        cells[size_t(field)].correct =
            correct && !(isStateField(field) && !isStateTextValid(cells[size_t(field)].text));
    }
    ParsedConditions &parsedConditions() override { return conditions; }
    ParsedSignals &parsedSignals() override { return signalNumbers; }
};

} // namespace

std::array<bool, fieldCount> judgedMarks(const std::array<QString, fieldCount> &texts)
{
    LooseRow row;
    for (int field = 0; field < fieldCount; ++field)
        fillAndCommit(row, field, texts[size_t(field)]);
    std::array<bool, fieldCount> marks{};
    for (int field = 0; field < fieldCount; ++field)
        marks[size_t(field)] = row.cells[size_t(field)].correct;
    return marks;
}

} // namespace RowRules

class HeadlessTable::RowAccess final : public RowCells {
public:
    RowAccess(HeadlessTable &table, int index) : table_(table), row_(table.rows_[size_t(index)]) {}

    QString cellText(int field) const override { return row_.cells[size_t(field)].text; }

    void setCellText(int field, const QString &text) override
    {
        const QString truncated = text.left(maxLengthOfField(field));
        Cell &cell = row_.cells[size_t(field)];
        if (cell.text == truncated)
            return;
        cell.text = truncated;
        RowRules::textChanged(*this, field);
    }

    void setCellCorrect(int field, bool correct) override
    {
        Cell &cell = row_.cells[size_t(field)];
        if (correct && isStateField(field) && !isStateTextValid(cell.text))
            correct = false;
        if (correct == cell.correct)
            return;
        cell.correct = correct;
        table_.errorCount_ += correct ? -1 : 1;
    }

    ParsedConditions &parsedConditions() override { return row_.conditions; }
    ParsedSignals &parsedSignals() override { return row_.signalNumbers; }

private:
    HeadlessTable &table_;
    Row &row_;
};

void HeadlessTable::reset(int count)
{
    rows_.assign(size_t(qMax(count, 0)), Row{});
    errorCount_ = 0;
}

void HeadlessTable::fillAndCommit(int row, int field, const QString &text)
{
    RowAccess access(*this, row);
    RowRules::fillAndCommit(access, field, text);
}

int HeadlessTable::judgeForLaunch()
{
    int marked = 0;
    for (Row &row : rows_) {
        std::array<QString, fieldCount> texts;
        for (int field = 0; field < fieldCount; ++field)
            texts[size_t(field)] = row.cells[size_t(field)].text;
        const std::array<bool, fieldCount> marks = RowRules::judgedMarks(texts);
        for (int field = 0; field < fieldCount; ++field) {
            Cell &cell = row.cells[size_t(field)];
            if (cell.correct && !marks[size_t(field)]) {
                cell.correct = false;
                ++errorCount_;
                ++marked;
            }
        }
    }
    return marked;
}

} // namespace orb
