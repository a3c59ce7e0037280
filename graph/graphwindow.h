#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The window "ORB — граф автомата": the automaton of the current table, drawn by GraphView,
// with the keys to zoom (Ctrl+plus, Ctrl+minus, Ctrl+0 to fit), a line that counts states and
// transitions and lists what the checks found beyond the drawing, and a context menu that
// saves the picture. It knows nothing of the editor: it is handed graphs and run marks and
// tells which row a click chose.

#include "graph/graphmodel.h"

#include <QWidget>

class GraphView;
class QAction;
class QLabel;

class GraphWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GraphWindow)

public:
    explicit GraphWindow(QWidget *parent = nullptr);
    ~GraphWindow() override;

    static QString title();

    // A new graph, laid out at once; the zoom stays, and the first graph is fitted in.
    void setGraph(const orb::GraphModel &model);
    void setRunMarks(const orb::GraphRunMarks &marks);
    // Off the run: no marks.
    void clearRunMarks();
    GraphView *view() const { return view_; }
    QLabel *statusLabel() const { return status_; }
    QAction *svgAction() const { return svgAction_; }
    QAction *pngAction() const { return pngAction_; }

    // Asks for a file name and saves the picture; a failure says so.
    void exportSvg();
    void exportPng();

signals:
    // The row (from 0) a click on a node (its first row) or an edge (its row) chose.
    void rowChosen(int row);

private:
    void exportPicture(const QString &filter, const QString &suffix);
    void updateStatus();

    GraphView *view_ = nullptr;
    QLabel *status_ = nullptr;
    QAction *svgAction_ = nullptr;
    QAction *pngAction_ = nullptr;
    bool fitted_ = false;
};
