// SPDX-License-Identifier: GPL-3.0-or-later

#include "graph/graphwindow.h"

#include "graph/graphview.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

GraphWindow::GraphWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(title());
    setObjectName(u"graphWindow"_s);
    // Like the help, it never keeps the program running once the editor has closed.
    setAttribute(Qt::WA_QuitOnClose, false);

    view_ = new GraphView;
    view_->setObjectName(u"graphView"_s);
    status_ = new QLabel;
    status_->setObjectName(u"graphStatus"_s);
    status_->setWordWrap(true);
    status_->setContentsMargins(6, 2, 6, 4);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Any size will do: the view scrolls. (The layout's default would pin a minimum size on
    // the window, renewed with every status text.)
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(view_, 1);
    layout->addWidget(status_);
    resize(720, 640);

    svgAction_ = new QAction(u"Сохранить как SVG…"_s, this);
    svgAction_->setObjectName(u"exportSvgAction"_s);
    pngAction_ = new QAction(u"Сохранить как PNG…"_s, this);
    pngAction_->setObjectName(u"exportPngAction"_s);
    connect(svgAction_, &QAction::triggered, this, &GraphWindow::exportSvg);
    connect(pngAction_, &QAction::triggered, this, &GraphWindow::exportPng);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint &position) {
        QMenu menu(this);
        menu.addAction(svgAction_);
        menu.addAction(pngAction_);
        menu.exec(view_->viewport()->mapToGlobal(position));
    });

    auto addKey = [this](const QKeySequence &key, auto slot) {
        auto *shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    addKey(QKeySequence::ZoomIn, [this] { view_->zoomBy(1.25); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_Equal), [this] { view_->zoomBy(1.25); });
    addKey(QKeySequence::ZoomOut, [this] { view_->zoomBy(0.8); });
    addKey(QKeySequence(Qt::CTRL | Qt::Key_0), [this] { view_->fitGraph(); });
    addKey(QKeySequence(Qt::Key_Escape), [this] { close(); });

    connect(view_, &GraphView::nodeClicked, this, [this](int index) {
        const int row = view_->model().nodes[index].firstRow;
        if (row > 0)
            emit rowChosen(row - 1);
    });
    connect(view_, &GraphView::edgeClicked, this,
            [this](int index) { emit rowChosen(view_->model().edges[index].row - 1); });
}

GraphWindow::~GraphWindow() = default;

QString GraphWindow::title()
{
    return u"ORB — граф автомата"_s;
}

void GraphWindow::setGraph(const orb::GraphModel &model)
{
    view_->setGraph(model);
    if (!fitted_ && isVisible()) {
        fitted_ = true;
        view_->fitGraph();
    }
    updateStatus();
}

void GraphWindow::setRunMarks(const orb::GraphRunMarks &marks)
{
    view_->setRunMarks(marks);
}

void GraphWindow::clearRunMarks()
{
    view_->setRunMarks(orb::GraphRunMarks());
}

void GraphWindow::updateStatus()
{
    const orb::GraphModel &model = view_->model();
    int states = 0;
    for (const orb::GraphModelNode &node : model.nodes)
        states += node.look == orb::GraphModelNode::Look::Normal ||
                  node.look == orb::GraphModelNode::Look::Unreachable;
    QString text = u"Состояний: %1, переходов: %2."_s.arg(states).arg(model.edges.size());
    if (!view_->edgeLabelsShown())
        text += u" Условия и номера строк — в подсказках переходов."_s;
    for (const QString &finding : model.generalFindings)
        text += u'\n' + finding;
    status_->setText(text);
}

void GraphWindow::exportSvg()
{
    exportPicture(u"SVG (*.svg)"_s, u"svg"_s);
}

void GraphWindow::exportPng()
{
    exportPicture(u"PNG (*.png)"_s, u"png"_s);
}

void GraphWindow::exportPicture(const QString &filter, const QString &suffix)
{
    QFileDialog dialog(this, u"Сохранить граф"_s, QDir::homePath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString fileName = dialog.selectedFiles().constFirst();
    // Whatever else the name ends in, the file is of the format chosen, and says so.
    if (!fileName.endsWith(u'.' + suffix, Qt::CaseInsensitive))
        fileName += u'.' + suffix;
    const bool written = suffix == u"svg"_s ? view_->writeSvg(fileName) : view_->writePng(fileName);
    if (!written)
        QMessageBox::warning(
            this, title(),
            u"Не удалось сохранить файл %1"_s.arg(QDir::toNativeSeparators(fileName)));
}
