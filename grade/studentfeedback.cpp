// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/studentfeedback.h"

using namespace Qt::StringLiterals;

namespace orb {

std::optional<StudentFeedback> studentFeedbackLevel(const QString &name)
{
    if (name == u"result"_s)
        return StudentFeedback::Result;
    if (name == u"values"_s)
        return StudentFeedback::Values;
    if (name == u"divergence"_s)
        return StudentFeedback::Divergence;
    return std::nullopt;
}

namespace {

QString endWords(const QString &end)
{
    if (end == u"success"_s)
        return u"успешное завершение"_s;
    if (end == u"stopped"_s)
        return u"остановка: не описан переход"_s;
    if (end == u"limit"_s)
        return u"предел шагов"_s;
    return end;
}

QString mismatchLine(const Mismatch &m)
{
    if (m.name == u"end"_s)
        return u"завершение: ожидалось «%1», получено «%2»"_s.arg(endWords(m.expected),
                                                                  endWords(m.got));
    if (m.name == u"messages"_s) {
        // The words of the messages y68 and y69 show.
        auto words = [](QString names) {
            names.replace(u"overflow"_s, u"«Переполнение»"_s);
            names.replace(u"opcode-error"_s, u"«Ошибка в коде операции»"_s);
            names.replace(u"none"_s, u"нет сообщений"_s);
            return names.replace(u' ', u", "_s);
        };
        return u"сообщения: ожидалось %1, получено %2"_s.arg(words(m.expected), words(m.got));
    }
    if (m.name == u"display"_s)
        return u"вывод (y67): ожидалось «%1», получено «%2»"_s.arg(m.expected, m.got);
    return u"%1: ожидалось %2, получено %3"_s.arg(m.name, m.expected, m.got);
}

// Where the student's run parts from the reference's, told from the student's side only: the
// reference's microoperation and control fields are the answer itself.
QString divergenceLine(const Divergence &d)
{
    const QString prefix = u"первое расхождение с эталоном: "_s;
    switch (d.kind) {
    case Divergence::Kind::StudentEnded:
        return prefix + u"после %1 микроопераций ваша программа завершилась (%2) на шаге %3, "
                        u"а эталон продолжает работу"_s.arg(d.index - 1)
                            .arg(endWords(d.studentEnd))
                            .arg(d.studentStep);
    case Divergence::Kind::ReferenceEnded:
        return prefix + u"%1-я микрооперация (шаг %2, строка %3, «%4») лишняя: эталон к этому "
                        u"времени уже завершился"_s.arg(d.index)
                            .arg(d.studentStep)
                            .arg(d.studentRow)
                            .arg(d.studentOperation);
    case Divergence::Kind::EndsDiffer:
        return prefix + u"те же %1 микроопераций, но ваша программа завершилась иначе (%2, "
                        u"шаг %3)"_s.arg(d.index)
                            .arg(endWords(d.studentEnd))
                            .arg(d.studentStep);
    case Divergence::Kind::Differs:
        break;
    }
    QStringList what;
    QStringList values;
    for (const Mismatch &m : d.differences) {
        if (m.name == u"signal"_s) {
            what << u"выполнена не та микрооперация"_s;
        } else if (m.name.startsWith(u'y')) {
            if (!what.contains(u"не те управляющие поля строки"_s))
                what << u"не те управляющие поля строки"_s;
        } else {
            values << u"%1 = %2"_s.arg(m.name, m.got);
        }
    }
    if (!values.isEmpty())
        what << u"после неё не то значение: "_s + values.join(u", "_s);
    return prefix + u"%1-я микрооперация (шаг %2, строка %3, «%4»): %5"_s.arg(d.index)
                        .arg(d.studentStep)
                        .arg(d.studentRow)
                        .arg(d.studentOperation, what.join(u"; "_s));
}

QString failureWords(const TestCase &c, const CaseResult &r)
{
    switch (r.status) {
    case CaseStatus::Passed:
        return u"зачтён"_s;
    case CaseStatus::Wrong:
        return u"не зачтён: результат не тот, что ожидался"_s;
    case CaseStatus::Loops:
        return u"не зачтён: программа не завершилась за %1 шагов"_s.arg(c.maxSteps);
    case CaseStatus::Stopped:
        return u"не зачтён: программа остановилась без успешного завершения (не описан "
               u"переход)"_s;
    case CaseStatus::RedCells:
        return u"не проверен: в таблице есть ошибочные ячейки"_s;
    case CaseStatus::Unreadable:
        return u"не проверен: файл не читается как документ ORB"_s;
    case CaseStatus::NotRun:
        return u"не проверен: не хватило времени на проверку"_s;
    }
    return {};
}

} // namespace

std::vector<StudentCase> studentCases(const TestFile &tests, const SubmissionResult &result,
                                      StudentFeedback feedback)
{
    std::vector<StudentCase> cases;
    int hiddenNumber = 0;
    for (size_t i = 0; i < result.cases.size() && i < size_t(tests.cases.size()); ++i) {
        const TestCase &c = tests.cases[qsizetype(i)];
        const CaseResult &r = result.cases[i];
        StudentCase s;
        s.status = r.status;
        s.points = r.points;
        s.maxPoints = r.maxPoints;
        s.hidden = !c.visible();
        if (s.hidden) {
            s.title = u"скрытый тест %1"_s.arg(++hiddenNumber);
            s.verdict = s.passed() ? u"скрытый тест: зачтён"_s : u"скрытый тест: не зачтён"_s;
            cases.push_back(s);
            continue;
        }
        s.title = c.name;
        s.verdict = failureWords(c, r);
        if (feedback != StudentFeedback::Result) {
            for (const Mismatch &m : r.mismatches)
                s.details << mismatchLine(m);
        }
        if (feedback == StudentFeedback::Divergence && r.divergence)
            s.details << divergenceLine(*r.divergence);
        cases.push_back(s);
    }
    return cases;
}

QString studentDocumentProblem(const SubmissionResult &result)
{
    if (!result.studentProblem.isEmpty())
        return result.studentProblem;
    if (result.document == CaseStatus::Unreadable)
        return u"Файл «%1» не читается как документ ORB: сохраните работу в ORB и сдайте "
               u"файл .orb."_s.arg(result.name);
    if (result.document == CaseStatus::RedCells)
        return u"В таблице %1 ошибочных ячеек (в ORB они обведены красным); пока они есть, "
               u"программа не запускается и ни один тест не проверен."_s.arg(
                   result.wrongCells.size());
    return {};
}

QString studentSummary(const TestFile &tests, const SubmissionResult &result)
{
    const std::vector<StudentCase> cases = studentCases(tests, result, StudentFeedback::Result);
    const auto passed = std::count_if(cases.cbegin(), cases.cend(),
                                      [](const StudentCase &c) { return c.passed(); });
    // Why nothing ran comes first: it is what the student must mend.
    QStringList parts;
    if (const QString problem = studentDocumentProblem(result); !problem.isEmpty())
        parts << problem;
    parts << u"Баллы: %1 из %2. Зачтено тестов: %3 из %4."_s.arg(result.points)
                 .arg(tests.maxPoints())
                 .arg(passed)
                 .arg(cases.size());
    const auto notRun = std::count_if(cases.cbegin(), cases.cend(), [](const StudentCase &c) {
        return c.status == CaseStatus::NotRun;
    });
    if (notRun > 0 && result.document == CaseStatus::Passed)
        parts << u"Не хватило времени: %1 тестов не проверено."_s.arg(notRun);
    return parts.join(u' ');
}

SubmissionResult missingSubmission(const TestFile &tests,
                                   const std::vector<SubmissionResult> &found)
{
    SubmissionResult result;
    result.name = u"(нет работы)"_s;
    result.document = CaseStatus::Unreadable;
    if (found.empty()) {
        result.readError = u"no document found"_s;
        result.studentProblem = u"Не найдено ни одного документа ORB (файла .orb): оценивать "
                                u"нечего. Загрузите один файл .orb."_s;
    } else {
        QStringList names;
        for (const SubmissionResult &s : found)
            names << s.name;
        result.readError = u"%1 documents found where one was expected"_s.arg(found.size());
        result.studentProblem =
            u"Найдено несколько документов ORB (%1): %2. Загрузите ровно один файл .orb."_s
                .arg(found.size())
                .arg(names.join(u", "_s));
    }
    for (const TestCase &c : tests.cases) {
        CaseResult unrun;
        unrun.status = CaseStatus::Unreadable;
        unrun.maxPoints = c.points;
        result.cases.push_back(unrun);
    }
    return result;
}

QString htmlEscaped(const QString &text)
{
    QString escaped = text.toHtmlEscaped();
    escaped.replace(u'\'', u"&#39;"_s);
    return escaped;
}

} // namespace orb
