// SPDX-License-Identifier: GPL-3.0-or-later
//
// The step engine's stops: the rows a press arrived at, the breakpoints and the watches.

#include "sim/stepengine.h"

#include "sim/registers.h"

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
    watchStop_.reset();
    if (watches_.empty())
        return;
    // Judged after every press of a run, so only the watched values are read, straight from
    // their places in the panels' processors; the memory watches only after a press that
    // wrote; and a WatchStop is only built for a stop.
    const PressOutcome &press = machine_.lastPress;
    const WatchProbe *stop = nullptr;
    int before = 0;
    int after = 0;
    if (press.microoperation) {
        for (const WatchProbe &probe : registerProbes_) {
            const int old = probe.place.read(machine_.beforePanel);
            const int now = probe.place.read(machine_.afterPanel.registers);
            if (old != now && (probe.value < 0 || probe.value == now)) {
                stop = &probe;
                before = old;
                after = now;
                break;
            }
        }
    }
    if (press.writtenAddress >= 0) {
        // The first watch in the list that stops names the reason.
        for (const WatchProbe &probe : memoryProbes_) {
            if (stop && probe.order > stop->order)
                break;
            if (probe.address == press.writtenAddress &&
                (probe.value < 0 || probe.value == press.writtenNew)) {
                stop = &probe;
                before = press.writtenOld;
                after = press.writtenNew;
                break;
            }
        }
    }
    if (stop)
        watchStop_.emplace(WatchStop{watches_[size_t(stop->order)], before, after});
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
    registerProbes_.clear();
    memoryProbes_.clear();
    for (size_t i = 0; i < watches_.size(); ++i) {
        const Watch &watch = watches_[i];
        WatchProbe probe;
        probe.value = watch.value;
        probe.order = qint32(i);
        if (watch.kind == Watch::Kind::Memory) {
            probe.address = watch.index;
            memoryProbes_.push_back(probe);
        } else {
            Q_ASSERT(watch.index >= 0 && watch.index < registerTableSize);
            probe.place = registerPlace(watch.index);
            registerProbes_.push_back(probe);
        }
    }
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
