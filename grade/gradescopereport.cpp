// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace orb {

void writeGradescopeResult(QIODevice &out, const GradeRun &run, const SubmissionResult &s)
{
    QJsonArray tests;
    for (size_t i = 0; i < s.cases.size(); ++i) {
        const CaseResult &c = s.cases[i];
        const QStringList messages =
            caseRan(c) ? caseMessages(c) : QStringList{s.firstProblem(run.tests)};
        tests.append(QJsonObject{
            {u"name"_s, run.tests.cases[qsizetype(i)].name},
            {u"score"_s, c.points},
            {u"max_score"_s, c.maxPoints},
            {u"status"_s, c.status == CaseStatus::Passed ? u"passed"_s : u"failed"_s},
            {u"output"_s, c.status == CaseStatus::Passed
                              ? u"passed"_s
                              : caseStatusName(c.status) + u'\n' + messages.join(u'\n')}});
    }
    const QJsonObject result{
        {u"score"_s, s.points},
        {u"max_score"_s, run.tests.maxPoints()},
        {u"output"_s, s.allPassed() ? u"all cases passed"_s : s.firstProblem(run.tests)},
        {u"tests"_s, tests}};
    out.write(QJsonDocument(result).toJson(QJsonDocument::Indented));
}

} // namespace orb
