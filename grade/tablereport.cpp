// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include <QStringList>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// "1 error, 2 warnings, 1 note", leaving out what is none.
QString countsText(const SubmissionResult &s)
{
    QStringList parts;
    const std::pair<Severity, const char *> kinds[] = {
        {Severity::Error, "error"}, {Severity::Warning, "warning"}, {Severity::Note, "note"}};
    for (const auto &[severity, name] : kinds) {
        const int count = s.findingCount(severity);
        if (count > 0)
            parts << u"%1 %2%3"_s.arg(count).arg(QLatin1StringView(name),
                                                 count == 1 ? u""_s : u"s"_s);
    }
    return parts.join(u", "_s);
}

} // namespace

void writeTable(QIODevice &out, const GradeRun &run)
{
    qsizetype nameWidth = QStringLiteral("submission").size();
    for (const SubmissionResult &s : run.results)
        nameWidth = std::max(nameWidth, shown(s.name).size());
    std::vector<qsizetype> caseWidths;
    for (const TestCase &c : run.tests.cases)
        caseWidths.push_back(std::max<qsizetype>(shown(c.name).size(), 10));
    const QString maxPoints = QString::number(run.tests.maxPoints());
    const qsizetype pointsWidth = std::max<qsizetype>(6, 2 * maxPoints.size() + 1);

    QString header = u"submission"_s.leftJustified(nameWidth) + u"  "_s;
    for (size_t i = 0; i < caseWidths.size(); ++i)
        header += shown(run.tests.cases[qsizetype(i)].name).leftJustified(caseWidths[i]) + u"  "_s;
    header += u"points"_s.leftJustified(pointsWidth) + u"  first problem"_s;
    writeUtf8(out, header + u'\n');
    for (const SubmissionResult &s : run.results) {
        QString line = shown(s.name).leftJustified(nameWidth) + u"  "_s;
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseStatus status = s.cases[i].status;
            line += (status == CaseStatus::Passed ? u"✓"_s : caseStatusName(status))
                        .leftJustified(caseWidths[i]) +
                    u"  "_s;
        }
        line += pointsText(s.points, run.tests.maxPoints()).leftJustified(pointsWidth) + u"  "_s;
        line += shown(s.firstProblem(run.tests));
        writeUtf8(out, line.trimmed() + u'\n');
        // Notes alone are no cause for a line: legal tables have them.
        if (s.findingCount(Severity::Error) + s.findingCount(Severity::Warning) > 0)
            writeUtf8(out, u"    checks: "_s + countsText(s) + u" (orb-check lists them)\n"_s);
        for (const CaseResult &c : s.cases) {
            if (c.divergence) {
                writeUtf8(out, u"    first divergence: "_s + shown(c.divergence->text()) + u'\n');
                break;
            }
        }
    }
    QStringList counts;
    for (const auto &[value, count] : pointsHistogram(run))
        counts << u"%1×%2"_s.arg(value).arg(count);
    writeUtf8(out,
              u"\nsubmissions: %1, passed all: %2, points (of %3): %4\n"_s.arg(run.results.size())
                  .arg(passedAllCount(run))
                  .arg(maxPoints, counts.join(u' ')));
}

} // namespace orb
