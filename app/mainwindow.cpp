#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/authorinfodialog.h"
#include "app/constants.h"
#include "app/dialogfont.h"
#include "app/document.h"
#include "app/errorsdialog.h"
#include "app/exitdialog.h"
#include "app/helpwindow.h"
#include "app/rowmarks.h"
#include "cells/ramlineedit.h"
#include "cells/statevalidator.h"
#include "cells/ttlineedit.h"
#include "graph/graphlink.h"
#include "sim/executionwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSignalMapper>
#include <QSpacerItem>
#include <QTimer>

#include <utility>

namespace {

constexpr int ramSize = 16;
// The vertical scroll bar appears with the 18th row and goes when a deletion leaves 16.
constexpr int scrollBarShownAt = 18;
constexpr int scrollBarHiddenAt = 16;
constexpr int cellHeight = 20;
// ttLayout's top margin and vertical spacing: row r's cells are at y = 4 + 26 r.
constexpr int tableTopMargin = 4;
constexpr int rowSpacing = 6;
constexpr int rowPitch = cellHeight + rowSpacing;

// Widths of the fixed spacers at grid columns 1, 3, 5 and 7.
constexpr std::array<int, 4> spacerWidths = {10, 8, 8, 9};

QFont boldArial(int pixelSize)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Bold);
    return font;
}

const QString documentFilter = QStringLiteral("*.orb");

// The errors dialog's message label is one fixed box without word wrap, and a file path has no
// blanks to wrap at. The path is shortened in its middle (its end names the file) and the
// message broken into lines of the label's width, a word wider than a line anywhere.
QString fitSaveFailureMessage(QString message, const QString &path)
{
    constexpr int labelWidth = 341 - 10;
    const QFontMetrics metrics(orb::dialogFont(12));
    const QString shownPath = QDir::toNativeSeparators(path);
    message.replace(shownPath, metrics.elidedText(shownPath, Qt::ElideMiddle, labelWidth * 3 / 4));

    QStringList lines;
    QString line;
    const QStringList words = message.split(QLatin1Char(' '));
    for (const QString &word : words) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (metrics.horizontalAdvance(candidate) <= labelWidth) {
            line = candidate;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line.clear();
        for (const QChar c : word) {
            if (!line.isEmpty() && metrics.horizontalAdvance(line + c) > labelWidth) {
                lines << line;
                line.clear();
            }
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    connectForm();
    ui->mainToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    HelpWindow::installShortcut(this);
    new GraphLink(this); // F2: the automaton as a graph

    lastSavePath = QDir::homePath();
    lastOpenPath = QDir::homePath();

    headerFont = boldArial(13);
    cellFont = boldArial(12);
    for (QLabel *label : {ui->label1, ui->label2, ui->label3, ui->label4})
        label->setFont(headerFont);

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

    ttLayout = new QGridLayout(ui->scrollAreaContents);
    // Margins and spacing put the cells between the column separators, under their headings,
    // and let 17 rows of 20 px fit the visible height: the scroll bar comes with the 18th.
    ttLayout->setContentsMargins(4, tableTopMargin, 10, 4);
    ttLayout->setHorizontalSpacing(10);
    ttLayout->setVerticalSpacing(rowSpacing);
    ttLayout->setAlignment(Qt::AlignTop);
    ttLayout->addItem(new QSpacerItem(1, 200, QSizePolicy::Fixed, QSizePolicy::Fixed), 0, 1, 18, 1);

    rowMarks = new RowMarks(this);
    addString(0);
    // Rows that scroll into view get their cells before they are painted.
    connect(ui->scrollArea->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &MainWindow::buildStringsInView);

    for (int i = 0; i < ramSize; ++i) {
        ui->ramTable->setRowHeight(i, 23);
        ui->ramTable->setColumnWidth(i, 35);
    }
    // The memory cells come after the first paint (see paintEvent), or with their first use.
    // A zero timer, not a queued call: that would run in the same pass of the event loop as
    // the paint, before its frame is out.
    memoryTimer = new QTimer(this);
    memoryTimer->setInterval(0);
    connect(memoryTimer, &QTimer::timeout, this, [this] {
        buildMemoryCells(memoryRowsBuilt + 1);
        if (memoryRowsBuilt >= ramSize)
            memoryTimer->stop();
    });
}

MainWindow::~MainWindow()
{
    // The cells are destroyed with the form; they must not count errors on their way out.
    for (StringWidgets &widgets : strings) {
        for (TTLineEdit *cell : widgets.cells) {
            if (cell)
                cell->detach();
        }
    }
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
    currentString_ = string;
    currentColumn_ = column;
}

TTLineEdit *MainWindow::ttCell(int string, int column) const
{
    if (string < 0 || string >= int(strings.size()) || column < 2 || column > 8 || column % 2)
        return nullptr;
    // Building the cells changes no contents: to every caller the cell has always been there.
    if (!strings[size_t(string)].built())
        const_cast<MainWindow *>(this)->buildString(string);
    return strings[size_t(string)].cells[size_t(orb::fieldOfGridColumn(column))];
}

QString MainWindow::cellText(int string, int column) const
{
    if (string < 0 || string >= int(strings.size()) || column < 2 || column > 8 || column % 2)
        return QString();
    const StringWidgets &widgets = strings[size_t(string)];
    const auto field = size_t(orb::fieldOfGridColumn(column));
    return widgets.built() ? widgets.cells[field]->text() : widgets.pending.cells[field].text;
}

orb::ParsedConditions MainWindow::parsedConditions(int string) const
{
    if (string < 0 || string >= int(strings.size()))
        return orb::ParsedConditions();
    const StringWidgets &widgets = strings[size_t(string)];
    return widgets.built() ? widgets.cells[orb::ConditionsField]->parsedConditions()
                           : widgets.pending.conditions;
}

orb::ParsedSignals MainWindow::parsedSignals(int string) const
{
    if (string < 0 || string >= int(strings.size()))
        return orb::ParsedSignals();
    const StringWidgets &widgets = strings[size_t(string)];
    return widgets.built() ? widgets.cells[orb::SignalsField]->parsedSignals()
                           : widgets.pending.signalNumbers;
}

bool MainWindow::cellCorrect(int string, int column) const
{
    if (string < 0 || string >= int(strings.size()) || column < 2 || column > 8 || column % 2)
        return true;
    const StringWidgets &widgets = strings[size_t(string)];
    const auto field = size_t(orb::fieldOfGridColumn(column));
    return widgets.built() ? widgets.cells[field]->isCorrect()
                           : widgets.pending.cells[field].correct;
}

QLabel *MainWindow::rowNumberLabel(int string) const
{
    if (string < 0 || string >= int(strings.size()))
        return nullptr;
    return strings[size_t(string)].number;
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
    for (; memoryRowsBuilt < qMin(rows, ramSize); ++memoryRowsBuilt) {
        for (int column = 0; column < ramSize; ++column)
            new RamLineEdit(ui->ramTable, memoryRowsBuilt, column);
    }
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QMainWindow::paintEvent(event);
    // The memory page is hidden at start-up; its 256 cells are built once the window has been
    // painted, one table row per timer tick, so that neither the first paint nor the user's
    // first input waits for them. Any use of the memory builds the rest at once.
    if (memoryRowsBuilt < ramSize && !memoryTimer->isActive())
        memoryTimer->start();
}

void MainWindow::addString(int stringNumber)
{
    const int n = stringCount_;
    if (n >= maxStringCount)
        return;
    const int k = qBound(0, stringNumber, n);

    // With the cursor at the start of the first row's source state, a new row goes above the
    // first row; a source state left empty there while its row has content is marked first.
    bool firstRowCase = false;
    if (!insertGuard && currentString_ == 0 && currentColumn_ == 2 && n >= 1) {
        TTLineEdit *first = ttCell(0, 2);
        if (first && first->cursorPosition() == 0) {
            firstRowCase = true;
            if (first->text().isEmpty() &&
                (!ttCell(0, 4)->text().isEmpty() || !ttCell(0, 6)->text().isEmpty() ||
                 !ttCell(0, 8)->text().isEmpty()))
                first->setCorrect(false);
        }
    }

    if (k < n || (firstRowCase && k == n && n == 1)) {
        const int target = firstRowCase ? qMax(k - 1, 0) : k;
        // The guard makes the nested call append plainly instead of taking the first-row case.
        insertGuard = true;
        addString(n);
        for (int r = n - 1; r >= target; --r)
            moveString(r, r + 1);
        clearString(target);
        rowMarks->rowInserted(target);
        ttCell(target, 2)->setFocus(Qt::OtherFocusReason);
        if (stringCount_ == scrollBarShownAt)
            setVerticalScrollBarShown(true);
        emit tableChanged();
        return;
    }
    appendString(n);
    emit tableChanged();
}

void MainWindow::appendString(int index)
{
    appendPendingStrings(1);
    buildString(index);
    strings[size_t(index)].cells[0]->setFocus(Qt::OtherFocusReason);

    ++stringCount_;
    insertGuard = false;
    if (stringCount_ == scrollBarShownAt)
        setVerticalScrollBarShown(true);
}

void MainWindow::appendPendingStrings(int count)
{
    // Created on their final parent: a style is polished once instead of again on adoption.
    // Shown now, not by the layout's deferred show; the layout is off meanwhile, or every show
    // would lay out the whole table again.
    QWidget *parent = ui->scrollAreaContents;
    ttLayout->setEnabled(false);
    for (int i = 0; i < count; ++i) {
        const int index = int(strings.size());
        StringWidgets widgets;
        widgets.number = new QLabel(QString::number(index + 1), parent);
        widgets.number->setMinimumWidth(20);
        widgets.number->setAlignment(Qt::AlignCenter);
        widgets.number->setStyleSheet(orb::rowNumberStyle);
        rowMarks->adoptLabel(widgets.number);
        ttLayout->addWidget(widgets.number, index, 0);
        // The spacers are as high as the cells, so a row without cells is as high as one with.
        for (int field = 0; field < orb::fieldCount; ++field) {
            widgets.spacers[size_t(field)] = new QSpacerItem(
                spacerWidths[size_t(field)], cellHeight, QSizePolicy::Fixed, QSizePolicy::Fixed);
            ttLayout->addItem(widgets.spacers[size_t(field)], index, 2 * field + 1);
        }
        widgets.number->show();
        strings.push_back(widgets);
    }
    ttLayout->setEnabled(true);
}

void MainWindow::buildString(int index)
{
    StringWidgets &widgets = strings[size_t(index)];
    if (widgets.built())
        return;
    QWidget *parent = ui->scrollAreaContents;
    const orb::HeadlessTable::Row state = std::exchange(widgets.pending, {});
    for (int field = 0; field < orb::fieldCount; ++field) {
        auto *cell = new TTLineEdit(this, index, field, parent);
        cell->setFixedHeight(cellHeight);
        cell->setFont(cellFont);
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
        // The contents are final already: they come before the text-change rules are
        // connected, and the mark comes without counting it again.
        const orb::HeadlessTable::Cell &contents = state.cells[size_t(field)];
        if (!contents.text.isEmpty())
            cell->setText(contents.text);
        if (!contents.correct)
            cell->takeMark(false);
        if (orb::isStateField(field))
            connect(cell, &QLineEdit::textChanged, cell, &TTLineEdit::onStateChanged);
        else if (field == orb::ConditionsField)
            connect(cell, &QLineEdit::textChanged, cell,
                    &TTLineEdit::onTransitionConditionsChanged);
        else
            connect(cell, &QLineEdit::textChanged, cell, &TTLineEdit::onControlSignalsChanged);
        // The end-of-edit slots are run by the cell itself on every focus loss and on Return,
        // not through editingFinished, which Qt 6 skips when the text did not change.
        ttLayout->addWidget(cell, index, orb::gridColumnOfField(field));
        widgets.cells[size_t(field)] = cell;
    }
    widgets.cells[orb::ConditionsField]->parsedConditions() = state.conditions;
    widgets.cells[orb::SignalsField]->parsedSignals() = state.signalNumbers;

    // Tab walks the table row by row, however late a row was built: its cells go after the
    // nearest built row above, or else before the nearest built row below.
    QWidget *before = nullptr;
    for (int row = index - 1; row >= 0 && !before; --row) {
        if (strings[size_t(row)].built())
            before = strings[size_t(row)].cells[orb::SignalsField];
    }
    for (int row = index + 1; row < int(strings.size()) && !before; ++row) {
        if (strings[size_t(row)].built())
            before = strings[size_t(row)].cells[0]->previousInFocusChain();
    }
    if (before) {
        QWidget::setTabOrder(before, widgets.cells[0]);
        for (size_t field = 1; field < widgets.cells.size(); ++field)
            QWidget::setTabOrder(widgets.cells[field - 1], widgets.cells[field]);
    }

    // Shown now, not by the layout's deferred show: a hidden cell cannot take the focus. The
    // layout is off meanwhile, or every show would lay out the whole table again; it places
    // the cells before the next paint (paints are posted at a lower priority).
    ttLayout->setEnabled(false);
    for (TTLineEdit *cell : widgets.cells)
        cell->show();
    ttLayout->setEnabled(true);

    widgets.mapper = new QSignalMapper(this);
    for (TTLineEdit *cell : widgets.cells) {
        connect(cell, &QLineEdit::returnPressed, widgets.mapper, qOverload<>(&QSignalMapper::map));
        widgets.mapper->setMapping(cell, index + 1);
    }
    connect(widgets.mapper, &QSignalMapper::mappedInt, this, &MainWindow::addString);
}

void MainWindow::buildStringsInView()
{
    // A row either side of the viewport too, so that the first step of a scroll finds it ready.
    const int top = ui->scrollArea->verticalScrollBar()->value();
    const int bottom = top + ui->scrollArea->viewport()->height();
    const int first = qMax(0, (top - tableTopMargin) / rowPitch - 1);
    const int last = qMin(int(strings.size()) - 1, (bottom - tableTopMargin) / rowPitch + 1);
    for (int row = first; row <= last; ++row)
        buildString(row);
}

orb::HeadlessTable::Row MainWindow::stringState(int index) const
{
    const StringWidgets &widgets = strings[size_t(index)];
    if (!widgets.built())
        return widgets.pending;
    orb::HeadlessTable::Row state;
    for (size_t field = 0; field < widgets.cells.size(); ++field) {
        state.cells[field].text = widgets.cells[field]->text();
        state.cells[field].correct = widgets.cells[field]->isCorrect();
    }
    state.conditions = widgets.cells[orb::ConditionsField]->parsedConditions();
    state.signalNumbers = widgets.cells[orb::SignalsField]->parsedSignals();
    return state;
}

void MainWindow::setStringState(int index, const orb::HeadlessTable::Row &state)
{
    StringWidgets &widgets = strings[size_t(index)];
    if (!widgets.built()) {
        for (size_t field = 0; field < widgets.cells.size(); ++field)
            errorCount_ +=
                int(!state.cells[field].correct) - int(!widgets.pending.cells[field].correct);
        widgets.pending = state;
        return;
    }
    // The texts, the parsed forms and the marks arrive as they are. The text-change rules stay
    // silent meanwhile: they would only recompute marks and parsed forms that are then
    // overwritten by the copies.
    for (int field = orb::fieldCount - 1; field >= 0; --field) {
        TTLineEdit *cell = widgets.cells[size_t(field)];
        const QSignalBlocker blocker(cell);
        cell->setText(state.cells[size_t(field)].text);
    }
    widgets.cells[orb::ConditionsField]->parsedConditions() = state.conditions;
    widgets.cells[orb::SignalsField]->parsedSignals() = state.signalNumbers;
    for (int field = orb::fieldCount - 1; field >= 0; --field)
        widgets.cells[size_t(field)]->setCorrect(state.cells[size_t(field)].correct);
}

void MainWindow::moveString(int from, int to)
{
    // The parsed forms go along, so that a moved conditions cell keeps what its last
    // normalisation built.
    setStringState(to, stringState(from));
}

void MainWindow::clearString(int index)
{
    const StringWidgets &widgets = strings[size_t(index)];
    if (!widgets.built()) {
        setStringState(index, orb::HeadlessTable::Row());
        return;
    }
    for (int field = orb::fieldCount - 1; field >= 0; --field)
        widgets.cells[size_t(field)]->clear();
    widgets.cells[orb::ConditionsField]->parsedConditions().clear();
    widgets.cells[orb::SignalsField]->parsedSignals() = orb::ParsedSignals{};
    // A blank row is never wrong.
    for (TTLineEdit *cell : widgets.cells)
        cell->setCorrect(true);
}

void MainWindow::deleteString()
{
    const int n = stringCount_;
    const int c = currentString_;
    if (n <= 1)
        return;
    for (int r = c; r < n - 1; ++r)
        moveString(r + 1, r);

    StringWidgets last = strings.back();
    for (size_t field = 0; field < last.cells.size(); ++field) {
        if (last.built() ? !last.cells[field]->isCorrect() : !last.pending.cells[field].correct)
            --errorCount_;
    }
    strings.pop_back();
    destroyString(last);

    if (c >= n - 1)
        currentString_ = n - 2;
    stringCount_ = n - 1;
    rowMarks->rowRemoved(c);
    if (stringCount_ == scrollBarHiddenAt)
        setVerticalScrollBarShown(false);
    emit tableChanged();
}

void MainWindow::destroyString(const StringWidgets &widgets)
{
    // A destroyed cell must not run its end-of-edit check or count errors, and the focus is
    // not handed on to another cell. The deletion itself is deferred: it may come from a key
    // press of one of these very cells.
    for (TTLineEdit *cell : widgets.cells) {
        if (!cell)
            continue;
        cell->detach();
        cell->clearFocus();
    }
    for (QWidget *widget :
         std::initializer_list<QWidget *>{widgets.number, widgets.cells[0], widgets.cells[1],
                                          widgets.cells[2], widgets.cells[3]}) {
        if (!widget)
            continue;
        ttLayout->removeWidget(widget);
        widget->hide();
        widget->deleteLater();
    }
    for (QSpacerItem *spacer : widgets.spacers) {
        ttLayout->removeItem(spacer);
        delete spacer;
    }
    if (widgets.mapper)
        widgets.mapper->deleteLater();
}

void MainWindow::removeStringWidgets()
{
    // Only the tool bar commands call this, never a cell of the table, so the widgets can go
    // at once. The layout is emptied from its end first (every item but the spacer added
    // first), which keeps clearing a 500-row table linear.
    rowMarks->clear();
    for (StringWidgets &widgets : strings) {
        for (TTLineEdit *cell : widgets.cells) {
            if (!cell)
                continue;
            cell->detach();
            cell->clearFocus();
        }
    }
    while (ttLayout->count() > 1)
        delete ttLayout->takeAt(ttLayout->count() - 1); // spacers, and the widgets' items

    for (auto it = strings.rbegin(); it != strings.rend(); ++it) {
        for (auto cell = it->cells.rbegin(); cell != it->cells.rend(); ++cell)
            delete *cell;
        delete it->number;
        delete it->mapper;
    }
    strings.clear();
    setVerticalScrollBarShown(false);
}

void MainWindow::setVerticalScrollBarShown(bool shown)
{
    ui->scrollArea->setVerticalScrollBarPolicy(shown ? Qt::ScrollBarAlwaysOn
                                                     : Qt::ScrollBarAlwaysOff);
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
    addString(currentString_ + 1);
}

void MainWindow::on_deleteButton_clicked()
{
    deleteString();
}

void MainWindow::on_startButton_released()
{
    ui->startButton->resize(ui->startButton->width() + 3, ui->startButton->height() + 3);
    forbidTtChangesAndLaunch();
    // The press took the focus from the cell being edited, so its check is already counted.
    if (errorCount_ == 0) {
        // Top-level and non-modal; it deletes itself when closed, which unlocks the table.
        auto *window = new ExecutionWindow(this);
        connect(window, &QObject::destroyed, this, &MainWindow::allowTtChangesAndLaunch);
        rowMarks->attach(window);
        emit launched(window);
        window->show();
        return;
    }
    ErrorsDialog dialog(QStringLiteral("Программа содержит ошибки"),
                        QStringLiteral("Поля, содержащие ошибки, подсвечены красным.\n"
                                       "Исправьте данные и попробуйте снова."));
    connect(&dialog, &QDialog::accepted, this, &MainWindow::allowTtChangesAndLaunch);
    connect(&dialog, &QDialog::rejected, this, &MainWindow::allowTtChangesAndLaunch);
    dialog.exec();
}

void MainWindow::on_startButton_pressed()
{
    ui->startButton->resize(ui->startButton->width() - 3, ui->startButton->height() - 3);
}

void MainWindow::commitCurrentCell()
{
    if (TTLineEdit *cell = ttCell(currentString_, currentColumn_))
        cell->commit();
}

QString MainWindow::chooseSaveFileName(const QString &startPath)
{
    // A name typed without a suffix gets ".orb", or Open's filter would hide the saved file;
    // the dialog asks before it replaces an existing file of the completed name.
    QFileDialog dialog(this, QString(), startPath, documentFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("orb"));
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

QString MainWindow::chooseOpenFileName(const QString &startPath)
{
    return QFileDialog::getOpenFileName(this, QString(), startPath, documentFilter);
}

void MainWindow::on_actionOpen_activated()
{
    commitCurrentCell();
    const QString fileName = chooseOpenFileName(lastOpenPath);
    if (!fileName.isEmpty())
        openDocument(fileName);
}

bool MainWindow::openDocument(const QString &fileName)
{
    lastOpenPath = fileName;
    // A file that cannot be read or is no document changes nothing, and says nothing.
    const std::optional<orb::LoadedDocument> document = orb::readDocumentFile(fileName);
    if (!document)
        return false;
    loadDocument(*document);
    emit tableChanged();
    emit closed();
    return true;
}

void MainWindow::on_actionSave_activated()
{
    commitCurrentCell();
    const QString fileName = chooseSaveFileName(lastSavePath);
    if (fileName.isEmpty())
        return;
    lastSavePath = fileName;

    QList<orb::RowTexts> rows;
    rows.reserve(stringCount_);
    for (int row = 0; row < stringCount_; ++row) {
        orb::RowTexts texts;
        for (int field = 0; field < orb::fieldCount; ++field)
            texts[size_t(field)] = cellText(row, orb::gridColumnOfField(field));
        rows.append(texts);
    }
    QStringList memory;
    for (int row = 0; row < ramSize; ++row) {
        for (int column = 0; column < ramSize; ++column)
            memory << ramCell(row, column)->text();
    }

    // Written atomically: a failed save leaves the previous file as it was, and says so.
    QString error;
    if (orb::writeDocumentFile(fileName, orb::serializeDocument(rows, memory), &error))
        return;
    ErrorsDialog dialog(QStringLiteral("Не удалось сохранить файл"),
                        fitSaveFailureMessage(error, fileName));
    dialog.exec();
}

void MainWindow::on_actionNew_activated()
{
    removeStringWidgets();
    stringCount_ = 0;
    errorCount_ = 0;
    addString(0);
    currentString_ = 0;
    currentColumn_ = 2;
    setAllMemoryCells(QStringLiteral("00"));
    emit tableChanged();
    emit closed();
}

void MainWindow::loadDocument(const orb::LoadedDocument &document)
{
    removeStringWidgets();
    errorCount_ = 0;
    stringCount_ = 0;
    // Each cell is filled and committed by the row rules on the row's data, as its cell would
    // be, by the loader orb-run uses; only the rows that are seen or used get cells.
    orb::HeadlessTable table;
    orb::loadTable(table, document);
    const int rowCount = qBound(1, table.rowCount(), maxStringCount);

    appendPendingStrings(rowCount);
    stringCount_ = rowCount;
    if (stringCount_ >= scrollBarShownAt)
        setVerticalScrollBarShown(true);
    // As if each row had been added in turn: the last row's source state ends with the focus,
    // taken while the row was still blank, so that a mark its commit sets stays while the user
    // is in it. Without an active window no focus-in recorded it, and a table locked by a run
    // takes no focus at all.
    ttCell(rowCount - 1, 2)->setFocus(Qt::OtherFocusReason);
    if (auto *focused = qobject_cast<TTLineEdit *>(focusWidget()))
        setCurrentCell(focused->row(), focused->column());
    else
        setCurrentCell(stringCount_ - 1, 2);
    for (int row = 0; row < qMin(rowCount, table.rowCount()); ++row)
        setStringState(row, table.row(row));
    buildStringsInView();

    const qsizetype memoryCount = qMin(document.memory.size(), qsizetype(ramSize * ramSize));
    for (qsizetype address = 0; address < memoryCount; ++address) {
        RamLineEdit *cell = ramCell(int(address / ramSize), int(address % ramSize));
        // Not typing: the cell must not pass the focus on to the next address.
        const QSignalBlocker blocker(cell);
        cell->setText(document.memory[address]);
    }
}

void MainWindow::setAllMemoryCells(const QString &text)
{
    for (int row = 0; row < ramSize; ++row) {
        for (int column = 0; column < ramSize; ++column) {
            RamLineEdit *cell = ramCell(row, column);
            const QSignalBlocker blocker(cell);
            cell->setText(text);
        }
    }
}

void MainWindow::forbidTtChangesAndLaunch()
{
    ui->startButton->setEnabled(false);
    ui->addButton->setEnabled(false);
    ui->deleteButton->setEnabled(false);
    ui->scrollAreaContents->setEnabled(false);
}

void MainWindow::allowTtChangesAndLaunch()
{
    ui->startButton->setEnabled(true);
    ui->addButton->setEnabled(true);
    ui->deleteButton->setEnabled(true);
    ui->scrollAreaContents->setEnabled(true);
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
