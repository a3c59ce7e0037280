#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pace of the execution window's run to the end: "Сразу" (the instant run, the default),
// or a run that advances on a timer, one step at a time, so that the eye can follow it. The
// window asks for each step when stepDue() comes and says whether the run goes on.

#include <QObject>
#include <QString>

class QPoint;
class QTimer;
class QWidget;

class PacedRun final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PacedRun)

public:
    enum class Pace { Instant, Fast, Slow, OnePerSecond };
    static constexpr int paceCount = 4;
    static QString paceName(Pace pace);
    // Milliseconds between two steps of a paced run.
    static int paceInterval(Pace pace);

    explicit PacedRun(QObject *parent);
    ~PacedRun() override;

    Pace current() const { return pace_; }
    // A new pace; Instant ends a run under way.
    void choose(Pace pace);
    // The context menu of `button` at `position` (the button's coordinates), to choose the pace.
    void showMenu(QWidget *button, const QPoint &position);

    // A run under way: stepDue() comes at once, then after every continueRun() at the pace.
    bool active() const { return active_; }
    void begin();
    void continueRun();
    void end();

signals:
    void stepDue();
    void paceChosen();

private:
    Pace pace_ = Pace::Instant;
    bool active_ = false;
    QTimer *timer_;
};
