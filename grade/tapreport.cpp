// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// A TAP description: '#' would start a directive and '\' escapes.
QString tapText(QString text)
{
    text.replace(u"\\"_s, u"\\\\"_s);
    text.replace(u"#"_s, u"\\#"_s);
    text.replace(u'\n', u' ');
    return text;
}

} // namespace

void writeTapReport(QIODevice &out, const GradeRun &run)
{
    // Version 13, which Perl's TAP::Parser (prove) still requires; the subtests are indented as
    // version 14 writes them, which version 13 readers take for comments. The messages are one
    // literal block: the YAML subset prove reads takes "- NAME: text" in a list for a mapping.
    writeUtf8(out, u"TAP version 13\n1..%1\n"_s.arg(run.results.size()));
    for (size_t n = 0; n < run.results.size(); ++n) {
        const SubmissionResult &s = run.results[n];
        QString text =
            u"# Subtest: %1\n    1..%2\n"_s.arg(tapText(shown(s.name))).arg(s.cases.size());
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseResult &c = s.cases[i];
            const bool ok = c.status == CaseStatus::Passed;
            text += u"    %1 %2 - %3\n"_s.arg(ok ? u"ok"_s : u"not ok"_s)
                        .arg(i + 1)
                        .arg(tapText(shown(run.tests.cases[qsizetype(i)].name)));
            if (ok)
                continue;
            QStringList messages =
                caseRan(c) ? caseMessages(c) : QStringList{s.firstProblem(run.tests)};
            text += u"      ---\n      status: %1\n"_s.arg(caseStatusName(c.status));
            if (caseRan(c))
                text += u"      steps: %1\n"_s.arg(c.steps);
            text += u"      messages: |\n"_s;
            // A line's own leading blanks would change the block's indentation.
            for (const QString &m : messages)
                text += u"        "_s + shown(m).trimmed() + u'\n';
            text += u"      ...\n"_s;
        }
        text += u"%1 %2 - %3 # %4\n"_s.arg(s.allPassed() ? u"ok"_s : u"not ok"_s)
                    .arg(n + 1)
                    .arg(tapText(shown(s.name)))
                    .arg(u"points "_s + pointsText(s.points, run.tests.maxPoints()));
        writeUtf8(out, text);
    }
}

} // namespace orb
