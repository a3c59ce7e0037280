// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/pacedrun.h"

#include <QActionGroup>
#include <QMenu>
#include <QTimer>
#include <QWidget>

using namespace Qt::StringLiterals;

PacedRun::PacedRun(QObject *parent) : QObject(parent), timer_(new QTimer(this))
{
    timer_->setObjectName(u"paceTimer"_s);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (active_)
            emit stepDue();
    });
}

PacedRun::~PacedRun() = default;

QString PacedRun::paceName(Pace pace)
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

int PacedRun::paceInterval(Pace pace)
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

void PacedRun::choose(Pace pace)
{
    pace_ = pace;
    if (pace == Pace::Instant)
        end();
    emit paceChosen();
}

void PacedRun::showMenu(QWidget *button, const QPoint &position)
{
    QMenu menu(button->window());
    auto *group = new QActionGroup(&menu);
    for (int i = 0; i < paceCount; ++i) {
        QAction *action = menu.addAction(paceName(Pace(i)));
        action->setCheckable(true);
        action->setChecked(pace_ == Pace(i));
        action->setData(i);
        group->addAction(action);
    }
    if (QAction *chosen = menu.exec(button->mapToGlobal(position)))
        choose(Pace(chosen->data().toInt()));
}

void PacedRun::begin()
{
    active_ = true;
    // The first step at once, the next ones at the pace.
    timer_->start(0);
}

void PacedRun::continueRun()
{
    if (active_)
        timer_->start(paceInterval(pace_));
}

void PacedRun::end()
{
    active_ = false;
    timer_->stop();
}
