#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Answers modal dialogs as a user does. A dialog runs its own event loop inside the call that
// opens it, so a timer polls for the active modal dialog and hands it to an answer: the next
// queued one, else the answer set for every dialog, else the dialog is left alone. A timer
// does not fire from inside its own slot, so a dialog that an answer opens needs an answerer
// made in that answer. Shared by the widget tests and orb-screenshots.

#include <QDialog>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>

namespace testutil {

class DialogAnswerer final : public QObject {
public:
    using Answer = std::function<void(QDialog *dialog)>;

    DialogAnswerer();
    // Answers the next dialog with `next`; the caller checks answered() afterwards, so that a
    // dialog that never came fails the test.
    explicit DialogAnswerer(Answer next);
    Q_DISABLE_COPY_MOVE(DialogAnswerer)

    void queue(Answer next);
    // Answers every dialog that finds no queued answer, until set again (empty: none).
    void answerEvery(Answer answer);
    // Runs action with every dialog it opens answered by `answer`; returns how many were.
    int run(const std::function<void()> &action, Answer answer);

    int answered() const { return answered_; }
    // The class of the dialog answered last.
    QString dialogClass() const { return dialogClass_; }

private:
    void poll();

    QTimer timer_;
    std::deque<Answer> queued_;
    Answer every_;
    int answered_ = 0;
    QString dialogClass_;
};

} // namespace testutil
