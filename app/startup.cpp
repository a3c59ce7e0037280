// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/startup.h"

#include "app/mainwindow.h"
#include "graph/graphlink.h"

namespace orb {

bool openFromArguments(MainWindow &window, const QStringList &arguments)
{
    QStringList given = arguments.mid(1);
    const bool graph = !given.isEmpty() && given.first() == QStringLiteral("--graph");
    if (graph)
        given.removeFirst();
    const bool opened =
        !given.isEmpty() && !given.first().isEmpty() && window.openDocument(given.first());
    // As F2 would, once the document is in the table.
    if (graph)
        window.findChild<GraphLink *>()->showGraph();
    return opened;
}

} // namespace orb
