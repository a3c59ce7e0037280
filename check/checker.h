#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-check: the static checks of microprogram documents from the command line. A document is
// opened as orb-run opens it (the editor's own loading, the same red cells); a document without
// wrong cells is analysed (analysis/analysis.h) and its findings printed like a compiler's, or
// as one JSON document; --dot writes the automaton's graph.
//
// Everything lives here rather than in main() so that the tests run orb-check in-process.

#include "analysis/analysis.h"
#include "run/opendocument.h"

#include <QIODevice>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace orb {

// orb-check's exit statuses: the worst over all documents.
enum CheckStatus : int {
    CheckClean = 0,      // nothing above a note
    CheckWarnings = 1,   // warnings (with --strict also notes)
    CheckErrors = 2,     // errors: some run will fail
    CheckWrongCells = 3, // wrong cells; the document was not analysed
    CheckUnreadable = 4, // the file cannot be read or is not a document
    CheckNotWritten = 6, // the report or the graph could not be written
    CheckUsage = 64,
};

struct DocumentCheck {
    enum class Outcome { Checked, WrongCells, Unreadable };
    QString path;
    Outcome outcome = Outcome::Checked;
    QString problem; // why an unreadable document could not be read, as orb-run says it
    // Wrong cells (code "wrong-cell") or the analysis' findings.
    QList<Finding> findings;
    Program program;
    Analysis analysis;

    int count(Severity severity) const;
    // This document's exit status; strict counts notes as warnings.
    int status(bool strict) const;
};

DocumentCheck checkDocument(const QString &path);
// The same for a document opened already (the grading program opens each one once).
DocumentCheck checkLoadedDocument(const QString &path, const OpenedDocument &document,
                                  const LoadReport &report);

// One document's result as the JSON report writes it (also for the grading program).
QJsonObject documentJson(const DocumentCheck &check);
QJsonObject findingJson(const Finding &finding);

// Runs orb-check with `arguments` (the first is the program name), writing to out and err as
// stdout and stderr; returns the exit status.
int checkCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err);

} // namespace orb
