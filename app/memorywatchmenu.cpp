// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/memorywatchmenu.h"

#include "cells/ramlineedit.h"
#include "sim/watchlist.h"

#include <QChildEvent>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTableWidget>

#include <memory>

namespace {

const char addressProperty[] = "orbWatchAddress";

orb::Watch byteWatch(int address)
{
    return orb::Watch{orb::Watch::Kind::Memory, address, -1};
}

} // namespace

MemoryWatchMenu::MemoryWatchMenu(QTableWidget *memoryTable, orb::WatchList *watches)
    : QObject(memoryTable), table_(memoryTable), viewport_(memoryTable->viewport()),
      watches_(watches)
{
    // The cells are children of the table's viewport: each one is adopted as it arrives.
    viewport_->installEventFilter(this);
    adoptCells();
    connect(watches_, &orb::WatchList::changed, this, &MemoryWatchMenu::retip);
}

MemoryWatchMenu::~MemoryWatchMenu() = default;

QString MemoryWatchMenu::actionText()
{
    return QStringLiteral("Остановиться при записи");
}

void MemoryWatchMenu::adoptCells()
{
    adoptionPending = false;
    for (RamLineEdit *cell :
         viewport_->findChildren<RamLineEdit *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (cell->property(addressProperty).isValid())
            continue;
        cell->setProperty(addressProperty, cell->row() * 16 + cell->column());
        cell->installEventFilter(this);
    }
    retip();
}

bool MemoryWatchMenu::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == viewport_) {
        // A cell is added while it is being built: it is adopted once it is complete.
        if (event->type() == QEvent::ChildAdded && !adoptionPending) {
            adoptionPending = true;
            QMetaObject::invokeMethod(this, &MemoryWatchMenu::adoptCells, Qt::QueuedConnection);
        }
        return false;
    }
    if (event->type() != QEvent::ContextMenu)
        return false;
    const QVariant address = watched->property(addressProperty);
    if (!address.isValid())
        return false;
    showMenu(static_cast<QWidget *>(watched), address.toInt(),
             static_cast<QContextMenuEvent *>(event)->globalPos());
    return true;
}

void MemoryWatchMenu::showMenu(QWidget *cell, int address, const QPoint &globalPosition)
{
    // The line edit's own menu (undo, copy, paste, ...) with the watch after it.
    auto *edit = static_cast<RamLineEdit *>(cell);
    const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    menu->addSeparator();
    QAction *watch = menu->addAction(actionText());
    watch->setCheckable(true);
    watch->setChecked(watches_->find(byteWatch(address)).has_value());
    if (menu->exec(globalPosition) == watch)
        watches_->toggle(byteWatch(address));
}

void MemoryWatchMenu::retip()
{
    // A watched byte says so in its tool tip; the cells have none of their own.
    for (RamLineEdit *cell :
         viewport_->findChildren<RamLineEdit *>(QString(), Qt::FindDirectChildrenOnly)) {
        const QVariant address = cell->property(addressProperty);
        if (!address.isValid())
            continue;
        const bool watched = watches_->find(byteWatch(address.toInt())).has_value();
        const QString tip = watched ? QStringLiteral("Остановка при записи") : QString();
        if (cell->toolTip() != tip)
            cell->setToolTip(tip);
    }
}
