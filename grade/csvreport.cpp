// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

QString csvField(QString text)
{
    // A spreadsheet would take a cell that begins so for a formula: a name could compute.
    if (text.startsWith(u'=') || text.startsWith(u'+') || text.startsWith(u'-') ||
        text.startsWith(u'@'))
        text.prepend(u'\'');
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

} // namespace

void writeCsvReport(QIODevice &out, const GradeRun &run)
{
    // The byte order mark makes spreadsheet programs read the file as UTF-8.
    out.write("\xEF\xBB\xBF");
    QStringList header{u"submission"_s, u"total"_s, u"max"_s};
    for (const TestCase &c : run.tests.cases)
        header << shown(c.name);
    // The counts of the static checks come last, so that the earlier columns keep their places.
    header << u"first problem"_s << u"errors"_s << u"warnings"_s << u"notes"_s;
    auto writeRow = [&out](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        writeUtf8(out, quoted.join(u',') + u"\r\n"_s);
    };
    writeRow(header);
    const QString max = QString::number(run.tests.maxPoints());
    for (const SubmissionResult &s : run.results) {
        QStringList row{shown(s.name), QString::number(s.points), max};
        for (const CaseResult &c : s.cases)
            row << caseStatusName(c.status);
        row << shown(s.firstProblem(run.tests));
        for (const Severity severity : {Severity::Error, Severity::Warning, Severity::Note})
            row << (s.checked ? QString::number(s.findingCount(severity)) : QString());
        writeRow(row);
    }
}

} // namespace orb
