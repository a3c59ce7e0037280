// SPDX-License-Identifier: GPL-3.0-or-later

#include "dialoganswerer.h"

#include <QApplication>

#include <utility>

namespace testutil {

DialogAnswerer::DialogAnswerer()
{
    connect(&timer_, &QTimer::timeout, this, &DialogAnswerer::poll);
    timer_.start(5);
}

DialogAnswerer::DialogAnswerer(Answer next) : DialogAnswerer()
{
    queue(std::move(next));
}

void DialogAnswerer::queue(Answer next)
{
    queued_.push_back(std::move(next));
}

void DialogAnswerer::answerEvery(Answer answer)
{
    every_ = std::move(answer);
}

int DialogAnswerer::run(const std::function<void()> &action, Answer answer)
{
    Answer before = std::exchange(every_, std::move(answer));
    const int answeredBefore = answered_;
    action();
    every_ = std::move(before);
    return answered_ - answeredBefore;
}

void DialogAnswerer::poll()
{
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!dialog)
        return;
    Answer answer;
    if (!queued_.empty()) {
        answer = std::move(queued_.front());
        queued_.pop_front();
    } else if (every_) {
        answer = every_;
    } else {
        return;
    }
    ++answered_;
    dialogClass_ = QString::fromLatin1(dialog->metaObject()->className());
    answer(dialog);
}

} // namespace testutil
