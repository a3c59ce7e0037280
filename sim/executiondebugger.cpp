// SPDX-License-Identifier: GPL-3.0-or-later
//
// The execution window as a debugger: the watches and the looks of the value cells, the radix
// of each register, the paced run to the end, and the menus and double-clicks that reach them.

#include "sim/executionwindow.h"

#include "ui_executionwindow.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QMenu>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// A watched cell takes the breakpoint red of the table's row numbers.
const QString watchedCellStyle = u"color: rgb(255,255,255);\nborder-radius: 7px;\nborder: 0px;\n"
                                 u"background-color: rgb(226, 131, 131);"_s;

// A cell the last microoperation changed gets the frame of the table's current row.
QString withChangeFrame(QString style)
{
    return style.replace(u"border: 0px;"_s, u"border: 2px solid rgb(60, 100, 160);"_s);
}

// The radix of each register's cells, for the rest of the program's life.
std::array<orb::Radix, orb::registerCount> &radixes()
{
    static std::array<orb::Radix, orb::registerCount> chosen{};
    return chosen;
}

// A byte in binary takes two lines of a smaller type to fit its cell.
constexpr int binaryPixelSize = 9;

} // namespace

void ExecutionWindow::setUpDebugger()
{
    watches_ = &ownWatches_;
    cellFont_ = afterCells_.labels[0]->font();
    plainEndToolTip_ = ui->endButton->toolTip();
    connect(&ownWatches_, &orb::WatchList::changed, this, &ExecutionWindow::watchesChanged);
    for (int i = 0; i < panelCellCount; ++i) {
        plainCellStyles_[size_t(i)] = afterCells_.labels[size_t(i)]->styleSheet();
        beforeCells_.labels[size_t(i)]->installEventFilter(this);
        afterCells_.labels[size_t(i)]->installEventFilter(this);
    }
    for (int i = 0; i < orb::registerCount; ++i) {
        if (radix(i) != orb::Radix::Hex)
            refillRegister(i);
    }
    ui->pushButton_3->installEventFilter(this);
    ui->endButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->endButton, &QWidget::customContextMenuRequested, this,
            &ExecutionWindow::showPaceMenu);
    paceTimer_ = new QTimer(this);
    paceTimer_->setObjectName(u"paceTimer"_s);
    paceTimer_->setSingleShot(true);
    connect(paceTimer_, &QTimer::timeout, this, &ExecutionWindow::pacedStep);
    watchesChanged();
}

void ExecutionWindow::setWatchList(orb::WatchList *watches)
{
    if (!watches || watches == watches_)
        return;
    if (watches_)
        disconnect(watches_, &orb::WatchList::changed, this, &ExecutionWindow::watchesChanged);
    watches_ = watches;
    connect(watches, &orb::WatchList::changed, this, &ExecutionWindow::watchesChanged);
    // A list handed in may go first; the window's own goes with the window, when nothing of it
    // may be touched any more.
    if (watches != &ownWatches_)
        connect(watches, &QObject::destroyed, this, [this] { setWatchList(&ownWatches_); });
    watchesChanged();
}

void ExecutionWindow::watchesChanged()
{
    const std::vector<orb::Watch> &watches = watches_ ? watches_->watches() : ownWatches_.watches();
    engine_.setWatches(watches);
    restyleCells();
    // endButton's tool tip lists what a run to the end stops at, and its pace.
    QString tip = plainEndToolTip_;
    if (!watches.empty()) {
        QStringList names;
        for (const orb::Watch &watch : watches)
            names << orb::watchText(watch, orb::WatchNames::Panel);
        tip += u"\nНаблюдение: "_s + names.join(u", "_s);
    }
    if (pace_ != Pace::Instant)
        tip += u"\nТемп: "_s + paceName(pace_);
    ui->endButton->setToolTip(tip);
}

void ExecutionWindow::restyleCells()
{
    const quint64 changed = changeMarks_ ? engine_.changedRegisters() : 0;
    const auto &table = orb::registerTable();
    const std::vector<orb::Watch> &watches = engine_.watches();
    quint64 watched = 0;
    for (int i = 0; i < panelCellCount; ++i) {
        std::optional<orb::Watch> watch;
        for (const orb::Watch &candidate : watches) {
            if (candidate.kind == orb::Watch::Kind::Register && candidate.index == i)
                watch = candidate;
        }
        const bool wasMarked = (markedCells_ | watchedCells_) >> i & 1;
        const bool marked = changed >> i & 1;
        const QString &style = watch ? watchedCellStyle : plainCellStyles_[size_t(i)];
        QLabel *before = beforeCells_.labels[size_t(i)];
        QLabel *after = afterCells_.labels[size_t(i)];
        if (before->styleSheet() != style)
            before->setStyleSheet(style);
        const QString afterStyle = marked ? withChangeFrame(style) : style;
        if (after->styleSheet() != afterStyle)
            after->setStyleSheet(afterStyle);
        if (watch)
            watched |= quint64(1) << i;
        if (!watch && !marked && !wasMarked)
            continue;
        // The tool tips say what the looks mean.
        auto tipOf = [&](int value, bool changedHere) {
            QString tip = table[size_t(i)].format == orb::RegisterFormat::Hex
                              ? registerToolTip(value)
                              : QString();
            auto addLine = [&tip](const QString &line) {
                tip += (tip.isEmpty() ? QString() : u"\n"_s) + line;
            };
            if (changedHere) {
                const orb::Watch any{orb::Watch::Kind::Register, i, -1};
                addLine(u"Изменён микрооперацией: "_s +
                        orb::watchValueText(any, table[size_t(i)].read(engine_.beforePanel())) +
                        u" → "_s + orb::watchValueText(any, value));
            }
            if (watch)
                addLine(watch->value < 0 ? u"Остановка при изменении"_s
                                         : u"Остановка при значении "_s +
                                               orb::watchValueText(*watch, watch->value));
            return tip;
        };
        before->setToolTip(tipOf(beforeCells_.shown[size_t(i)], false));
        after->setToolTip(tipOf(afterCells_.shown[size_t(i)], marked));
    }
    markedCells_ = changed;
    watchedCells_ = watched;
}

void ExecutionWindow::setChangeMarks(bool on)
{
    changeMarks_ = on;
    restyleCells();
    updateOperationToolTip();
}

void ExecutionWindow::updateOperationToolTip()
{
    QStringList lines;
    // A stop reason stands where the operation was: the operation moves to the tool tip.
    if (!stopReason_.isEmpty())
        lines << engine_.afterPanel().operationLabel();
    const orb::StepEngine::PressOutcome &press = engine_.lastPress();
    if (changeMarks_ && press.writtenAddress >= 0) {
        const orb::Watch byte{orb::Watch::Kind::Memory, press.writtenAddress, -1};
        lines << u"Записано в память: "_s + orb::watchName(byte, orb::WatchNames::Panel) + u": "_s +
                     orb::formatHex(press.writtenOld) + u" → "_s + orb::formatHex(press.writtenNew);
    }
    ui->operationLabel->setToolTip(lines.join(u'\n'));
}

void ExecutionWindow::showStopReason()
{
    const std::optional<orb::WatchStop> &stop = engine_.watchStop();
    if (!stop || engine_.endScreenShown())
        return;
    stopReason_ = u"Остановка: "_s + stop->reason(orb::WatchNames::Panel);
    ui->operationLabel->setText(stopReason_);
    updateOperationToolTip();
}

orb::Radix ExecutionWindow::radix(int registerIndex)
{
    if (registerIndex < 0 || registerIndex >= orb::registerCount)
        return orb::Radix::Hex;
    return radixes()[size_t(registerIndex)];
}

void ExecutionWindow::setRadix(int registerIndex, orb::Radix radix)
{
    if (registerIndex < 0 || registerIndex >= orb::registerCount)
        return;
    radixes()[size_t(registerIndex)] = radix;
    refillRegister(registerIndex);
}

QString ExecutionWindow::radixName(orb::Radix radix)
{
    switch (radix) {
    case orb::Radix::Hex:
        break;
    case orb::Radix::Unsigned:
        return u"Десятичное без знака"_s;
    case orb::Radix::Signed:
        return u"Десятичное со знаком"_s;
    case orb::Radix::Binary:
        return u"Двоичное"_s;
    }
    return u"Шестнадцатеричное"_s;
}

void ExecutionWindow::refillRegister(int registerIndex)
{
    const bool binary = radix(registerIndex) == orb::Radix::Binary;
    for (PanelCells *panel : {&beforeCells_, &afterCells_}) {
        QLabel *label = panel->labels[size_t(registerIndex)];
        QFont font = cellFont_;
        if (binary)
            font.setPixelSize(binaryPixelSize);
        label->setFont(font);
        label->setWordWrap(binary);
        panel->shown[size_t(registerIndex)] = -1;
    }
    fillPanel(beforeCells_, engine_.beforePanel());
    fillPanel(afterCells_, engine_.afterPanel().registers);
    restyleCells();
}

QString ExecutionWindow::paceName(Pace pace)
{
    switch (pace) {
    case Pace::Instant:
        break;
    case Pace::Fast:
        return u"Быстро"_s;
    case Pace::Slow:
        return u"Медленно"_s;
    case Pace::OnePerSecond:
        return u"По шагу в секунду"_s;
    }
    return u"Сразу"_s;
}

int ExecutionWindow::paceInterval(Pace pace)
{
    switch (pace) {
    case Pace::Instant:
        break;
    case Pace::Fast:
        return 1000 / 20;
    case Pace::Slow:
        return 1000 / 4;
    case Pace::OnePerSecond:
        return 1000;
    }
    return 0;
}

void ExecutionWindow::setPace(Pace pace)
{
    pace_ = pace;
    if (pace == Pace::Instant)
        pausePacedRun();
    watchesChanged();
}

void ExecutionWindow::showPaceMenu(const QPoint &position)
{
    QMenu menu(this);
    auto *group = new QActionGroup(&menu);
    for (int i = 0; i < paceCount; ++i) {
        QAction *action = menu.addAction(paceName(Pace(i)));
        action->setCheckable(true);
        action->setChecked(pace_ == Pace(i));
        action->setData(i);
        group->addAction(action);
    }
    if (QAction *chosen = menu.exec(ui->endButton->mapToGlobal(position)))
        setPace(Pace(chosen->data().toInt()));
}

void ExecutionWindow::startPacedRun()
{
    pacedRun_ = true;
    // The first step at once, the next ones at the pace.
    paceTimer_->start(0);
}

void ExecutionWindow::pacedStep()
{
    if (!pacedRun_)
        return;
    auto outcome = orb::StepEngine::RunStep::Stepped;
    runEngine([this, &outcome] { outcome = engine_.runStep(); });
    if (!pacedRun_)
        return; // paused or closed while a dialog of the step was open
    if (outcome == orb::StepEngine::RunStep::Stepped) {
        paceTimer_->start(paceInterval(pace_));
        return;
    }
    pacedRun_ = false;
    showStopReason();
    showCaseStop();
    ui->nextButton->setFocus(Qt::OtherFocusReason);
}

void ExecutionWindow::pausePacedRun()
{
    stopPacedRun();
}

void ExecutionWindow::stopPacedRun()
{
    pacedRun_ = false;
    if (paceTimer_)
        paceTimer_->stop();
}

void ExecutionWindow::cellDoubleClicked(int cell, bool withValue)
{
    if (withValue) {
        askForWatchValue(cell);
        return;
    }
    watches_->toggle(orb::Watch{orb::Watch::Kind::Register, cell, -1});
}

void ExecutionWindow::askForWatchValue(int cell)
{
    pausePacedRun();
    orb::Watch watch{orb::Watch::Kind::Register, cell, -1};
    const std::optional<orb::Watch> existing = watches_->find(watch);
    const int current = orb::registerTable()[size_t(cell)].read(engine_.afterPanel().registers);
    const QString question = u"Остановиться, когда %1 станет равным\n(%2):"_s.arg(
        orb::watchName(watch, orb::WatchNames::Panel),
        watch.isFlag() ? u"0 или 1"_s : u"шестнадцатеричное число от 00 до FF"_s);
    QInputDialog dialog(this);
    dialog.setWindowTitle(u"ORB"_s);
    dialog.setLabelText(question);
    dialog.setOkButtonText(u"Остановиться"_s);
    dialog.setCancelButtonText(u"Отмена"_s);
    dialog.setTextValue(
        orb::watchValueText(watch, existing && existing->value >= 0 ? existing->value : current));
    while (dialog.exec() == QDialog::Accepted) {
        if (const std::optional<int> value = orb::parseWatchValue(watch, dialog.textValue())) {
            watch.value = *value;
            watches_->set(watch);
            return;
        }
        dialog.setLabelText(question + u"\nЭто не подходит: "_s + dialog.textValue().left(20));
    }
}

void ExecutionWindow::showCellMenu(int cell, const QPoint &globalPosition)
{
    QMenu menu(this);
    const bool isRegister = cell < orb::registerCount;
    if (isRegister) {
        auto *group = new QActionGroup(&menu);
        for (int i = 0; i < orb::radixCount; ++i) {
            QAction *action = menu.addAction(radixName(orb::Radix(i)));
            action->setCheckable(true);
            action->setChecked(radix(cell) == orb::Radix(i));
            group->addAction(action);
            connect(action, &QAction::triggered, this,
                    [this, cell, i] { setRadix(cell, orb::Radix(i)); });
        }
        menu.addSeparator();
    }
    const orb::Watch any{orb::Watch::Kind::Register, cell, -1};
    const std::optional<orb::Watch> existing = watches_->find(any);
    QAction *onChange = menu.addAction(u"Остановиться при изменении (двойной щелчок)"_s);
    onChange->setCheckable(true);
    onChange->setChecked(existing && existing->value < 0);
    connect(onChange, &QAction::triggered, this, [this, any](bool on) {
        if (on)
            watches_->set(any);
        else
            watches_->remove(any);
    });
    QAction *onValue = menu.addAction(u"Остановиться при значении… (Shift+двойной щелчок)"_s);
    onValue->setCheckable(true);
    onValue->setChecked(existing && existing->value >= 0);
    connect(onValue, &QAction::triggered, this, [this, cell] { askForWatchValue(cell); });
    menu.exec(globalPosition);
}

bool ExecutionWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == ui->pushButton_3) {
        // Which modifiers came with the press and release that make its action.
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
            type == QEvent::KeyPress || type == QEvent::KeyRelease)
            backButtonModifiers_ = static_cast<QInputEvent *>(event)->modifiers();
        return QDialog::eventFilter(watched, event);
    }
    if (type != QEvent::MouseButtonDblClick && type != QEvent::ContextMenu)
        return QDialog::eventFilter(watched, event);
    for (int i = 0; i < panelCellCount; ++i) {
        const bool after = watched == afterCells_.labels[size_t(i)];
        if (!after && watched != beforeCells_.labels[size_t(i)])
            continue;
        if (type == QEvent::ContextMenu) {
            showCellMenu(i, static_cast<QContextMenuEvent *>(event)->globalPos());
            return true;
        }
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!after || mouse->button() != Qt::LeftButton)
            return false;
        cellDoubleClicked(i, mouse->modifiers() & Qt::ShiftModifier);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
