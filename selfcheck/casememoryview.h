#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The memory of a case being shown step by step, laid over the editor's memory table while the
// case's run is open: the same 16 x 16 grid of bytes, read-only, tinted and titled so that it
// is never taken for the document's memory. It follows the case's memory model as the run
// writes it and goes when the run closes; the document's memory beneath is never touched.

#include <QTableWidget>

namespace orb {
class MemoryModel;
}

class CaseMemoryView final : public QTableWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaseMemoryView)

public:
    // Covers `memoryTable` (as its child) and shows `memory`, which must outlive it.
    CaseMemoryView(QTableWidget *memoryTable, const orb::MemoryModel &memory,
                   const QString &caseName);
    ~CaseMemoryView() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showByte(int address);

    const orb::MemoryModel &memory_;
};
