#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The window in which a microprogram runs. The main window creates it on a launch; it owns the
// processor and the run state through a StepEngine, which reads a snapshot of the transition
// table taken here and the document's memory model live, and it shows what the engine
// records: the registers before and after each microoperation, the header of the current row
// and the operation text, then the end screen. It deletes itself (deferred) when it closes;
// its destroyed() notification is what unlocks the main window's table.
//
// It is also a small debugger: the engine keeps the history of the presses, so that
// pushButton_3 and Backspace step back, and the run to the end stops at the breakpoints the
// main window hands in (setBreakpoints); currentRowChanged() tells it which row "Строка"
// shows, so that its table can mark that row.
//
// The rest of the debugger is reached through inputs the window otherwise leaves alone: a
// double-click on a value cell of the "after" panel watches that register (Shift: for a
// value), the cells' context menu chooses the radix, Shift+Backspace (Shift with pushButton_3)
// runs back to the previous stop, F6 marks what the last microoperation changed, and the
// context menu of endButton sets the pace of the run to the end. Untouched, the window is the
// plain one: no marks, hexadecimal cells, the instant run to the end.

#include "sim/pacedrun.h"
#include "sim/registercells.h"
#include "sim/registers.h"
#include "sim/runhooks.h"
#include "sim/stepengine.h"
#include "sim/watchlist.h"

#include "cells/memorymodel.h"

#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QPoint>
#include <QRect>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class MainWindow;
class QLabel;
class QPushButton;

namespace Ui {
class ExecutionWindow;
}

class ExecutionWindow final : public QDialog, public orb::ExecutionView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExecutionWindow)

public:
    // Registers in the order of the panels' value cells, then the eight flags.
    static constexpr int registerCellCount = orb::registerCount;
    static constexpr int flagCellCount = orb::flagCount;
    static constexpr int panelCellCount = orb::registerTableSize;

    // Resets the run, takes a snapshot of the table and executes the first step, so that the
    // window opens on the first executed microoperation (a dialog of that step comes up before
    // the window is shown). The run reads and writes `memory` for as long as the model lives;
    // the window goes beside `beside` when that is shown.
    ExecutionWindow(const orb::TableSource &table, orb::MemoryModel &memory, QWidget *beside,
                    QWidget *parent = nullptr);
    // A run of a teacher's test case: `hooks` set the case's data before the first press,
    // offer its input bytes and check its display (see sim/runhooks.h).
    ExecutionWindow(const orb::TableSource &table, orb::MemoryModel &memory, QWidget *beside,
                    orb::RunHooks hooks, QWidget *parent = nullptr);
    // The run of the main window's document, beside it; the window closes when the main window
    // discards its document (closed()).
    explicit ExecutionWindow(MainWindow *mainWindow, QWidget *parent = nullptr);
    ~ExecutionWindow() override;

    void updateRegisterPanel(orb::Panel which) override;
    void hideStepDetails();
    void showEndScreen() override;
    // Register A := value; the data-byte dialog stores an entered byte with it.
    void setA(int value);

    // One press of the step button, the run to the end, and a step back (pushButton_3,
    // Backspace); a step back with nothing left to undo does nothing.
    void executeStep();
    void runToEnd();
    void stepBack();
    // Steps back to the latest earlier press at which a breakpoint or a watch would have
    // stopped a run to the end, or to the first screen (Shift+Backspace, Shift+pushButton_3).
    void runBack();

    // The pace of the run to the end; Instant is the run inside the button's slot.
    using Pace = PacedRun::Pace;
    void setPace(Pace pace) { paced_->choose(pace); }
    Pace pace() const { return paced_->current(); }
    // A paced run is under way; any key or button click pauses it.
    bool pacedRunActive() const { return paced_ && paced_->active(); }
    void pausePacedRun();

    // The watches this run stops at: the main window's, or the window's own until it gets them.
    void setWatchList(orb::WatchList *watches);
    orb::WatchList *watchList() const { return watches_; }

    // Rows (from 0) at which the run to the end stops; see StepEngine for when it arrives.
    void setBreakpoints(const std::vector<int> &rows);
    // The row "Строка" shows or showed last (from 0); -1 before any.
    int shownRow() const { return engine_.afterPanel().rowIndex; }

    // Where the window goes so that the main window stays in sight: right of the main
    // window's frame, else below it, inside the available screen area; nullopt when neither
    // has room. frameSize is this window's size with its frame.
    static std::optional<QPoint> placeBeside(const QRect &mainFrame, const QSize &frameSize,
                                             const QRect &available);
    // A register value cell's tool tip: "3C = 60 = +60 = 0011 1100".
    static QString registerToolTip(int value) { return RegisterCells::valueToolTip(value); }

    const orb::StepEngine &engine() const { return engine_; }

    // The panels' value cells in the register table's order (keys rk1 … s3, then x4 … p).
    static const std::array<const char *, panelCellCount> &panelCellKeys()
    {
        return RegisterCells::cellKeys();
    }

    void showMessage(const QString &message) override;
    std::optional<int> requestDataByte(const QString &prompt) override;
    void showStepLimitDialog(const QString &heading, const QString &text) override;
    void scheduleDeletion() override;

signals:
    void currentRowChanged(int row);
    // After every press, run to the end and step back, once the window shows its outcome.
    void engineCallFinished();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    // Which modifiers came with pushButton_3's press and release.
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_nextButton_pressed();
    void on_nextButton_released();
    void on_endButton_pressed();
    void on_endButton_released();
    void on_pushButton_3_pressed();
    void on_pushButton_3_released();

private:
    // The document's memory while it lives; the editor may go before the window does, and
    // its memory then reads as 0.
    class DocumentMemory final : public orb::MemoryAccess {
    public:
        explicit DocumentMemory(orb::MemoryModel &memory) : memory_(&memory) {}
        int readMemory(int address) override { return memory_ ? memory_->byte(address) : 0; }
        void writeMemory(int address, int value) override
        {
            if (memory_)
                memory_->writeMemory(address, value);
        }
        void restoreMemory(int address, int value) override
        {
            if (memory_)
                memory_->restoreMemory(address, value);
        }

    private:
        QPointer<orb::MemoryModel> memory_;
    };

    void pressLook(QPushButton *button, int offset);
    // Runs one call of the engine; a deletion requested meanwhile waits until it returns.
    template <typename Call> void runEngine(Call call);
    // After every call of the engine: the step-back button and the current row.
    void engineCallEnded();
    // Undoes what showEndScreen() moved and hid.
    void leaveEndScreen();
    void placeBesideWindow(const QWidget *window);
    // Undoes presses: one, or back to the previous stop.
    void undo(bool toPreviousStop);

    // The debugger's inputs and looks (see the class comment).
    void setUpDebugger();
    void watchesChanged();
    void pacedStep();
    // After a run that a watch stopped: the operation line says why.
    void showStopReason();
    void updateOperationToolTip();

    std::unique_ptr<Ui::ExecutionWindow> ui;
    DocumentMemory memory_;
    orb::StepEngine engine_;
    RegisterCells *cells_ = nullptr;
    QFont operationFont_;
    QFont labelFont_;
    bool endScreenLaidOut_ = false;
    int notifiedRow_ = -1;
    int engineDepth_ = 0;
    bool deletionPending_ = false;
    bool byteRequestOpen_ = false;
    std::optional<int> enteredByte_;

    orb::WatchList ownWatches_;
    QPointer<orb::WatchList> watches_;
    QString plainEndToolTip_;
    PacedRun *paced_ = nullptr;
    Qt::KeyboardModifiers backButtonModifiers_;
    QString stopReason_; // the reason shown on the operation line; empty for none

    // A case's run: what its presses took of the case, so that a step
    // back gives it back. `depth` is the history depth after the press (0: the first screen).
    struct CaseEvent {
        qsizetype depth = 0;
        bool display = false; // y67 showed a byte; else y66 took an input byte
    };
    std::optional<int> offerCaseInput();
    void noteCaseDisplay();
    void takeBackCaseEvents();
    void showCaseStop();
    void showCaseEndNotes();
    qsizetype caseEventDepth() const;
    orb::RunHooks hooks_;
    std::vector<CaseEvent> caseEvents_;
    QString caseStop_;            // the display mismatch that held the run
    QLabel *caseNotes_ = nullptr; // the case's failing items, under the end screen's panel
    bool starting_ = false;       // the first screen is being executed
};

template <typename Call> void ExecutionWindow::runEngine(Call call)
{
    ++engineDepth_;
    call();
    --engineDepth_;
    engineCallEnded();
    if (engineDepth_ == 0 && deletionPending_) {
        deletionPending_ = false;
        deleteLater();
    }
}
