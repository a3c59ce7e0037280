#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// A document opened as the editor opens it, without a window: the row store with its red
// marks, the memory, the wrong cells as lines and the notices of the loader. orb-run, orb-check
// and orb-grade open every document here.

#include "app/document.h"
#include "app/loadreport.h"
#include "cells/rowrules.h"
#include "run/runstatus.h"
#include "sim/processor.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <optional>

namespace orb {

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

// A document by its path. `standardInput` is read for the path "-".
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

} // namespace orb
