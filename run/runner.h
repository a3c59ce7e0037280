#pragma once

// orb-run: runs a microprogram document without a window. The document is opened with the
// editor's own loading code (the same parse, the same row rules, the same red cells) and run by
// the execution window's step engine, press by press, on a plain byte-array memory; what the
// window would show after each press can be printed as one JSON object per line.
//
// Everything lives here rather than in main() so that the tests run orb-run in-process.

#include "app/document.h"
#include "cells/rowrules.h"
#include "sim/processor.h"

#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace orb {

// orb-run's exit statuses.
enum RunStatus : int {
    RunSucceeded = 0,  // stopped by y70
    RunStopped = 1,    // no transition described
    RunLimit = 2,      // the step limit stopped it
    RunWrongCells = 3, // the document has wrong cells; nothing was run
    RunUnreadable = 4, // the file cannot be read or is not a document
    RunMismatch = 5,   // --expect found a difference
    RunBreak = 7,      // --break: stopped after a press that arrived at a breakpoint
    RunUsage = 64,
};

inline constexpr int defaultMaxSteps = 999;
inline constexpr int maxMaxSteps = 100000000;

// A document as the editor holds it right after Open: the table with its red marks, and the
// memory bytes as the memory cells read them (cells beyond the document's text stay "00").
struct OpenedDocument {
    HeadlessTable table;
    ByteArrayMemory memory;
};
OpenedDocument openDocument(const LoadedDocument &document);

// The wrong cells of a table, row by row: "row R, COLUMN: TEXT" (R from 1).
QStringList wrongCellLines(const HeadlessTable &table);

// One line of an expectations file: a name and the value the final state must show.
struct Expectation {
    enum class Kind { End, Register, Flag, Memory };
    Kind kind = Kind::Register;
    QString name;  // as reported: "end", "A", "RON3", "Z", "M3A"
    int index = 0; // register (see registerNames()), flag (FlagIndex) or memory address
    int value = 0; // byte, flag, or for End a RunStatus (succeeded, stopped, limit)
};

// The names of the registers in the order of the panels: RK1 … RK4, RON0 … RON15, A, B, PC,
// SP, RI, RA, RB, R, S1, S2, S3.
const QStringList &registerNames();
int registerValue(const Processor &processor, int index);

// Reads an expectations file's text: NAME=VALUE lines, blank lines and # comments. On a
// malformed line, nullopt and *error = "LINE: what is wrong".
std::optional<QList<Expectation>> parseExpectations(QStringView text, QString *error);

// Runs orb-run with `arguments` (the first is the program name), writing to out and err as
// stdout and stderr; returns the exit status.
int runCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err);

} // namespace orb
