// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/platformreports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace orb {

SubmissionResult platformSubmission(const GradeRun &run)
{
    if (run.results.size() == 1)
        return run.results.front();
    return missingSubmission(run.tests, run.results);
}

void writeClassroomResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result)
{
    const std::vector<StudentCase> cases = studentCases(run.tests, result, run.feedback);
    QJsonArray tests;
    bool failed = false;
    bool graded = false;
    for (const StudentCase &c : cases) {
        QStringList message{c.verdict};
        message += c.details;
        const QString status = c.passed() ? u"pass"_s : c.error() ? u"error"_s : u"fail"_s;
        failed = failed || !c.passed();
        graded = graded || !c.error();
        tests.append(QJsonObject{{u"name"_s, c.title},
                                 {u"status"_s, status},
                                 {u"score"_s, c.points},
                                 {u"message"_s, message.join(u'\n')}});
    }
    const QJsonObject json{{u"version"_s, 1},
                           {u"status"_s, !graded  ? u"error"_s
                                         : failed ? u"fail"_s
                                                  : u"pass"_s},
                           {u"max_score"_s, run.tests.maxPoints()},
                           {u"tests"_s, tests}};
    out.write(QJsonDocument(json).toJson(QJsonDocument::Compact).toBase64());
    out.write("\n");
}

} // namespace orb
