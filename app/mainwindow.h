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

#include <QFont>
#include <QMainWindow>
#include <QString>

#include <array>
#include <memory>
#include <vector>

class QCloseEvent;
class QPaintEvent;
class QGridLayout;
class QLabel;
class RamLineEdit;
class QSignalMapper;
class QSpacerItem;
class QTableWidget;
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

    // The cell at grid column 2, 4, 6 or 8 of a row; nullptr outside the table.
    TTLineEdit *ttCell(int string, int column) const;
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

signals:
    void closed();

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
        std::array<TTLineEdit *, 4> cells{}; // by field: grid columns 2, 4, 6, 8
        std::array<QSpacerItem *, 4> spacers{};
        QSignalMapper *mapper = nullptr;
    };

    void connectForm();
    void appendString(int index);
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
    void buildMemoryCellsLater();

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
    bool memoryBuildPending = false;
};
