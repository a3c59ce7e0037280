// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the benchmarks share: medians and clocks, windows shown and painted, the documents
// they open, child processes and the table of rows.

#include "bench/bench.h"

#include "app/document.h"
#include "app/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace bench {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double elapsedMs(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Runs the events that an action leaves behind: layout requests, deferred deletions, repaints
// and queued calls, until none is left.
void settle()
{
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

namespace {

// Notes the first paint event of any widget of one window.
class PaintWatcher final : public QObject {
public:
    explicit PaintWatcher(QWidget *window) : window_(window) { qApp->installEventFilter(this); }
    ~PaintWatcher() override { qApp->removeEventFilter(this); }
    bool painted() const { return painted_; }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && object->isWidgetType() &&
            static_cast<QWidget *>(object)->window() == window_)
            painted_ = true;
        return false;
    }

private:
    QWidget *window_;
    bool painted_ = false;
};

} // namespace

// Shows a window and returns once it has been painted (the whole backing store is painted in
// one go, so the first paint event means the first frame).
bool showAndPaint(QWidget *window)
{
    PaintWatcher watcher(window);
    window->show();
    QElapsedTimer timer;
    timer.start();
    // One pass of the event loop at a time, so that the clock stops with the pass that painted.
    while (!watcher.painted() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return watcher.painted();
}

void activate(QWidget *window)
{
    window->activateWindow();
    QElapsedTimer timer;
    timer.start();
    while (QApplication::activeWindow() != window && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The floor that start-up is compared with: a main window whose central widget is a 16 x 16
// table of plain line edits.
std::unique_ptr<QWidget> buildFloorWindow()
{
    auto window = std::make_unique<QMainWindow>();
    auto *table = new QTableWidget(16, 16, window.get());
    for (int row = 0; row < 16; ++row) {
        for (int column = 0; column < 16; ++column)
            table->setCellWidget(row, column, new QLineEdit(table));
    }
    window->setCentralWidget(table);
    return window;
}

// Scrolls the table from its top to its end a page at a time, each page painted, as a user
// who has looked at every row; then back to the top.
void seeEveryRow(QWidget *window)
{
    auto *area = window->findChild<QScrollArea *>(u"scrollArea"_s);
    QScrollBar *bar = area->verticalScrollBar();
    for (int value = 0;; value += bar->pageStep()) {
        bar->setValue(value);
        settle();
        window->repaint();
        if (value >= bar->maximum())
            break;
    }
    bar->setValue(0);
    settle();
}

QAction *action(QWidget *window, const char *name)
{
    return window->findChild<QAction *>(QLatin1StringView(name));
}

QPushButton *button(QWidget *window, const char *name)
{
    return window->findChild<QPushButton *>(QLatin1StringView(name));
}

// A document whose every cell is at its maximum length, in normal form, with texts a student
// could write and that differ from row to row: states of three digits, all eight condition
// operands negated with '-' or '!', three control fields and seven microoperations.
QByteArray fullDocument(int rows)
{
    static const char *const operands[] = {"x4", "x3", "x2", "x1", "z", "n", "c", "p"};
    static const int controlFields[4][3] = {{6, 7, 8}, {6, 7, 9}, {6, 8, 9}, {7, 8, 9}};
    // Microoperations that open no dialog.
    static const int microoperations[] = {20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,
                                          35, 36, 37, 38, 41, 42, 43, 45, 47, 48, 49, 50,
                                          52, 53, 55, 56, 57, 58, 60, 62, 63, 64};
    constexpr int microoperationCount = int(std::size(microoperations));
    QByteArray text = "MKT" + QByteArray::number(rows) + '\n';
    for (int row = 0; row < rows; ++row) {
        text += QByteArray::number(row % 1000).rightJustified(3, '0') + '\n';
        text += QByteArray::number((row + 1) % rows).rightJustified(3, '0') + '\n';
        QByteArrayList conditions;
        for (int k = 0; k < 8; ++k)
            conditions << QByteArray((row >> k) & 1 ? "!" : "-") + operands[k];
        text += conditions.join(',') + '\n';
        QByteArrayList signalList;
        for (const int number : controlFields[row % 4])
            signalList << "y" + QByteArray::number(number);
        const int first = (row / 4) % (microoperationCount - 6);
        for (int i = 0; i < 7; ++i)
            signalList << "y" + QByteArray::number(microoperations[first + i]);
        text += signalList.join(',') + '\n';
    }
    for (int address = 0; address < 256; ++address)
        text += QByteArray::number(address, 16).rightJustified(2, '0').toUpper();
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString formatMs(double ms)
{
    return ms < 10 ? QString::number(ms, 'f', 2) + u" ms"_s
                   : QString::number(ms, 'f', 1) + u" ms"_s;
}

// Runs this program with `arguments`; the numbers it printed, or nullopt when it failed.
std::optional<std::vector<double>> runChild(const QStringList &arguments)
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    std::vector<double> numbers;
    const QStringList words =
        QString::fromLatin1(process.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    for (const QString &word : words) {
        bool ok = false;
        numbers.push_back(word.trimmed().toDouble(&ok));
        if (!ok)
            return std::nullopt;
    }
    if (numbers.empty())
        return std::nullopt;
    return numbers;
}

void printTable(const std::vector<Row> &rows)
{
    const auto width = [&rows](auto member, const QString &heading) {
        qsizetype w = heading.size();
        for (const Row &row : rows)
            w = std::max(w, (row.*member).size());
        return int(w);
    };
    const int actionWidth = width(&Row::action, u"action"_s);
    const int targetWidth = width(&Row::target, u"target"_s);
    const int measuredWidth = width(&Row::measured, u"median"_s);
    const auto line = [&](const QString &a, const QString &t, const QString &m, const QString &r) {
        const QString text = u"| %1 | %2 | %3 | %4 |"_s.arg(a, -actionWidth)
                                 .arg(t, -targetWidth)
                                 .arg(m, -measuredWidth)
                                 .arg(r, -6);
        std::printf("%s\n", text.toUtf8().constData());
    };
    line(u"action"_s, u"target"_s, u"median"_s, u"result"_s);
    line(QString(actionWidth, u'-'), QString(targetWidth, u'-'), QString(measuredWidth, u'-'),
         u"------"_s);
    for (const Row &row : rows)
        line(row.action, row.target, row.measured,
             row.informational ? u"info"_s
             : row.pass        ? u"pass"_s
                               : u"FAIL"_s);
}

} // namespace bench
