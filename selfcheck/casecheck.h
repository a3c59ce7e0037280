#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The student's own check of a table against a teacher's test file, without widgets: the rows
// and the memory bytes as they stand at one moment are run on every case with orb-grade's
// engine (the same CaseRun, mismatches and statuses), and what failed is put in Russian words
// for the check window. With red cells nothing runs, as a launch refuses to; without them the
// static checks' findings come along. The snapshot is a plain value, so a check runs on any
// thread while the editor goes on.

#include "analysis/analysis.h"
#include "cells/rowrules.h"
#include "grade/grader.h"
#include "grade/testfile.h"
#include "run/runner.h"
#include "sim/processor.h"

#include <QList>
#include <QString>

#include <vector>

namespace orb {

// The table's rows with their marks and parsed forms, and the 256 memory bytes.
struct CheckSnapshot {
    std::vector<HeadlessTable::Row> rows;
    ByteArrayMemory memory;
};

// A document as Open leaves it in the editor.
CheckSnapshot documentSnapshot(const OpenedDocument &document);

// The rows of a snapshot as the step engine reads a table.
class SnapshotTableSource final : public TableSource {
public:
    explicit SnapshotTableSource(const std::vector<HeadlessTable::Row> &rows) : rows_(rows) {}
    int rowCount() const override { return int(rows_.size()); }
    QString cellText(int row, int field) const override;
    ParsedConditions parsedConditions(int row) const override;
    ParsedSignals parsedSignals(int row) const override;

private:
    const std::vector<HeadlessTable::Row> &rows_;
};

// A red cell: its row and field (from 0), its text and the reason its tool tip gives.
struct WrongCell {
    int row = 0;
    int field = 0;
    QString text;
    QString reason;
    // "Строка 3, Условия перехода: «…» — reason".
    QString line() const;
};

struct CaseOutcome {
    CaseResult result; // as orb-grade grades the case
    QString failure;   // the first failing item in words; empty when the case passed
};

struct CheckOutcome {
    QList<WrongCell> wrongCells;
    QList<Finding> findings; // only for a table without red cells
    std::vector<CaseOutcome> cases;

    int passedCount() const;
    int points() const;
    int maxPoints() const;
    // The index of the first case that did not pass, or -1.
    int firstFailing() const;
    // "Зачтено K из N, баллы P из M".
    QString summary() const;
};

// Every case of tests on the snapshot.
CheckOutcome checkSnapshot(const CheckSnapshot &snapshot, const TestFile &tests);

// A case followed in the execution window, press by press: what y67 shows is held against the
// case's display as it comes, and the final state against its expect items at the end.
class CaseWatch {
public:
    explicit CaseWatch(TestCase testCase) : case_(std::move(testCase)) {}
    const TestCase &testCase() const { return case_; }
    // y67 has shown `value`: empty when the display item holds so far, else the mismatch in
    // words ("вывод: ожидалось 4F, показано 52").
    QString shown(int value);
    // A step back took back the last value shown.
    void unshow();
    // The items that do not hold at the end, one line each in words.
    QStringList endFailures(const Processor &processor, const std::array<quint8, 256> &memory,
                            RunStatus end) const;

private:
    TestCase case_;
    QList<int> shown_;
};

// The result column: "зачтено", "неверный результат", "зациклилась", "остановилась",
// "красные ячейки" (and "не читается" for a document that could not be read).
QString caseStatusText(CaseStatus status);
// The column names as the main window heads them.
QString fieldTitle(int field);
// A finding in one line, as orb-check words it in Russian.
QString findingLine(const Finding &finding);

} // namespace orb
