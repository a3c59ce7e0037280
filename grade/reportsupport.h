#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// What the report writers share; each format has a file of its own (jsonreport.cpp,
// csvreport.cpp, ...), reports.cpp picks one and puts its output in place.

#include "grade/reports.h"

#include <QIODevice>
#include <QString>

#include <functional>
#include <map>

namespace orb {

// Whether the case was run: not for a document with wrong cells or one that cannot be read.
bool caseRan(const CaseResult &c);
// Points → number of submissions, highest first.
std::map<int, int, std::greater<>> pointsHistogram(const GradeRun &run);
int passedAllCount(const GradeRun &run);
void writeUtf8(QIODevice &out, const QString &text);
// "3/10"
QString pointsText(int points, int max);
// A name or message as the terminal, the TAP and CSV readers get it: control characters, line
// ends and bidirectional overrides written as escapes, so that no name can forge a line.
QString shown(const QString &text);

} // namespace orb
