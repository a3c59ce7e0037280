#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// Submissions handed in twice: byte-identical files, and tables that are the same once their
// states are renumbered and their rows reordered (the usual disguise of a copied table). Each
// submission gets two digests on its grading thread; grouping them is then cheap.

#include "grade/grader.h"
#include "sim/stepengine.h"

#include <QByteArray>
#include <QStringList>

#include <vector>

namespace orb {

// The same for two tables exactly when one is the other with its states renumbered (state 0,
// where every run starts, stays 0) and its rows in another order. Empty for a table without
// rows.
QByteArray tableDigest(const Program &program);

struct CopyGroup {
    enum class Kind { SameFile, SameTable };
    Kind kind = Kind::SameFile;
    QStringList submissions; // in the report's order
};
// "same-file", "same-table".
QString copyKindName(CopyGroup::Kind kind);

// Groups of two or more: identical files first, then equal tables (a group of equal tables
// that are all one file is left out, as it says nothing new).
std::vector<CopyGroup> findCopies(const std::vector<SubmissionResult> &results);

} // namespace orb
