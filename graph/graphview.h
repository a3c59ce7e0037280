#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The drawing of the automaton: a scene of node and edge items placed by the dot layout, with
// the run's marks on them. The view zooms (Ctrl+wheel; the window adds the keys), pans by
// dragging, shows each item's tool tip and reports clicks on nodes and edges; a new graph
// keeps the zoom. It also writes what it shows as SVG or PNG.

#include "graph/graphlayout.h"
#include "graph/graphmodel.h"

#include <QGraphicsView>
#include <QPoint>

#include <vector>

class QAbstractGraphicsShapeItem;
class QGraphicsPathItem;
class QGraphicsItem;

class GraphView final : public QGraphicsView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GraphView)

public:
    // Above this many edges the labels go into the tool tips: dot places every label as a node
    // of its own, which costs more than the rest of the layout.
    static constexpr int labelledEdgeLimit = 200;

    explicit GraphView(QWidget *parent = nullptr);
    ~GraphView() override;

    // Lays the graph out and draws it with no run marks; the zoom stays.
    void setGraph(const orb::GraphModel &model);
    void setRunMarks(const orb::GraphRunMarks &marks);
    const orb::GraphModel &model() const { return model_; }
    const orb::GraphLayout &graphLayout() const { return layout_; }
    const orb::GraphRunMarks &runMarks() const { return marks_; }
    bool edgeLabelsShown() const { return labelsShown_; }

    qreal zoom() const { return transform().m11(); }
    void zoomBy(qreal factor);
    // The whole graph in sight, never larger than its own size.
    void fitGraph();

    // The items of node and edge `index`, for tests and tool tips.
    QAbstractGraphicsShapeItem *nodeItem(int index) const;
    QAbstractGraphicsShapeItem *edgeItem(int index) const;
    // The count an open run shows on edge `index` ("×3"); empty when none is shown.
    QString edgeCountShown(int index) const;
    static QString edgeCountText(int count);
    // A point of the scene on edge `index`'s line, away from its ends.
    QPointF edgePoint(int index) const;

    // The picture of the whole graph; false when the file cannot be written.
    bool writeSvg(const QString &fileName) const;
    bool writePng(const QString &fileName) const;

signals:
    void nodeClicked(int index);
    void edgeClicked(int index);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void build();
    void restyle();
    void click(const QPoint &position);

    orb::GraphModel model_;
    orb::GraphLayout layout_;
    orb::GraphRunMarks marks_;
    bool labelsShown_ = true;
    std::vector<QAbstractGraphicsShapeItem *> nodeItems_;
    std::vector<QAbstractGraphicsShapeItem *> edgeItems_;
    std::vector<QAbstractGraphicsShapeItem *> arrowItems_;
    std::vector<QGraphicsItem *> countItems_; // by edge: how often an open run took it
    std::vector<std::vector<QGraphicsItem *>> nodeTexts_;
    std::vector<QGraphicsPathItem *> innerBorders_; // by node; nullptr but for stopping states
    QPoint pressPosition_;
    bool pressed_ = false;
};
