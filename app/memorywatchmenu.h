#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The memory page's part of the watches: each byte's context menu (the line edit's own) gets
// "Остановиться при записи", which sets or removes a watch on that byte; a run to the end then
// stops after a y60 that writes it. The cells are found as the memory table gets them, so it
// does not matter when or how they are built.

#include <QObject>

class QTableWidget;

namespace orb {
class WatchList;
}

class MemoryWatchMenu final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MemoryWatchMenu)

public:
    MemoryWatchMenu(QTableWidget *memoryTable, orb::WatchList *watches);
    ~MemoryWatchMenu() override;

    static QString actionText();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void adoptCells();
    void showMenu(QWidget *cell, int address, const QPoint &globalPosition);
    void retip();

    QTableWidget *table_;
    // Kept: the filter still sees the viewport's events while the table is being destroyed,
    // when the table can no longer be asked for it.
    QWidget *viewport_;
    orb::WatchList *watches_;
    bool adoptionPending = false;
};
