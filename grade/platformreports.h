#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The reports a learning platform reads, one submission each, in the words a student reads
// (studentfeedback.h): GitHub Classroom's grading reporter, Moodle CodeRunner's combinator
// grader and Moodle VPL's evaluation output. Gradescope's results.json is in reports.h. A
// platform grades one submission at a time: with none or several found, the report says so to
// the student and scores 0.

#include "grade/reports.h"
#include "grade/studentfeedback.h"

#include <QIODevice>

namespace orb {

// The submission a platform's report is about.
SubmissionResult platformSubmission(const GradeRun &run);

// GitHub Classroom: the base64 of {"version":1,"status","max_score","tests":[...]} on one line.
void writeClassroomResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result);

// Moodle CodeRunner: {"fraction","testresults","prologuehtml","epiloguehtml"}.
void writeCodeRunnerResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result);
// When nothing could be graded (a mistake in the test file, an unusable reference): fraction 0
// and why, since CodeRunner takes anything on standard error for a failure of the question.
void writeCodeRunnerFailure(QIODevice &out, const QString &message);

// Moodle VPL: the comment block (a "-" title line per case, ">" detail lines) and the last line
// "Grade :=>> G", the points scaled into VPL_GRADEMIN … VPL_GRADEMAX (0 … 10 when unset).
void writeVplResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result);
// The scaled grade as VPL reads it: "6.67", "10".
QString vplGrade(int points, int maxPoints, double low, double high);

} // namespace orb
