#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Ties the check window to the editor. F8 in the main window or in an execution window opens
// it on a test file: the one last used with this document in this session, else the only
// *.orbtest beside a saved document, else one the student picks. The cases run on a snapshot
// of the table and the memory, taken on the GUI thread and checked on another one, so the
// document is never touched and typing never waits; each committed cell, row change or memory
// byte takes a new snapshot a moment later, and a check that is still running when another
// change arrives is followed by one more.

#include "grade/testfile.h"
#include "selfcheck/checkhost.h"
#include "selfcheck/casecheck.h"

#include "cells/memorymodel.h"
#include "cells/tablerows.h"

#include <QFutureWatcher>
#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class ExecutionWindow;
class QTimer;
class QWidget;
class SelfCheckWindow;

class SelfCheckLink final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SelfCheckLink)

public:
    // Time from the last change to the start of a new check: long enough to take a burst of
    // changes (a loaded document, an undo of many cells) as one.
    static constexpr int recheckDelayMs = 15;

    // Follows the rows and the memory of the document edited in `window`; the window's owner
    // passes on its New and Open (documentReplaced) and its runs (attach).
    SelfCheckLink(QWidget *window, const orb::TableRows &rows, const orb::MemoryModel &memory,
                  CheckHost &host);
    ~SelfCheckLink() override;

    static QKeySequence checkKey();

    // Opens the window (or brings it forward), choosing the test file as F8 does.
    SelfCheckWindow *showCheck();
    SelfCheckWindow *checkWindow() const;
    // Uses another test file ("Другой файл…" after its dialog); an empty path changes nothing.
    void useTestFile(const QString &path);
    QString testFilePath() const { return testPath_; }

    // Opens the execution window on case `index` (from 0) of the test file: the table as it
    // stands, over a copy of the memory with the case's data, which the memory page shows
    // read-only while the run is open. Nothing when the table has red cells or a run is open.
    ExecutionWindow *showCase(int index);
    ExecutionWindow *caseRun() const;

    // The table and the memory as they stand now.
    orb::CheckSnapshot snapshot() const;
    // The last outcome shown; nullopt before the first.
    const std::optional<orb::CheckOutcome> &outcome() const { return outcome_; }
    // Whether a check is waiting or running.
    bool checking() const;

    // The file dialog that picks a test file; the tests replace it.
    std::function<QString(QWidget *parent, const QString &folder)> chooseTestFile;

    // Another document is in the window (New, Open): perhaps with a test file of its own.
    void documentReplaced();
    // A run has started: F8 works in its window too.
    void attach(ExecutionWindow *run);

signals:
    // A check has ended and its outcome is shown.
    void checked();

private:
    void installShortcut(QWidget *window);
    QString documentKey() const;
    QString findTestFile();
    void loadTestFile();
    void scheduleCheck();
    void startCheck();
    void checkFinished();
    void chooseCell(int row, int field);

    QWidget *window_;
    const orb::TableRows &rows_;
    const orb::MemoryModel &memory_;
    CheckHost &host_;
    QPointer<SelfCheckWindow> check_;
    QPointer<ExecutionWindow> caseRun_;
    // The test file of each document path used in this session ("" for an unsaved document).
    QHash<QString, QString> testPaths_;
    QString testPath_;
    std::optional<orb::TestFile> tests_;
    std::optional<orb::CheckOutcome> outcome_;
    QTimer *timer_ = nullptr;
    QFutureWatcher<orb::CheckOutcome> watcher_;
    bool again_ = false;
    // Which test file a check ran on: one read since is not shown the old one's outcome.
    int generation_ = 0;
    int runningGeneration_ = 0;
};
