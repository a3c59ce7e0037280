// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/platformreports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

QString gradescopeVisibility(CaseVisibility visibility)
{
    switch (visibility) {
    case CaseVisibility::Visible:
        break;
    case CaseVisibility::Hidden:
        return u"hidden"_s;
    case CaseVisibility::AfterDueDate:
        return u"after_due_date"_s;
    case CaseVisibility::AfterPublished:
        return u"after_published"_s;
    }
    return u"visible"_s;
}

// Text inside Markdown: its marks (and HTML, which Markdown passes through) taken literally.
QString markdownText(const QString &text)
{
    QString escaped;
    for (const QChar c : text) {
        if (QStringView(u"\\`*_[]#|<>~").contains(c))
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

QString caseOutput(const StudentCase &c)
{
    if (c.hidden || c.passed())
        return markdownText(c.verdict.left(1).toUpper() + c.verdict.mid(1)) + u'.';
    // "**Не зачтён**: why."
    const qsizetype colon = c.verdict.indexOf(u':');
    QString head = c.verdict.left(colon);
    head[0] = head[0].toUpper();
    QString text =
        u"**"_s + markdownText(head) + u"**"_s + markdownText(c.verdict.mid(colon)) + u'.';
    if (!c.details.isEmpty()) {
        text += u"\n"_s;
        for (const QString &detail : c.details)
            text += u"\n- "_s + markdownText(detail);
    }
    return text;
}

} // namespace

void writeGradescopeResult(QIODevice &out, const GradeRun &run, const SubmissionResult &s)
{
    const std::vector<StudentCase> cases = studentCases(run.tests, s, run.feedback);
    QJsonArray tests;
    for (size_t i = 0; i < cases.size(); ++i) {
        const StudentCase &c = cases[i];
        tests.append(QJsonObject{
            {u"name"_s, c.title},
            {u"score"_s, c.points},
            {u"max_score"_s, c.maxPoints},
            {u"status"_s, c.passed() ? u"passed"_s : u"failed"_s},
            {u"visibility"_s, gradescopeVisibility(run.tests.cases[qsizetype(i)].visibility)},
            {u"output"_s, caseOutput(c)},
            {u"output_format"_s, u"md"_s}});
    }
    const QJsonObject result{{u"score"_s, s.points},
                             {u"execution_time"_s, int(std::ceil(run.seconds))},
                             {u"output"_s, markdownText(studentSummary(run.tests, s))},
                             {u"output_format"_s, u"md"_s},
                             {u"tests"_s, tests}};
    out.write(QJsonDocument(result).toJson(QJsonDocument::Indented));
}

void writeGradescopeRefusal(QIODevice &out, const GradeRun &run)
{
    writeGradescopeResult(out, run, missingSubmission(run.tests, run.results));
}

} // namespace orb
