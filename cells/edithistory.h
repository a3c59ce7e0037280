#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What a memory cell editor needs of the editor's undo history (undo/documenthistory.h): the
// undo and redo keys, and reports of the bytes the user types. The history implements it;
// the cells know no more of it.

#include <QString>

class QKeyEvent;

class EditHistory {
public:
    enum class Key { None, Undo, Redo };
    // Ctrl+Z undoes; Ctrl+Shift+Z and Ctrl+Y redo.
    static Key keyOf(const QKeyEvent *event);

    // Undoes or redoes one step of the document.
    virtual void undo() = 0;
    virtual void redo() = 0;
    // A key typed into memory cell `address` changed its text; the visit ends with leaving.
    virtual void memoryTyped(int address, const QString &before, const QString &after) = 0;
    virtual void memoryLeft(int address) = 0;

protected:
    EditHistory() = default;
    ~EditHistory() = default;
    EditHistory(const EditHistory &) = default;
    EditHistory &operator=(const EditHistory &) = default;
};
