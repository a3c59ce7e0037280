#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The test file a student may have: the teacher's file with its hidden cases (with the comment
// lines right above and inside them) cut out, every other byte as it was, and each NAME=? written
// with the value the reference gave it, so that the copy runs without the reference.

#include "grade/testfile.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace orb {

// `bytes` is the teacher's file and `tests` its parse, with the ? values already taken from the
// reference (prepareReference). On failure, nullopt and *error says why.
std::optional<QByteArray> makeStudentCopy(const QByteArray &bytes, const TestFile &tests,
                                          const QString &fileName, QString *error);

} // namespace orb
