#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The transition table on screen: a view of the rows of a TableRows store in the grid layout
// ttLayout. Every row has its number label and spacers, so the table is as tall as its rows
// and a row's place is where the layout puts its label; only the rows in and near the
// viewport have their four TTLineEdit cells. Cells built for viewing go again when their row
// leaves the view (unless one of them has the focus); cells handed out pinned stay until their
// row is deleted or the table replaced, so a pointer a caller keeps stays good.
//
// Grid rows never move: a cell keeps its row index for its whole life and shows whatever the
// store holds at that index, so inserting or deleting only refreshes the cells that exist and
// adds or removes the last grid row.

#include <QObject>
#include <QPointer>

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
    QLabel *numberLabel(int row) const;
    QGridLayout *layout() const { return layout_; }
    // Rows whose cells exist.
    int builtRowCount() const;

    // Destroys every row's widgets at once (New and Open, never a cell's own handler); the
    // store keeps its rows until the caller replaces them.
    void clear();
    // Cells stop calling their window: it is being destroyed.
    void detachAll();

    // Keeps the focused cell of the table entirely in view, once the layout has placed it.
    void ensureFocusedCellVisible();
    void ensureFocusedCellVisibleLater();

signals:
    // A row's number label has just been made (a row of the grid is added).
    void numberLabelMade(int row, QLabel *label);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct RowWidgets {
        QLabel *number = nullptr;
        std::array<TTLineEdit *, 4> cells{};
        std::array<QSpacerItem *, 4> spacers{};
        QSignalMapper *mapper = nullptr;
        bool pinned = false;
        bool built() const { return cells[0] != nullptr; }
    };

    void appendRows(int count);
    void removeLastRows(int count);
    void buildRow(int index);
    void releaseRow(int index, bool deferred);
    void releaseRowsAtOnce(const std::vector<int> &indices);
    void syncRows(int first, int last);
    void onRowsReset();
    // Builds the rows the viewport shows and one either side; releases unpinned rows away from
    // it. Row positions are read from the laid-out labels.
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
};
