#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Grading: the reference solution checked against the test file (and its ? values taken from
// it), the submissions found under the paths given, each opened once and run on every case on
// a fresh copy of its memory, on several threads. The results come back in submission order
// whatever the number of threads.

#include "check/checker.h"
#include "grade/caserun.h"
#include "grade/testfile.h"
#include "run/opendocument.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace orb {

struct CaseResult {
    CaseStatus status = CaseStatus::Wrong;
    int points = 0;
    int maxPoints = 0;
    int steps = 0;
    RunStatus end = RunStopped;
    QList<Mismatch> mismatches;
    std::optional<Divergence> divergence;
};

struct Submission {
    QString name; // relative to the folder given, or the path as given
    QString path;
};

struct SubmissionResult {
    QString name;
    // Passed when it could be run; RedCells or Unreadable otherwise (then no case ran).
    CaseStatus document = CaseStatus::Passed;
    QString readError;
    // What a student reads instead of the usual words, when there was no one document to grade.
    QString studentProblem;
    QStringList wrongCells;
    std::vector<CaseResult> cases;
    int points = 0;
    // For finding copies (copies.h): the file's bytes and its table up to renumbering; empty
    // when the file cannot be read or the table has no row.
    QByteArray fileDigest;
    QByteArray tableDigest;
    // The static checks of a document that could be read (as orb-check gives them: wrong cells
    // as errors, or the analysis' findings, and what the loader reinterpreted).
    bool checked = false;
    QList<Finding> findings;
    int findingCount(Severity severity) const;

    bool allPassed() const;
    // The first thing wrong, in words ("" when all passed).
    QString firstProblem(const TestFile &tests) const;
};

// A document opened as orb-run opens it: readError when it cannot be read or is not a
// document, wrongCells when it has wrong cells.
struct LoadedSubmission {
    std::optional<Program> program;
    ByteArrayMemory memory;
    QString readError;
    QStringList wrongCells;
};
// With findings, also the document's static checks.
LoadedSubmission loadSubmission(const QString &path, QList<Finding> *findings = nullptr);

// The teacher's solution: it must run without wrong cells and meet every item of every case
// that is not ?; the ? items of `tests` take its final values. On failure, nullopt and *error
// says which case it fails and how.
struct Reference {
    Program program;
    ByteArrayMemory memory;
};
std::optional<Reference> prepareReference(const QString &path, TestFile &tests, QString *error);

// What the search for submissions passed over, and why ("not a regular file", "a link out of
// the folder", "cannot read the folder: ...").
struct SkippedFile {
    QString path;
    QString reason;
};

// The .orb files (the suffix in any letter case) under each path: folders recursively, sorted,
// links not followed out of the folder; a path to a file is taken as it is. What a folder holds
// with the suffix but cannot be graded goes to *skipped. On an error, nullopt and *error.
std::optional<std::vector<Submission>> findSubmissions(const QStringList &paths, QString *error,
                                                       QList<SkippedFile> *skipped = nullptr);

using GradeClock = std::chrono::steady_clock;

// One submission on every case; a case that the deadline finds unfinished or not begun is
// NotRun.
SubmissionResult gradeSubmission(const Submission &submission, const TestFile &tests,
                                 const Reference *reference,
                                 GradeClock::time_point deadline = GradeClock::time_point::max());
// The result of a case's run that has ended (without a divergence).
CaseResult caseResult(const TestCase &testCase, const CaseRun &run);
// One case of an opened document.
CaseResult gradeCase(const Program &program, const ByteArrayMemory &memory,
                     const TestCase &testCase, const Reference *reference,
                     GradeClock::time_point deadline = GradeClock::time_point::max());

// What a platform limits: the time, and (under an address-space limit) the threads.
struct GradeLimits {
    GradeClock::time_point deadline = GradeClock::time_point::max();
    // Set by gradeAll: the threads it could start (fewer than asked when the system refused).
    int threadsStarted = 0;
};

// Every submission on `threads` threads; progress(done) is called on the calling thread now and
// then while they run, and once at the end.
std::vector<SubmissionResult> gradeAll(const std::vector<Submission> &submissions,
                                       const TestFile &tests, const Reference *reference,
                                       int threads,
                                       const std::function<void(int done)> &progress = {},
                                       GradeLimits *limits = nullptr);

} // namespace orb
