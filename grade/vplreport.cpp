// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/platformreports.h"

#include <QLocale>

#include <cmath>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// One line of a comment: a name or a cell may not end the block or forge a grade line.
QString vplLine(QString text)
{
    for (QChar &c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

double environmentNumber(const char *name, double fallback)
{
    bool ok = false;
    const double value = qEnvironmentVariable(name).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? value : fallback;
}

} // namespace

QString vplGrade(int points, int maxPoints, double low, double high)
{
    const double share = maxPoints > 0 ? double(points) / maxPoints : 1.0;
    const double grade = std::round((low + (high - low) * share) * 100) / 100;
    // Two decimals at most, with a point whatever the locale, no trailing zeros.
    QString text = QString::number(grade, 'f', 2);
    while (text.contains(u'.') && (text.endsWith(u'0') || text.endsWith(u'.')))
        text.chop(1);
    return text == u"-0"_s ? u"0"_s : text;
}

void writeVplResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result)
{
    const std::vector<StudentCase> cases = studentCases(run.tests, result, run.feedback);
    QString text = u"<|--\n"_s;
    text += u"-Итог\n>"_s + vplLine(studentSummary(run.tests, result)) + u'\n';
    for (const StudentCase &c : cases) {
        text += u"-%1: %2 из %3\n>%4\n"_s.arg(vplLine(c.title))
                    .arg(c.points)
                    .arg(c.maxPoints)
                    .arg(vplLine(c.verdict));
        for (const QString &detail : c.details)
            text += u'>' + vplLine(detail) + u'\n';
    }
    text += u"--|>\n"_s;
    const double low = environmentNumber("VPL_GRADEMIN", 0);
    const double high = environmentNumber("VPL_GRADEMAX", 10);
    text += u"Grade :=>> "_s + vplGrade(result.points, run.tests.maxPoints(), low, high) + u'\n';
    out.write(text.toUtf8());
}

} // namespace orb
