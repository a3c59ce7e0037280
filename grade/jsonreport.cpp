// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/reportsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

QString hexText(int value)
{
    return formatMemoryByte(value & 0xFF);
}

QJsonArray hexArray(const QList<int> &bytes)
{
    QJsonArray array;
    for (const int byte : bytes)
        array.append(hexText(byte));
    return array;
}

QJsonArray messageArray(const QList<int> &signalNumbers)
{
    QJsonArray array;
    for (const int signal : signalNumbers)
        array.append(messageName(signal));
    return array;
}

QJsonArray mismatchArray(const QList<Mismatch> &mismatches)
{
    QJsonArray array;
    for (const Mismatch &m : mismatches)
        array.append(
            QJsonObject{{u"name"_s, m.name}, {u"expected"_s, m.expected}, {u"got"_s, m.got}});
    return array;
}

QString divergenceKindName(Divergence::Kind kind)
{
    switch (kind) {
    case Divergence::Kind::Differs:
        return u"differs"_s;
    case Divergence::Kind::StudentEnded:
        return u"ended-earlier"_s;
    case Divergence::Kind::ReferenceEnded:
        return u"ended-later"_s;
    case Divergence::Kind::EndsDiffer:
        return u"ends-differ"_s;
    }
    return {};
}

QJsonValue divergenceJson(const std::optional<Divergence> &d)
{
    if (!d)
        return QJsonValue::Null;
    auto textOrNull = [](const QString &text) {
        return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
    };
    auto rowOrNull = [](int row) {
        return row > 0 ? QJsonValue(row) : QJsonValue(QJsonValue::Null);
    };
    return QJsonObject{{u"kind"_s, divergenceKindName(d->kind)},
                       {u"microoperation"_s, d->index},
                       {u"studentStep"_s, d->studentStep},
                       {u"referenceStep"_s, d->referenceStep},
                       {u"studentOperation"_s, textOrNull(d->studentOperation)},
                       {u"referenceOperation"_s, textOrNull(d->referenceOperation)},
                       {u"studentRow"_s, rowOrNull(d->studentRow)},
                       {u"referenceRow"_s, rowOrNull(d->referenceRow)},
                       {u"studentEnd"_s, textOrNull(d->studentEnd)},
                       {u"referenceEnd"_s, textOrNull(d->referenceEnd)},
                       {u"differences"_s, mismatchArray(d->differences)},
                       {u"text"_s, d->text()}};
}

QJsonObject testsJson(const GradeRun &run)
{
    QJsonArray cases;
    for (const TestCase &c : run.tests.cases) {
        QJsonArray sets;
        for (const Expectation &e : c.sets)
            sets.append(
                QJsonObject{{u"name"_s, e.name}, {u"value"_s, expectationValueText(e, e.value)}});
        QJsonArray expects;
        for (const ExpectItem &item : c.expects)
            expects.append(QJsonObject{
                {u"name"_s, item.expectation.name},
                {u"value"_s, expectationValueText(item.expectation, item.expectation.value)},
                {u"fromReference"_s, item.fromReference}});
        cases.append(
            QJsonObject{{u"name"_s, c.name},
                        {u"points"_s, c.points},
                        {u"maxSteps"_s, c.maxSteps},
                        {u"set"_s, sets},
                        {u"input"_s, hexArray(c.inputs)},
                        {u"expect"_s, expects},
                        {u"display"_s, c.checksDisplay ? QJsonValue(hexArray(c.display))
                                                       : QJsonValue(QJsonValue::Null)},
                        {u"messages"_s, c.checksMessages ? QJsonValue(messageArray(c.messages))
                                                         : QJsonValue(QJsonValue::Null)}});
    }
    return QJsonObject{{u"file"_s, run.testsPath},
                       {u"reference"_s, run.referencePath.isEmpty()
                                            ? QJsonValue(QJsonValue::Null)
                                            : QJsonValue(run.referencePath)},
                       {u"maxPoints"_s, run.tests.maxPoints()},
                       {u"cases"_s, cases}};
}

// The static checks of a submission as orb-check's JSON gives them; null when it was unreadable.
QJsonValue checksJson(const SubmissionResult &s)
{
    if (!s.checked)
        return QJsonValue::Null;
    QJsonArray findings;
    for (const Finding &finding : s.findings)
        findings.append(findingJson(finding));
    return QJsonObject{{u"counts"_s, QJsonObject{{u"error"_s, s.findingCount(Severity::Error)},
                                                 {u"warning"_s, s.findingCount(Severity::Warning)},
                                                 {u"note"_s, s.findingCount(Severity::Note)}}},
                       {u"findings"_s, findings}};
}

QJsonObject submissionJson(const GradeRun &run, const SubmissionResult &s)
{
    QJsonArray cases;
    for (size_t i = 0; i < s.cases.size(); ++i) {
        const CaseResult &c = s.cases[i];
        cases.append(QJsonObject{
            {u"name"_s, run.tests.cases[qsizetype(i)].name},
            {u"status"_s, caseStatusName(c.status)},
            {u"points"_s, c.points},
            {u"maxPoints"_s, c.maxPoints},
            {u"steps"_s, caseRan(c) ? QJsonValue(c.steps) : QJsonValue(QJsonValue::Null)},
            {u"end"_s, caseRan(c) ? QJsonValue(endName(c.end)) : QJsonValue(QJsonValue::Null)},
            {u"mismatches"_s, mismatchArray(c.mismatches)},
            {u"divergence"_s, divergenceJson(c.divergence)}});
    }
    return QJsonObject{
        {u"name"_s, s.name},
        {u"status"_s, s.document == CaseStatus::Passed ? u"graded"_s : caseStatusName(s.document)},
        {u"points"_s, s.points},
        {u"maxPoints"_s, run.tests.maxPoints()},
        {u"passedAll"_s, s.allPassed()},
        {u"readError"_s,
         s.readError.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(s.readError)},
        {u"wrongCells"_s, QJsonArray::fromStringList(s.wrongCells)},
        {u"firstProblem"_s, s.firstProblem(run.tests)},
        {u"checks"_s, checksJson(s)},
        {u"cases"_s, cases}};
}

// The submissions' texts in their order, `separator` between them, made block by block on the
// run's threads, so that the whole report is never held at once. Made one after another, the
// json texts took 33 of the 149 ms of a two-thread grading of 1,000 submissions.
void writeSubmissionTexts(QIODevice &out, const GradeRun &run, const char *separator,
                          const std::function<QByteArray(const SubmissionResult &)> &text)
{
    constexpr size_t blockSize = 256;
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, run.threads));
    for (size_t first = 0; first < run.results.size(); first += blockSize) {
        QList<const SubmissionResult *> block;
        for (size_t i = first; i < std::min(first + blockSize, run.results.size()); ++i)
            block.append(&run.results[i]);
        const QList<QByteArray> texts = QtConcurrent::blockingMapped<QList<QByteArray>>(
            &pool, block, [&text](const SubmissionResult *s) { return text(*s); });
        for (qsizetype i = 0; i < texts.size(); ++i) {
            if (first + size_t(i) > 0)
                out.write(separator);
            out.write(texts[i]);
        }
    }
}

} // namespace

void writeJsonReport(QIODevice &out, const GradeRun &run)
{
    writeUtf8(out, u"{\"tool\":\"orb-grade\",\"version\":\"" ORB_VERSION "\",\"tests\":"_s);
    out.write(QJsonDocument(testsJson(run)).toJson(QJsonDocument::Compact));
    out.write(",\n\"submissions\":[\n");
    writeSubmissionTexts(out, run, ",\n", [&run](const SubmissionResult &s) {
        return QJsonDocument(submissionJson(run, s)).toJson(QJsonDocument::Compact);
    });
    QJsonArray points;
    for (const auto &[value, count] : pointsHistogram(run))
        points.append(QJsonObject{{u"points"_s, value}, {u"submissions"_s, count}});
    const QJsonObject totals{{u"submissions"_s, int(run.results.size())},
                             {u"passedAll"_s, passedAllCount(run)},
                             {u"maxPoints"_s, run.tests.maxPoints()},
                             {u"points"_s, points}};
    QJsonArray skipped;
    for (const SkippedFile &file : run.skipped)
        skipped.append(QJsonObject{{u"path"_s, file.path}, {u"reason"_s, file.reason}});
    out.write("\n],\n\"skipped\":");
    out.write(QJsonDocument(skipped).toJson(QJsonDocument::Compact));
    out.write(",\n\"totals\":");
    out.write(QJsonDocument(totals).toJson(QJsonDocument::Compact));
    out.write("}\n");
}

} // namespace orb
