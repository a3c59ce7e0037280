// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/authorinfodialog.h"
#include "app/constants.h"
#include "app/document.h"
#include "app/errorsdialog.h"
#include "app/exitdialog.h"
#include "app/helpwindow.h"
#include "app/memorywatchmenu.h"
#include "app/rowmarks.h"
#include "app/transitiontableview.h"
#include "cells/ramlineedit.h"
#include "cells/ttlineedit.h"
#include "graph/graphlink.h"
#include "selfcheck/selfchecklink.h"
#include "sim/executionwindow.h"
#include "undo/documenthistory.h"
#include "undo/documentwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTimer>

namespace {

constexpr int ramSize = 16;
// The vertical scroll bar appears with the 18th row and goes when a deletion leaves 16.
constexpr int scrollBarShownAt = 18;
constexpr int scrollBarHiddenAt = 16;

QFont boldArial(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Bold);
    return font;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    connectForm();
    ui->mainToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    HelpWindow::installShortcut(this);

    lastSavePath_ = QDir::homePath();
    lastOpenPath_ = QDir::homePath();

    headerFont_ = boldArial(13);
    for (QLabel *label : {ui->label1, ui->label2, ui->label3, ui->label4})
        label->setFont(headerFont_);

    // The table page starts as the active tab; editButton keeps its form style.
    ui->ramButton->setStyleSheet(orb::inactiveTabStyle);

    ui->ramTable->hide();
    ui->ramTableDecor->hide();
    for (QLayout *layout :
         {static_cast<QLayout *>(ui->ramHLayout), static_cast<QLayout *>(ui->ramVLayout)}) {
        for (int i = 0; i < layout->count(); ++i) {
            QWidget *label = layout->itemAt(i)->widget();
            label->setStyleSheet(orb::ramHeaderStyle);
            label->hide();
        }
    }

    view_ = new TransitionTableView(this, rows_, ui->scrollArea);
    rowMarks_ = new RowMarks(rows_, this);
    connect(view_, &TransitionTableView::numberLabelMade, rowMarks_, &RowMarks::labelMade);
    connect(rowMarks_, &RowMarks::markedRowChanged, view_, &TransitionTableView::ensureRowVisible);
    watches_ = new orb::WatchList(this);
    new MemoryWatchMenu(ui->ramTable, watches_); // "Остановиться при записи" on each byte
    connect(&rows_, &orb::TableRows::rowsReset, watches_, &orb::WatchList::clear);
    auto *graph = new GraphLink(rows_, this); // F2: the automaton as a graph
    connect(this, &MainWindow::launched, graph, &GraphLink::attach);
    connect(graph, &GraphLink::rowSelected, this, &MainWindow::selectRow);
    auto *check = new SelfCheckLink(this, rows_, memory_, *this); // F8: the teacher's cases
    connect(this, &MainWindow::launched, check, &SelfCheckLink::attach);
    connect(this, &MainWindow::closed, check, &SelfCheckLink::documentReplaced);
    addString(0);
    // After the first row: that is where the document starts, not a change to undo.
    history_ = new DocumentHistory(this, documentPlaces(), rows_, memory_, *rowMarks_);

    // The memory cells that exist show every change of the memory; a program's write passes
    // the focus on, as typing does.
    connect(&memory_, &orb::MemoryModel::textChanged, this, [this](int address) {
        if (RamLineEdit *cell = builtRamCell(address))
            cell->showMemoryText();
    });
    connect(&memory_, &orb::MemoryModel::written, this,
            [this](int address) { ramCell(address / ramSize, address % ramSize)->followWrite(); });

    for (int i = 0; i < ramSize; ++i) {
        ui->ramTable->setRowHeight(i, 23);
        ui->ramTable->setColumnWidth(i, 35);
    }
    // The memory cells come after the first paint (see paintEvent), or with their first use.
    // A zero timer, not a queued call: that would run in the same pass of the event loop as
    // the paint, before its frame is out.
    memoryTimer_ = new QTimer(this);
    memoryTimer_->setInterval(0);
    connect(memoryTimer_, &QTimer::timeout, this, [this] {
        buildMemoryCells(memoryRowsBuilt_ + 1);
        if (memoryRowsBuilt_ >= ramSize)
            memoryTimer_->stop();
    });
}

MainWindow::~MainWindow()
{
    // The cells are destroyed with the form; they must not reach the rows on their way out.
    view_->detachAll();
    delete view_;
}

void MainWindow::connectForm()
{
    // Connected here rather than by name: Qt 6 has no QAction::activated().
    connect(ui->editButton, &QPushButton::clicked, this, &MainWindow::on_editButton_clicked);
    connect(ui->ramButton, &QPushButton::clicked, this, &MainWindow::on_ramButton_clicked);
    connect(ui->addButton, &QPushButton::clicked, this, &MainWindow::on_addButton_clicked);
    connect(ui->deleteButton, &QPushButton::clicked, this, &MainWindow::on_deleteButton_clicked);
    connect(ui->startButton, &QPushButton::released, this, &MainWindow::on_startButton_released);
    connect(ui->startButton, &QPushButton::pressed, this, &MainWindow::on_startButton_pressed);
    connect(ui->actionOpen, &QAction::triggered, this, &MainWindow::on_actionOpen_activated);
    connect(ui->actionSave, &QAction::triggered, this, &MainWindow::on_actionSave_activated);
    connect(ui->actionNew, &QAction::triggered, this, &MainWindow::on_actionNew_activated);
    connect(ui->info, &QAction::triggered, this, &MainWindow::on_info_triggered);

    // The usual keys of a desktop editor; the actions' tool tips stay as the form has them.
    ui->actionNew->setShortcut(QKeySequence::New);
    ui->actionOpen->setShortcut(QKeySequence::Open);
    ui->actionSave->setShortcut(QKeySequence::Save);
    // F5 launches as a click on the start button does: the button takes the focus, which ends
    // the edit of the current cell, then its press and release run. Nothing while locked.
    auto *launch = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(launch, &QShortcut::activated, this, [this] {
        if (!ui->startButton->isEnabled())
            return;
        ui->startButton->setFocus(Qt::ShortcutFocusReason);
        on_startButton_pressed();
        on_startButton_released();
    });
}

void MainWindow::setCurrentCell(int string, int column)
{
    rows_.setCurrentRow(string);
    currentColumn_ = column;
}

TTLineEdit *MainWindow::ttCell(int string, int column) const
{
    return view_->cell(string, column, true);
}

TTLineEdit *MainWindow::viewCell(int string, int column) const
{
    return view_->cell(string, column, false);
}

QString MainWindow::cellText(int string, int column) const
{
    if (string < 0 || string >= stringCount() || column < 2 || column > 8 || column % 2)
        return QString();
    return rows_.cellText(string, orb::fieldOfGridColumn(column));
}

orb::ParsedConditions MainWindow::parsedConditions(int string) const
{
    if (string < 0 || string >= stringCount())
        return orb::ParsedConditions();
    return rows_.row(string).conditions;
}

orb::ParsedSignals MainWindow::parsedSignals(int string) const
{
    if (string < 0 || string >= stringCount())
        return orb::ParsedSignals();
    return rows_.row(string).signalNumbers;
}

QLabel *MainWindow::rowNumberLabel(int string) const
{
    return view_->numberLabel(string);
}

QTableWidget *MainWindow::ramTable() const
{
    buildMemoryCells(ramSize);
    return ui->ramTable;
}

RamLineEdit *MainWindow::ramCell(int row, int column) const
{
    buildMemoryCells(ramSize);
    return qobject_cast<RamLineEdit *>(ui->ramTable->cellWidget(row, column));
}

void MainWindow::buildMemoryCells(int rows) const
{
    // Row by row in address order, as the table has always been filled.
    for (; memoryRowsBuilt_ < qMin(rows, ramSize); ++memoryRowsBuilt_) {
        for (int column = 0; column < ramSize; ++column) {
            // A view of the memory, built on demand by the const accessors.
            auto *cell = new RamLineEdit(ui->ramTable, const_cast<orb::MemoryModel &>(memory_),
                                         history_, memoryRowsBuilt_, column);
            // The cells stay one block of the focus chain in address order, also when table
            // cells were made between two of their rows: where the focus goes when a page is
            // hidden depends on it.
            const int previous = memoryRowsBuilt_ * ramSize + column - 1;
            QWidget *before =
                previous < 0 ? nullptr
                             : ui->ramTable->cellWidget(previous / ramSize, previous % ramSize);
            if (before && before->nextInFocusChain() != cell)
                QWidget::setTabOrder(before, cell);
        }
    }
}

RamLineEdit *MainWindow::builtRamCell(int address) const
{
    const int row = address / ramSize;
    if (row >= memoryRowsBuilt_)
        return nullptr;
    return qobject_cast<RamLineEdit *>(ui->ramTable->cellWidget(row, address % ramSize));
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    // The memory page is hidden at start-up; its 256 cells are built once the window has been
    // painted, one table row per timer tick, so that neither the first paint nor the user's
    // first input waits for them. Any use of the memory builds the rest at once.
    if (memoryRowsBuilt_ < ramSize && !memoryTimer_->isActive())
        memoryTimer_->start();
}

bool MainWindow::takesFirstRowCase()
{
    if (insertGuard_ || currentString() != 0 || currentColumn_ != 2 || stringCount() < 1)
        return false;
    TTLineEdit *first = viewCell(0, 2);
    if (!first || first->cursorPosition() != 0)
        return false;
    // A source state left empty while its row has content is marked first.
    if (first->text().isEmpty() &&
        (!cellText(0, 4).isEmpty() || !cellText(0, 6).isEmpty() || !cellText(0, 8).isEmpty()))
        first->setCorrect(false);
    return true;
}

void MainWindow::addString(int stringNumber)
{
    const int n = stringCount();
    if (n >= maxStringCount)
        return;
    const int k = qBound(0, stringNumber, n);
    // One undo step with what the focus move commits; the current row as it was, for undo.
    const bool outer = !insertGuard_ && history_;
    if (outer)
        history_->beginStep();
    const int current = currentString();
    const orb::TableRows::Row before = n > 0 ? rows_.row(current) : orb::TableRows::Row{};
    // With the cursor at the start of the first row's source state, a new row goes above it.
    const bool firstRowCase = takesFirstRowCase();
    if (k < n || (firstRowCase && k == n && n == 1)) {
        const int target = firstRowCase ? qMax(k - 1, 0) : k;
        // The guard makes the nested call append plainly instead of taking the first-row case.
        // The appended blank row then moves up to its place, the rows between moving down.
        insertGuard_ = true;
        addString(n);
        rows_.moveRow(n, target);
        if (outer)
            history_->rowInserted(target, current, before);
        viewCell(target, 2)->setFocus(Qt::OtherFocusReason);
        if (stringCount() == scrollBarShownAt)
            setVerticalScrollBarShown(true);
        if (outer)
            history_->endStep();
        return;
    }
    rows_.insertRow(n);
    if (outer && n > 0)
        history_->rowInserted(n, current, before);
    viewCell(n, 2)->setFocus(Qt::OtherFocusReason);
    if (outer)
        history_->endStep();
    insertGuard_ = false;
    if (stringCount() == scrollBarShownAt)
        setVerticalScrollBarShown(true);
}

void MainWindow::deleteString()
{
    const int n = stringCount();
    const int c = currentString();
    if (n <= 1)
        return;
    if (history_)
        history_->beginStep();
    const orb::TableRows::Row removed = rows_.row(c);
    const bool breakpoint = rowMarks_->hasBreakpoint(c);
    // The rows below move up; the last grid row's widgets go (the focus is not handed on).
    rows_.removeRow(c);
    if (history_)
        history_->rowRemoved(c, removed, breakpoint);
    if (c >= n - 1)
        rows_.setCurrentRow(n - 2);
    if (stringCount() == scrollBarHiddenAt)
        setVerticalScrollBarShown(false);
    if (history_)
        history_->endStep();
}

void MainWindow::removeStringWidgets()
{
    // Only the tool bar commands call this, never a cell of the table, so the widgets can go
    // at once.
    view_->clear();
    setVerticalScrollBarShown(false);
}

void MainWindow::setVerticalScrollBarShown(bool shown)
{
    ui->scrollArea->setVerticalScrollBarPolicy(shown ? Qt::ScrollBarAlwaysOn
                                                     : Qt::ScrollBarAlwaysOff);
}

DocumentWindow MainWindow::documentPlaces()
{
    DocumentWindow places;
    places.tableColumn = [this] { return currentColumn_; };
    places.focusedRow = [this] {
        const auto *cell = qobject_cast<const TTLineEdit *>(QApplication::focusWidget());
        return cell && cell->window() == this ? cell->row() : -1;
    };
    places.focusedAddress = [this] {
        const auto *cell = qobject_cast<const RamLineEdit *>(QApplication::focusWidget());
        return cell && cell->window() == this ? cell->address() : -1;
    };
    places.focusTableCell = [this](int string, int column) {
        if (TTLineEdit *cell = viewCell(string, column))
            cell->setFocus(Qt::OtherFocusReason);
        setCurrentCell(string, column);
    };
    places.focusByte = [this](int address) {
        RamLineEdit *cell = ramCell(address / ramSize, address % ramSize);
        cell->setCursorPosition(0);
        cell->setFocus(Qt::OtherFocusReason);
    };
    places.commitFocused = [this] {
        auto *cell = qobject_cast<TTLineEdit *>(QApplication::focusWidget());
        if (cell && cell->window() == this)
            cell->commit();
    };
    places.clearTableWidgets = [this] { removeStringWidgets(); };
    places.memoryShown = [this] { return ui->scrollArea->isHidden(); };
    places.showMemory = [this](bool shown) {
        if (shown)
            on_ramButton_clicked();
        else
            on_editButton_clicked();
    };
    places.scrollBarShown = [this] {
        return ui->scrollArea->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn;
    };
    places.showScrollBar = [this](bool shown) { setVerticalScrollBarShown(shown); };
    return places;
}

void MainWindow::selectRow(int string)
{
    if (string < 0 || string >= stringCount())
        return;
    view_->ensureRowVisible(string);
    // A locked table is only scrolled to the row; otherwise the row's first cell takes the
    // focus.
    if (rows_.runLocked())
        return;
    TTLineEdit *cell = ttCell(string, 2);
    activateWindow();
    cell->setFocus(Qt::OtherFocusReason);
    setCurrentCell(string, 2);
}

void MainWindow::setRamPageShown(bool shown)
{
    if (shown)
        buildMemoryCells(ramSize);
    ui->ramTable->setVisible(shown);
    ui->ramTableDecor->setVisible(shown);
    for (QLayout *layout :
         {static_cast<QLayout *>(ui->ramHLayout), static_cast<QLayout *>(ui->ramVLayout)}) {
        for (int i = 0; i < layout->count(); ++i)
            layout->itemAt(i)->widget()->setVisible(shown);
    }
    for (QWidget *widget : std::initializer_list<QWidget *>{
             ui->label1, ui->label2, ui->label3, ui->label4, ui->line1, ui->line2, ui->line3,
             ui->line4, ui->scrollArea, ui->addButton, ui->deleteButton})
        widget->setVisible(!shown);
}

void MainWindow::on_editButton_clicked()
{
    ui->editButton->setStyleSheet(orb::activeTabStyle);
    ui->ramButton->setStyleSheet(orb::inactiveTabStyle);
    setRamPageShown(false);
}

void MainWindow::on_ramButton_clicked()
{
    ui->ramButton->setStyleSheet(orb::activeTabStyle);
    ui->editButton->setStyleSheet(orb::inactiveTabStyle);
    setRamPageShown(true);
}

void MainWindow::on_addButton_clicked()
{
    addString(currentString() + 1);
}

void MainWindow::on_deleteButton_clicked()
{
    deleteString();
}

void MainWindow::on_startButton_released()
{
    ui->startButton->resize(ui->startButton->width() + 3, ui->startButton->height() + 3);
    launch([this] { return new ExecutionWindow(this); });
}

// The execution window of the start button: it runs this window's rows on its memory, stands
// beside it and closes with it. It is built here, where the main window is known, so that the
// execution window itself needs only a table, a memory and a place.
ExecutionWindow::ExecutionWindow(MainWindow *mainWindow, QWidget *parent)
    : ExecutionWindow(mainWindow->tableRows(), mainWindow->memory(), mainWindow, parent)
{
    connect(mainWindow, &MainWindow::closed, this, &QWidget::close);
}

ExecutionWindow *MainWindow::launch(const std::function<ExecutionWindow *()> &make)
{
    forbidTtChangesAndLaunch();
    // The press took the focus from the cell being edited, so its check is already counted.
    // A mark the order of the edits cleared (a state left without its partner) is set again:
    // the table runs only as its saved document runs, in the editor and in orb-grade alike.
    rows_.judgeForLaunch();
    if (errorCount() == 0) {
        // Top-level and non-modal; it deletes itself when closed, which unlocks the table.
        ExecutionWindow *window = make();
        HelpWindow::installShortcut(window);
        connect(window, &QObject::destroyed, this, &MainWindow::allowTtChangesAndLaunch);
        markRun(window);
        window->setWatchList(watches_);
        emit launched(window);
        window->show();
        return window;
    }
    ErrorsDialog dialog(QStringLiteral("Программа содержит ошибки"),
                        QStringLiteral("Поля, содержащие ошибки, подсвечены красным.\n"
                                       "Исправьте данные и попробуйте снова."));
    connect(&dialog, &QDialog::accepted, this, &MainWindow::allowTtChangesAndLaunch);
    connect(&dialog, &QDialog::rejected, this, &MainWindow::allowTtChangesAndLaunch);
    dialog.exec();
    return nullptr;
}

void MainWindow::markRun(ExecutionWindow *window)
{
    // The run gets the breakpoints, now and whenever they change; its current row and its
    // counts of each row's runs are on the row numbers until the window goes.
    window->setBreakpoints(rowMarks_->breakpoints());
    connect(rowMarks_, &RowMarks::breakpointsChanged, window,
            [this, window] { window->setBreakpoints(rowMarks_->breakpoints()); });
    connect(window, &ExecutionWindow::currentRowChanged, rowMarks_, &RowMarks::setCurrentRow);
    connect(window, &ExecutionWindow::engineCallFinished, rowMarks_,
            [this, window] { rowMarks_->setCounts(window->engine().rowArrivals()); });
    connect(window, &QObject::destroyed, rowMarks_, [this] {
        // Gone already: its engine is not asked.
        rowMarks_->setCurrentRow(-1);
        rowMarks_->setCounts({});
    });
    rowMarks_->setCurrentRow(window->shownRow());
    rowMarks_->setCounts(window->engine().rowArrivals());
}

void MainWindow::on_startButton_pressed()
{
    ui->startButton->resize(ui->startButton->width() - 3, ui->startButton->height() - 3);
}

void MainWindow::commitCurrentCell()
{
    if (TTLineEdit *cell = viewCell(currentString(), currentColumn_))
        cell->commit();
}

void MainWindow::loadDocument(const orb::LoadedDocument &document)
{
    removeStringWidgets();
    // Each cell is filled and committed by the row rules on the row's data, as its cell would
    // be, by the loader orb-run uses; only the rows that are seen or used get cells.
    orb::HeadlessTable table;
    orb::loadTable(table, document);
    const int rowCount = qBound(1, table.rowCount(), maxStringCount);
    rows_.reset(std::vector<orb::TableRows::Row>(size_t(rowCount)));
    if (rowCount >= scrollBarShownAt)
        setVerticalScrollBarShown(true);
    // As if each row had been added in turn: the last row's source state ends with the focus,
    // taken while the row was still blank, so that a mark its commit sets stays while the user
    // is in it. Without an active window no focus-in recorded it, and a table locked by a run
    // takes no focus at all.
    viewCell(rowCount - 1, 2)->setFocus(Qt::OtherFocusReason);
    if (auto *focused = qobject_cast<TTLineEdit *>(focusWidget()))
        setCurrentCell(focused->row(), focused->column());
    else
        setCurrentCell(rowCount - 1, 2);
    std::vector<orb::TableRows::Row> loaded;
    loaded.reserve(size_t(rowCount));
    for (int row = 0; row < qMin(rowCount, table.rowCount()); ++row)
        loaded.push_back(table.row(row));
    rows_.assignRows(loaded);
    memory_.setTexts(document.memory);
}

void MainWindow::forbidTtChangesAndLaunch()
{
    rows_.setRunLocked(true);
    ui->startButton->setEnabled(false);
    ui->addButton->setEnabled(false);
    ui->deleteButton->setEnabled(false);
    ui->scrollAreaContents->setEnabled(false);
}

void MainWindow::allowTtChangesAndLaunch()
{
    rows_.setRunLocked(false);
    ui->startButton->setEnabled(true);
    ui->addButton->setEnabled(true);
    ui->deleteButton->setEnabled(true);
    ui->scrollAreaContents->setEnabled(true);
}

void MainWindow::selectCell(int string, int column)
{
    TTLineEdit *cell = ttCell(string, column);
    if (!cell)
        return;
    if (ui->ramTable->isVisible())
        on_editButton_clicked();
    activateWindow();
    if (ui->scrollAreaContents->isEnabled()) {
        cell->setFocus(Qt::OtherFocusReason);
        setCurrentCell(string, column);
    }
    if (QLayout *layout = cell->parentWidget()->layout())
        layout->activate();
    ui->scrollArea->ensureWidgetVisible(cell, 0, cell->height() + 6);
}

void MainWindow::on_info_triggered()
{
    AuthorInfoDialog dialog;
    dialog.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    ExitDialog dialog;
    if (dialog.exec() != QDialog::Accepted) {
        event->ignore();
        return;
    }
    // An open execution window goes with the program.
    emit closed();
    event->accept();
}
