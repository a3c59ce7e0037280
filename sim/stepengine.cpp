// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/stepengine.h"

#include "cells/rowrules.h"
#include "sim/registers.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

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
    runHeld_ = false;
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
        const bool noteWrites = historyEnabled_ || watchesMemory_;
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

void StepEngine::noteArrival(int row)
{
    auto &arrivals = machine_.lastPress.arrivals;
    for (qint32 &slot : arrivals) {
        if (slot < 0) {
            slot = row;
            return;
        }
    }
    arrivals.back() = row;
}

void StepEngine::judgeLastPress()
{
    // The last breakpoint the press arrived at is the one it shows, or the nearest to it.
    breakpointRow_ = -1;
    for (const qint32 row : machine_.lastPress.arrivals) {
        if (isBreakpoint(row))
            breakpointRow_ = row;
    }
    if (watches_.empty())
        watchStop_.reset();
    else
        watchStop_ = matchWatches();
}

std::optional<WatchStop> StepEngine::matchWatches() const
{
    const PressOutcome &press = machine_.lastPress;
    const auto &table = registerTable();
    for (const Watch &watch : watches_) {
        int before;
        int after;
        if (watch.kind == Watch::Kind::Register) {
            if (!press.microoperation)
                continue;
            const RegisterInfo &info = table[size_t(watch.index)];
            before = info.read(machine_.beforePanel);
            after = info.read(machine_.afterPanel.registers);
            if (before == after)
                continue;
        } else {
            if (press.writtenAddress != watch.index)
                continue;
            before = press.writtenOld;
            after = press.writtenNew;
        }
        if (watch.value < 0 || watch.value == after)
            return WatchStop{watch, before, after};
    }
    return std::nullopt;
}

quint64 StepEngine::changedRegisters() const
{
    if (!machine_.lastPress.microoperation)
        return 0;
    quint64 changed = 0;
    const auto &table = registerTable();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].read(machine_.beforePanel) != table[i].read(machine_.afterPanel.registers))
            changed |= quint64(1) << i;
    }
    return changed;
}

void StepEngine::setWatches(std::vector<Watch> watches)
{
    watches_ = std::move(watches);
    watchesMemory_ = std::any_of(watches_.begin(), watches_.end(), [](const Watch &watch) {
        return watch.kind == Watch::Kind::Memory;
    });
}

void StepEngine::countArrivals(int sign)
{
    for (const qint32 row : machine_.lastPress.arrivals) {
        if (row >= 0 && size_t(row) < rowArrivals_.size())
            rowArrivals_[size_t(row)] += sign;
    }
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

void StepEngine::setHistoryEnabled(bool enabled)
{
    historyEnabled_ = enabled;
    if (!enabled) {
        history_.clear();
        transitionRows_.clear();
        rowArrivals_.clear();
    }
}

std::vector<int> StepEngine::takenTransitions() const
{
    const size_t count = qMin(transitionRows_.size(), size_t(machine_.state.transitionCount));
    return {transitionRows_.begin(), transitionRows_.begin() + std::ptrdiff_t(count)};
}

bool StepEngine::stepBack()
{
    if (history_.empty())
        return false;
    countArrivals(-1);
    history_.pop(machine_, [this](const History::MemoryWrite &write) {
        if (memory_.readMemory(write.address) == write.newValue)
            memory_.restoreMemory(write.address, write.oldValue);
    });
    // The view shows the restored panels itself; nothing is pending for it.
    beforeDirty_ = false;
    afterDirty_ = false;
    breakpointRow_ = -1;
    watchStop_.reset();
    return true;
}

bool StepEngine::runBack()
{
    if (history_.empty())
        return false;
    for (;;) {
        stepBack();
        if (history_.empty())
            break;
        judgeLastPress();
        if (arrivedAtStop())
            return true;
    }
    // The first screen stops nothing.
    breakpointRow_ = -1;
    watchStop_.reset();
    return true;
}

void StepEngine::setBreakpoints(const std::vector<int> &rows)
{
    breakpoints_.clear();
    for (const int row : rows) {
        if (row < 0 || row >= program_.rowCount())
            continue;
        breakpoints_.resize(size_t(program_.rowCount()));
        breakpoints_[size_t(row)] = 1;
    }
}

void StepEngine::RecordingMemory::writeMemory(int address, int value)
{
    address &= 0xFF;
    writes.push_back({address, memory_.readMemory(address), value & 0xFF});
    memory_.writeMemory(address, value);
}

void StepEngine::History::clear()
{
    records_.clear();
    records_.shrink_to_fit();
    depth_ = 0;
}

void StepEngine::History::putNumber(quint32 value)
{
    // Seven bits a byte, low first; the high bit says another byte follows.
    while (value >= 0x80) {
        records_.push_back(quint8(value | 0x80));
        value >>= 7;
    }
    records_.push_back(quint8(value));
}

namespace {

quint32 takeNumber(const quint8 *&at)
{
    quint32 value = 0;
    for (int shift = 0;; shift += 7) {
        const quint8 byte = *at++;
        value |= quint32(byte & 0x7F) << shift;
        if (!(byte & 0x80))
            return value;
    }
}

} // namespace

void StepEngine::History::push(const quint8 *old, const Machine &after,
                               const std::vector<MemoryWrite> &writes)
{
    static_assert(std::is_trivially_copyable_v<Machine>);
    const size_t start = records_.size();
    const auto *now = reinterpret_cast<const quint8 *>(&after);
    constexpr size_t size = sizeof(Machine);
    // Most of the Machine is the same after a press: compare eight bytes at a time.
    size_t last = 0; // one past the previous changed byte
    for (size_t chunk = 0; chunk < size; chunk += 8) {
        const size_t end = std::min(size, chunk + 8);
        if (std::memcmp(old + chunk, now + chunk, end - chunk) == 0)
            continue;
        for (size_t i = chunk; i < end; ++i) {
            if (old[i] == now[i])
                continue;
            putNumber(quint32(i - last));
            records_.push_back(old[i]);
            last = i + 1;
        }
    }
    // A distance past the end closes the list of bytes.
    putNumber(quint32(size + 1 - last));
    putNumber(quint32(writes.size()));
    for (const MemoryWrite &write : writes) {
        records_.push_back(quint8(write.address));
        records_.push_back(quint8(write.oldValue));
        records_.push_back(quint8(write.newValue));
    }
    const size_t length = records_.size() - start + 2;
    Q_ASSERT(length <= 0xFFFF);
    records_.push_back(quint8(length));
    records_.push_back(quint8(length >> 8));
    ++depth_;
}

template <typename UndoWrite> void StepEngine::History::pop(Machine &machine, UndoWrite undoWrite)
{
    const size_t end = records_.size();
    const size_t length = size_t(records_[end - 2]) | size_t(records_[end - 1]) << 8;
    const size_t start = end - length;
    auto *bytes = reinterpret_cast<quint8 *>(&machine);
    const quint8 *at = records_.data() + start;
    size_t index = 0;
    for (;;) {
        index += takeNumber(at);
        if (index >= sizeof(Machine))
            break;
        bytes[index++] = *at++;
    }
    std::vector<MemoryWrite> writes(takeNumber(at));
    for (MemoryWrite &write : writes) {
        write.address = at[0];
        write.oldValue = at[1];
        write.newValue = at[2];
        at += 3;
    }
    for (auto it = writes.rbegin(); it != writes.rend(); ++it)
        undoWrite(*it);
    records_.resize(start);
    --depth_;
}

int StepEngine::executingSignal() const
{
    const RunState &s = machine_.state;
    // During the microoperation's dialog the index still points at it.
    const int index = s.microopIndex;
    if (index < 0 || index >= signalSlots)
        return 0;
    return s.signalList[size_t(index)];
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
