#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The command lines of orb-grade and of orb-run --tests. They live here rather than in main()
// so that the tests run them in-process.

#include <QIODevice>
#include <QStringList>

namespace orb {

// orb-grade's exit statuses.
enum GradeStatus : int {
    GradeAllPassed = 0,
    GradeSomeFailed = 1,  // some case of some submission did not pass
    GradeNothing = 2,     // no document was found to grade
    GradeUnusable = 4,    // the test file cannot be read, or the reference is unusable
    GradeWriteFailed = 6, // a report could not be written
    GradeUsage = 64,      // also a mistake in the test file
};

// orb-grade with `arguments` (the first is the program name); the progress bar goes to err
// only when errIsTerminal.
int runGradeCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err,
                        bool errIsTerminal = false);

// orb-run --tests FILE [--case NAME] DOCUMENT: one verdict line per case; 0 when every case
// passed, 5 when one did not, 3 wrong cells, 4 unreadable, 64 usage or a mistake in the file.
int runTestsCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err);

} // namespace orb
