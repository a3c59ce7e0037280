#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What a run of a teacher's test case adds to a run in the execution window: the case's data
// set before the first press, its data bytes offered at y66, its display checked as y67 shows
// each byte (a byte that does not hold stops a run to the end there), and the items that do
// not hold listed on the end screen. A plain run has none of them.

#include "sim/processor.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace orb {

struct RunHooks {
    // The reset processor, before the first press.
    std::function<void(Processor &)> prepare;
    // The data bytes y66 offers already typed, in order.
    QList<int> inputs;
    // y67 has shown `value`: empty while the display holds, else the mismatch in words.
    std::function<QString(int value)> displayed;
    // A step back took back the last value y67 showed.
    std::function<void()> displayTakenBack;
    // The lines listed under the end screen's message; `succeeded`: the run ended at y70.
    std::function<QStringList(const Processor &, bool succeeded)> endNotes;

    bool any() const { return prepare || !inputs.isEmpty() || displayed || endNotes; }
};

} // namespace orb
