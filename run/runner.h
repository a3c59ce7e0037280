#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run's command line: runs a microprogram document without a window. The document is
// opened with the editor's own loading code (the same parse, the same row rules, the same red
// cells) and run by the execution window's step engine, press by press, on a plain byte-array
// memory; what the window would show after each press can be printed as one JSON object per
// line.
//
// The services other command-line programs share live beside it: opendocument.h (the document,
// its load report and its wrong cells), expectations.h, headlessrun.h (the presses),
// outputsink.h and terminaltext.h. A run chains parseCommandLine (options, no file touched),
// readExpectationsFile, openDocumentPath, runOpenedDocument and reportRun (summary, verdict,
// warnings); runCommandLine does so here rather than in main() so that the tests run orb-run
// in-process.

#include "run/expectations.h"
#include "run/headlessrun.h"
#include "run/opendocument.h"
#include "run/outputsink.h"
#include "run/runstatus.h"
#include "run/terminaltext.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

namespace orb {

struct CommandLine {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Run;
    RunOptions options;
    QString text; // the help or version text, or the usage error (one line, no prefix)
};
// The options, judged without touching any file.
CommandLine parseCommandLine(const QStringList &arguments);

// After the run: the summary (or the trace's end object), the memory, the --expect verdict with its
// "result: …; end: …" line, and the warnings about unused inputs; returns the exit status
// (RunOutputFailed if standard output failed, reported once on err).
int reportRun(const RunResult &result, const OpenedDocument &document, const RunOptions &options,
              OutputSink &out, OutputSink &err);

// Runs orb-run with `arguments` (the first is the program name), writing to out and err as
// stdout and stderr and reading a document named "-" from in; returns the exit status.
int runCommandLine(const QStringList &arguments, QIODevice *in, QIODevice &out, QIODevice &err);
// The same without a standard input ("-" then reads nothing).
int runCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err);

} // namespace orb
