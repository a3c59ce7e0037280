// SPDX-License-Identifier: GPL-3.0-or-later
//
// The step engine's stops: the rows a press arrived at, the breakpoints and the watches.

#include "sim/stepengine.h"

#include "sim/registers.h"

#include <algorithm>

namespace orb {

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

} // namespace orb
