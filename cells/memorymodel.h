#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The main memory of a document: the texts of its 256 cells and the bytes they read as. It is
// the store of record for the memory page's cells (which show it and write every keystroke
// into it at once), for the step engine (which reads and writes it as MemoryAccess), and for
// Save, Open, New, the undo history, orb-run and the graders.
//
// A cell's text is what the memory page's cell would show for it (two hexadecimal digits,
// possibly fewer, or other characters that read as 0), so that the document keeps exactly
// what was typed. Every change, whoever made it, is announced with textChanged(address); a
// program's write (writeMemory, the microoperations) is announced once more with written(),
// so that the page can follow where the program wrote.

#include "sim/processor.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

namespace orb {

class MemoryModel final : public QObject, public MemoryAccess {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MemoryModel)

public:
    static constexpr int size = 256;

    // Every cell holds "00".
    explicit MemoryModel(QObject *parent = nullptr);
    ~MemoryModel() override;

    // Addresses are taken modulo 256, as the processor's address register holds them.
    const QString &text(int address) const { return texts_[quint8(address)]; }
    int byte(int address) const { return bytes_[quint8(address)]; }
    // Sets the text as a memory cell would take it (maskedByteText).
    void setText(int address, const QString &text);
    void setByte(int address, int value);

    // The 256 texts in address order, and their bytes.
    QStringList texts() const;
    std::array<quint8, size> bytes() const { return bytes_; }
    // Sets the texts of the cells from address 0 as far as the list goes (at most 256); the
    // cells after it keep theirs.
    void setTexts(const QStringList &texts);
    // Every cell := text (New).
    void fill(const QString &text);

    // The engine's access: a write is a program's write (see written()); restoring the byte
    // of a step taken back is not.
    int readMemory(int address) override { return byte(address); }
    void writeMemory(int address, int value) override;
    void restoreMemory(int address, int value) override { setByte(address, value); }

signals:
    void textChanged(int address);
    // A program wrote a new value to the byte (after its textChanged).
    void written(int address);

private:
    bool store(int address, const QString &text);

    std::array<QString, size> texts_;
    std::array<quint8, size> bytes_{};
};

} // namespace orb
