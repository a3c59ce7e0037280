#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Helpers shared by the widget tests: answering modal dialogs and rendering windows to PNG.

#include "coretestutil.h"
#include "dialoganswerer.h"

#include <QDir>
#include <QLabel>
#include <QString>
#include <QTest>
#include <QWidget>

namespace testutil {

// Renders `widget` (shown or not) to ORB_PNG_DIR/<name>.png, or the build folder's png/.
// Returns the file written.
inline QString renderToPng(QWidget *widget, const QString &name)
{
    QString dir = qEnvironmentVariable("ORB_PNG_DIR");
    if (dir.isEmpty())
        dir = QDir::currentPath() + QStringLiteral("/png");
    QDir().mkpath(dir);
    const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    widget->grab().save(file);
    return file;
}

// The named child widget; a missing one ends the test run, as no check could go on without it.
template <typename T> T *child(QWidget *parent, const char *name)
{
    T *widget = parent->findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

// Shows `window`, activates it and waits until it is active: focus-dependent checks need that.
inline bool activate(QWidget *window)
{
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

inline QString labelText(QWidget *parent, const char *name)
{
    return child<QLabel>(parent, name)->text();
}

} // namespace testutil
