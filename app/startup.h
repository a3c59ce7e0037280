#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the program does with its command line: `orb FILE` opens FILE as the Open button
// would, so that a document opens from the desktop.

#include <QStringList>

class MainWindow;

namespace orb {

// `arguments` as the application object leaves them once the toolkit has taken its own
// options: the program name, then the user's. The first user argument is opened whatever its
// suffix; a file that is no document is refused silently, as Open refuses it, and further
// arguments are ignored. Returns whether a document was loaded.
bool openFromArguments(MainWindow &window, const QStringList &arguments);

} // namespace orb
