#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The editor window with its file dialogs answered by the caller: each dialog returns the name
// set beforehand (empty: cancelled) and records the path it would have started at. The one
// subclass of MainWindow that the tests, orb-bench and the screenshot tool use.

#include "app/mainwindow.h"

#include <QStringList>

namespace editortest {

class ScriptedWindow final : public MainWindow {
public:
    QString openAnswer;
    QString saveAnswer;
    QStringList openStarts;
    QStringList saveStarts;

protected:
    QString chooseOpenFileName(const QString &startPath) override
    {
        openStarts << startPath;
        return openAnswer;
    }
    QString chooseSaveFileName(const QString &startPath) override
    {
        saveStarts << startPath;
        return saveAnswer;
    }
};

} // namespace editortest
