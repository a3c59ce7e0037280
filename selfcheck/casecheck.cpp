// SPDX-License-Identifier: GPL-3.0-or-later

#include "selfcheck/casecheck.h"

#include "cells/cellproblem.h"
#include "cells/memorybyte.h"
#include "sim/registers.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// "такт", "такта", "тактов" as Russian counts them.
QString stepsWord(int count)
{
    const int lastTwo = count % 100;
    const int last = count % 10;
    if (lastTwo >= 11 && lastTwo <= 14)
        return u"тактов"_s;
    if (last == 1)
        return u"такт"_s;
    if (last >= 2 && last <= 4)
        return u"такта"_s;
    return u"тактов"_s;
}

// orb-grade's names of how a run ended, in the words of the execution window.
QString endWords(const QString &name)
{
    if (name == u"success"_s)
        return u"успешное завершение"_s;
    if (name == u"stopped"_s)
        return u"нет перехода"_s;
    if (name == u"limit"_s)
        return u"предел тактов"_s;
    return name;
}

// The first byte where what y67 showed parts from what the case expects.
QString displayFailure(const QList<int> &expected, const QList<int> &shown)
{
    const qsizetype common = std::min(expected.size(), shown.size());
    qsizetype i = 0;
    while (i < common && expected[i] == shown[i])
        ++i;
    if (i < common)
        return u"вывод: ожидалось %1, показано %2"_s.arg(formatHex(expected[i]),
                                                         formatHex(shown[i]));
    if (i < expected.size())
        return u"вывод: ожидалось %1, больше ничего не показано"_s.arg(formatHex(expected[i]));
    return u"вывод: лишнее %1"_s.arg(formatHex(shown[i]));
}

QString mismatchFailure(const Mismatch &m)
{
    if (m.name == u"end"_s)
        return u"завершение: ожидалось «%1», получено «%2»"_s.arg(endWords(m.expected),
                                                                  endWords(m.got));
    QString name = m.name;
    if (const int index = registerIndex(m.name); index >= 0)
        name = QString::fromUtf16(registerTable()[size_t(index)].panelName);
    return u"%1: ожидалось %2, получено %3"_s.arg(name, m.expected, m.got);
}

QString failureText(const TestCase &testCase, const CaseResult &result, const CaseRun &run)
{
    switch (result.status) {
    case CaseStatus::Passed:
        return {};
    case CaseStatus::Loops:
        return u"не остановилась за %1 %2"_s.arg(testCase.maxSteps)
            .arg(stepsWord(testCase.maxSteps));
    case CaseStatus::Stopped:
        return u"не описан переход из состояния %1"_s.arg(run.engine().state().nextState);
    default:
        break;
    }
    if (result.mismatches.isEmpty())
        return caseStatusText(result.status);
    const Mismatch &first = result.mismatches.first();
    // The display item is always the last mismatch; its first differing byte is named.
    if (testCase.checksDisplay && first.name == u"display"_s)
        return displayFailure(testCase.display, run.displayed());
    return mismatchFailure(first);
}

} // namespace

QString CaseWatch::shown(int value)
{
    shown_ << value;
    if (!case_.checksDisplay)
        return {};
    const qsizetype at = shown_.size() - 1;
    if (at < case_.display.size() && case_.display[at] == value)
        return {};
    return displayFailure(case_.display, shown_);
}

void CaseWatch::unshow()
{
    if (!shown_.isEmpty())
        shown_.removeLast();
}

QStringList CaseWatch::endFailures(const Processor &processor,
                                   const std::array<quint8, 256> &memory, RunStatus end) const
{
    QStringList lines;
    for (const ExpectItem &item : case_.expects) {
        const Expectation &e = item.expectation;
        int got = 0;
        switch (e.kind) {
        case Expectation::Kind::End:
            got = end;
            break;
        case Expectation::Kind::Register:
            got = registerValue(processor, e.index);
            break;
        case Expectation::Kind::Flag:
            got = processor.flags()[size_t(e.index)];
            break;
        case Expectation::Kind::Memory:
            got = memory[size_t(e.index)];
            break;
        }
        if (got != e.value)
            lines << mismatchFailure(
                Mismatch{e.name, expectationValueText(e, e.value), expectationValueText(e, got)});
    }
    if (case_.checksDisplay && shown_ != case_.display)
        lines << displayFailure(case_.display, shown_);
    return lines;
}

CheckSnapshot documentSnapshot(const OpenedDocument &document)
{
    CheckSnapshot snapshot;
    snapshot.rows.reserve(size_t(document.table.rowCount()));
    for (int row = 0; row < document.table.rowCount(); ++row)
        snapshot.rows.push_back(document.table.row(row));
    snapshot.memory = document.memory;
    return snapshot;
}

QString SnapshotTableSource::cellText(int row, int field) const
{
    return rows_[size_t(row)].cells[size_t(field)].text;
}

ParsedConditions SnapshotTableSource::parsedConditions(int row) const
{
    return rows_[size_t(row)].conditions;
}

ParsedSignals SnapshotTableSource::parsedSignals(int row) const
{
    return rows_[size_t(row)].signalNumbers;
}

QString fieldTitle(int field)
{
    static const QString titles[fieldCount] = {u"Исх. сост."_s, u"След. сост."_s,
                                               u"Условия перехода"_s, u"Управляющие сигналы"_s};
    return field >= 0 && field < fieldCount ? titles[field] : QString();
}

QString WrongCell::line() const
{
    QString result = u"Строка %1, %2: «%3»"_s.arg(row + 1).arg(fieldTitle(field), text);
    if (!reason.isEmpty())
        result += u" — "_s + reason;
    return result;
}

QString findingLine(const Finding &finding)
{
    // The messages name their rows and states themselves.
    return finding.message;
}

QString caseStatusText(CaseStatus status)
{
    switch (status) {
    case CaseStatus::Passed:
        return u"зачтено"_s;
    case CaseStatus::Wrong:
        return u"неверный результат"_s;
    case CaseStatus::Loops:
        return u"зациклилась"_s;
    case CaseStatus::Stopped:
        return u"остановилась"_s;
    case CaseStatus::RedCells:
        return u"красные ячейки"_s;
    case CaseStatus::Unreadable:
        return u"не читается"_s;
    case CaseStatus::NotRun:
        return u"не проверена"_s;
    }
    return {};
}

int CheckOutcome::passedCount() const
{
    return int(std::count_if(cases.cbegin(), cases.cend(), [](const CaseOutcome &c) {
        return c.result.status == CaseStatus::Passed;
    }));
}

int CheckOutcome::points() const
{
    int sum = 0;
    for (const CaseOutcome &c : cases)
        sum += c.result.points;
    return sum;
}

int CheckOutcome::maxPoints() const
{
    int sum = 0;
    for (const CaseOutcome &c : cases)
        sum += c.result.maxPoints;
    return sum;
}

int CheckOutcome::firstFailing() const
{
    const auto it = std::find_if(cases.cbegin(), cases.cend(), [](const CaseOutcome &c) {
        return c.result.status != CaseStatus::Passed;
    });
    return it == cases.cend() ? -1 : int(it - cases.cbegin());
}

QString CheckOutcome::summary() const
{
    return u"Зачтено %1 из %2, баллы %3 из %4"_s.arg(passedCount())
        .arg(cases.size())
        .arg(points())
        .arg(maxPoints());
}

CheckOutcome checkSnapshot(const CheckSnapshot &snapshot, const TestFile &tests)
{
    CheckOutcome outcome;
    for (int row = 0; row < int(snapshot.rows.size()); ++row) {
        const HeadlessTable::Row &cells = snapshot.rows[size_t(row)];
        std::array<QString, 4> texts;
        for (int field = 0; field < fieldCount; ++field)
            texts[size_t(field)] = cells.cells[size_t(field)].text;
        for (int field = 0; field < fieldCount; ++field) {
            if (cells.cells[size_t(field)].correct)
                continue;
            const std::optional<CellProblem> problem = rowCellProblem(texts, field);
            outcome.wrongCells << WrongCell{row, field, texts[size_t(field)],
                                            problem ? problem->message : QString()};
        }
    }
    if (!outcome.wrongCells.isEmpty()) {
        // As orb-grade grades a document with wrong cells: nothing runs, no case scores.
        for (const TestCase &c : tests.cases) {
            CaseOutcome unrun;
            unrun.result.status = CaseStatus::RedCells;
            unrun.result.maxPoints = c.points;
            unrun.failure = u"красные ячейки: %1"_s.arg(outcome.wrongCells.first().line());
            outcome.cases.push_back(unrun);
        }
        return outcome;
    }
    const Program program{SnapshotTableSource(snapshot.rows)};
    outcome.findings = analyzeProgram(program).findings;
    outcome.cases.reserve(size_t(tests.cases.size()));
    for (const TestCase &c : tests.cases) {
        CaseRun run(program, snapshot.memory, c);
        run.runToEnd();
        CaseOutcome one{caseResult(c, run), QString()};
        one.failure = failureText(c, one.result, run);
        outcome.cases.push_back(std::move(one));
    }
    return outcome;
}

} // namespace orb
