#pragma once

// The editor's window. It holds the microprogram being written: the transition table on its
// first page, one row of the grid layout ttLayout per table row ("string"), and the 16 x 16
// memory table on its second page. There is no separate data model: the cells are the data,
// and the cell editors, the document code and the simulator reach them through the accessors
// below.
//
// Rows never move between grid rows. Inserting or deleting a row moves texts, parsed forms and
// correct flags between the cells; only the last grid row is ever created or destroyed, so a
// cell's row index stays right for its whole life.
//
// A row's number label exists from the start, but its four cells are built only when they are
// needed: when the row comes into view, when ttCell() hands one out, or when the row takes the
// focus. Until then the row keeps what its cells would hold (texts, marks, parsed forms) as
// plain data, filled and marked by the same row rules; errorCount counts the wrong cells of
// both kinds. Widgets cost far more than their data, and a 500-row document would otherwise
// build 2,000 of them that no one looks at.

#include "cells/rowrules.h"

#include <QFont>
#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class ExecutionWindow;
class QCloseEvent;
class QPaintEvent;
class QGridLayout;
class QLabel;
class RamLineEdit;
class RowMarks;
class QSignalMapper;
class QSpacerItem;
class QTableWidget;
class QTimer;
class TTLineEdit;

namespace Ui {
class MainWindow;
}

namespace orb {
struct LoadedDocument;
}

class MainWindow : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    static constexpr int maxStringCount = 500;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    int stringCount() const { return stringCount_; }
    int currentString() const { return currentString_; }
    int currentColumn() const { return currentColumn_; }
    // Records the cell that received the focus (called by the cells).
    void setCurrentCell(int string, int column);

    // The cell at grid column 2, 4, 6 or 8 of a row; nullptr outside the table. Builds the
    // row's cells if they do not exist yet.
    TTLineEdit *ttCell(int string, int column) const;
    // What ttCell(string, column) holds, read without building any cell; an empty text and
    // empty parsed forms outside the table.
    QString cellText(int string, int column) const;
    orb::ParsedConditions parsedConditions(int string) const;
    orb::ParsedSignals parsedSignals(int string) const;
    // Whether that cell is marked correct, read without building any cell; true outside.
    bool cellCorrect(int string, int column) const;
    // The row-number label (grid column 0) of a row; nullptr outside the table.
    QLabel *rowNumberLabel(int string) const;
    QTableWidget *ramTable() const;
    // The memory cell editor at (row, column): the byte at address 16 * row + column.
    RamLineEdit *ramCell(int row, int column) const;

    void increaseErrorCount() { ++errorCount_; }
    void decreaseErrorCount() { --errorCount_; }
    int errorCount() const { return errorCount_; }

    // Deletes the row of the focused cell (currentString); never the only row.
    void deleteString();
    // Destroys the label and the cells of every row; stringCount is left to the caller.
    void removeStringWidgets();
    void forbidTtChangesAndLaunch();
    // Opens a document file as Open does once its dialog has chosen the name; false, changing
    // nothing, when the file cannot be read or is no document.
    bool openDocument(const QString &fileName);

signals:
    void closed();
    // A cell was committed, a row inserted or deleted, or the table replaced (New, Open).
    void tableChanged();
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
    // The widgets of one table row; spacers and the mapper are kept so that a destroyed row
    // leaves nothing behind in the layout.
    struct StringWidgets {
        QLabel *number = nullptr;
        std::array<TTLineEdit *, 4> cells{}; // by field: grid columns 2, 4, 6, 8; or none yet
        std::array<QSpacerItem *, 4> spacers{};
        QSignalMapper *mapper = nullptr; // built with the cells
        // The row's contents while it has no cells.
        orb::HeadlessTable::Row pending;
        bool built() const { return cells[0] != nullptr; }
    };

    void connectForm();
    void appendString(int index);
    // Appends `count` rows without cells: labels and spacers only, blank contents.
    void appendPendingStrings(int count);
    // Builds the cells of a row that has none yet, holding its pending contents.
    void buildString(int index);
    // Builds the rows that the table's viewport shows (and a row either side).
    void buildStringsInView();
    orb::HeadlessTable::Row stringState(int index) const;
    // Replaces a row's contents, marks and parsed forms, keeping errorCount right.
    void setStringState(int index, const orb::HeadlessTable::Row &state);
    void moveString(int from, int to);
    void clearString(int index);
    void destroyString(const StringWidgets &widgets);
    void setRamPageShown(bool shown);
    void setVerticalScrollBarShown(bool shown);
    // The end-of-edit check of the cell being edited, so that its mark and text are final.
    void commitCurrentCell();
    // Replaces the table and the memory with a document's contents.
    void loadDocument(const orb::LoadedDocument &document);
    void setAllMemoryCells(const QString &text);
    // Builds the memory table's cells up to (not including) table row `rows`.
    void buildMemoryCells(int rows) const;

    std::unique_ptr<Ui::MainWindow> ui;
    QGridLayout *ttLayout = nullptr;
    int stringCount_ = 0;
    int currentString_ = 0;
    int currentColumn_ = 2;
    int errorCount_ = 0;
    bool insertGuard = false;
    QString lastSavePath;
    QString lastOpenPath;
    QFont headerFont;
    QFont cellFont;
    std::vector<StringWidgets> strings;
    // Memory table rows whose cells exist; the accessors build the rest on first use.
    mutable int memoryRowsBuilt = 0;
    QTimer *memoryTimer = nullptr;
    RowMarks *rowMarks = nullptr; // breakpoints and the current row, on the number labels
};
