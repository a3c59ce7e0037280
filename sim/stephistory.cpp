// SPDX-License-Identifier: GPL-3.0-or-later
//
// The step engine's history: the records of the presses, the step back and the run back.

#include "sim/stepengine.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace orb {

void StepEngine::countArrivals(int sign)
{
    for (const qint32 row : machine_.lastPress.arrivals) {
        if (row >= 0 && size_t(row) < rowArrivals_.size())
            rowArrivals_[size_t(row)] += sign;
    }
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

} // namespace orb
