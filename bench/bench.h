#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// orb-bench's shared parts: the settings of a run, the helpers the benchmarks use, and one
// function per benchmark, each returning its rows of the performance table.

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QAction;
class QPushButton;
class QTemporaryDir;
class QWidget;

namespace bench {

inline constexpr int documentRows = 500;
inline constexpr int orbRunSteps = 10'000'000;
inline constexpr int orbRunTraceSteps = 1'000'000;

// Set from the command line.
inline int repeatCount = 15;
inline QString onlyBenchmark; // empty: all
inline QString orbRunPath = QStringLiteral(ORB_RUN_PATH);
inline QString orbGradePath = QStringLiteral(ORB_GRADE_PATH);

struct Row {
    QString action;
    QString target;
    QString measured;
    bool pass = false;
    // A figure reported beside the targets (a history's size per press); it decides nothing.
    bool informational = false;
};

double median(std::vector<double> values);
double elapsedMs(const QElapsedTimer &timer);
// Runs the events that an action leaves behind: layout requests, deferred deletions, repaints
// and queued calls, until none is left.
void settle();
// Shows a window and returns once it has been painted (the whole backing store is painted in
// one go, so the first paint event means the first frame).
bool showAndPaint(QWidget *window);
void activate(QWidget *window);
// The floor that start-up is compared with: a main window whose central widget is a 16 x 16
// table of plain line edits.
std::unique_ptr<QWidget> buildFloorWindow();
// Scrolls the table from its top to its end a page at a time, each page painted, as a user
// who has looked at every row; then back to the top.
void seeEveryRow(QWidget *window);
QAction *action(QWidget *window, const char *name);
QPushButton *button(QWidget *window, const char *name);

// A document whose every cell is at its maximum length, in normal form, with texts a student
// could write and that differ from row to row.
QByteArray fullDocument(int rows);
// One state that loops for ever, three microoperations per visit.
inline const QByteArray loopDocument = "MKT1\n0\n0\n\ny24,y45,y47\n";
bool writeFile(const QString &path, const QByteArray &bytes);
QString formatMs(double ms);

// Runs this program with `arguments`; the numbers it printed, or nullopt when it failed.
std::optional<std::vector<double>> runChild(const QStringList &arguments);
void printTable(const std::vector<Row> &rows);

// The child processes (see main()): each prints its figures and returns its exit status.
int childStartup(const QString &kind);
int childPeakMemory(const QString &path, bool everyRow);

// The benchmarks.
std::vector<Row> benchStartup();
// Opens the document over a new one; with overSeenTable, over the same document scrolled
// through first.
Row benchOpen(const QString &path, bool overSeenTable);
// With everyRow, the whole table is scrolled through first; with checking, the self-check
// window is open and follows every change.
std::vector<Row> benchInsertDelete(const QString &path, bool everyRow, bool checking = false);
std::vector<Row> benchPeakMemory(const QString &path);
std::vector<Row> benchExecution(const QString &loopPath);
std::vector<Row> benchHistory(const QString &loopPath);
std::vector<Row> benchDebugger(const QString &loopPath);
std::vector<Row> benchAnalysis(const QString &path);
std::vector<Row> benchGraph(const QString &path);
std::vector<Row> benchOrbRun(const QString &loopPath, const QTemporaryDir &dir);
std::vector<Row> benchGrade(const QTemporaryDir &dir);
std::vector<Row> benchGradescopeKit(const QTemporaryDir &dir);
std::vector<Row> benchSelfCheck(const QTemporaryDir &dir);

} // namespace bench
