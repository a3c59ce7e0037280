// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-monkey: random user actions from a seed on the real editor and execution windows, with
// the invariants that must hold after every action checked in between. A failing sequence is
// printed numbered, can be repeated with --replay SEED --actions N, is shrunk by dropping
// actions while it still fails, and is written as a script that --script replays (the kept
// scripts in tests/monkey/regressions/ run with the tests).
//
//   orb-monkey [--seed S] [--seconds T] [--actions N]   many seeds from S for T seconds
//   orb-monkey --replay S --actions N                   exactly those N actions of seed S
//   orb-monkey --script FILE...                         replays kept sequences
//   --out DIR                                           where a shrunk failure is written

#include "monkeyactions.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

void print(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

// Drops chunks of actions, halving the chunk, while the rest still fails.
std::vector<monkey::Action> shrink(std::vector<monkey::Action> actions, quint64 seed,
                                   double seconds)
{
    QElapsedTimer clock;
    clock.start();
    for (size_t chunk = std::max<size_t>(1, actions.size() / 2); chunk >= 1; chunk /= 2) {
        for (size_t start = 0;
             start < actions.size() && double(clock.elapsed()) < seconds * 1000;) {
            std::vector<monkey::Action> candidate = actions;
            candidate.erase(candidate.begin() + qsizetype(start),
                            candidate.begin() + qsizetype(std::min(actions.size(), start + chunk)));
            if (!candidate.empty() && !monkey::runActions(candidate, seed).failure.isEmpty())
                actions = std::move(candidate);
            else
                start += chunk;
        }
        if (chunk == 1)
            break;
    }
    return actions;
}

int reportFailure(const monkey::Outcome &outcome, const std::vector<monkey::Action> &actions,
                  quint64 seed, const QString &outDir)
{
    print(u"FAILURE, seed %1, after action %2: %3\n"_s.arg(seed)
              .arg(outcome.done)
              .arg(outcome.failure));
    const std::vector<monkey::Action> ran(actions.begin(),
                                          actions.begin() + qsizetype(outcome.done));
    for (size_t i = 0; i < ran.size(); ++i)
        print(u"%1. %2\n"_s.arg(i + 1).arg(ran[i].describe()));
    print(u"repeat: orb-monkey --replay %1 --actions %2\n"_s.arg(seed).arg(outcome.done));
    const std::vector<monkey::Action> shrunk = shrink(ran, seed, 120);
    const QString script = monkey::writeScript(shrunk, seed);
    print(u"shrunk to %1 actions:\n%2"_s.arg(shrunk.size()).arg(script));
    if (!outDir.isEmpty()) {
        QDir().mkpath(outDir);
        const QString name = outDir + u"/seed-%1.txt"_s.arg(seed);
        QFile file(name);
        if (file.open(QIODevice::WriteOnly))
            file.write(script.toUtf8());
        print(u"written to %1\n"_s.arg(name));
    }
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    monkey::installWarningTrap();

    quint64 seed = 1;
    double seconds = 10;
    int actionCount = 200;
    bool replay = false;
    QString outDir;
    QStringList scripts;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        const QString value = i + 1 < arguments.size() ? arguments[i + 1] : QString();
        if (argument == u"--seed"_s || argument == u"--replay"_s) {
            replay = replay || argument == u"--replay"_s;
            seed = value.toULongLong();
            ++i;
        } else if (argument == u"--seconds"_s) {
            seconds = value.toDouble();
            ++i;
        } else if (argument == u"--actions"_s) {
            actionCount = value.toInt();
            ++i;
        } else if (argument == u"--out"_s) {
            outDir = value;
            ++i;
        } else if (argument == u"--script"_s) {
            scripts = arguments.mid(i + 1);
            break;
        } else {
            print(u"unknown argument %1\n"_s.arg(argument));
            return 2;
        }
    }
    if (actionCount < 1)
        actionCount = 1;

    if (!scripts.isEmpty()) {
        int failures = 0;
        for (const QString &name : scripts) {
            QFile file(name);
            if (!file.open(QIODevice::ReadOnly)) {
                print(u"cannot read %1\n"_s.arg(name));
                return 2;
            }
            quint64 scriptSeed = 0;
            const std::vector<monkey::Action> actions =
                monkey::readScript(QString::fromUtf8(file.readAll()), &scriptSeed);
            const monkey::Outcome outcome = monkey::runActions(actions, scriptSeed);
            if (!outcome.failure.isEmpty()) {
                print(u"%1: after action %2: %3\n"_s.arg(name)
                          .arg(outcome.done)
                          .arg(outcome.failure));
                ++failures;
            } else {
                print(u"%1: %2 actions, no finding\n"_s.arg(name).arg(actions.size()));
            }
        }
        return failures == 0 ? 0 : 1;
    }

    if (replay) {
        const std::vector<monkey::Action> actions = monkey::generate(seed, actionCount);
        for (size_t i = 0; i < actions.size(); ++i)
            print(u"%1. %2\n"_s.arg(i + 1).arg(actions[i].describe()));
        const monkey::Outcome outcome = monkey::runActions(actions, seed);
        if (!outcome.failure.isEmpty())
            return reportFailure(outcome, actions, seed, outDir);
        print(u"no finding\n"_s);
        return 0;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 total = 0;
    int runs = 0;
    do {
        const std::vector<monkey::Action> actions = monkey::generate(seed, actionCount);
        const monkey::Outcome outcome = monkey::runActions(actions, seed);
        total += outcome.done;
        ++runs;
        if (!outcome.failure.isEmpty())
            return reportFailure(outcome, actions, seed, outDir);
        ++seed;
    } while (clock.elapsed() < qint64(seconds * 1000));
    const monkey::Counts &counts = monkey::totals();
    print(u"%1 seeds, %2 actions in %3 s (%4 runs launched, %5 presses in them, %6 dialogs "
          u"answered), no finding\n"_s.arg(runs)
              .arg(total)
              .arg(double(clock.elapsed()) / 1000, 0, 'f', 1)
              .arg(counts.launches)
              .arg(counts.runPresses)
              .arg(counts.dialogs));
    return 0;
}
