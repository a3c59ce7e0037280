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

void writeGradescopeRefusal(QIODevice &out, const GradeRun &run)
{
    // The student reads this on Gradescope: why there is no grade, in the student's language.
    QString reason;
    if (run.results.empty()) {
        reason = u"Не найдено ни одного документа ORB (файла .orb): оценивать нечего. "
                 u"Загрузите один файл .orb."_s;
    } else {
        QStringList names;
        for (const SubmissionResult &s : run.results)
            names << s.name;
        reason = u"Найдено несколько документов ORB (%1): %2. Загрузите ровно один файл .orb."_s
                     .arg(run.results.size())
                     .arg(names.join(u", "_s));
    }
    const QJsonObject result{{u"score"_s, 0},
                             {u"max_score"_s, run.tests.maxPoints()},
                             {u"output"_s, reason},
                             {u"tests"_s, QJsonArray()}};
    out.write(QJsonDocument(result).toJson(QJsonDocument::Indented));
}

} // namespace orb
