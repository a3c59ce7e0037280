#pragma once

// The step engine: runs a microprogram as a control automaton over the transition table, one
// microoperation per step, on the processor model.
//
// The engine reads the table once, when it is built, into a Program: the table is locked for
// the whole run, but its cells may be destroyed (New, Open) while an execution window still
// shows the run, so nothing here ever points into a cell. Memory is read and written live
// through MemoryAccess. Everything the user sees goes through ExecutionView: the engine keeps
// the contents of both register panels (registers, header labels, operation) and tells the view
// when to show them; during a run to the end it only records them and brings the view up to
// date before every modal dialog and when the run stops, which is all anyone can see.

#include "cells/celllanguage.h"
#include "sim/microops.h"
#include "sim/processor.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace orb {

class HeadlessTable;

// The transition table as the engine reads it at the start of a run.
class TableSource {
public:
    virtual ~TableSource() = default;
    virtual int rowCount() const = 0;
    // field: SourceStateField, NextStateField, ConditionsField or SignalsField.
    virtual QString cellText(int row, int field) const = 0;
    virtual ParsedConditions parsedConditions(int row) const = 0;
    virtual ParsedSignals parsedSignals(int row) const = 0;
};

// orb-run's table (the cells as the editor would hold them after Open).
class HeadlessTableSource final : public TableSource {
public:
    explicit HeadlessTableSource(const HeadlessTable &table) : table_(table) {}
    int rowCount() const override;
    QString cellText(int row, int field) const override;
    ParsedConditions parsedConditions(int row) const override;
    ParsedSignals parsedSignals(int row) const override;

private:
    const HeadlessTable &table_;
};

// A conditions cell reduced to what it means: always, never, or some flags (bit k = the flag
// of FlagIndex k) that must have given values.
struct TransitionCondition {
    enum class Kind : quint8 { Always, Never, Flags };
    Kind kind = Kind::Always;
    quint8 mask = 0;
    quint8 expected = 0;

    // Same meaning as conditionsHold() for the cell the condition was built from.
    static TransitionCondition fromCell(const QString &text, const ParsedConditions &parsed);
    bool holds(int flagBits) const
    {
        return kind == Kind::Always || (kind == Kind::Flags && (flagBits & mask) == expected);
    }
};

// One table row as the engine keeps it.
struct ProgramRow {
    int sourceState = -1; // -1: empty source-state cell (the row is never found)
    int nextState = 0;    // an empty next-state cell reads as 0
    TransitionCondition condition;
    QString conditionText;
    QString signalsText;
    // Parsed signal numbers, ascending, 0-terminated; all 0 for an empty cell.
    std::array<qint32, signalSlots> signalNumbers{};
};

// The snapshot of a transition table.
class Program {
public:
    Program() = default;
    explicit Program(const TableSource &table);
    int rowCount() const { return int(rows_.size()); }
    const ProgramRow &row(int index) const { return rows_[size_t(index)]; }

private:
    std::vector<ProgramRow> rows_;
};

enum class Panel { Before, After };

// What the "after" panel and the header show for the last step: the values of the run state
// at that panel update, and the registers after the microoperation.
struct AfterPanel {
    int rowIndex = -1;
    int stepCount = 1;
    int sourceState = 0;
    int nextState = 0;
    const QString *conditionText = nullptr; // into the engine's Program; valid while it lives
    const QString *signalsText = nullptr;
    Operation operation;
    Processor registers;

    int rowLabel() const { return rowIndex + 1; }
    int stepLabel() const { return stepCount; }
    int initialStateLabel() const { return sourceState; }
    // "По условию" for a row with a condition, else the next state's number.
    QString nextStateLabel() const;
    const QString &controlSignalsLabel() const { return *signalsText; }
    QString operationLabel() const { return operation.text(); }
};

// The execution window's side of a run. Dialogs are modal: they return when the user answered.
class ExecutionView {
public:
    virtual ~ExecutionView() = default;
    // Show StepEngine::beforePanel() or afterPanel() now.
    virtual void updateRegisterPanel(Panel which) = 0;
    // Switch to the end screen: the "before" panel has just been updated with the final state;
    // the message is StepEngine::endText().
    virtual void showEndScreen() = 0;
    // y67 … y70: the message dialog; returns when it has been closed.
    virtual void showMessage(const QString &message) = 0;
    // y66: the data-byte dialog with `prompt`; nullopt when it closed without a confirmed entry
    // (A then keeps its value).
    virtual std::optional<int> requestDataByte(const QString &prompt) = 0;
    // The run to the end passed its step limit: the errors dialog with this heading and text.
    virtual void showStepLimitDialog(const QString &heading, const QString &text) = 0;
    // A step on the end screen: close the window once control is back in the event loop.
    virtual void scheduleDeletion() = 0;
};

class StepEngine {
public:
    static constexpr int stepLimit = 999;

    // The run state; the names are those the execution window has always used.
    struct RunState {
        bool running = true;
        bool stoppedUnderConditions = false;
        bool succeeded = false;
        bool endScreenShown = false;
        int stepCount = 1;
        int rowIndex = -1;
        int sourceState = 0;
        int nextState = 0;
        const QString *conditionText = nullptr; // into the Program; never null
        const QString *signalsText = nullptr;
        Operation operation; // operationText() builds its text
        std::array<qint32, signalSlots> signalList{};
        ControlFields controlFields;
        int microopIndex = -1;
    };

    // Takes the snapshot of the table and resets the run state and the processor; the view is
    // not called before start().
    StepEngine(const TableSource &table, MemoryAccess &memory, ExecutionView &view);
    StepEngine(Program program, MemoryAccess &memory, ExecutionView &view);
    StepEngine(const StepEngine &) = delete;
    StepEngine &operator=(const StepEngine &) = delete;

    // The start of a run: enter state 0 and execute the first step.
    void start();
    // One press of the step button.
    void executeStep();
    // The run to the end: steps while the automaton runs and the step counter has not passed
    // `limit`; then, if it has passed it, the step-limit dialog. Returns whether the limit
    // stopped it (also when no step was left to take).
    bool runToEnd(int limit = stepLimit);

    void enterNextState();
    void findRow(int startRow);
    bool conditionHolds();

    const RunState &state() const { return state_; }
    bool running() const { return state_.running; }
    bool endScreenShown() const { return state_.endScreenShown; }
    int stepCount() const { return state_.stepCount; }
    const QString &conditionText() const { return *state_.conditionText; }
    const QString &signalsText() const { return *state_.signalsText; }
    QString operationText() const { return state_.operation.text(); }
    // "Успешное завершение программы" or "Не описан переход из состояния  " …
    QString endText() const;

    Processor &processor() { return processor_; }
    const Processor &processor() const { return processor_; }
    const Program &program() const { return program_; }
    MemoryAccess &memory() { return memory_; }

    // What the panels show (or, during a run to the end, will show when it stops).
    const Processor &beforePanel() const { return beforePanel_; }
    const AfterPanel &afterPanel() const { return afterPanel_; }

    static QString stepLimitHeading();
    static QString stepLimitText();

private:
    void loadSignals(const ProgramRow &row);
    void updatePanel(Panel which);
    void flushView();
    void showEndScreen();

    Program program_;
    MemoryAccess &memory_;
    ExecutionView &view_;
    Processor processor_;
    RunState state_;
    Processor beforePanel_;
    AfterPanel afterPanel_;
    bool deferViewUpdates_ = false;
    bool beforeDirty_ = false;
    bool afterDirty_ = false;
};

} // namespace orb
