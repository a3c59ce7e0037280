// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/executionwindow.h"

#include "ui_executionwindow.h"

#include "style/dialogfont.h"
#include "app/errorsdialog.h"
#include "sim/infodialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <utility>

using namespace Qt::StringLiterals;

ExecutionWindow::ExecutionWindow(const orb::TableSource &table, orb::MemoryModel &memory,
                                 QWidget *beside, QWidget *parent)
    : ExecutionWindow(table, memory, beside, orb::RunHooks(), parent)
{
}

ExecutionWindow::ExecutionWindow(const orb::TableSource &table, orb::MemoryModel &memory,
                                 QWidget *beside, orb::RunHooks hooks, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ExecutionWindow>()), memory_(memory),
      engine_(table, memory_, *this), hooks_(std::move(hooks))
{
    ui->setupUi(this);

    cells_ = new RegisterCells(ui->beforeGroupBox, ui->afterGroupBox, engine_, this);

    operationFont_ = orb::dialogFont(15);
    ui->operationLabel->setFont(operationFont_);
    labelFont_.setFamily(u"Arial"_s);
    labelFont_.setPixelSize(12);
    labelFont_.setWeight(QFont::Bold);
    for (QLabel *label :
         {ui->rowTagLabel, ui->rowLabel, ui->stepTagLabel, ui->stepLabel, ui->initialStateTagLabel,
          ui->initialStateLabel, ui->nextStateTagLable, ui->nextStateLabel, ui->signalsTagLabel,
          ui->controlSignalsLabel, ui->beforeOperationLabel, ui->afterOperationLabel})
        label->setFont(labelFont_);

    // Enter steps: it clicks the focused auto-default button.
    ui->nextButton->setFocus(Qt::OtherFocusReason);

    if (beside)
        placeBesideWindow(beside);

    setUpDebugger();

    // The window's first screen is where stepping back ends: the history starts after it.
    engine_.setHistoryEnabled(true);
    if (hooks_.prepare)
        hooks_.prepare(engine_.processor());
    starting_ = true;
    runEngine([this] { engine_.start(); });
    starting_ = false;
}

ExecutionWindow::~ExecutionWindow() = default;

void ExecutionWindow::updateRegisterPanel(orb::Panel which)
{
    if (which == orb::Panel::Before) {
        cells_->fillBefore();
        return;
    }
    const orb::AfterPanel &after = engine_.afterPanel();
    ui->rowLabel->setText(QString::number(after.rowLabel()));
    ui->stepLabel->setText(QString::number(after.stepLabel()));
    ui->initialStateLabel->setText(QString::number(after.initialStateLabel()));
    ui->nextStateLabel->setText(after.nextStateLabel());
    ui->controlSignalsLabel->setText(after.controlSignalsLabel());
    // Auto text format: the red error texts are markup.
    ui->operationLabel->setText(after.operationLabel());
    stopReason_.clear();
    const QString &condition = after.conditionText();
    ui->nextStateLabel->setToolTip(
        condition.isEmpty()
            ? QString()
            : condition + (after.conditionHolds() ? u" — выполнено"_s : u" — не выполнено"_s));
    cells_->fillAfter();
}

void ExecutionWindow::hideStepDetails()
{
    const std::initializer_list<QWidget *> details = {
        ui->rowTagLabel,          ui->rowLabel,
        ui->stepTagLabel,         ui->stepLabel,
        ui->initialStateTagLabel, ui->nextStateTagLable,
        ui->signalsTagLabel,      ui->initialStateLabel,
        ui->nextStateLabel,       ui->controlSignalsLabel,
        ui->beforeGroupBox,       ui->afterGroupBox,
        ui->beforeOperationLabel, ui->afterOperationLabel};
    for (QWidget *widget : details)
        widget->hide();
}

void ExecutionWindow::showEndScreen()
{
    // The engine has just put the final registers into the "before" panel.
    hideStepDetails();
    ui->operationLabel->setText(engine_.endText());
    ui->beforeGroupBox->show();
    // A step on the end screen shows it once more before the window goes; the labels move
    // only the first time.
    if (!endScreenLaidOut_) {
        endScreenLaidOut_ = true;
        ui->operationLabel->move(ui->operationLabel->x(), ui->operationLabel->y() - 120);
        ui->beforeGroupBox->move(ui->beforeGroupBox->x(), ui->beforeGroupBox->y() + 70);
    }
    showCaseEndNotes();
}

void ExecutionWindow::setA(int value)
{
    if (byteRequestOpen_)
        enteredByte_ = value & 0xFF; // the engine stores it into A when the dialog has closed
    else
        engine_.processor().setA(value & 0xFF);
}

void ExecutionWindow::executeStep()
{
    runEngine([this] { engine_.executeStep(); });
}

void ExecutionWindow::runToEnd()
{
    runEngine([this] { engine_.runToEnd(); });
    showStopReason();
    showCaseStop();
}

void ExecutionWindow::stepBack()
{
    undo(false);
}

void ExecutionWindow::runBack()
{
    undo(true);
}

void ExecutionWindow::undo(bool toPreviousStop)
{
    // Not from inside a press (a dialog of a step is open): it would undo under the step.
    if (engineDepth_ > 0 || !engine_.canStepBack())
        return;
    if (toPreviousStop)
        engine_.runBack();
    else
        engine_.stepBack();
    takeBackCaseEvents();
    if (!engine_.endScreenShown())
        leaveEndScreen();
    updateRegisterPanel(orb::Panel::Before);
    updateRegisterPanel(orb::Panel::After);
    if (toPreviousStop)
        showStopReason();
    engineCallEnded();
}

void ExecutionWindow::setBreakpoints(const std::vector<int> &rows)
{
    engine_.setBreakpoints(rows);
}

void ExecutionWindow::engineCallEnded()
{
    ui->pushButton_3->setEnabled(engine_.canStepBack());
    cells_->restyle();
    updateOperationToolTip();
    if (shownRow() != notifiedRow_) {
        notifiedRow_ = shownRow();
        emit currentRowChanged(notifiedRow_);
    }
    emit engineCallFinished();
}

void ExecutionWindow::leaveEndScreen()
{
    if (!endScreenLaidOut_)
        return;
    endScreenLaidOut_ = false;
    if (caseNotes_)
        caseNotes_->hide();
    ui->operationLabel->move(ui->operationLabel->x(), ui->operationLabel->y() + 120);
    ui->beforeGroupBox->move(ui->beforeGroupBox->x(), ui->beforeGroupBox->y() - 70);
    for (QWidget *widget : std::initializer_list<QWidget *>{
             ui->rowTagLabel, ui->rowLabel, ui->stepTagLabel, ui->stepLabel,
             ui->initialStateTagLabel, ui->nextStateTagLable, ui->signalsTagLabel,
             ui->initialStateLabel, ui->nextStateLabel, ui->controlSignalsLabel, ui->afterGroupBox,
             ui->beforeOperationLabel, ui->afterOperationLabel})
        widget->show();
}

std::optional<QPoint> ExecutionWindow::placeBeside(const QRect &mainFrame, const QSize &frameSize,
                                                   const QRect &available)
{
    const int width = frameSize.width();
    const int height = frameSize.height();
    // Right of the main window, as high as it as far as the screen allows.
    if (mainFrame.right() + width <= available.right() && height <= available.height()) {
        const int y = qBound(available.top(), mainFrame.top(), available.bottom() + 1 - height);
        return QPoint(mainFrame.right() + 1, y);
    }
    if (mainFrame.bottom() + height <= available.bottom() && width <= available.width()) {
        const int x = qBound(available.left(), mainFrame.left(), available.right() + 1 - width);
        return QPoint(x, mainFrame.bottom() + 1);
    }
    return std::nullopt;
}

void ExecutionWindow::placeBesideWindow(const QWidget *window)
{
    if (!window->isVisible() || !window->screen())
        return;
    // This window's frame is not known before it is shown; the main window's is alike.
    const QRect mainFrame = window->frameGeometry();
    const QSize frame = mainFrame.size() - window->size();
    if (const std::optional<QPoint> position =
            placeBeside(mainFrame, size() + frame, window->screen()->availableGeometry()))
        move(*position);
}

void ExecutionWindow::showMessage(const QString &message)
{
    noteCaseDisplay();
    InfoDialog dialog(this, message, false);
    dialog.exec();
}

std::optional<int> ExecutionWindow::requestDataByte(const QString &prompt)
{
    enteredByte_.reset();
    byteRequestOpen_ = true;
    {
        InfoDialog dialog(this, prompt, true);
        if (const std::optional<int> offered = offerCaseInput())
            dialog.setByteText(orb::formatHex(*offered));
        dialog.exec();
    }
    byteRequestOpen_ = false;
    return std::exchange(enteredByte_, std::nullopt);
}

void ExecutionWindow::showStepLimitDialog(const QString &heading, const QString &text)
{
    ErrorsDialog dialog(heading, text);
    dialog.exec();
}

void ExecutionWindow::scheduleDeletion()
{
    pausePacedRun();
    // Never inside a step: a close that arrives while a step's dialog runs its own event loop
    // would otherwise destroy the window under the step.
    if (engineDepth_ > 0)
        deletionPending_ = true;
    else
        deleteLater();
}

void ExecutionWindow::keyPressEvent(QKeyEvent *event)
{
    if (pacedRunActive() && event->key() != Qt::Key_Escape) {
        // Any key pauses a paced run, and does nothing else.
        event->accept();
        pausePacedRun();
        return;
    }
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::ShiftModifier) {
        event->accept();
        runBack();
        return;
    }
    if (event->key() == Qt::Key_F6 && event->modifiers() == Qt::NoModifier) {
        event->accept();
        cells_->setChangeMarks(!cells_->changeMarks());
        updateOperationToolTip();
        return;
    }
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        // Straight to the step back: the button's slots would move the button.
        event->accept();
        stepBack();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        // Destroyed, not merely hidden as reject() would leave it: the main window unlocks its
        // table on destruction.
        event->accept();
        scheduleDeletion();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ExecutionWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    scheduleDeletion();
}

void ExecutionWindow::pressLook(QPushButton *button, int offset)
{
    button->move(button->x() + offset, button->y() + offset);
    button->setIconSize(button->iconSize() + QSize(offset, offset));
}

void ExecutionWindow::on_nextButton_pressed()
{
    pressLook(ui->nextButton, -1);
}

void ExecutionWindow::on_nextButton_released()
{
    pressLook(ui->nextButton, +1);
    if (pacedRunActive()) {
        pausePacedRun();
        return;
    }
    executeStep();
}

void ExecutionWindow::on_endButton_pressed()
{
    pressLook(ui->endButton, -1);
}

void ExecutionWindow::on_endButton_released()
{
    pressLook(ui->endButton, +1);
    if (pacedRunActive())
        pausePacedRun();
    else if (paced_->current() == Pace::Instant)
        runToEnd();
    else
        paced_->begin();
    // Enter clicks the focused button: after a run to the end it steps one at a time again.
    ui->nextButton->setFocus(Qt::OtherFocusReason);
}

void ExecutionWindow::on_pushButton_3_pressed()
{
    pressLook(ui->pushButton_3, -1);
}

void ExecutionWindow::on_pushButton_3_released()
{
    pressLook(ui->pushButton_3, +1);
    if (pacedRunActive())
        pausePacedRun();
    else if ((backButtonModifiers_ | QGuiApplication::keyboardModifiers()) & Qt::ShiftModifier)
        runBack();
    else
        stepBack();
    // As after a run to the end, Enter goes on stepping forward, not back.
    ui->nextButton->setFocus(Qt::OtherFocusReason);
}

// The debugger: watches, the stop reason, the paced run (the cells' own part is in
// RegisterCells, the pace's in PacedRun).

void ExecutionWindow::setUpDebugger()
{
    watches_ = &ownWatches_;
    cells_->setWatchList(watches_);
    plainEndToolTip_ = ui->endButton->toolTip();
    connect(&ownWatches_, &orb::WatchList::changed, this, &ExecutionWindow::watchesChanged);
    ui->pushButton_3->installEventFilter(this);
    paced_ = new PacedRun(this);
    connect(paced_, &PacedRun::stepDue, this, &ExecutionWindow::pacedStep);
    connect(paced_, &PacedRun::paceChosen, this, &ExecutionWindow::watchesChanged);
    // A dialog of the cells would otherwise open under the steps of a paced run.
    connect(cells_, &RegisterCells::dialogOpening, this, &ExecutionWindow::pausePacedRun);
    ui->endButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->endButton, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &position) { paced_->showMenu(ui->endButton, position); });
    watchesChanged();
}

void ExecutionWindow::setWatchList(orb::WatchList *watches)
{
    if (!watches || watches == watches_)
        return;
    if (watches_)
        disconnect(watches_, &orb::WatchList::changed, this, &ExecutionWindow::watchesChanged);
    watches_ = watches;
    cells_->setWatchList(watches);
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
    cells_->restyle();
    // endButton's tool tip lists what a run to the end stops at, and its pace.
    QString tip = plainEndToolTip_;
    if (!watches.empty()) {
        QStringList names;
        for (const orb::Watch &watch : watches)
            names << orb::watchText(watch, orb::WatchNames::Panel);
        tip += u"\nНаблюдение: "_s + names.join(u", "_s);
    }
    if (paced_->current() != Pace::Instant)
        tip += u"\nТемп: "_s + PacedRun::paceName(paced_->current());
    ui->endButton->setToolTip(tip);
}

void ExecutionWindow::updateOperationToolTip()
{
    QStringList lines;
    // A stop reason stands where the operation was: the operation moves to the tool tip.
    if (!stopReason_.isEmpty())
        lines << engine_.afterPanel().operationLabel();
    const orb::StepEngine::PressOutcome &press = engine_.lastPress();
    if (cells_->changeMarks() && press.writtenAddress >= 0) {
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

void ExecutionWindow::pacedStep()
{
    auto outcome = orb::StepEngine::RunStep::Stepped;
    runEngine([this, &outcome] { outcome = engine_.runStep(); });
    if (!paced_->active())
        return; // paused or closed while a dialog of the step was open
    if (outcome == orb::StepEngine::RunStep::Stepped) {
        paced_->continueRun();
        return;
    }
    paced_->end();
    showStopReason();
    showCaseStop();
    ui->nextButton->setFocus(Qt::OtherFocusReason);
}

void ExecutionWindow::pausePacedRun()
{
    if (paced_)
        paced_->end();
}

bool ExecutionWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == ui->pushButton_3 &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
         type == QEvent::KeyPress || type == QEvent::KeyRelease))
        backButtonModifiers_ = static_cast<QInputEvent *>(event)->modifiers();
    return QDialog::eventFilter(watched, event);
}

// A run of a teacher's case: the input bytes it offers at y66, the display it checks at y67,
// what a step back gives back, and the items listed on the end screen. A plain run has no
// hooks, and none of this shows.

qsizetype ExecutionWindow::caseEventDepth() const
{
    // A press is recorded in the history once it has ended: during it, its depth is one more.
    // The first screen is no press and is never taken back.
    return starting_ ? 0 : engine_.historyDepth() + 1;
}

std::optional<int> ExecutionWindow::offerCaseInput()
{
    qsizetype taken = 0;
    for (const CaseEvent &event : caseEvents_)
        taken += event.display ? 0 : 1;
    if (taken >= hooks_.inputs.size())
        return std::nullopt;
    caseEvents_.push_back({caseEventDepth(), false});
    return hooks_.inputs[taken];
}

void ExecutionWindow::noteCaseDisplay()
{
    if (!hooks_.displayed || engine_.executingSignal() != 67)
        return;
    caseEvents_.push_back({caseEventDepth(), true});
    if (QString mismatch = hooks_.displayed(engine_.processor().a); !mismatch.isEmpty()) {
        caseStop_ = std::move(mismatch);
        engine_.holdRun();
    }
}

void ExecutionWindow::takeBackCaseEvents()
{
    const qsizetype depth = engine_.historyDepth();
    while (!caseEvents_.empty() && caseEvents_.back().depth > depth) {
        if (caseEvents_.back().display && hooks_.displayTakenBack)
            hooks_.displayTakenBack();
        caseEvents_.pop_back();
    }
}

void ExecutionWindow::showCaseStop()
{
    if (!engine_.runHeld() || engine_.endScreenShown())
        return;
    stopReason_ = u"Остановка: "_s + caseStop_;
    ui->operationLabel->setText(stopReason_);
    updateOperationToolTip();
}

void ExecutionWindow::showCaseEndNotes()
{
    if (!hooks_.endNotes)
        return;
    const QStringList notes = hooks_.endNotes(engine_.processor(), engine_.state().succeeded);
    if (!caseNotes_) {
        caseNotes_ = new QLabel(this);
        caseNotes_->setObjectName(u"caseNotesLabel"_s);
        caseNotes_->setFont(labelFont_);
        caseNotes_->setWordWrap(true);
        caseNotes_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    }
    caseNotes_->setStyleSheet(notes.isEmpty() ? u"color: rgb(20, 140, 90);"_s
                                              : u"color: rgb(200, 40, 40);"_s);
    // Below the final registers, where the end screen leaves room.
    const QRect panel = ui->beforeGroupBox->geometry();
    caseNotes_->setGeometry(panel.x(), panel.bottom() + 16, panel.width(),
                            ui->nextButton->y() - panel.bottom() - 24);
    caseNotes_->setText(notes.isEmpty() ? u"Случай зачтён"_s
                                        : u"Не совпало:\n"_s + notes.join(u'\n'));
    caseNotes_->show();
}
