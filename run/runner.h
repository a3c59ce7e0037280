#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-run: runs a microprogram document without a window. The document is opened with the
// editor's own loading code (the same parse, the same row rules, the same red cells) and run by
// the execution window's step engine, press by press, on a plain byte-array memory; what the
// window would show after each press can be printed as one JSON object per line.
//
// A run has four steps, each a function here so that other command-line programs reuse them:
// parseCommandLine (options, no file touched), readExpectationsFile, openDocumentPath (the
// document, its load report and its wrong cells) and runOpenedDocument (the presses), then
// reportRun (summary, verdict, warnings). runCommandLine chains them; everything lives here
// rather than in main() so that the tests run orb-run in-process.

#include "app/document.h"
#include "app/loadreport.h"
#include "cells/rowrules.h"
#include "sim/processor.h"
#include "sim/watch.h"

#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <charconv>
#include <vector>
#include <optional>
#include <string>

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
// An expectations file is read up to this size, as a document is.
inline constexpr qint64 maxExpectationsBytes = 1024 * 1024;

// Output collected in a byte string and handed to the device in large pieces, each ending at
// a line end: a trace writes hundreds of thousands of lines a second, and QIODevice::write per
// line costs more than the line itself. The first failed write is remembered and nothing more
// is written after it. A sink given `flushFirst` empties that sink before each of its own
// writes, so that standard error never overtakes standard output.
class OutputSink {
public:
    explicit OutputSink(QIODevice &device, OutputSink *flushFirst = nullptr);
    ~OutputSink();
    OutputSink(const OutputSink &) = delete;
    OutputSink &operator=(const OutputSink &) = delete;

    // Writes what is collected; false when this or an earlier write failed.
    bool flush();
    // Call at a line end: writes once a block is full.
    void flushIfFull()
    {
        if (buffer_.size() >= 1 << 16)
            flush();
    }
    bool failed() const { return failed_; }
    // Why the write failed ("No space left on device"); brokenPipe() when the reader is gone.
    const QString &errorString() const { return errorString_; }
    bool brokenPipe() const { return brokenPipe_; }

    OutputSink &operator<<(char c)
    {
        buffer_ += c;
        return *this;
    }
    OutputSink &operator<<(const char *text)
    {
        buffer_ += text;
        return *this;
    }
    OutputSink &operator<<(const std::string &text)
    {
        buffer_ += text;
        return *this;
    }
    OutputSink &operator<<(const QString &text);
    OutputSink &operator<<(int value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        buffer_.append(digits, size_t(result.ptr - digits));
        return *this;
    }

private:
    QIODevice &device_;
    OutputSink *flushFirst_;
    std::string buffer_;
    bool failed_ = false;
    bool brokenPipe_ = false;
    QString errorString_;
};

// A text made safe for a terminal: control characters (C0, DEL, C1) and the bidirectional
// overrides are written as escapes (\n, \t, \x1b, \u202e), so a file cannot recolour the
// terminal or fake lines. With `quote`, '"' and '\' are escaped too and the text is quoted;
// `maxLength` > 0 cuts it to that many characters, marking the cut with "…".
QString terminalText(QStringView text, bool quote = false, qsizetype maxLength = 0);

// A document as the editor holds it right after Open: the table with its red marks, and the
// memory bytes as the memory cells read them (cells beyond the document's text stay "00").
struct OpenedDocument {
    HeadlessTable table;
    ByteArrayMemory memory;
};
OpenedDocument openDocument(const LoadedDocument &document);

// The wrong cells of a table, row by row: row R, COLUMN: "TEXT": REASON (R from 1; TEXT
// escaped for a terminal; a text the loader cut says so, from the report's load-text-cut).
QStringList wrongCellLines(const HeadlessTable &table, const LoadReport &report = {});

// One line of an expectations file: a name and the value the final state must show.
struct Expectation {
    enum class Kind { End, Register, Flag, Memory };
    Kind kind = Kind::Register;
    QString name;  // as reported: "end", "A", "RON3", "Z", "M3A"
    int index = 0; // register (see registerNames()), flag (FlagIndex) or memory address
    int value = 0; // byte, flag, or for End a RunStatus (succeeded, stopped, limit)
};

// The names of the registers in the order of the panels: RK1 … RK4, RON0 … RON15, A, B, PC,
// SP, RI, RA, RB, R, S1, S2, S3 (the byte registers of the register table).
const QStringList &registerNames();
int registerValue(const Processor &processor, int index);

// Reads an expectations file's text: NAME=VALUE lines, blank lines and # comments. On a
// malformed line, nullopt and *error = "LINE: what is wrong" (at most 60 characters of the
// line quoted). A text without any expectation is accepted here (an empty list).
std::optional<QList<Expectation>> parseExpectations(QStringView text, QString *error);
// Reads and parses the file (at most maxExpectationsBytes, UTF-8 with or without a byte order
// mark); refuses a file without any expectation. *error is a whole usage message.
std::optional<QList<Expectation>> readExpectationsFile(const QString &path, QString *error);

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
struct CommandLine {
    enum class Action { Run, Help, Version, Usage };
    Action action = Action::Run;
    RunOptions options;
    QString text; // the help or version text, or the usage error (one line, no prefix)
};
// Step 1: the options, judged without touching any file.
CommandLine parseCommandLine(const QStringList &arguments);

// Step 2: the document. `standardInput` is read for the path "-".
struct OpenOutcome {
    QString shownName;                      // the path escaped for a terminal, or "standard input"
    std::optional<OpenedDocument> document; // set when the file was read as a document
    ReadError error;
    LoadReport report;
    QStringList wrongCells; // wrongCellLines() of the table
    // RunUnreadable, RunWrongCells, or RunSucceeded when the document can run.
    RunStatus status() const;
};
OpenOutcome openDocumentPath(const QString &path, QIODevice *standardInput);

// Step 3: the presses of the execution window, until the end screen or the limit. With a
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

// Step 4: the summary (or the trace's end object), the memory, the --expect verdict with its
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
