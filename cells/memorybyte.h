#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The text of a memory cell and the byte it stands for. The memory table's cells, the document
// text, the register panels and the headless tools read and write bytes with these same
// functions, so a byte reads alike wherever it is shown or stored.

#include <QString>
#include <QStringView>

#include <optional>

namespace orb {

// The text a memory cell (a line edit with input mask ">HH") shows after its text was set to
// raw: the first two characters of raw that the mask accepts, in upper case. Besides the
// hexadecimal digits Qt's mask accepts any Unicode number and NUL; such a text reads as 0.
QString maskedByteText(QStringView raw);
// The byte a memory cell text stands for: the text as a base-16 number; 0 when it is not a
// number from 0 to 255 (an empty cell reads as 0).
int readMemoryByte(QStringView text);
// The one text of a byte, in memory cells, register panels, documents and reports: the two
// upper-case hexadecimal digits of value's low byte ("0A").
QString formatHex(int value);
// One or two hexadecimal digits, either case, as expectations and watches name a byte.
std::optional<int> parseHexByte(QStringView text);

} // namespace orb
