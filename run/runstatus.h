#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// How a headless run ends: orb-run's exit statuses, which orb-grade's cases, orb-check and the
// expectations files name too, and the step limits.

#include <QtGlobal>

namespace orb {

// orb-run's exit statuses.
enum RunStatus : int {
    RunSucceeded = 0,    // stopped by y70
    RunStopped = 1,      // no transition described
    RunLimit = 2,        // the step limit stopped it
    RunWrongCells = 3,   // the document has wrong cells; nothing was run
    RunUnreadable = 4,   // the file cannot be read or is not a document
    RunMismatch = 5,     // --expect found a difference
    RunOutputFailed = 6, // standard output could not be written
    RunBreak = 7,        // --break, --watch: stopped at a breakpoint or by a watch
    RunUsage = 64,
};

inline constexpr int defaultMaxSteps = 999;
inline constexpr int maxMaxSteps = 100000000;

} // namespace orb
