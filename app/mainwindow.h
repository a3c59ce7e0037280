#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The editor's window. It holds the microprogram being written: the transition table on its
// first page and the 16 x 16 memory table on its second page. The table's rows live in a row
// store (cells/tablerows.h), which owns the texts, marks, parsed forms and errorCount; the
// cells on screen are a view of the rows in sight (app/transitiontableview.h). The memory
// lives in a memory model (cells/memorymodel.h), which the memory table's cells show. The
// cell editors reach the rows through the accessors below; everything else is handed the
// row store and the memory model.
//
// Rows never move between grid rows: inserting or deleting a row changes the store, and the
// cells that exist show the store's rows at their indexes again; only the last grid row is
// ever created or destroyed, so a cell's row index stays right for its whole life.

#include "cells/memorymodel.h"
#include "cells/tablerows.h"
#include "selfcheck/checkhost.h"
#include "sim/watchlist.h"

#include <QFont>
#include <QMainWindow>
#include <QString>

#include <memory>

class DocumentHistory;
struct DocumentWindow;
class QCloseEvent;
class QPaintEvent;
class QLabel;
class ExecutionWindow;
class RamLineEdit;
class RowMarks;
class QTableWidget;
class QTimer;
class TTLineEdit;
class TransitionTableView;

namespace Ui {
class MainWindow;
}

namespace orb {
struct LoadedDocument;
}

class MainWindow : public QMainWindow, public CheckHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    static constexpr int maxStringCount = 500;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The rows of the transition table; everything that edits or follows them attaches here.
    orb::TableRows &tableRows() { return rows_; }
    const orb::TableRows &tableRows() const { return rows_; }

    // The document's memory; the memory table's cells show it.
    orb::MemoryModel &memory() { return memory_; }
    const orb::MemoryModel &memory() const { return memory_; }

    // Undo and redo of the document's changes.
    DocumentHistory &history() { return *history_; }

    int stringCount() const { return rows_.rowCount(); }
    int currentString() const { return rows_.currentRow(); }
    int currentColumn() const { return currentColumn_; }
    // Records the cell that received the focus (called by the cells).
    void setCurrentCell(int string, int column);

    // The cell at grid column 2, 4, 6 or 8 of a row; nullptr outside the table. Builds the
    // row's cells if they do not exist yet; the cell stays until its row is deleted or the
    // table replaced, so the pointer may be kept.
    TTLineEdit *ttCell(int string, int column) const;
    // The same cell for a moment's use (focus moves): it goes again once its row is out of
    // view and has no focus.
    TTLineEdit *viewCell(int string, int column) const;
    // What ttCell(string, column) holds, read without building any cell; an empty text and
    // empty parsed forms outside the table.
    QString cellText(int string, int column) const;
    orb::ParsedConditions parsedConditions(int string) const;
    orb::ParsedSignals parsedSignals(int string) const;
    // The row-number label (grid column 0) of a row; nullptr outside the table.
    QLabel *rowNumberLabel(int string) const;
    // The memory table and its cell editor at (row, column), the byte at address
    // 16 * row + column; both build the table's cells if they do not exist yet.
    QTableWidget *ramTable() const override;
    RamLineEdit *ramCell(int row, int column) const;
    // The watches every run of this window stops at.
    orb::WatchList *watchList() const { return watches_; }

    int errorCount() const { return rows_.errorCount(); }

    // The file the document was last opened from or saved to; empty for a new document.
    QString documentPath() const override { return documentPath_; }
    // Shows the table page and puts the focus into a cell (grid column 2 … 8); while a run
    // locks the table, only scrolls the cell into view.
    void selectCell(int string, int column) override;

    // Deletes the row of the focused cell (currentString); never the only row.
    void deleteString();
    // Destroys the label and the cells of every row; the rows are left to the caller.
    void removeStringWidgets();
    // Scrolls to a row and, unless a run locks the table, puts the focus into its first cell.
    void selectRow(int string);

    void forbidTtChangesAndLaunch();
    // Starts a run as the start button does, in the window `make` builds.
    ExecutionWindow *launch(const std::function<ExecutionWindow *()> &make) override;
    // Opens a document file as Open does once its dialog has chosen the name; false, changing
    // nothing, when the file cannot be read or is no document.
    bool openDocument(const QString &fileName);

signals:
    void closed();
    // A run has started in `window`.
    void launched(ExecutionWindow *window);

private slots:
    void on_editButton_clicked();
    void on_ramButton_clicked();
    void on_addButton_clicked();
    void on_deleteButton_clicked();
    void on_startButton_released();
    void on_startButton_pressed();
    void on_actionOpen_activated();
    void on_actionSave_activated();
    void on_actionNew_activated();

public slots:
    void addString(int stringNumber);
    void allowTtChangesAndLaunch();

private slots:
    void on_info_triggered();

protected:
    // Every close request asks the exit dialog first.
    void closeEvent(QCloseEvent *event) override;

    // The file dialogs of Save and Open, starting at the last path of each; an empty name
    // means cancelled. Virtual so that the tests can answer them without a real dialog.
    virtual QString chooseSaveFileName(const QString &startPath);
    virtual QString chooseOpenFileName(const QString &startPath);

    void paintEvent(QPaintEvent *event) override;

private:
    void connectForm();
    // The first row's source state with the cursor at its start takes a new row above it.
    bool takesFirstRowCase();
    void setRamPageShown(bool shown);
    // The end-of-edit check of the cell being edited, so that its mark and text are final.
    void commitCurrentCell();
    // Replaces the table and the memory with a document's contents.
    void loadDocument(const orb::LoadedDocument &document);
    // Builds the memory table's cells up to (not including) table row `rows`.
    void buildMemoryCells(int rows) const;
    // The cell of a memory address if it has been built; nullptr otherwise.
    RamLineEdit *builtRamCell(int address) const;
    // The table's scroll bar, as the row count sets it.
    void setVerticalScrollBarShown(bool shown);
    // The focus, the pages and the scroll bar as the undo history moves them.
    DocumentWindow documentPlaces();
    // Ties a run that has just started to the row marks.
    void markRun(ExecutionWindow *window);

    std::unique_ptr<Ui::MainWindow> ui;
    orb::TableRows rows_;
    orb::MemoryModel memory_;
    TransitionTableView *view_ = nullptr;
    int currentColumn_ = 2;
    bool insertGuard_ = false;
    QString lastSavePath_;
    QString lastOpenPath_;
    QString documentPath_;
    QFont headerFont_;
    // Memory table rows whose cells exist; the accessors build the rest on first use.
    mutable int memoryRowsBuilt_ = 0;
    QTimer *memoryTimer_ = nullptr;
    RowMarks *rowMarks_ = nullptr;      // breakpoints and the current row, on the number labels
    orb::WatchList *watches_ = nullptr; // the runs' watches; they go with the table, as breakpoints
    DocumentHistory *history_ = nullptr;
};
