// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/transitiontableview.h"

#include "app/constants.h"
#include "app/mainwindow.h"
#include "cells/statevalidator.h"
#include "cells/tablerows.h"
#include "cells/ttlineedit.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSignalMapper>
#include <QSpacerItem>

#include <utility>

namespace {

constexpr int cellHeight = 20;
// Widths of the fixed spacers at grid columns 1, 3, 5 and 7.
constexpr std::array<int, 4> spacerWidths = {10, 8, 8, 9};
// Rows kept built beyond the viewport, so that a short scroll finds its rows ready.
constexpr int builtMargin = 1;
constexpr int keptMargin = 3;
// Space kept between a focused cell and the viewport's edge.
constexpr int focusMargin = 4;

// Stands in column 0 of every row, as high as the row's label: a row whose label is not made
// yet is as high as one with it, and counts as a row of the grid, which puts the vertical
// spacing between rows (a spacer alone is empty, and empty rows get no spacing).
class LabelPlaceholder final : public QSpacerItem {
public:
    explicit LabelPlaceholder(int height)
        : QSpacerItem(0, height, QSizePolicy::Fixed, QSizePolicy::Fixed)
    {
    }
    bool isEmpty() const override { return false; }
};

void setUpNumberLabel(QLabel *label)
{
    label->setMinimumWidth(20);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(orb::rowNumberStyle);
}

QFont cellFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace

TransitionTableView::TransitionTableView(MainWindow *window, orb::TableRows &rows,
                                         QScrollArea *area)
    : QObject(window), window_(window), store_(rows), area_(area), contents_(area->widget())
{
    layout_ = new QGridLayout(contents_);
    // Margins and spacing put the cells between the column separators, under their headings,
    // and let 17 rows of 20 px fit the visible height: the scroll bar comes with the 18th.
    layout_->setContentsMargins(4, 4, 10, 4);
    layout_->setHorizontalSpacing(10);
    layout_->setVerticalSpacing(6);
    layout_->setAlignment(Qt::AlignTop);
    layout_->addItem(new QSpacerItem(1, 200, QSizePolicy::Fixed, QSizePolicy::Fixed), 0, 1, 18, 1);

    connect(&store_, &orb::TableRows::rowsInserted, this, [this](int first, int count) {
        if (rowCount() + count != store_.rowCount())
            return onRowsReset();
        appendRows(count);
        syncRows(first, rowCount() - 1);
    });
    connect(&store_, &orb::TableRows::rowsRemoved, this, [this](int first, int count) {
        if (rowCount() - count != store_.rowCount())
            return onRowsReset();
        removeLastRows(count);
        syncRows(first, rowCount() - 1);
    });
    connect(&store_, &orb::TableRows::rowsMoved, this,
            [this](int from, int to) { syncRows(qMin(from, to), qMax(from, to)); });
    connect(&store_, &orb::TableRows::rowsChanged, this,
            [this](int first, int count) { syncRows(first, first + count - 1); });
    connect(&store_, &orb::TableRows::rowsReset, this, &TransitionTableView::onRowsReset);

    // Rows that scroll into view get their cells before they are painted.
    connect(area_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TransitionTableView::updateRowsInView);
    // A grown table scrolls again to the focused cell once its new height is known.
    connect(area_->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            &TransitionTableView::ensureFocusedCellVisibleLater);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        auto *cell = qobject_cast<TTLineEdit *>(now);
        if (!cell || cell->parentWidget() != contents_)
            return;
        scrollTarget_ = cell;
        ensureFocusedCellVisibleLater();
    });
    contents_->installEventFilter(this);
    area_->viewport()->installEventFilter(this);
}

TransitionTableView::~TransitionTableView() = default;

bool TransitionTableView::eventFilter(QObject *watched, QEvent *event)
{
    // Cells built or released leave the table's height alone; rows added or removed, and a
    // scroll bar that comes or goes, resize it.
    if (event->type() == QEvent::Resize ||
        (watched == contents_ && event->type() == QEvent::LayoutRequest)) {
        updateRowsInView();
        if (watched == contents_ && event->type() == QEvent::Resize)
            ensureFocusedCellVisibleLater();
    }
    return QObject::eventFilter(watched, event);
}

TTLineEdit *TransitionTableView::cell(int row, int column, bool pin)
{
    if (row < 0 || row >= rowCount() || column < 2 || column > 8 || column % 2)
        return nullptr;
    RowWidgets &widgets = rows_[size_t(row)];
    buildRow(row);
    widgets.pinned = widgets.pinned || pin;
    return widgets.cells[size_t(orb::fieldOfGridColumn(column))];
}

QLabel *TransitionTableView::numberLabel(int row)
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return makeLabel(row);
}

QLabel *TransitionTableView::builtNumberLabel(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return rows_[size_t(row)].number;
}

int TransitionTableView::rowOfLabel(const QObject *label) const
{
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [label](const RowWidgets &row) { return row.number == label; });
    return it == rows_.end() ? -1 : int(it - rows_.begin());
}

void TransitionTableView::ensureRowVisible(int row)
{
    QLabel *label = numberLabel(row);
    if (!label)
        return;
    // Rows added since the last pass of the event loop have no geometry yet.
    layout_->activate();
    area_->ensureWidgetVisible(label, 0, label->height() + 6);
}

void TransitionTableView::appendRows(int count)
{
    if (count <= 0)
        return;
    const QSize label = labelSize(rowCount() + count);
    layout_->setEnabled(false);
    for (int i = 0; i < count; ++i) {
        const int index = rowCount();
        RowWidgets widgets;
        // The spacers are as high as the cells, so a row without cells is as high as one with.
        for (int field = 0; field < orb::fieldCount; ++field) {
            widgets.spacers[size_t(field)] = new QSpacerItem(
                spacerWidths[size_t(field)], cellHeight, QSizePolicy::Fixed, QSizePolicy::Fixed);
            layout_->addItem(widgets.spacers[size_t(field)], index, 2 * field + 1);
        }
        widgets.placeholder = new LabelPlaceholder(label.height());
        layout_->addItem(widgets.placeholder, index, 0);
        rows_.push_back(widgets);
    }
    layout_->setEnabled(true);
}

QLabel *TransitionTableView::makeLabel(int index)
{
    RowWidgets &widgets = rows_[size_t(index)];
    if (widgets.number)
        return widgets.number;
    // Created on its final parent and styled before it is shown: its style sheet is polished
    // once. Shown now, not by the layout's deferred show, with the layout off meanwhile.
    widgets.number = new QLabel(QString::number(index + 1), contents_);
    setUpNumberLabel(widgets.number);
    layout_->setEnabled(false);
    // The label takes its stand-in's place.
    layout_->removeItem(widgets.placeholder);
    delete std::exchange(widgets.placeholder, nullptr);
    layout_->addWidget(widgets.number, index, 0);
    widgets.number->show();
    layout_->setEnabled(true);
    emit numberLabelMade(index, widgets.number);
    return widgets.number;
}

QSize TransitionTableView::labelSize(int rowCount)
{
    // A label's size depends on its font, style and text: the widest row number of the table
    // sets the column's width, the label's height the rows' height. Measured on a label made
    // for the purpose, only when the font or the widest number changes.
    const QString fontKey = contents_->font().key();
    if (fontKey != labelFontKey_ || widestNumber_ > rowCount) {
        labelFontKey_ = fontKey;
        widestNumber_ = 0;
        scannedNumbers_ = 0;
        labelSize_ = {};
    }
    const QFontMetrics metrics(contents_->font());
    int widest = widestNumber_;
    int widestAdvance = widest ? metrics.horizontalAdvance(QString::number(widest)) : -1;
    for (int number = scannedNumbers_ + 1; number <= rowCount; ++number) {
        if (const int advance = metrics.horizontalAdvance(QString::number(number));
            advance > widestAdvance) {
            widest = number;
            widestAdvance = advance;
        }
    }
    scannedNumbers_ = qMax(scannedNumbers_, rowCount);
    if (widest != widestNumber_ || labelSize_.isEmpty()) {
        widestNumber_ = widest;
        QLabel probe(QString::number(qMax(widest, 1)), contents_);
        setUpNumberLabel(&probe);
        labelSize_ = probe.sizeHint().expandedTo(probe.minimumSize());
        labelSize_.setHeight(qMax(labelSize_.height(), cellHeight));
        layout_->setColumnMinimumWidth(0, labelSize_.width());
    }
    return labelSize_;
}

void TransitionTableView::buildRow(int index)
{
    RowWidgets &widgets = rows_[size_t(index)];
    if (widgets.built())
        return;
    makeLabel(index);
    const QFont font = cellFont();
    for (int field = 0; field < orb::fieldCount; ++field) {
        auto *cell = new TTLineEdit(window_, index, field, contents_);
        cell->setFixedHeight(cellHeight);
        cell->setFont(font);
        cell->setMaxLength(orb::maxLengthOfField(field));
        if (orb::isStateField(field)) {
            cell->setMaximumWidth(84);
            cell->setAlignment(Qt::AlignCenter);
            cell->setValidator(new StateValidator(cell));
        } else {
            cell->setTextMargins(5, 0, 5, 0);
            if (field == orb::ConditionsField)
                cell->setMaximumWidth(233);
        }
        // The contents come before the text-change rules are connected: they are final.
        cell->showContents(store_.cellText(index, field), store_.isCorrect(index, field));
        if (orb::isStateField(field))
            connect(cell, &QLineEdit::textChanged, cell, &TTLineEdit::onStateChanged);
        else if (field == orb::ConditionsField)
            connect(cell, &QLineEdit::textChanged, cell,
                    &TTLineEdit::onTransitionConditionsChanged);
        else
            connect(cell, &QLineEdit::textChanged, cell, &TTLineEdit::onControlSignalsChanged);
        // The end-of-edit slots are run by the cell itself on every focus loss and on Return,
        // not through editingFinished, which Qt 6 skips when the text did not change.
        layout_->addWidget(cell, index, orb::gridColumnOfField(field));
        widgets.cells[size_t(field)] = cell;
    }

    // Tab walks the table row by row, however late a row was built: its cells go after the
    // nearest built row above, or else before the nearest built row below.
    QWidget *before = nullptr;
    for (int row = index - 1; row >= 0 && !before; --row) {
        if (rows_[size_t(row)].built())
            before = rows_[size_t(row)].cells[orb::SignalsField];
    }
    for (int row = index + 1; row < rowCount() && !before; ++row) {
        if (rows_[size_t(row)].built())
            before = rows_[size_t(row)].cells[0]->previousInFocusChain();
    }
    if (before) {
        QWidget::setTabOrder(before, widgets.cells[0]);
        for (size_t field = 1; field < widgets.cells.size(); ++field)
            QWidget::setTabOrder(widgets.cells[field - 1], widgets.cells[field]);
    }

    // Shown now, not by the layout's deferred show: a hidden cell cannot take the focus. The
    // layout is off meanwhile, or every show would lay out the whole table again; it places
    // the cells before the next paint (paints are posted at a lower priority).
    layout_->setEnabled(false);
    for (TTLineEdit *cell : widgets.cells)
        cell->show();
    layout_->setEnabled(true);

    widgets.mapper = new QSignalMapper(this);
    for (TTLineEdit *cell : widgets.cells) {
        connect(cell, &QLineEdit::returnPressed, widgets.mapper, qOverload<>(&QSignalMapper::map));
        widgets.mapper->setMapping(cell, index + 1);
    }
    connect(widgets.mapper, &QSignalMapper::mappedInt, window_, &MainWindow::addString);
}

void TransitionTableView::releaseRow(int index, bool deferred)
{
    // A released cell runs no rule and gives the focus to no other cell. Cells of a deleted
    // row go later: the deletion may come from a key press of one of them. Cells recycled out
    // of view go at once: they are rows away from the view and the focus, so nothing is
    // handling an event of theirs.
    RowWidgets &widgets = rows_[size_t(index)];
    for (TTLineEdit *&cell : widgets.cells) {
        if (!cell)
            continue;
        cell->detach();
        if (deferred) {
            cell->clearFocus();
            layout_->removeWidget(cell);
            cell->hide();
            cell->deleteLater();
        } else {
            delete cell;
        }
        cell = nullptr;
    }
    if (deferred && widgets.mapper)
        widgets.mapper->deleteLater();
    else
        delete widgets.mapper;
    widgets.mapper = nullptr;
    widgets.pinned = false;
}

void TransitionTableView::releaseRowsAtOnce(const std::vector<int> &indices)
{
    if (indices.empty())
        return;
    // A deleted cell makes the layout look for it among all its items, thousands in a long
    // table: a 500-row open spent a sixth of its time there. Their items go in one pass, and
    // the layout is off while the cells are deleted.
    QSet<QWidget *> cells;
    for (const int index : indices) {
        for (TTLineEdit *cell : rows_[size_t(index)].cells) {
            if (cell)
                cells.insert(cell);
        }
    }
    for (int i = layout_->count() - 1; i >= 0; --i) {
        if (cells.contains(layout_->itemAt(i)->widget()))
            delete layout_->takeAt(i);
    }
    layout_->setEnabled(false);
    for (const int index : indices)
        releaseRow(index, false);
    layout_->setEnabled(true);
}

void TransitionTableView::removeLastRows(int count)
{
    for (int i = 0; i < count && !rows_.empty(); ++i) {
        releaseRow(rowCount() - 1, true);
        const RowWidgets widgets = rows_.back();
        rows_.pop_back();
        if (widgets.number) {
            layout_->removeWidget(widgets.number);
            widgets.number->hide();
            widgets.number->deleteLater();
        }
        for (QSpacerItem *spacer : widgets.spacers) {
            layout_->removeItem(spacer);
            delete spacer;
        }
        if (widgets.placeholder) {
            layout_->removeItem(widgets.placeholder);
            delete widgets.placeholder;
        }
    }
    if (!rows_.empty())
        labelSize(rowCount()); // the label column narrows when the widest number goes
}

void TransitionTableView::syncRows(int first, int last)
{
    for (int row = qMax(first, 0); row <= qMin(last, rowCount() - 1); ++row) {
        const RowWidgets &widgets = rows_[size_t(row)];
        if (!widgets.built())
            continue;
        for (int field = 0; field < orb::fieldCount; ++field)
            widgets.cells[size_t(field)]->showContents(store_.cellText(row, field),
                                                       store_.isCorrect(row, field));
    }
}

void TransitionTableView::onRowsReset()
{
    clear();
    appendRows(store_.rowCount());
}

void TransitionTableView::clear()
{
    // The layout is emptied from its end first (every item but the spacer added first), which
    // keeps clearing a 500-row table linear.
    detachAll();
    for (RowWidgets &widgets : rows_) {
        for (TTLineEdit *cell : widgets.cells) {
            if (cell)
                cell->clearFocus();
        }
    }
    while (layout_->count() > 1)
        delete layout_->takeAt(layout_->count() - 1); // spacers, and the widgets' items
    for (auto it = rows_.rbegin(); it != rows_.rend(); ++it) {
        for (auto cell = it->cells.rbegin(); cell != it->cells.rend(); ++cell)
            delete *cell;
        delete it->number;
        delete it->mapper;
    }
    rows_.clear();
}

void TransitionTableView::detachAll()
{
    for (RowWidgets &widgets : rows_) {
        for (TTLineEdit *cell : widgets.cells) {
            if (cell)
                cell->detach();
        }
    }
}

bool TransitionTableView::holdsFocus(const RowWidgets &row) const
{
    const QWidget *focus = contents_->focusWidget();
    return focus && std::find(row.cells.begin(), row.cells.end(), focus) != row.cells.end();
}

bool TransitionTableView::layOut()
{
    // Until the scroll area has grown the table to its rows' height, the layout squeezes the
    // rows into the old height; their places are known once it has (its resize comes next).
    layout_->activate();
    return contents_->height() >= layout_->minimumSize().height();
}

std::pair<int, int> TransitionTableView::rowsBetween(int top, int bottom) const
{
    // Every row has its spacers, so the layout has placed every row, top to bottom.
    const auto firstBelow = [this](int y) {
        int low = 0;
        int high = rowCount();
        while (low < high) {
            const int middle = (low + high) / 2;
            if (layout_->cellRect(middle, 1).bottom() < y)
                low = middle + 1;
            else
                high = middle;
        }
        return low;
    };
    const int first = firstBelow(top);
    int last = firstBelow(bottom);
    if (last >= rowCount() || layout_->cellRect(last, 1).top() > bottom)
        --last;
    return {first, last};
}

void TransitionTableView::updateRowsInView()
{
    if (rows_.empty() || updating_ || !layout_->isEnabled())
        return;
    if (!layOut())
        return;
    updating_ = true;
    const int top = -contents_->y();
    const auto [first, last] = rowsBetween(top, top + area_->viewport()->height() - 1);
    for (int row = qMax(0, first - builtMargin); row <= qMin(rowCount() - 1, last + builtMargin);
         ++row)
        buildRow(row);
    // The new cells are placed before anything paints them.
    layout_->activate();
    std::vector<int> away;
    for (int row = 0; row < rowCount(); ++row) {
        const RowWidgets &widgets = rows_[size_t(row)];
        if (widgets.built() && !widgets.pinned &&
            (row < first - keptMargin || row > last + keptMargin) && !holdsFocus(widgets))
            away.push_back(row);
    }
    releaseRowsAtOnce(away);
    updating_ = false;
}

void TransitionTableView::ensureFocusedCellVisibleLater()
{
    // After the pending layout requests, once, for the cell that has the focus by then: a cell
    // just built has no place yet, and a burst of appended rows scrolls once.
    if (ensurePending_)
        return;
    ensurePending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            ensurePending_ = false;
            ensureFocusedCellVisible();
        },
        Qt::QueuedConnection);
}

void TransitionTableView::ensureFocusedCellVisible()
{
    if (!scrollTarget_ || !scrollTarget_->hasFocus() || !layout_->isEnabled())
        return;
    // The whole cell, not only its text cursor (which is what QScrollArea would show), and at
    // its place after the layout has run: rows may be taller than the cells.
    if (!layOut())
        return;
    const QRect rect(scrollTarget_->mapTo(contents_, QPoint()), scrollTarget_->size());
    QScrollBar *bar = area_->verticalScrollBar();
    const int height = area_->viewport()->height();
    const int top = -contents_->y();
    if (rect.bottom() + focusMargin > top + height - 1)
        bar->setValue(rect.bottom() + focusMargin - height + 1);
    else if (rect.top() - focusMargin < top)
        bar->setValue(rect.top() - focusMargin);
}
