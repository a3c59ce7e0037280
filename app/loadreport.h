#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the document loader had to reinterpret while it read a file: each kind has a stable
// code, so the command-line programs and the static checks can warn about it alike. None of
// these changes what is loaded; the loader reads such a file exactly as the editor's Open does.

#include <QList>
#include <QString>

namespace orb {

struct LoadNotice {
    // "load-count-not-a-number": the count line is no number from 1 up; read as one row.
    // "load-count-too-small": line breaks follow the announced rows, so the memory text holds
    //                         rows that are not loaded.
    // "load-count-too-large": the text ended before the announced rows were complete.
    // "load-over-500": more rows announced than a table holds; the rest are skipped.
    // "load-memory-missing": nothing after the rows; every memory byte stays 00.
    // "load-memory-short": fewer than 512 memory characters; the bytes after them stay 00.
    // "load-memory-long": more than 512 memory characters; the rest is not read.
    // "load-memory-not-hex": memory characters that are not hexadecimal digits; the memory
    //                        cells drop them or read such a byte as 00.
    // "load-text-cut": a cell text longer than its cell holds, cut as the editor cuts it.
    // "load-looks-like-utf8": the file decodes as UTF-8 with Cyrillic letters; it is still
    //                         read as Windows-1251, as the editor reads it.
    QString code;
    int row = 0;     // 1-based table row it concerns, 0 for none
    int field = -1;  // orb::Field for load-text-cut, else -1
    QString message; // English, one line
};
using LoadReport = QList<LoadNotice>;

} // namespace orb
