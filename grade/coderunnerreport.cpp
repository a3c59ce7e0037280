// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/platformreports.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace orb {

void writeCodeRunnerResult(QIODevice &out, const GradeRun &run, const SubmissionResult &result)
{
    const std::vector<StudentCase> cases = studentCases(run.tests, result, run.feedback);
    // The first row names the columns; CodeRunner draws iscorrect as a tick or a cross and shows
    // an ishidden row to the teacher only. Cells are text: CodeRunner escapes them itself.
    QJsonArray rows{
        QJsonArray{u"iscorrect"_s, u"Тест"_s, u"Баллы"_s, u"Результат"_s, u"ishidden"_s}};
    for (const StudentCase &c : cases) {
        QStringList text{c.verdict};
        text += c.details;
        rows.append(QJsonArray{c.passed() ? 1 : 0, c.title,
                               u"%1 из %2"_s.arg(c.points).arg(c.maxPoints), text.join(u'\n'),
                               c.hidden ? 1 : 0});
    }
    const int max = run.tests.maxPoints();
    const double fraction = max > 0 ? double(result.points) / max : result.allPassed() ? 1 : 0;
    QString epilogue;
    const auto hiddenFailed = std::count_if(
        cases.cbegin(), cases.cend(), [](const StudentCase &c) { return c.hidden && !c.passed(); });
    if (hiddenFailed > 0)
        epilogue = u"<p>Не зачтено скрытых тестов: %1.</p>"_s.arg(hiddenFailed);
    const QJsonObject json{
        {u"fraction"_s, fraction},
        {u"prologuehtml"_s, u"<p>"_s + htmlEscaped(studentSummary(run.tests, result)) + u"</p>"_s},
        {u"testresults"_s, rows},
        {u"epiloguehtml"_s, epilogue}};
    out.write(QJsonDocument(json).toJson(QJsonDocument::Compact));
    out.write("\n");
}

void writeCodeRunnerFailure(QIODevice &out, const QString &message)
{
    const QJsonObject json{
        {u"fraction"_s, 0},
        {u"prologuehtml"_s, u"<p>Работу не удалось проверить: ошибка в настройке вопроса. "
                            u"Сообщите преподавателю.</p><pre>"_s +
                                htmlEscaped(message.trimmed()) + u"</pre>"_s},
        {u"testresults"_s, QJsonArray{}},
        {u"epiloguehtml"_s, u""_s}};
    out.write(QJsonDocument(json).toJson(QJsonDocument::Compact));
    out.write("\n");
}

} // namespace orb
