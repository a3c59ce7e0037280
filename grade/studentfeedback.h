#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What a student may read about a grading, in Russian: one verdict per case and, for a visible
// case that failed, as much detail as the teacher allows. A case that is not visible is named
// "скрытый тест N" and told only as passed or not: its data and expected values never reach a
// student. The platforms' reports (gradescope, classroom, coderunner, vpl) are made from this.

#include "grade/grader.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace orb {

// How much a student reads about a failed visible case: the verdict only, also the values that
// differ, or also where the run first parts from the reference's (without the reference's own
// microoperations and control fields, which would be the answer).
enum class StudentFeedback { Result, Values, Divergence };
// "result", "values", "divergence"; nullopt for another name.
std::optional<StudentFeedback> studentFeedbackLevel(const QString &name);

struct StudentCase {
    QString title; // the case's name, or "скрытый тест N"
    bool hidden = false;
    CaseStatus status = CaseStatus::Passed;
    int points = 0;
    int maxPoints = 0;
    QString verdict; // "зачтён", "не зачтён: …", "скрытый тест: не зачтён"
    QStringList details; // the values and the divergence, as the feedback level allows
    bool passed() const { return status == CaseStatus::Passed; }
    // pass, fail or error (not graded at all: the document or the deadline).
    bool error() const
    {
        return status == CaseStatus::RedCells || status == CaseStatus::Unreadable ||
               status == CaseStatus::NotRun;
    }
};

std::vector<StudentCase> studentCases(const TestFile &tests, const SubmissionResult &result,
                                      StudentFeedback feedback);

// Why no case could run ("" when the document ran): unreadable or wrong cells, in Russian.
QString studentDocumentProblem(const SubmissionResult &result);
// One paragraph for the whole submission: the points, how many cases passed, the document's
// problem, the cases the deadline left.
QString studentSummary(const TestFile &tests, const SubmissionResult &result);

// The result a student reads when there is no one submission to grade: 0 points, every case
// not run, and why (none found, or which ones were found).
SubmissionResult missingSubmission(const TestFile &tests,
                                   const std::vector<SubmissionResult> &found);

// HTML text with <, >, &, " and ' escaped.
QString htmlEscaped(const QString &text);

} // namespace orb
