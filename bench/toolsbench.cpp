// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command-line programs, run as the real binaries: orb-run and orb-grade.

#include "bench/bench.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace bench {

namespace {

// Runs orb-run with its output thrown away; the wall-clock time in ms, or nullopt.
std::optional<double> timeOrbRun(const QStringList &arguments, int expectedExit)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(orbRunPath, arguments);
    if (!process.waitForFinished(120000))
        return std::nullopt;
    const double ms = elapsedMs(timer);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != expectedExit)
        return std::nullopt;
    return ms;
}

// A class of generated submissions: looping tables of two to five states over the signals of
// the example documents, each a little different, so that every case runs to its step limit
// (about 1,000 steps); one in ten stops at once with y70 and fails, which also costs the run
// beside the reference for its first divergence.
bool writeClass(const QString &folder, int count)
{
    static const char *const signalSets[] = {
        "y43", "y30,y48", "y24,y35,y42", "y30", "y11,y14,y31,y45", "y13,y24,y42", "y25,y60"};
    if (!QDir().mkpath(folder))
        return false;
    for (int i = 0; i < count; ++i) {
        QByteArray text;
        if (i % 10 == 9) {
            text = "MKT1\n0\n0\n\ny70\n";
        } else {
            const int states = 2 + i % 4;
            text = "MKT" + QByteArray::number(states) + '\n';
            for (int s = 0; s < states; ++s) {
                text += QByteArray::number(s) + '\n' + QByteArray::number((s + 1) % states) +
                        "\n\n" + signalSets[(i / 4 + s) % 7] + '\n';
            }
        }
        for (int a = 0; a < 256; ++a)
            text += a == 0x40 ? QByteArray::number(i % 256, 16).rightJustified(2, '0').toUpper()
                              : QByteArray("00");
        const QString path =
            u"%1/group%2/s%3.orb"_s.arg(folder).arg(i % 10).arg(i, 5, 10, QChar(u'0'));
        if (!QDir().mkpath(QFileInfo(path).path()) || !writeFile(path, text))
            return false;
    }
    return true;
}

const QByteArray gradeTests = "max-steps 1000\n"
                              "case first\n set M00=25 M01=17\n expect end=limit\n"
                              "case second\n set M00=FF M01=01 RON1=05\n expect end=limit\n"
                              "case third\n set M00=80 M01=80 C=1\n expect end=limit\n";

// Wall-clock ms and the peak resident size in kB (GNU time's %M, the size of orb-grade itself
// and not of this parent), or nullopt.
std::optional<std::pair<double, double>> timeOrbGrade(const QStringList &arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(u"/usr/bin/time"_s, QStringList{u"-f"_s, u"%M"_s, orbGradePath} + arguments);
    if (!process.waitForFinished(300000))
        return std::nullopt;
    const double ms = elapsedMs(timer);
    // Some cases fail on purpose: status 1.
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 1)
        return std::nullopt;
    const QList<QByteArray> lines = process.readAllStandardError().trimmed().split('\n');
    bool ok = false;
    const double kb = lines.last().trimmed().toDouble(&ok);
    if (!ok)
        return std::nullopt;
    return std::pair{ms, kb};
}

} // namespace

std::vector<Row> benchOrbRun(const QString &loopPath, const QTemporaryDir &dir)
{
    constexpr int limitStatus = 2;
    const int repeats = std::max(3, repeatCount / 3);
    std::vector<double> plain;
    std::vector<double> traced;
    for (int i = 0; i < repeats; ++i) {
        if (auto ms =
                timeOrbRun({u"--max-steps"_s, QString::number(orbRunSteps), loopPath}, limitStatus))
            plain.push_back(*ms);
        if (auto ms = timeOrbRun(
                {u"--trace"_s, u"--max-steps"_s, QString::number(orbRunTraceSteps), loopPath},
                limitStatus))
            traced.push_back(*ms);
    }

    // The number of trace lines, counted on a short run: one per press and the end line.
    qint64 lineOffset = -1;
    {
        constexpr int shortSteps = 1000;
        QProcess process;
        const QString tracePath = dir.filePath(u"trace.jsonl"_s);
        process.setStandardOutputFile(tracePath);
        process.start(orbRunPath,
                      {u"--trace"_s, u"--max-steps"_s, QString::number(shortSteps), loopPath});
        QFile trace(tracePath);
        if (process.waitForFinished(60000) && trace.open(QIODevice::ReadOnly))
            lineOffset = trace.readAll().count('\n') - shortSteps;
    }

    const double plainMs = median(plain);
    const double tracedMs = median(traced);
    // The step counter passes the limit by one before the run stops.
    const double stepsPerSecond =
        plain.size() == size_t(repeats) ? (orbRunSteps + 1) / (plainMs / 1000) : 0;
    const double linesPerSecond = traced.size() == size_t(repeats) && lineOffset >= 0
                                      ? double(orbRunTraceSteps + lineOffset) / (tracedMs / 1000)
                                      : 0;
    const auto millions = [](double perSecond, const char *unit) {
        return u"%1 M %2/s"_s.arg(perSecond / 1e6, 0, 'f', 1).arg(QLatin1StringView(unit));
    };
    return {
        {u"orb-run, no trace, looping program of 10 million steps"_s, u"≥ 10 M steps/s"_s,
         stepsPerSecond > 0 ? millions(stepsPerSecond, "steps") + u" (%1)"_s.arg(formatMs(plainMs))
                            : u"failed"_s,
         stepsPerSecond >= 10e6},
        {u"orb-run --trace (1 million steps)"_s, u"≥ 200,000 lines/s"_s,
         linesPerSecond > 0 ? millions(linesPerSecond, "lines") + u" (%1)"_s.arg(formatMs(tracedMs))
                            : u"failed"_s,
         linesPerSecond >= 200e3}};
}

std::vector<Row> benchGrade(const QTemporaryDir &dir)
{
    const QString small = dir.filePath(u"class-1000"_s);
    const QString large = dir.filePath(u"class-10000"_s);
    const QString tests = dir.filePath(u"bench.orbtest"_s);
    const QString reference = dir.filePath(u"reference.orb"_s);
    const QString report = dir.filePath(u"report.json"_s);
    if (!writeClass(small, 1000) || !writeClass(large, 10000) || !writeFile(tests, gradeTests) ||
        !writeFile(reference, "MKT2\n0\n1\n\ny43\n1\n0\n\ny30,y48\n"))
        return {{u"orb-grade"_s, {}, u"failed: cannot write the submissions"_s, false}};
    const auto arguments = [&](int jobs, const QString &folder) {
        return QStringList{u"-j"_s,   QString::number(jobs), u"--quiet"_s,        u"--reference"_s,
                           reference, u"--report"_s,         u"json:"_s + report, tests,
                           folder};
    };
    // The speed-up is the median of the ratios of runs made one right after the other, so that
    // the machine's drift in speed from pair to pair stays out of it. On a two-core virtual
    // machine, the ratio of two medians of 5 runs each ranged from 1.35 to 1.80 within an hour.
    const int repeats = std::max(9, repeatCount / 3) | 1;
    std::vector<double> one;
    std::vector<double> two;
    std::vector<double> ratios;
    for (int i = 0; i < repeats; ++i) {
        const auto single = timeOrbGrade(arguments(1, small));
        const auto dual = timeOrbGrade(arguments(2, small));
        if (single)
            one.push_back(single->first);
        if (dual)
            two.push_back(dual->first);
        if (single && dual)
            ratios.push_back(single->first / dual->first);
    }
    const auto peak = timeOrbGrade(arguments(2, large));
    const bool timed = ratios.size() == size_t(repeats);
    const double oneMs = median(one);
    const double twoMs = median(two);
    const double speedUp = timed ? median(ratios) : 0;
    const double peakMb = peak ? peak->second / 1024 : 0;
    return {{u"orb-grade -j 2: 1,000 submissions × 3 cases of 1,000 steps, json report"_s,
             u"≤ 1.5 s"_s, timed ? formatMs(twoMs) : u"failed"_s, timed && twoMs <= 1500},
            {u"orb-grade -j 2 against -j 1 (%1)"_s.arg(timed ? formatMs(oneMs) : u"failed"_s),
             u"≥ 1.7 × faster"_s, timed ? u"%1 ×"_s.arg(speedUp, 0, 'f', 2) : u"failed"_s,
             timed && speedUp >= 1.7},
            {u"peak memory of orb-grade -j 2, 10,000 submissions (%1)"_s.arg(
                 peak ? formatMs(peak->first) : u"failed"_s),
             u"≤ 200 MB"_s, peak ? u"%1 MB"_s.arg(peakMb, 0, 'f', 1) : u"failed"_s,
             peak && peakMb <= 200}};
}

} // namespace bench
