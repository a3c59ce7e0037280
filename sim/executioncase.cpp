// SPDX-License-Identifier: GPL-3.0-or-later
//
// The execution window's part in a run of a teacher's case: the input bytes it offers at y66,
// the display it checks at y67, what a step back gives back, and the items listed on the end
// screen. A plain run has no hooks, and none of this shows.

#include "sim/executionwindow.h"
#include "ui_executionwindow.h"

#include <QLabel>

using namespace Qt::StringLiterals;

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
