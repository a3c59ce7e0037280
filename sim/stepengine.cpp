// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/stepengine.h"

#include "cells/rowrules.h"

#include <cstring>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// What a missing text reads as: the run state never holds a null text.
const QString &emptyText()
{
    static const QString empty;
    return empty;
}

} // namespace

int HeadlessTableSource::rowCount() const
{
    return table_.rowCount();
}

QString HeadlessTableSource::cellText(int row, int field) const
{
    return table_.row(row).cells[size_t(field)].text;
}

ParsedConditions HeadlessTableSource::parsedConditions(int row) const
{
    return table_.row(row).conditions;
}

ParsedSignals HeadlessTableSource::parsedSignals(int row) const
{
    return table_.row(row).signalNumbers;
}

TransitionCondition TransitionCondition::fromCell(const QString &text,
                                                  const ParsedConditions &parsed)
{
    // An empty or constant condition leaves the cell's parsed form as an older text left it,
    // so the text decides first.
    TransitionCondition condition;
    if (text.isEmpty())
        return condition;
    switch (constantCondition(text)) {
    case ConstantCondition::True:
        return condition;
    case ConstantCondition::False:
        condition.kind = Kind::Never;
        return condition;
    case ConstantCondition::None:
        break;
    }
    condition.kind = Kind::Flags;
    for (int k = 0; k < conditionSlots; ++k) {
        const int index = parsed.operandIndexes[size_t(k)];
        if (index < 0 || index > 7)
            break;
        condition.mask |= quint8(1 << index);
        if (parsed.operandExpected[size_t(k)])
            condition.expected |= quint8(1 << index);
    }
    return condition;
}

Program::Program(const TableSource &table)
{
    const int count = table.rowCount();
    rows_.resize(size_t(count));
    for (int i = 0; i < count; ++i) {
        ProgramRow &row = rows_[size_t(i)];
        const QString source = table.cellText(i, SourceStateField);
        row.sourceState = source.isEmpty() ? -1 : stateValue(source);
        row.nextState = stateValue(table.cellText(i, NextStateField));
        row.conditionText = table.cellText(i, ConditionsField);
        row.condition = TransitionCondition::fromCell(row.conditionText, table.parsedConditions(i));
        row.signalsText = table.cellText(i, SignalsField);
        // An empty cell keeps the numbers of an older text in its parsed form; it issues none.
        if (!row.signalsText.isEmpty())
            row.signalNumbers = table.parsedSignals(i).signalNumbers;
        row.signalNumbers.back() = 0;
    }
}

QString AfterPanel::nextStateLabel() const
{
    if (!conditionText().isEmpty())
        return u"По условию"_s;
    return QString::number(nextState);
}

const QString &AfterPanel::conditionText() const
{
    return program && conditionRow >= 0 ? program->row(conditionRow).conditionText : emptyText();
}

const QString &AfterPanel::signalsText() const
{
    return program && signalsRow >= 0 ? program->row(signalsRow).signalsText : emptyText();
}

bool AfterPanel::conditionHolds() const
{
    return !program || conditionRow < 0 ||
           program->row(conditionRow).condition.holds(registers.flagBits());
}

StepEngine::StepEngine(const TableSource &table, MemoryAccess &memory, ExecutionView &view)
    : StepEngine(Program(table), memory, view)
{
}

StepEngine::StepEngine(Program program, MemoryAccess &memory, ExecutionView &view)
    : program_(std::move(program)), memory_(memory), recordingMemory_(memory), view_(view)
{
    machine_.afterPanel.program = &program_;
}

const QString &StepEngine::conditionText() const
{
    const int row = machine_.state.conditionRow;
    return row >= 0 ? program_.row(row).conditionText : emptyText();
}

const QString &StepEngine::signalsText() const
{
    const int row = machine_.state.signalsRow;
    return row >= 0 ? program_.row(row).signalsText : emptyText();
}

void StepEngine::start()
{
    enterNextState();
    step();
    // The first screen is no press: it arrives nowhere and stops nothing, but its row has run.
    breakpointRow_ = -1;
    watchStop_.reset();
    if (historyEnabled_) {
        rowArrivals_.assign(size_t(program_.rowCount()), 0);
        countArrivals(+1);
    }
}

void StepEngine::enterNextState()
{
    machine_.state.stoppedUnderConditions = false;
    findRow(0);
}

void StepEngine::findRow(int startRow)
{
    RunState &s = machine_.state;
    const int lastRow = program_.rowCount() - 1;
    // A continued search (startRow != 0) moves on to the next row of the same state until one
    // has a condition that holds; it never loads signals.
    for (;;) {
        s.controlFields.clear();
        s.rowIndex = startRow - 1;
        s.sourceState = -1;
        while (s.rowIndex != lastRow && s.sourceState != s.nextState) {
            ++s.rowIndex;
            const int source = program_.row(s.rowIndex).sourceState;
            if (source >= 0)
                s.sourceState = source;
        }
        if (s.sourceState != s.nextState) {
            s.running = false;
            return;
        }
        const ProgramRow &row = program_.row(s.rowIndex);
        // A state is loaded from its first row wherever that row stands, also as the table's
        // last row with a condition that does not hold yet: it is tested again after the
        // state's microoperations.
        if (startRow == 0)
            loadSignals(s.rowIndex);
        if (conditionHolds()) {
            s.nextState = row.nextState;
            return;
        }
        if (startRow == 0)
            return;
        if (s.rowIndex == lastRow) {
            s.running = false;
            return;
        }
        startRow = s.rowIndex + 1;
    }
}

void StepEngine::loadSignals(int rowIndex)
{
    RunState &s = machine_.state;
    s.signalsRow = rowIndex;
    s.signalList = program_.row(rowIndex).signalNumbers;
    s.microopIndex = -1;
    for (int i = 0; i < signalSlots && s.signalList[size_t(i)] != 0; ++i) {
        const int number = s.signalList[size_t(i)];
        if (number > 15) {
            s.microopIndex = i;
            break;
        }
        if (number > 0)
            s.controlFields.marks[size_t(number)] = 1;
    }
}

bool StepEngine::conditionHolds()
{
    RunState &s = machine_.state;
    s.conditionRow = s.rowIndex;
    return program_.row(s.rowIndex).condition.holds(machine_.processor.flagBits());
}

bool StepEngine::leaveRow()
{
    RunState &s = machine_.state;
    if (conditionHolds()) {
        transitionTaken_ = true;
        // Rows past the count belong to presses a step back undid.
        if (historyEnabled_) {
            transitionRows_.resize(size_t(s.transitionCount));
            transitionRows_.push_back(s.rowIndex);
            ++s.transitionCount;
        }
        // Only a further row's transition, found by the search below, counts as arriving at
        // it; the first row was arrived at when it was shown.
        if (s.stoppedUnderConditions)
            noteArrival(s.rowIndex);
        // Read now: a first row whose condition only holds after its microoperations leads to
        // its own next state, not back into the state it left.
        s.nextState = program_.row(s.rowIndex).nextState;
        enterNextState();
        return true;
    }
    s.nextState = s.sourceState;
    s.stoppedUnderConditions = true;
    findRow(s.rowIndex + 1);
    return false;
}

void StepEngine::executeStep()
{
    if (!historyEnabled_) {
        step();
        return;
    }
    // Copied as bytes, padding and all, so that only what the press wrote can differ.
    alignas(Machine) quint8 before[sizeof(Machine)];
    std::memcpy(before, &machine_, sizeof(Machine));
    step();
    history_.push(before, machine_, recordingMemory_.writes);
    countArrivals(+1);
}

void StepEngine::step()
{
    RunState &s = machine_.state;
    const int shownRow = machine_.afterPanel.rowIndex;
    transitionTaken_ = false;
    machine_.lastPress = PressOutcome{};
    recordingMemory_.writes.clear();
    if (s.endScreenShown)
        view_.scheduleDeletion(); // the end screen is shown once more before the window goes

    // A transition costs no step of its own: the press goes on until it has executed a
    // microoperation, shown a row without microoperations, or shown the end screen.
    for (;;) {
        if (!s.running) {
            machine_.lastPress = PressOutcome{}; // a press that ends the run arrives nowhere
            showEndScreen();
            judgeLastPress();
            return;
        }
        if (s.microopIndex == -1) {
            s.operation = Operation{};
            s.operation.kind = Operation::Kind::NoMicrooperations;
            updatePanel(Panel::After);
            if (leaveRow()) {
                ++s.stepCount;
                break;
            }
            continue;
        }
        const int signal = s.signalList[size_t(s.microopIndex)];
        if (signal == 0) {
            leaveRow();
            continue;
        }

        ++s.stepCount;
        updatePanel(Panel::Before);
        Processor &processor = machine_.processor;
        processor.clearResultFlags();
        // Only a write is noted, so only a microoperation that writes goes through the wrapper.
        const bool noteWrites = writesMemory(signal) && (historyEnabled_ || !memoryProbes_.empty());
        MemoryAccess &memory = noteWrites ? static_cast<MemoryAccess &>(recordingMemory_) : memory_;
        const MicroopOutcome outcome =
            performMicrooperation(signal, s.controlFields, processor, memory);
        s.operation = outcome.operation;
        PressOutcome &press = machine_.lastPress;
        press.microoperation = true;
        if (noteWrites && !recordingMemory_.writes.empty()) {
            // A microoperation writes one byte at most (y60).
            const History::MemoryWrite &write = recordingMemory_.writes.back();
            press.writtenAddress = qint16(write.address);
            press.writtenOld = quint8(write.oldValue);
            press.writtenNew = quint8(write.newValue);
        }
        if (outcome.device != DeviceRequest::None) {
            // The dialog opens over the panels as they stand.
            flushView();
            if (outcome.device == DeviceRequest::DataByte) {
                if (const std::optional<int> byte = view_.requestDataByte(dataBytePrompt()))
                    processor.setA(*byte & 0xFF);
            } else {
                view_.showMessage(deviceMessage(signal, processor));
                if (signal == 70) {
                    s.running = false;
                    s.succeeded = true;
                }
            }
        }
        updatePanel(Panel::After);
        ++s.microopIndex;
        break;
    }
    const int row = machine_.afterPanel.rowIndex;
    if (row >= 0 && (row != shownRow || transitionTaken_))
        noteArrival(row);
    judgeLastPress();
}

bool StepEngine::runToEnd(int limit)
{
    // Nothing repaints while the loop runs, so the panels are only recorded and shown when a
    // dialog opens or the loop ends.
    const bool wasDeferred = deferViewUpdates_;
    deferViewUpdates_ = true;
    RunStep outcome;
    do
        outcome = runStep(limit);
    while (outcome == RunStep::Stepped);
    flushView();
    deferViewUpdates_ = wasDeferred;
    return outcome == RunStep::Limit;
}

StepEngine::RunStep StepEngine::runStep(int limit)
{
    // The limit is judged first: a program that stopped past it still gets the dialog.
    if (machine_.state.stepCount > limit) {
        flushView();
        view_.showStepLimitDialog(stepLimitHeading(), stepLimitText());
        return RunStep::Limit;
    }
    if (!machine_.state.running)
        return RunStep::Ended;
    executeStep();
    return arrivedAtStop() ? RunStep::Stopped : RunStep::Stepped;
}

QString StepEngine::endText() const
{
    const RunState &s = machine_.state;
    if (s.succeeded)
        return u"Успешное завершение программы"_s;
    QString text = u"Не описан переход из состояния  "_s + QString::number(s.nextState);
    if (s.stoppedUnderConditions)
        text += u"  при данных условиях"_s;
    return text;
}

QString StepEngine::stepLimitHeading()
{
    return u"Перемотка остановлена"_s;
}

QString StepEngine::stepLimitText()
{
    return u"Ваша программа выполняется циклически\n"
           u"или содержит слишком большое количество тактов.\n"
           u"Воспользуйте пошаговым выполнением."_s;
}

void StepEngine::updatePanel(Panel which)
{
    if (which == Panel::Before) {
        machine_.beforePanel = machine_.processor;
        beforeDirty_ = true;
    } else {
        const RunState &s = machine_.state;
        AfterPanel &after = machine_.afterPanel;
        after.rowIndex = s.rowIndex;
        after.stepCount = s.stepCount;
        after.sourceState = s.sourceState;
        after.nextState = s.nextState;
        after.conditionRow = s.conditionRow;
        after.signalsRow = s.signalsRow;
        after.operation = s.operation;
        after.registers = machine_.processor;
        afterDirty_ = true;
    }
    if (!deferViewUpdates_)
        flushView();
}

void StepEngine::flushView()
{
    if (beforeDirty_) {
        beforeDirty_ = false;
        view_.updateRegisterPanel(Panel::Before);
    }
    if (afterDirty_) {
        afterDirty_ = false;
        view_.updateRegisterPanel(Panel::After);
    }
}

void StepEngine::showEndScreen()
{
    flushView();
    machine_.state.endScreenShown = true;
    machine_.beforePanel = machine_.processor;
    beforeDirty_ = false;
    view_.updateRegisterPanel(Panel::Before);
    view_.showEndScreen();
}

} // namespace orb
