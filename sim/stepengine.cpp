#include "sim/stepengine.h"

#include "cells/rowrules.h"

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
    if (conditionText && !conditionText->isEmpty())
        return u"По условию"_s;
    return QString::number(nextState);
}

StepEngine::StepEngine(const TableSource &table, MemoryAccess &memory, ExecutionView &view)
    : StepEngine(Program(table), memory, view)
{
}

StepEngine::StepEngine(Program program, MemoryAccess &memory, ExecutionView &view)
    : program_(std::move(program)), memory_(memory), view_(view)
{
    state_.conditionText = &emptyText();
    state_.signalsText = &emptyText();
    afterPanel_.conditionText = &emptyText();
    afterPanel_.signalsText = &emptyText();
}

void StepEngine::start()
{
    enterNextState();
    executeStep();
}

void StepEngine::enterNextState()
{
    state_.stoppedUnderConditions = false;
    findRow(0);
}

void StepEngine::findRow(int startRow)
{
    RunState &s = state_;
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
            loadSignals(row);
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

void StepEngine::loadSignals(const ProgramRow &row)
{
    RunState &s = state_;
    s.signalsText = &row.signalsText;
    s.signalList = row.signalNumbers;
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
    const ProgramRow &row = program_.row(state_.rowIndex);
    state_.conditionText = &row.conditionText;
    return row.condition.holds(processor_.flagBits());
}

void StepEngine::executeStep()
{
    RunState &s = state_;
    if (s.endScreenShown)
        view_.scheduleDeletion(); // the end screen is shown once more before the window goes

    // A transition costs no step of its own: the press goes on until it has executed a
    // microoperation, shown a row without microoperations, or shown the end screen.
    for (;;) {
        if (!s.running) {
            showEndScreen();
            return;
        }
        if (s.microopIndex == -1) {
            s.operation = Operation{};
            s.operation.kind = Operation::Kind::NoMicrooperations;
            updatePanel(Panel::After);
            if (conditionHolds()) {
                s.nextState = program_.row(s.rowIndex).nextState;
                enterNextState();
                ++s.stepCount;
                return;
            }
            s.nextState = s.sourceState;
            s.stoppedUnderConditions = true;
            findRow(s.rowIndex + 1);
            continue;
        }
        const int signal = s.signalList[size_t(s.microopIndex)];
        if (signal == 0) {
            if (conditionHolds()) {
                // Read now: a first row whose condition only holds after its microoperations
                // leads to its own next state, not back into the state it left.
                s.nextState = program_.row(s.rowIndex).nextState;
                enterNextState();
            } else {
                s.nextState = s.sourceState;
                s.stoppedUnderConditions = true;
                findRow(s.rowIndex + 1);
            }
            continue;
        }

        ++s.stepCount;
        updatePanel(Panel::Before);
        processor_.clearResultFlags();
        const MicroopOutcome outcome =
            performMicrooperation(signal, s.controlFields, processor_, memory_);
        s.operation = outcome.operation;
        if (outcome.device != DeviceRequest::None) {
            // The dialog opens over the panels as they stand.
            flushView();
            if (outcome.device == DeviceRequest::DataByte) {
                if (const std::optional<int> byte = view_.requestDataByte(dataBytePrompt()))
                    processor_.setA(*byte & 0xFF);
            } else {
                view_.showMessage(deviceMessage(signal, processor_));
                if (signal == 70) {
                    s.running = false;
                    s.succeeded = true;
                }
            }
        }
        updatePanel(Panel::After);
        ++s.microopIndex;
        return;
    }
}

bool StepEngine::runToEnd(int limit)
{
    // Nothing repaints while the loop runs, so the panels are only recorded and shown when a
    // dialog opens or the loop ends.
    const bool wasDeferred = deferViewUpdates_;
    deferViewUpdates_ = true;
    while (state_.running && state_.stepCount <= limit)
        executeStep();
    flushView();
    deferViewUpdates_ = wasDeferred;
    if (state_.stepCount <= limit)
        return false;
    view_.showStepLimitDialog(stepLimitHeading(), stepLimitText());
    return true;
}

QString StepEngine::endText() const
{
    if (state_.succeeded)
        return u"Успешное завершение программы"_s;
    QString text = u"Не описан переход из состояния  "_s + QString::number(state_.nextState);
    if (state_.stoppedUnderConditions)
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
        beforePanel_ = processor_;
        beforeDirty_ = true;
    } else {
        const RunState &s = state_;
        afterPanel_.rowIndex = s.rowIndex;
        afterPanel_.stepCount = s.stepCount;
        afterPanel_.sourceState = s.sourceState;
        afterPanel_.nextState = s.nextState;
        afterPanel_.conditionText = s.conditionText;
        afterPanel_.signalsText = s.signalsText;
        afterPanel_.operation = s.operation;
        afterPanel_.registers = processor_;
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
    state_.endScreenShown = true;
    beforePanel_ = processor_;
    beforeDirty_ = false;
    view_.updateRegisterPanel(Panel::Before);
    view_.showEndScreen();
}

} // namespace orb
