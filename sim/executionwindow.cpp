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

const std::array<const char *, ExecutionWindow::panelCellCount> &ExecutionWindow::panelCellKeys()
{
    static const auto keys = [] {
        std::array<const char *, panelCellCount> keys{};
        for (size_t i = 0; i < keys.size(); ++i)
            keys[i] = orb::registerTable()[i].panelKey;
        return keys;
    }();
    return keys;
}

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

    const auto &keys = panelCellKeys();
    for (int i = 0; i < panelCellCount; ++i) {
        const QString key = QString::fromLatin1(keys[size_t(i)]);
        beforeCells_.labels[size_t(i)] =
            ui->beforeGroupBox->findChild<QLabel *>(key + "BeforeLabel"_L1);
        afterCells_.labels[size_t(i)] =
            ui->afterGroupBox->findChild<QLabel *>(key + "AfterLabel"_L1);
        Q_ASSERT(beforeCells_.labels[size_t(i)] && afterCells_.labels[size_t(i)]);
    }

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

    const auto &registers = orb::registerTable();
    for (PanelCells *panel : {&beforeCells_, &afterCells_}) {
        for (size_t i = 0; i < registers.size(); ++i) {
            if (registers[i].format == orb::RegisterFormat::Hex)
                panel->labels[i]->setToolTip(registerToolTip(0));
        }
    }

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
        fillPanel(beforeCells_, engine_.beforePanel());
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
    fillPanel(afterCells_, after.registers);
}

void ExecutionWindow::fillPanel(PanelCells &panel, const orb::Processor &registers)
{
    // Only the cells whose value changed get a new text.
    const auto &table = orb::registerTable();
    for (size_t i = 0; i < table.size(); ++i) {
        const int value = table[i].read(registers);
        if (panel.shown[i] == value)
            continue;
        panel.shown[i] = value;
        QLabel *label = panel.labels[i];
        label->setText(table[i].format == orb::RegisterFormat::Hex
                           ? orb::formatRadix(value, radix(int(i)))
                           : orb::formatRegisterValue(table[i], value));
        if (table[i].format == orb::RegisterFormat::Hex)
            label->setToolTip(registerToolTip(value));
    }
}

QString ExecutionWindow::registerToolTip(int value)
{
    QStringList forms;
    for (int radix = 0; radix < orb::radixCount; ++radix)
        forms << orb::formatRadix(value, orb::Radix(radix));
    return forms.join(u" = "_s);
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
    restyleCells();
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
    stopPacedRun();
    // Never inside a step: a close that arrives while a step's dialog runs its own event loop
    // would otherwise destroy the window under the step.
    if (engineDepth_ > 0)
        deletionPending_ = true;
    else
        deleteLater();
}

void ExecutionWindow::keyPressEvent(QKeyEvent *event)
{
    if (pacedRun_ && event->key() != Qt::Key_Escape) {
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
        setChangeMarks(!changeMarks_);
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
    if (pacedRun_) {
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
    if (pacedRun_)
        pausePacedRun();
    else if (pace_ == Pace::Instant)
        runToEnd();
    else
        startPacedRun();
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
    if (pacedRun_)
        pausePacedRun();
    else if ((backButtonModifiers_ | QGuiApplication::keyboardModifiers()) & Qt::ShiftModifier)
        runBack();
    else
        stepBack();
    // As after a run to the end, Enter goes on stepping forward, not back.
    ui->nextButton->setFocus(Qt::OtherFocusReason);
}
