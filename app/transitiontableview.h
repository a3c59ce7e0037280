#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The transition table on screen: a view of the rows of a TableRows store in the grid layout
// ttLayout. Every row has its spacers and a stand-in as high as its number label, so the table
// is as tall as its rows and a row's place is where the layout puts it; the rows in and near
// the viewport have their number label and their four TTLineEdit cells. Cells built for viewing go
// again when their row leaves the view (unless one of them has the focus); cells handed out pinned
// stay until their row is deleted or the table replaced, so a pointer a caller keeps stays good.
//
// Grid rows never move: a cell keeps its row index for its whole life and shows whatever the
// store holds at that index, so inserting or deleting only refreshes the cells that exist and
// adds or removes the last grid row.

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <array>
#include <vector>

class MainWindow;
class QGridLayout;
class QLabel;
class QScrollArea;
class QSignalMapper;
class QSpacerItem;
class QWidget;
class TTLineEdit;

namespace orb {
class TableRows;
}

class TransitionTableView final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TransitionTableView)

public:
    TransitionTableView(MainWindow *window, orb::TableRows &rows, QScrollArea *area);
    ~TransitionTableView() override;

    // Rows on screen: the store's row count, or 0 after clear().
    int rowCount() const { return int(rows_.size()); }
    // The cell of a row at grid column 2, 4, 6 or 8, built if it does not exist; nullptr
    // outside the table. A pinned cell is never recycled while its row exists.
    TTLineEdit *cell(int row, int column, bool pin);
    // A row's number label, made if it does not exist yet (rows get theirs when they are first
    // in view); nullptr outside the table.
    QLabel *numberLabel(int row);
    // The label if it exists, else nullptr.
    QLabel *builtNumberLabel(int row) const;
    // The row whose label this is, or -1.
    int rowOfLabel(const QObject *label) const;
    QGridLayout *layout() const { return layout_; }
    // Scrolls the table so that a row's number label, and a row either side, are in view.
    void ensureRowVisible(int row);

    // Destroys every row's widgets at once (New and Open, never a cell's own handler); the
    // store keeps its rows until the caller replaces them.
    void clear();
    // Cells stop calling their window: it is being destroyed.
    void detachAll();

    // Keeps the focused cell of the table entirely in view, once the layout has placed it.
    void ensureFocusedCellVisible();
    void ensureFocusedCellVisibleLater();

signals:
    // A row's number label has just been made (its row came into view or was asked for).
    void numberLabelMade(int row, QLabel *label);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct RowWidgets {
        QLabel *number = nullptr;
        std::array<TTLineEdit *, 4> cells{};
        std::array<QSpacerItem *, 4> spacers{};
        QSpacerItem *placeholder = nullptr;
        QSignalMapper *mapper = nullptr;
        bool pinned = false;
        bool built() const { return cells[0] != nullptr; }
    };

    void appendRows(int count);
    QLabel *makeLabel(int index);
    // The size of a row's label for a table of rowCount rows, at least as high as a cell; sets
    // the width of the label column.
    QSize labelSize(int rowCount);
    void removeLastRows(int count);
    void buildRow(int index);
    void releaseRow(int index, bool deferred);
    void releaseRowsAtOnce(const std::vector<int> &indices);
    void syncRows(int first, int last);
    void onRowsReset();
    // Builds the rows the viewport shows and one either side; releases unpinned rows away from
    // it. Row positions are read from the laid-out grid.
    void updateRowsInView();
    // First and last row whose band meets [top, bottom] of the contents widget.
    std::pair<int, int> rowsBetween(int top, int bottom) const;
    bool holdsFocus(const RowWidgets &row) const;
    // Places the rows; false while the table is not yet as high as its rows.
    bool layOut();

    MainWindow *window_;
    orb::TableRows &store_;
    QScrollArea *area_;
    QWidget *contents_;
    QGridLayout *layout_;
    std::vector<RowWidgets> rows_;
    QPointer<TTLineEdit> scrollTarget_;
    bool updating_ = false;
    bool ensurePending_ = false;
    QString labelFontKey_;
    int widestNumber_ = 0;
    int scannedNumbers_ = 0;
    QSize labelSize_;
};
