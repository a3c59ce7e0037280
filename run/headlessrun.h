#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// A document run without a window: the presses of the execution window, by its step engine on
// the opened document's memory, until the end screen, a breakpoint or the step limit; what the
// window shows after each press can be written as one JSON object per line. Watches stop it
// as breakpoints do.

#include "run/expectations.h"
#include "run/opendocument.h"
#include "run/outputsink.h"
#include "run/runstatus.h"
#include "sim/processor.h"
#include "sim/watch.h"

#include <QList>
#include <QString>

#include <vector>

namespace orb {

// What the command line asks for.
struct RunOptions {
    QString documentPath; // "-" reads the document from standard input
    QList<int> inputs;
    int maxSteps = defaultMaxSteps;
    bool trace = false;
    bool memory = false;
    bool expect = false;
    QString expectPath;
    QList<Expectation> expectations; // filled by readExpectationsFile
    std::vector<int> breakRows;      // --break, rows from 1
    std::vector<Watch> watches;      // --watch
};
// The presses of the execution window, until the end screen or the limit. With a
// trace sink, one JSON line per press; a failed trace write stops the run.
struct RunResult {
    RunStatus end = RunSucceeded; // RunSucceeded, RunStopped, RunLimit or RunBreak
    int breakRow = 0;             // the breakpoint's row (from 1) the run stopped at, else 0
    int steps = 0;                // the step counter, as the window's Такт counts (from 1)
    int lastStep = 0;             // the Такт the last press showed
    QString endText;              // the end screen's text (empty for the limit)
    Processor processor;          // the final registers and flags
    int inputsUsed = 0;           // --input bytes taken by y66
    int y66WithoutInput = 0;      // y66 executed with no --input byte left
    bool outputFailed = false;    // the trace could not be written
    std::optional<WatchStop> watchStop; // the watch that stopped the run
};
RunResult runOpenedDocument(OpenedDocument &document, const RunOptions &options,
                            OutputSink *trace = nullptr);

// The end object of a trace: how the run ended, the final registers, flags and memory.
void writeTraceEnd(OutputSink &trace, const RunResult &result, const ByteArrayMemory &memory);

} // namespace orb
