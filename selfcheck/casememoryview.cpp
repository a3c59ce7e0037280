// SPDX-License-Identifier: GPL-3.0-or-later

#include "selfcheck/casememoryview.h"

#include "cells/memorymodel.h"

#include <QEvent>
#include <QHeaderView>

using namespace Qt::StringLiterals;

namespace {

constexpr int side = 16;

} // namespace

CaseMemoryView::CaseMemoryView(QTableWidget *memoryTable, const orb::MemoryModel &memory,
                               const QString &caseName)
    : QTableWidget(side, side, memoryTable), memory_(memory)
{
    setObjectName(u"caseMemoryView"_s);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setToolTip(u"Память случая «%1» — только чтение. Память документа вернётся, когда окно "
               u"выполнения закроется."_s.arg(caseName));
    setStyleSheet(u"QTableWidget { background-color: rgb(255, 246, 214); color: rgb(75, 75, 75);"
                  u" border: 2px solid rgb(230, 180, 60); gridline-color: rgb(235, 220, 170);"
                  u" font-weight: bold; }"_s);
    for (int row = 0; row < side; ++row) {
        setRowHeight(row, memoryTable->rowHeight(row));
        setColumnWidth(row, memoryTable->columnWidth(row));
    }
    for (int address = 0; address < side * side; ++address) {
        auto *item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        setItem(address / side, address % side, item);
        showByte(address);
    }
    connect(&memory, &orb::MemoryModel::textChanged, this, &CaseMemoryView::showByte);
    setGeometry(memoryTable->rect());
    memoryTable->installEventFilter(this);
    show();
}

CaseMemoryView::~CaseMemoryView() = default;

void CaseMemoryView::showByte(int address)
{
    item(address / side, address % side)->setText(memory_.text(address));
}

bool CaseMemoryView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(static_cast<QWidget *>(watched)->rect());
    return QTableWidget::eventFilter(watched, event);
}
