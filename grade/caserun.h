#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// One case of a test file run on one document, press by press exactly as orb-run presses: the
// document's memory with the case's bytes written over it, the reset registers with the case's
// values, the case's data bytes for y66, and the case's step limit. The values y67 shows are
// recorded as the display.

#include "grade/testfile.h"
#include "sim/registers.h"
#include "sim/stepengine.h"

#include <QList>
#include <QString>

#include <optional>

namespace orb {

enum class CaseStatus { Passed, Wrong, Loops, Stopped, RedCells, Unreadable };
// "passed", "wrong", "loops", "stopped", "red-cells", "unreadable".
QString caseStatusName(CaseStatus status);

struct Mismatch {
    QString name;
    QString expected;
    QString got;
};

// Register `index` of registerNames() (and flag `index` of FlagIndex) written directly.
void setRegisterValue(Processor &processor, int index, int value);
void setFlagValue(Processor &processor, int index, int value);

class CaseRun {
public:
    CaseRun(Program program, const ByteArrayMemory &memory, const TestCase &testCase);
    CaseRun(const CaseRun &) = delete;
    CaseRun &operator=(const CaseRun &) = delete;

    // One press (the first is the opening of the execution window); false, pressing nothing,
    // once the end screen has been shown or the step counter has passed the limit.
    bool press();
    void runToEnd();
    // Presses until a press has executed a microoperation (rows without microoperations and
    // transitions do not count); false when the run ended first.
    bool nextMicrooperation();

    bool over() const { return over_; }
    // RunSucceeded, RunStopped or RunLimit; meaningful once over().
    RunStatus end() const;
    const StepEngine &engine() const { return engine_; }
    const ByteArrayMemory &memory() const { return memory_; }
    // The memory as the first press found it: the document's with the case's bytes.
    const ByteArrayMemory &initialMemory() const { return initialMemory_; }
    const QList<int> &displayed() const { return displayed_; }
    // The signals of the messages shown (68, 69), in order.
    const QList<int> &messages() const { return messages_; }
    // The value an expectation names in the final state (End: a RunStatus).
    int finalValue(const Expectation &expectation) const;

    // The signal being executed, while its dialog is open.
    int currentSignal() const;

private:
    class View final : public ExecutionView {
    public:
        explicit View(CaseRun &run) : run_(run) {}
        void updateRegisterPanel(Panel) override {}
        void showEndScreen() override {}
        void showMessage(const QString &) override;
        std::optional<int> requestDataByte(const QString &) override;
        void showStepLimitDialog(const QString &, const QString &) override {}
        void scheduleDeletion() override {}

    private:
        CaseRun &run_;
    };

    ByteArrayMemory memory_;
    ByteArrayMemory initialMemory_;
    View view_;
    StepEngine engine_;
    const QList<int> &inputs_;
    qsizetype nextInput_ = 0;
    int maxSteps_;
    QList<int> displayed_;
    QList<int> messages_;
    bool started_ = false;
    bool over_ = false;
    bool limit_ = false;
};

// An expectation's value as the panels and messages write it ("3C", "1", "success").
QString expectationValueText(const Expectation &expectation, int value);
// The mismatches of a finished run against a case's expect and display items.
QList<Mismatch> caseMismatches(const TestCase &testCase, const CaseRun &run);
// passed, or why not: loops, stopped or wrong.
CaseStatus caseStatus(const TestCase &testCase, const CaseRun &run,
                      const QList<Mismatch> &mismatches);

// Where a student's run first parts from the reference's on the same case: the k-th executed
// microoperation of each differs in its signal, its control fields or the state after it, or
// one run ends before the other executes its k-th.
struct Divergence {
    enum class Kind { Differs, StudentEnded, ReferenceEnded, EndsDiffer };
    Kind kind = Kind::Differs;
    int index = 0; // k, from 1
    int studentStep = 0;
    int referenceStep = 0;
    QString studentOperation;
    QString referenceOperation;
    int studentRow = 0; // from 1; 0 when the student's run had ended
    int referenceRow = 0;
    QString studentEnd; // for the ended kinds: "success", "stopped", "limit"
    QString referenceEnd;
    QList<Mismatch> differences; // expected: the reference's value, got: the student's
    // One line in words.
    QString text() const;
};

// Runs both side by side, microoperation by microoperation, and stops at the first difference;
// nullopt when none is found.
std::optional<Divergence> findDivergence(const Program &student,
                                         const ByteArrayMemory &studentMemory,
                                         const Program &reference,
                                         const ByteArrayMemory &referenceMemory,
                                         const TestCase &testCase);

QString endName(RunStatus status);

} // namespace orb
