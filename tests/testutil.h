#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers shared by the widget tests: answering modal dialogs and rendering windows to PNG.

#include "coretestutil.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace testutil {

// Waits (polling) for a modal dialog to become active, then hands it to `answer`. Call before
// the action that opens the dialog; the answer runs from the dialog's own event loop.
// Fails the running test (through QTest's failure reporting at the next check of
// `answered()`) when no dialog comes within `timeoutMs`.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget *dialog)> answer, int timeoutMs = 5000);
    bool answered() const { return *answered_; }
    QString dialogClass() const { return *className_; }

private:
    std::shared_ptr<bool> answered_;
    std::shared_ptr<QString> className_;
};

// Renders `widget` (shown or not) to ORB_PNG_DIR/<name>.png, or the build folder's png/.
// Returns the file written.
QString renderToPng(QWidget *widget, const QString &name);

// The named child widget; a missing one ends the test run, as no check could go on without it.
template <typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

} // namespace testutil
