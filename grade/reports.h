#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The reports of a grading: json (the canonical one, documented by orb-grade.schema.json), csv,
// junit, tap, gradescope, and the terminal table, one file each (jsonreport.cpp, ...). Each
// writer writes to a device as it goes; writeReport puts a report in place atomically.

#include "grade/grader.h"

#include <QIODevice>
#include <QString>

#include <vector>

namespace orb {

struct GradeRun {
    const TestFile &tests;
    QString testsPath;
    QString referencePath; // empty without a reference
    const std::vector<SubmissionResult> &results;
    int threads; // the reports' texts are made on as many threads as the grading ran on
    QList<SkippedFile> skipped = {}; // what the search for submissions passed over
};

enum class ReportFormat { Json, Csv, Junit, Tap, Gradescope };
// nullopt for an unknown name.
std::optional<ReportFormat> reportFormat(const QString &name);

// One line per case as orb-run --tests prints it: "case NAME: STATUS, N steps[; what differs]".
QString verdictLine(const TestCase &testCase, const CaseResult &result);
// What went wrong in a case, one line per item, in words.
QStringList caseMessages(const CaseResult &result);

void writeJsonReport(QIODevice &out, const GradeRun &run);
void writeCsvReport(QIODevice &out, const GradeRun &run);
void writeJunitReport(QIODevice &out, const GradeRun &run);
void writeTapReport(QIODevice &out, const GradeRun &run);
// The results.json of one submission.
void writeGradescopeResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result);
// The results.json for a run that found no document or several: score 0 and why, in Russian.
void writeGradescopeRefusal(QIODevice &out, const GradeRun &run);
// The table of the terminal, then the totals.
void writeTable(QIODevice &out, const GradeRun &run);

// Writes the report to path ("-": to standardOutput) so that a failure leaves no half file (a
// device or pipe is written to directly). A gradescope report to a PATH ending in .json or -
// is one results.json (of the one submission, or score 0 and why); any other PATH is a folder
// of one file per submission, replaced as a whole. On failure, false and *error says why.
bool writeReport(ReportFormat format, const QString &path, const GradeRun &run,
                 QIODevice &standardOutput, QString *error);

} // namespace orb
