#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Expectations files: NAME=VALUE lines that the final state of a run must show. orb-run's
// --expect reads them, and orb-grade's test files hold them.

#include "run/runstatus.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace orb {

// An expectations file is read up to this size, as a document is.
inline constexpr qint64 maxExpectationsBytes = 1024 * 1024;

// One line of an expectations file: a name and the value the final state must show.
struct Expectation {
    enum class Kind { End, Register, Flag, Memory };
    Kind kind = Kind::Register;
    QString name;  // as reported: "end", "A", "RON3", "Z", "M3A"
    int index = 0; // register (see registerNames()), flag (FlagIndex) or memory address
    int value = 0; // byte, flag, or for End a RunStatus (succeeded, stopped, limit)
};

// One or two hexadecimal digits in any case, as the data-byte dialog and the panels take them.
std::optional<int> parseHexByte(QStringView text);

// Reads an expectations file's text: NAME=VALUE lines, blank lines and # comments. On a
// malformed line, nullopt and *error = "LINE: what is wrong" (at most 60 characters of the
// line quoted). A text without any expectation is accepted here (an empty list).
std::optional<QList<Expectation>> parseExpectations(QStringView text, QString *error);
// Reads and parses the file (at most maxExpectationsBytes, UTF-8 with or without a byte order
// mark); refuses a file without any expectation. *error is a whole usage message.
std::optional<QList<Expectation>> readExpectationsFile(const QString &path, QString *error);

} // namespace orb
