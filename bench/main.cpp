// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-bench: times what a user of ORB waits for and prints one row per action with its target.
// Every figure is the median of repeated runs on the offscreen platform. Start-up and peak
// memory are measured in child processes of this same program, orb-run by running the real
// binary.
//
//   orb-bench [--orb-run PATH] [--orb-grade PATH] [--repeat N] [--only BENCHMARK]

#include "bench/bench.h"

#include "analysis/analysis.h"
#include "app/document.h"

#include <QApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;
using namespace bench;

namespace {

QtMessageHandler standardMessageHandler = nullptr;

// The offscreen platform says this of every fixed-size window; it is no fault of ORB's.
void dropPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains("does not support propagateSizeHints"_L1))
        standardMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standardMessageHandler = qInstallMessageHandler(dropPlatformNoise);
    QApplication application(argc, argv);

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == "--child-startup"_L1)
        return childStartup(arguments[2]);
    if (arguments.size() == 3 && arguments[1] == "--child-peak-memory"_L1)
        return childPeakMemory(arguments[2], false);
    if (arguments.size() == 3 && arguments[1] == "--child-peak-memory-every-row"_L1)
        return childPeakMemory(arguments[2], true);
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--orb-run"_L1 && i + 1 < arguments.size()) {
            orbRunPath = arguments[++i];
        } else if (arguments[i] == "--orb-grade"_L1 && i + 1 < arguments.size()) {
            orbGradePath = arguments[++i];
        } else if (arguments[i] == "--repeat"_L1 && i + 1 < arguments.size()) {
            repeatCount = std::max(1, arguments[++i].toInt());
        } else if (arguments[i] == "--only"_L1 && i + 1 < arguments.size()) {
            onlyBenchmark = arguments[++i];
        } else {
            std::fprintf(
                stderr,
                "usage: orb-bench [--orb-run PATH] [--orb-grade PATH] [--repeat N] [--only "
                "startup|open|rows|execution|debugger|orb-run|memory|analysis|orb-grade|graph|"
                "gradescope|selfcheck]\n");
            return 64;
        }
    }

    QTemporaryDir dir;
    const QString documentPath = dir.filePath(u"full.orb"_s);
    const QString loopPath = dir.filePath(u"loop.orb"_s);
    if (!dir.isValid() || !writeFile(documentPath, fullDocument(documentRows)) ||
        !writeFile(loopPath, loopDocument)) {
        std::fprintf(stderr, "orb-bench: cannot write the documents\n");
        return 1;
    }

    std::vector<Row> rows;
    const auto add = [&rows](std::vector<Row> more) {
        rows.insert(rows.end(), more.begin(), more.end());
    };
    const auto wanted = [](const char *name) {
        return onlyBenchmark.isEmpty() || onlyBenchmark == QLatin1StringView(name);
    };
    if (wanted("startup"))
        add(benchStartup());
    if (wanted("open")) {
        rows.push_back(benchOpen(documentPath, false));
        rows.push_back(benchOpen(documentPath, true));
    }
    if (wanted("rows")) {
        add(benchInsertDelete(documentPath, false));
        add(benchInsertDelete(documentPath, true));
    }
    if (wanted("execution")) {
        add(benchExecution(loopPath));
        add(benchHistory(loopPath));
    }
    if (wanted("debugger"))
        add(benchDebugger(loopPath));
    if (wanted("orb-run"))
        add(benchOrbRun(loopPath, dir));
    if (wanted("memory"))
        add(benchPeakMemory(documentPath));
    if (wanted("analysis"))
        add(benchAnalysis(documentPath));
    if (wanted("orb-grade"))
        add(benchGrade(dir));
    if (wanted("graph"))
        add(benchGraph(documentPath));
    if (wanted("gradescope"))
        add(benchGradescopeKit(dir));
    if (wanted("selfcheck")) {
        add(benchSelfCheck(dir));
        add(benchInsertDelete(documentPath, false, true));
    }

    std::printf("orb-bench: medians of %d runs (orb-run: %d)\n", repeatCount,
                std::max(3, repeatCount / 3));
    printTable(rows);
    const bool allPass = std::all_of(rows.begin(), rows.end(),
                                     [](const Row &row) { return row.pass || row.informational; });
    return allPass ? 0 : 1;
}
