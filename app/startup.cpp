// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/startup.h"

#include "app/mainwindow.h"

namespace orb {

bool openFromArguments(MainWindow &window, const QStringList &arguments)
{
    if (arguments.size() < 2 || arguments.at(1).isEmpty())
        return false;
    return window.openDocument(arguments.at(1));
}

} // namespace orb
