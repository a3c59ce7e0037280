// SPDX-License-Identifier: GPL-3.0-or-later
//
// The static checks and the graph window after an edit.

#include "bench/bench.h"

#include "analysis/analysis.h"
#include "app/document.h"
#include "cells/rowrules.h"
#include "graph/graphmodel.h"
#include "graph/graphview.h"
#include "sim/stepengine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

namespace bench {

// The static checks of a 500-row table, as the editor would run them after an edit: the
// document above (500 states of one row each, every flag tested), and a dense one of 25
// states with 20 rows each whose conditions branch to many states and cycles.
std::vector<Row> benchAnalysis(const QString &path)
{
    QList<orb::RowTexts> dense;
    static const char16_t *const conditions[] = {u"z",    u"-z,c", u"n",     u"-n,!p",
                                                 u"x1,c", u"",     u"-x1,z", u"p"};
    for (int row = 0; row < documentRows; ++row) {
        const int state = row / 20;
        dense.append({QString::number(state), QString::number((state * 7 + row) % 26),
                      QString::fromUtf16(conditions[row % 8]),
                      row % 20 == 0 ? u"y11,y14,y31,y62"_s : QString()});
    }
    std::vector<Row> rows;
    for (const bool isDense : {false, true}) {
        std::optional<orb::LoadedDocument> document =
            isDense ? orb::parseDocument(orb::serializeDocument(dense, QStringList(256, u"00"_s)))
                    : orb::readDocumentFile(path);
        orb::HeadlessTable table;
        if (document)
            orb::loadTable(table, *document);
        const orb::Program program{orb::HeadlessTableSource(table)};
        bool ok = document && table.rowCount() == documentRows && table.errorCount() == 0;
        orb::analyzeProgram(program); // the ALU's outcomes are computed once per process
        std::vector<double> times;
        for (int i = 0; i < repeatCount && ok; ++i) {
            QElapsedTimer timer;
            timer.start();
            const orb::Analysis analysis = orb::analyzeProgram(program);
            times.push_back(elapsedMs(timer));
            ok = analysis.states.size() == (isDense ? 25u : size_t(documentRows));
        }
        const double ms = median(times);
        rows.push_back({isDense ? u"static checks of 500 rows: 25 states of 20 rows"_s
                                : u"static checks of 500 rows: the 500-row document"_s,
                        u"≤ 10 ms"_s, ok ? formatMs(ms) : u"failed"_s, ok && ms <= 10});
    }
    return rows;
}

// The graph window's work after a change: the graph model, the dot layout and the items, and
// one paint of the window's view, for the examples and for 500 rows.
std::vector<Row> benchGraph(const QString &path)
{
    QStringList files;
    for (const QFileInfo &file : QDir(QStringLiteral(ORB_EXAMPLES_DIR)).entryInfoList({u"*.orb"_s}))
        files << file.filePath();
    files << path;
    std::vector<Row> rows;
    GraphView view;
    view.resize(720, 600);
    QImage picture(view.viewport()->size(), QImage::Format_RGB32);
    for (const QString &file : files) {
        const std::optional<orb::LoadedDocument> document = orb::readDocumentFile(file);
        orb::HeadlessTable table;
        if (document)
            orb::loadTable(table, *document);
        const std::vector<bool> wrong(size_t(table.rowCount()), false);
        bool ok = document && table.errorCount() == 0;
        std::vector<double> times;
        for (int i = 0; i < repeatCount && ok; ++i) {
            QElapsedTimer timer;
            timer.start();
            view.setGraph(orb::buildGraphModel(orb::HeadlessTableSource(table), wrong));
            QPainter painter(&picture);
            view.render(&painter);
            painter.end();
            times.push_back(elapsedMs(timer));
            ok = !view.model().nodes.isEmpty();
        }
        const bool large = file == path;
        const double ms = median(times);
        const double limit = large ? 1000 : 100;
        rows.push_back({u"graph window: model, layout, drawing of "_s +
                            (large ? u"the 500-row document"_s : QFileInfo(file).fileName()) +
                            u", %1 edges"_s.arg(view.model().edges.size()) +
                            (view.edgeLabelsShown() ? QString() : u" (labels in tool tips)"_s),
                        large ? u"≤ 1 s"_s : u"≤ 100 ms"_s, ok ? formatMs(ms) : u"failed"_s,
                        ok && ms <= limit});
    }
    return rows;
}

} // namespace bench
