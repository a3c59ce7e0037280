// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/edithistory.h"

#include <QKeyEvent>

EditHistory::Key EditHistory::keyOf(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Z && modifiers == Qt::ControlModifier)
        return Key::Undo;
    if (event->key() == Qt::Key_Z && modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return Key::Redo;
    if (event->key() == Qt::Key_Y && modifiers == Qt::ControlModifier)
        return Key::Redo;
    return Key::None;
}
