#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
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
//
// Step back. When asked (setHistoryEnabled), the engine records for every press what it
// changed: the bytes of the run state, the processor and both panels that differ after the
// press, and the memory bytes the press wrote. stepBack() puts them back, so a press costs a
// few dozen bytes however long the run, and orb-run, which never asks, pays nothing.
//
// Breakpoints. A press arrives at a row when
//   1. after the press "Строка" shows that row, and before the press it showed another row or
//      the press took a transition (so a state that loops on itself arrives again each time
//      round); or
//   2. the press took that row's own transition and the row is not its state's first row (a
//      row that the search for a condition that holds moved to: such a row is shown only when
//      its state has no microoperations, and its transition happens inside the press that
//      shows the next state).
// A press that ends on the end screen arrives nowhere. The presses spent inside a row after
// it was arrived at do not arrive again, so a run to the end that stopped at a breakpoint runs
// on to the next arrival. The run to the end stops after the press that arrives at a row with
// a breakpoint (before the step limit is judged); orb-run --break stops the same way.
//
// Watches (sim/watch.h) stop a run to the end the same way, after the press whose
// microoperation changed a watched register or flag, or wrote a watched memory byte. What a
// press did (the rows it arrived at, whether it executed a microoperation, the byte it wrote)
// is kept in the Machine, so that a step back restores it with the rest: running back asks
// each earlier press, with the breakpoints and watches set now, whether it would have stopped.

#include "cells/celllanguage.h"
#include "cells/tablesource.h"
#include "sim/microops.h"
#include "sim/processor.h"
#include "sim/registers.h"
#include "sim/watch.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace orb {

class HeadlessTable;

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
    int conditionRow = -1; // the row whose condition text is shown; -1: none yet
    int signalsRow = -1;   // the row whose signals are shown; -1: none yet
    Operation operation;
    Processor registers;
    const Program *program = nullptr; // the engine's own, which never moves

    int rowLabel() const { return rowIndex + 1; }
    int stepLabel() const { return stepCount; }
    int initialStateLabel() const { return sourceState; }
    // "По условию" for a row with a condition, else the next state's number.
    QString nextStateLabel() const;
    const QString &controlSignalsLabel() const { return signalsText(); }
    QString operationLabel() const { return operation.text(); }
    const QString &conditionText() const;
    const QString &signalsText() const;
    // Whether the shown row's condition holds on the flags of the "after" panel.
    bool conditionHolds() const;
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

    // What one press did, as a run to the end and running back judge it.
    struct PressOutcome {
        static constexpr int maxArrivals = 3;
        // The rows (from 0) the press arrived at, in order; -1 past the last.
        std::array<qint32, maxArrivals> arrivals{-1, -1, -1};
        bool microoperation = false; // the before and after panels show its microoperation
        qint16 writtenAddress = -1;  // the memory byte it wrote; -1: none
        quint8 writtenOld = 0;
        quint8 writtenNew = 0;
    };

    // What one step of a run to the end did (runStep).
    enum class RunStep {
        Stepped, // one press; the run goes on
        Stopped, // the press arrived at a breakpoint or a watch stopped it
        Ended,   // the automaton had stopped: nothing done
        Limit,   // the step counter had passed the limit: the step-limit dialog, nothing done
    };

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
        int conditionRow = -1; // the row whose condition was read last; -1: none yet
        int signalsRow = -1;   // the row whose signals were loaded; -1: none yet
        Operation operation;   // operationText() builds its text
        std::array<qint32, signalSlots> signalList{};
        ControlFields controlFields;
        int microopIndex = -1;
        int transitionCount = 0; // transitions recorded so far; a step back restores it
    };

    // Takes the snapshot of the table and resets the run state and the processor; the view is
    // not called before start().
    StepEngine(const TableSource &table, MemoryAccess &memory, ExecutionView &view);
    StepEngine(Program program, MemoryAccess &memory, ExecutionView &view);
    StepEngine(const StepEngine &) = delete;
    StepEngine &operator=(const StepEngine &) = delete;

    // The start of a run: enter state 0 and execute the first step. It is not a press: step
    // back never goes before it.
    void start();
    // One press of the step button.
    void executeStep();
    // The run to the end: presses while the automaton runs and the step counter has not passed
    // `limit`, until a press arrives at a breakpoint; then, if the counter has passed the
    // limit and no breakpoint stopped it, the step-limit dialog. Returns whether the limit
    // stopped it (also when no step was left to take).
    bool runToEnd(int limit = stepLimit);
    // One step of the run to the end, for a run that goes at a pace: the same judgements in the
    // same order, the step-limit dialog included.
    RunStep runStep(int limit = stepLimit);

    // Records every later press so that stepBack() can undo it. Off by default.
    void setHistoryEnabled(bool enabled);
    bool canStepBack() const { return !history_.empty(); }
    // Undoes the last press: the run state, the processor and both panels become what they
    // were before it, and each memory byte it wrote gets its old value back if it still holds
    // the written one (a byte the user has edited since keeps the edit). The view is not
    // called; it shows beforePanel() and afterPanel() again. False when nothing is left.
    bool stepBack();
    // The presses that can be undone, and the bytes their records take.
    qsizetype historyDepth() const { return qsizetype(history_.depth()); }
    // With history on: the rows (from 0) whose transitions the run has taken, oldest first; a
    // step back takes back those of the press it undoes. Empty without history.
    std::vector<int> takenTransitions() const;
    qsizetype historyBytes() const { return qsizetype(history_.bytes()); }
    // Steps back over at least one press, on to the latest press at which the breakpoints and
    // watches set now would have stopped a run to the end, or to the first screen. The view is
    // not called. False when nothing is left to undo.
    bool runBack();
    // With history on: how many times the run has arrived at each row (from 0), the first
    // screen included; a step back takes back what its press added. Empty without history.
    const std::vector<int> &rowArrivals() const { return rowArrivals_; }

    // What the last press did; after a step back, the press now shown.
    const PressOutcome &lastPress() const { return machine_.lastPress; }
    // The registers and flags (bit i: the register table's entry i) whose value the
    // microoperation of the press shown changed.
    quint64 changedRegisters() const;

    // Rows (from 0) with a breakpoint; rows outside the table are ignored.
    void setBreakpoints(const std::vector<int> &rows);
    // Whether the last press arrived at a row with a breakpoint (see the rule above), and at
    // which (from 0; -1 for none): the row it shows when it arrived there, else the further
    // row whose transition it took.
    bool arrivedAtBreakpoint() const { return breakpointRow_ >= 0; }
    int breakpointRow() const { return breakpointRow_; }

    // The watches a run to the end judges after every press; judged in this order, the first
    // that stops names the reason.
    void setWatches(std::vector<Watch> watches);
    const std::vector<Watch> &watches() const { return watches_; }
    // The watch that stopped the last press (or the press a run back went to); nullopt for none.
    const std::optional<WatchStop> &watchStop() const { return watchStop_; }
    // Whether a run to the end stops after the last press.
    bool arrivedAtStop() const { return breakpointRow_ >= 0 || watchStop_.has_value(); }

    const RunState &state() const { return machine_.state; }
    bool running() const { return machine_.state.running; }
    bool endScreenShown() const { return machine_.state.endScreenShown; }
    int stepCount() const { return machine_.state.stepCount; }
    const QString &conditionText() const;
    const QString &signalsText() const;
    QString operationText() const { return machine_.state.operation.text(); }
    // "Успешное завершение программы" or "Не описан переход из состояния  " …
    QString endText() const;

    Processor &processor() { return machine_.processor; }
    const Processor &processor() const { return machine_.processor; }
    const Program &program() const { return program_; }
    MemoryAccess &memory() { return memory_; }

    // What the panels show (or, during a run to the end, will show when it stops).
    const Processor &beforePanel() const { return machine_.beforePanel; }
    const AfterPanel &afterPanel() const { return machine_.afterPanel; }

    static QString stepLimitHeading();
    static QString stepLimitText();

private:
    // Everything a press changes apart from memory, as plain bytes that a record can diff.
    struct Machine {
        Processor processor;
        RunState state;
        Processor beforePanel;
        AfterPanel afterPanel;
        PressOutcome lastPress;
    };

    // The records of the presses, newest last, packed one after another: for each byte of
    // the Machine that the press changed, its distance from the previous one and its old
    // value; then the memory bytes the press wrote; then the record's length.
    class History {
    public:
        struct MemoryWrite {
            int address;
            int oldValue;
            int newValue;
        };
        bool empty() const { return depth_ == 0; }
        size_t depth() const { return depth_; }
        size_t bytes() const { return records_.size(); }
        void clear();
        // A record of what turned `before` (the bytes of a Machine) into `after`, and of the
        // memory writes.
        void push(const quint8 *before, const Machine &after,
                  const std::vector<MemoryWrite> &writes);
        // Removes the newest record: puts its old bytes into `machine`, hands its writes,
        // newest first, to `undoWrite`.
        template <typename UndoWrite> void pop(Machine &machine, UndoWrite undoWrite);

    private:
        void putNumber(quint32 value);
        std::vector<quint8> records_;
        size_t depth_ = 0;
    };

    // The memory as a press with history sees it: every write is noted for its record.
    class RecordingMemory final : public MemoryAccess {
    public:
        explicit RecordingMemory(MemoryAccess &memory) : memory_(memory) {}
        int readMemory(int address) override { return memory_.readMemory(address); }
        void writeMemory(int address, int value) override;
        std::vector<History::MemoryWrite> writes;

    private:
        MemoryAccess &memory_;
    };

    // One press without its record: the step of the window's button.
    void step();
    void enterNextState();
    void findRow(int startRow);
    bool conditionHolds();
    // The end of the current row: its transition when its condition holds, else the search
    // of the state's further rows. Returns whether the transition was taken.
    bool leaveRow();
    void loadSignals(int rowIndex);
    void updatePanel(Panel which);
    void flushView();
    void showEndScreen();
    bool isBreakpoint(int row) const
    {
        return row >= 0 && size_t(row) < breakpoints_.size() && breakpoints_[size_t(row)];
    }
    void noteArrival(int row);
    // breakpointRow_ and watchStop_ for the press machine_.lastPress describes.
    void judgeLastPress();
    void countArrivals(int sign);

    Program program_;
    MemoryAccess &memory_;
    RecordingMemory recordingMemory_;
    ExecutionView &view_;
    Machine machine_;
    bool deferViewUpdates_ = false;
    bool beforeDirty_ = false;
    bool afterDirty_ = false;

    bool historyEnabled_ = false;
    History history_;
    // The rows of the transitions taken; only the first state().transitionCount are current.
    std::vector<int> transitionRows_;
    std::vector<quint8> breakpoints_; // by row; empty: none
    int breakpointRow_ = -1;
    bool transitionTaken_ = false; // during the current press
    // A watch as the judgement after every press reads it, found once when it is set.
    struct WatchProbe {
        RegisterPlace place; // a register's
        qint32 address = 0;  // a memory byte's
        qint32 value = -1;
        qint32 order = 0; // its index in watches_
    };
    std::vector<Watch> watches_;
    std::vector<WatchProbe> registerProbes_; // in the order of watches_
    std::vector<WatchProbe> memoryProbes_;   // likewise
    std::optional<WatchStop> watchStop_;
    std::vector<int> rowArrivals_;
};

} // namespace orb
