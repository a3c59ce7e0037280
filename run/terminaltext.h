#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later

#include <QString>
#include <QStringView>

namespace orb {

// A text made safe for a terminal: control characters (C0, DEL, C1) and the bidirectional
// overrides are written as escapes (\n, \t, \x1b, \u202e), so a file cannot recolour the
// terminal or fake lines. With `quote`, '"' and '\' are escaped too and the text is quoted;
// `maxLength` > 0 cuts it to that many characters, marking the cut with "…".
QString terminalText(QStringView text, bool quote = false, qsizetype maxLength = 0);

// At most this many characters of a user's text are echoed in a message.
inline constexpr qsizetype echoLength = 60;

// A user's text as a message quotes it: terminalText quoted, cut to echoLength characters.
QString echoText(QStringView text);

} // namespace orb
