#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the program does with its command line: `orb FILE` opens FILE as the Open button
// would, so that a document opens from the desktop; `orb --graph [FILE]` also opens the graph
// window, so that a script can see Graphviz at work.

#include <QStringList>

class MainWindow;

namespace orb {

// `arguments` as the application object leaves them once the toolkit has taken its own
// options: the program name, then the user's. The first user argument is opened whatever its
// suffix; a file that is no document is refused silently, as Open refuses it, and further
// arguments are ignored. A first argument --graph opens the graph window as F2 does, and the
// document is the argument after it. Returns whether a document was loaded.
bool openFromArguments(MainWindow &window, const QStringList &arguments);

} // namespace orb
