// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graphview.h"

#include <QFontMetricsF>
#include <QGraphicsPathItem>
#include <QGraphicsPolygonItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPathStroker>
#include <QSvgGenerator>
#include <QWheelEvent>

using namespace Qt::StringLiterals;

namespace {

// The editor's colours: the cells' text, the wrong-cell border and the current-row mark.
const QColor inkColour(76, 88, 102);
const QColor wrongColour(226, 131, 131);
const QColor currentColour(60, 100, 160);
const QColor visitedFill(220, 230, 244);
const QColor greyColour(165, 165, 165);

constexpr qreal nodePaddingX = 10;
constexpr qreal nodePaddingY = 5;
constexpr qreal labelPointSize = 10;

enum ItemRole { RoleKind = 0, RoleIndex = 1 };
enum ItemKind { NodeKind = 1, EdgeKind = 2 };

QFont graphFont(qreal pixelSize, bool bold)
{
    QFont font(u"Liberation Sans"_s);
    font.setPixelSize(int(pixelSize));
    font.setBold(bold);
    return font;
}

// The lines of a node's text: the number in bold, then the microoperations and control fields.
struct NodeText {
    QString title;
    QStringList lines;
};

NodeText nodeText(const orb::GraphModelNode &node)
{
    NodeText text{node.title, {}};
    if (node.look == orb::GraphModelNode::Look::Missing)
        text.lines << u"нет строк"_s;
    if (!node.microoperations.isEmpty())
        text.lines << node.microoperations;
    if (!node.controlFields.isEmpty())
        text.lines << u"("_s + node.controlFields + u')';
    return text;
}

// An edge is hard to hit along its thin line: it answers for a band around it.
class EdgeItem final : public QGraphicsPathItem {
public:
    using QGraphicsPathItem::QGraphicsPathItem;
    QPainterPath shape() const override
    {
        QPainterPathStroker stroker;
        stroker.setWidth(8);
        return stroker.createStroke(path());
    }
};

} // namespace

GraphView::GraphView(QWidget *parent) : QGraphicsView(parent)
{
    setScene(new QGraphicsScene(this));
    setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    setDragMode(QGraphicsView::ScrollHandDrag);
    setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
    setBackgroundBrush(Qt::white);
}

GraphView::~GraphView() = default;

void GraphView::setGraph(const orb::GraphModel &model)
{
    model_ = model;
    marks_ = orb::GraphRunMarks();
    build();
}

void GraphView::setRunMarks(const orb::GraphRunMarks &marks)
{
    marks_ = marks;
    restyle();
}

void GraphView::build()
{
    const QPointF center = mapToScene(viewport()->rect().center());
    const bool hadGraph = !nodeItems_.empty();
    scene()->clear();
    nodeItems_.clear();
    edgeItems_.clear();
    arrowItems_.clear();
    countItems_.clear();
    nodeTexts_.clear();
    innerBorders_.clear();

    const QFont titleFont = graphFont(13, true);
    const QFont lineFont = graphFont(11, false);
    const QFont labelFont = graphFont(labelPointSize, false);
    const QFontMetricsF titleMetrics(titleFont);
    const QFontMetricsF lineMetrics(lineFont);

    orb::GraphLayoutOptions options;
    labelsShown_ = model_.edges.size() <= labelledEdgeLimit;
    options.edgeLabels = labelsShown_;
    options.labelPointSize = labelPointSize;
    std::vector<NodeText> texts;
    for (const orb::GraphModelNode &node : model_.nodes) {
        NodeText text = nodeText(node);
        qreal width = titleMetrics.horizontalAdvance(text.title);
        qreal height = titleMetrics.height();
        for (const QString &line : text.lines) {
            width = qMax(width, lineMetrics.horizontalAdvance(line));
            height += lineMetrics.height();
        }
        options.nodeSizes.emplace_back(qMax(width + 2 * nodePaddingX, 36.0),
                                       height + 2 * nodePaddingY);
        texts.push_back(std::move(text));
    }
    layout_ = orb::layOutGraph(model_, options);

    for (int i = 0; i < model_.edges.size(); ++i) {
        const orb::GraphModelEdge &edge = model_.edges[i];
        const orb::GraphLayout::Edge &geometry = layout_.edges[size_t(i)];
        auto *item = new EdgeItem(geometry.path);
        item->setData(RoleKind, EdgeKind);
        item->setData(RoleIndex, i);
        item->setToolTip(edge.toolTip(model_.nodes));
        item->setZValue(1);
        scene()->addItem(item);
        auto *arrow = new QGraphicsPolygonItem(geometry.arrowHead, item);
        arrowItems_.push_back(arrow);
        // How often an open run took the transition: under its label, or beside the edge's
        // middle when labels are left out.
        QPointF countPosition = geometry.path.pointAtPercent(0.5) + QPointF(4, 0);
        if (geometry.hasLabel) {
            const QStringList lines = edge.label().split(u'\n');
            const QFontMetricsF metrics(labelFont);
            qreal y = geometry.labelCenter.y() - metrics.height() * qreal(lines.size()) / 2;
            for (const QString &line : lines) {
                auto *label = new QGraphicsSimpleTextItem(line, item);
                label->setFont(labelFont);
                label->setBrush(edge.wrong ? wrongColour : inkColour);
                label->setPos(geometry.labelCenter.x() - metrics.horizontalAdvance(line) / 2, y);
                y += metrics.height();
            }
            countPosition = QPointF(geometry.labelCenter.x(), y);
        }
        auto *count = new QGraphicsSimpleTextItem(item);
        count->setFont(labelFont);
        count->setBrush(currentColour);
        count->setPos(countPosition);
        count->setVisible(false);
        countItems_.push_back(count);
        edgeItems_.push_back(item);
    }
    if (layout_.hasStart) {
        auto *start = scene()->addEllipse(layout_.startPoint.x() - 4, layout_.startPoint.y() - 4, 8,
                                          8, Qt::NoPen, inkColour);
        start->setToolTip(u"Начало выполнения"_s);
        auto *line = scene()->addPath(layout_.startEdge.path, QPen(inkColour, 1.2));
        new QGraphicsPolygonItem(layout_.startEdge.arrowHead, line);
        static_cast<QGraphicsPolygonItem *>(line->childItems().front())->setBrush(inkColour);
        static_cast<QGraphicsPolygonItem *>(line->childItems().front())->setPen(Qt::NoPen);
    }

    for (int i = 0; i < model_.nodes.size(); ++i) {
        const QRectF rect = layout_.nodes[size_t(i)];
        QPainterPath path;
        path.addRoundedRect(rect, 6, 6);
        auto *item = new QGraphicsPathItem(path);
        // A stopping state's second border is an item of its own: drawn into the node's path,
        // it cut a hole into the fill, and the current state's white text vanished on white.
        QGraphicsPathItem *inner = nullptr;
        if (model_.nodes[i].stops) {
            QPainterPath innerPath;
            innerPath.addRoundedRect(rect.adjusted(3, 3, -3, -3), 4, 4);
            inner = new QGraphicsPathItem(innerPath, item);
            inner->setBrush(Qt::NoBrush);
        }
        innerBorders_.push_back(inner);
        item->setData(RoleKind, NodeKind);
        item->setData(RoleIndex, i);
        item->setToolTip(model_.nodes[i].toolTip());
        item->setZValue(2);
        scene()->addItem(item);
        const NodeText &text = texts[size_t(i)];
        qreal height = titleMetrics.height() + lineMetrics.height() * qreal(text.lines.size());
        qreal y = rect.center().y() - height / 2;
        std::vector<QGraphicsItem *> parts;
        auto addLine = [&](const QString &line, const QFont &font, const QFontMetricsF &metrics) {
            auto *part = new QGraphicsSimpleTextItem(line, item);
            part->setFont(font);
            part->setPos(rect.center().x() - metrics.horizontalAdvance(line) / 2, y);
            y += metrics.height();
            parts.push_back(part);
        };
        addLine(text.title, titleFont, titleMetrics);
        for (const QString &line : text.lines)
            addLine(line, lineFont, lineMetrics);
        nodeItems_.push_back(item);
        nodeTexts_.push_back(std::move(parts));
    }
    scene()->setSceneRect(layout_.bounds.adjusted(-20, -20, 20, 20));
    restyle();
    if (hadGraph)
        centerOn(center);
}

void GraphView::restyle()
{
    for (size_t i = 0; i < nodeItems_.size(); ++i) {
        const orb::GraphModelNode &node = model_.nodes[int(i)];
        const bool current = marks_.active && marks_.currentNode == int(i);
        const bool visited =
            marks_.active && i < marks_.visitedNodes.size() && marks_.visitedNodes[i];
        QColor border = inkColour;
        QColor ink = inkColour;
        QPen pen(border, node.start ? 2.2 : 1.2);
        switch (node.look) {
        case orb::GraphModelNode::Look::Normal:
            break;
        case orb::GraphModelNode::Look::Unreachable:
            ink = greyColour;
            pen.setColor(greyColour);
            break;
        case orb::GraphModelNode::Look::Missing:
            ink = wrongColour;
            pen.setColor(wrongColour);
            pen.setStyle(Qt::DashLine);
            break;
        case orb::GraphModelNode::Look::Wrong:
            ink = wrongColour;
            pen.setColor(wrongColour);
            break;
        }
        QColor fill = Qt::white;
        if (current) {
            fill = currentColour;
            ink = Qt::white;
            pen.setColor(currentColour);
        } else if (visited) {
            fill = visitedFill;
        }
        auto *item = static_cast<QGraphicsPathItem *>(nodeItems_[i]);
        item->setPen(pen);
        item->setBrush(fill);
        if (QGraphicsPathItem *inner = innerBorders_[i]) {
            QPen innerPen = pen;
            innerPen.setWidthF(1.2);
            if (current)
                innerPen.setColor(ink);
            inner->setPen(innerPen);
        }
        for (QGraphicsItem *part : nodeTexts_[i])
            static_cast<QGraphicsSimpleTextItem *>(part)->setBrush(ink);
    }
    for (size_t i = 0; i < edgeItems_.size(); ++i) {
        const orb::GraphModelEdge &edge = model_.edges[int(i)];
        const bool last = marks_.active && marks_.lastEdge == int(i);
        const bool visited =
            marks_.active && i < marks_.visitedEdges.size() && marks_.visitedEdges[i];
        QColor colour = edge.wrong ? wrongColour : inkColour;
        if (visited || last)
            colour = currentColour;
        const qreal width = last ? 3.2 : visited ? 1.8 : 1.1;
        edgeItems_[i]->setPen(QPen(colour, width));
        edgeItems_[i]->setZValue(last ? 1.5 : 1);
        const int taken = marks_.active && i < marks_.edgeCounts.size() ? marks_.edgeCounts[i] : -1;
        auto *count = static_cast<QGraphicsSimpleTextItem *>(countItems_[i]);
        count->setVisible(taken >= 0);
        if (taken >= 0 && count->text() != edgeCountText(taken)) {
            const qreal centre = count->pos().x() + count->boundingRect().width() / 2;
            count->setText(edgeCountText(taken));
            count->setX(centre - count->boundingRect().width() / 2);
        }
        auto *arrow = static_cast<QGraphicsPolygonItem *>(arrowItems_[i]);
        arrow->setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        arrow->setBrush(colour);
    }
}

QString GraphView::edgeCountText(int count)
{
    return u"×"_s + QString::number(count);
}

QString GraphView::edgeCountShown(int index) const
{
    if (index < 0 || size_t(index) >= countItems_.size() ||
        !countItems_[size_t(index)]->isVisible())
        return {};
    return static_cast<QGraphicsSimpleTextItem *>(countItems_[size_t(index)])->text();
}

QAbstractGraphicsShapeItem *GraphView::nodeItem(int index) const
{
    return index >= 0 && size_t(index) < nodeItems_.size() ? nodeItems_[size_t(index)] : nullptr;
}

QAbstractGraphicsShapeItem *GraphView::edgeItem(int index) const
{
    return index >= 0 && size_t(index) < edgeItems_.size() ? edgeItems_[size_t(index)] : nullptr;
}

QPointF GraphView::edgePoint(int index) const
{
    const QPainterPath &path = layout_.edges[size_t(index)].path;
    return path.pointAtPercent(0.5);
}

void GraphView::zoomBy(qreal factor)
{
    const qreal next = qBound(0.05, zoom() * factor, 8.0);
    scale(next / zoom(), next / zoom());
}

void GraphView::fitGraph()
{
    const QRectF rect = scene()->sceneRect();
    if (rect.isEmpty())
        return;
    const qreal fit =
        qMin(viewport()->width() / rect.width(), viewport()->height() / rect.height());
    const qreal target = qMin(1.0, fit);
    setTransform(QTransform::fromScale(target, target));
    centerOn(rect.center());
}

void GraphView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        const int steps = event->angleDelta().y() / 120;
        if (steps != 0)
            zoomBy(std::pow(1.15, steps));
        event->accept();
        return;
    }
    QGraphicsView::wheelEvent(event);
}

void GraphView::mousePressEvent(QMouseEvent *event)
{
    pressed_ = event->button() == Qt::LeftButton;
    pressPosition_ = event->position().toPoint();
    QGraphicsView::mousePressEvent(event);
}

void GraphView::mouseReleaseEvent(QMouseEvent *event)
{
    QGraphicsView::mouseReleaseEvent(event);
    // A press that did not move far is a click; anything further was a drag of the view.
    if (pressed_ && event->button() == Qt::LeftButton &&
        (event->position().toPoint() - pressPosition_).manhattanLength() < 5)
        click(event->position().toPoint());
    pressed_ = false;
}

void GraphView::click(const QPoint &position)
{
    for (QGraphicsItem *item : items(position)) {
        while (item->parentItem())
            item = item->parentItem();
        const int kind = item->data(RoleKind).toInt();
        const int index = item->data(RoleIndex).toInt();
        if (kind == NodeKind) {
            emit nodeClicked(index);
            return;
        }
        if (kind == EdgeKind) {
            emit edgeClicked(index);
            return;
        }
    }
}

bool GraphView::writeSvg(const QString &fileName) const
{
    const QRectF source = scene()->sceneRect();
    QSvgGenerator generator;
    generator.setFileName(fileName);
    generator.setSize(source.size().toSize());
    generator.setViewBox(QRectF(QPointF(0, 0), source.size()));
    generator.setTitle(u"Граф автомата"_s);
    QPainter painter;
    if (!painter.begin(&generator))
        return false;
    painter.fillRect(QRectF(QPointF(0, 0), source.size()), Qt::white);
    scene()->render(&painter, QRectF(QPointF(0, 0), source.size()), source);
    return painter.end();
}

bool GraphView::writePng(const QString &fileName) const
{
    const QRectF source = scene()->sceneRect();
    // Twice the scene's size, so that the picture stays sharp on a slide; bounded for huge graphs.
    const qreal scale = qMin(2.0, 16000.0 / qMax(source.width(), source.height()));
    QImage image((source.size() * scale).toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        scene()->render(&painter, QRectF(image.rect()), source);
    }
    return image.save(fileName, "PNG");
}
