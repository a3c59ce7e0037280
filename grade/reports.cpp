// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/reports.h"

#include "grade/copies.h"
#include "grade/platformreports.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QThreadPool>
#include <QXmlStreamWriter>
#include <QtConcurrent/QtConcurrentMap>

#include <functional>
#include <map>

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

bool ran(const CaseResult &c)
{
    return c.status != CaseStatus::RedCells && c.status != CaseStatus::Unreadable &&
           c.status != CaseStatus::NotRun;
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
        cases.append(QJsonObject{{u"name"_s, c.name},
                                 {u"points"_s, c.points},
                                 {u"visibility"_s, caseVisibilityName(c.visibility)},
                                 {u"maxSteps"_s, c.maxSteps},
                                 {u"set"_s, sets},
                                 {u"input"_s, hexArray(c.inputs)},
                                 {u"expect"_s, expects},
                                 {u"display"_s, c.checksDisplay ? QJsonValue(hexArray(c.display))
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

// "1 error, 2 warnings, 1 note", leaving out what is none.
QString countsText(const SubmissionResult &s)
{
    QStringList parts;
    const std::pair<Severity, const char *> kinds[] = {
        {Severity::Error, "error"}, {Severity::Warning, "warning"}, {Severity::Note, "note"}};
    for (const auto &[severity, name] : kinds) {
        const int count = s.findingCount(severity);
        if (count > 0)
            parts << u"%1 %2%3"_s.arg(count).arg(QLatin1StringView(name),
                                                 count == 1 ? u""_s : u"s"_s);
    }
    return parts.join(u", "_s);
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
            {u"steps"_s, ran(c) ? QJsonValue(c.steps) : QJsonValue(QJsonValue::Null)},
            {u"end"_s, ran(c) ? QJsonValue(endName(c.end)) : QJsonValue(QJsonValue::Null)},
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

// Points → number of submissions, highest first.
std::map<int, int, std::greater<>> histogram(const GradeRun &run)
{
    std::map<int, int, std::greater<>> counts;
    for (const SubmissionResult &s : run.results)
        ++counts[s.points];
    return counts;
}

int passedAllCount(const GradeRun &run)
{
    return int(std::count_if(run.results.cbegin(), run.results.cend(),
                             [](const SubmissionResult &s) { return s.allPassed(); }));
}

void write(QIODevice &out, const QString &text)
{
    out.write(text.toUtf8());
}

QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

// A TAP description: '#' would start a directive and '\' escapes.
QString tapText(QString text)
{
    text.replace(u"\\"_s, u"\\\\"_s);
    text.replace(u"#"_s, u"\\#"_s);
    text.replace(u'\n', u' ');
    return text;
}

QString yamlString(const QString &text)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact))
        .mid(1)
        .chopped(1);
}

QString pointsText(int points, int max)
{
    return u"%1/%2"_s.arg(points).arg(max);
}

} // namespace

std::optional<ReportFormat> reportFormat(const QString &name)
{
    if (name == u"json"_s)
        return ReportFormat::Json;
    if (name == u"csv"_s)
        return ReportFormat::Csv;
    if (name == u"junit"_s)
        return ReportFormat::Junit;
    if (name == u"tap"_s)
        return ReportFormat::Tap;
    if (name == u"gradescope"_s)
        return ReportFormat::Gradescope;
    if (name == u"classroom"_s)
        return ReportFormat::Classroom;
    if (name == u"coderunner"_s)
        return ReportFormat::CodeRunner;
    if (name == u"vpl"_s)
        return ReportFormat::Vpl;
    if (name == u"html"_s)
        return ReportFormat::Html;
    return std::nullopt;
}

QStringList caseMessages(const CaseResult &result)
{
    QStringList lines;
    if (result.status == CaseStatus::Loops)
        lines << u"the step limit stopped it"_s;
    else if (result.status == CaseStatus::Stopped)
        lines << u"stopped without success"_s;
    for (const Mismatch &m : result.mismatches)
        lines << u"%1: expected %2, got %3"_s.arg(m.name, m.expected, m.got);
    if (result.divergence)
        lines << u"first divergence: "_s + result.divergence->text();
    return lines;
}

QString verdictLine(const TestCase &testCase, const CaseResult &result)
{
    QString line = u"case %1: %2, %3 steps"_s.arg(testCase.name, caseStatusName(result.status))
                       .arg(result.steps);
    for (const QString &message : caseMessages(result))
        line += u"; "_s + message;
    return line;
}

namespace {

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
    write(out, u"{\"tool\":\"orb-grade\",\"version\":\"" ORB_VERSION "\",\"tests\":"_s);
    out.write(QJsonDocument(testsJson(run)).toJson(QJsonDocument::Compact));
    out.write(",\n\"submissions\":[\n");
    writeSubmissionTexts(out, run, ",\n", [&run](const SubmissionResult &s) {
        return QJsonDocument(submissionJson(run, s)).toJson(QJsonDocument::Compact);
    });
    QJsonArray points;
    for (const auto &[value, count] : histogram(run))
        points.append(QJsonObject{{u"points"_s, value}, {u"submissions"_s, count}});
    const QJsonObject totals{{u"submissions"_s, int(run.results.size())},
                             {u"passedAll"_s, passedAllCount(run)},
                             {u"maxPoints"_s, run.tests.maxPoints()},
                             {u"points"_s, points}};
    QJsonArray copies;
    for (const CopyGroup &group : findCopies(run.results))
        copies.append(
            QJsonObject{{u"kind"_s, copyKindName(group.kind)},
                        {u"submissions"_s, QJsonArray::fromStringList(group.submissions)}});
    out.write("\n],\n\"copies\":");
    out.write(QJsonDocument(copies).toJson(QJsonDocument::Compact));
    out.write(",\n\"totals\":");
    out.write(QJsonDocument(totals).toJson(QJsonDocument::Compact));
    out.write("}\n");
}

void writeCsvReport(QIODevice &out, const GradeRun &run)
{
    // The byte order mark makes spreadsheet programs read the file as UTF-8.
    out.write("\xEF\xBB\xBF");
    QStringList header{u"submission"_s, u"total"_s, u"max"_s};
    for (const TestCase &c : run.tests.cases)
        header << c.name;
    // The counts of the static checks come last, so that the earlier columns keep their places.
    header << u"first problem"_s << u"errors"_s << u"warnings"_s << u"notes"_s;
    auto writeRow = [&out](const QStringList &fields) {
        QStringList quoted;
        for (const QString &field : fields)
            quoted << csvField(field);
        write(out, quoted.join(u',') + u"\r\n"_s);
    };
    writeRow(header);
    const QString max = QString::number(run.tests.maxPoints());
    for (const SubmissionResult &s : run.results) {
        QStringList row{s.name, QString::number(s.points), max};
        for (const CaseResult &c : s.cases)
            row << caseStatusName(c.status);
        row << s.firstProblem(run.tests);
        for (const Severity severity : {Severity::Error, Severity::Warning, Severity::Note})
            row << (s.checked ? QString::number(s.findingCount(severity)) : QString());
        writeRow(row);
    }
}

// Text as XML 1.0 can hold it: a character it cannot (control characters other than tab and
// line ends, lone surrogates, U+FFFE, U+FFFF), which a file name or a cell read from a file may
// carry, becomes U+FFFD; the writer would otherwise drop it and lose the rest of the report.
static QString xmlText(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || QChar::isSurrogate(c) ||
            c == 0xFFFE || c == 0xFFFF)
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

void writeJunitReport(QIODevice &out, const GradeRun &run)
{
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    int failures = 0;
    int errors = 0;
    for (const SubmissionResult &s : run.results) {
        for (const CaseResult &c : s.cases) {
            if (!ran(c))
                ++errors;
            else if (c.status != CaseStatus::Passed)
                ++failures;
        }
    }
    const int caseCount = int(run.results.size() * size_t(run.tests.cases.size()));
    xml.writeStartElement(u"testsuites"_s);
    xml.writeAttribute(u"name"_s, u"orb-grade"_s);
    xml.writeAttribute(u"tests"_s, QString::number(caseCount));
    xml.writeAttribute(u"failures"_s, QString::number(failures));
    xml.writeAttribute(u"errors"_s, QString::number(errors));
    for (const SubmissionResult &s : run.results) {
        int suiteFailures = 0;
        for (const CaseResult &c : s.cases)
            suiteFailures += ran(c) && c.status != CaseStatus::Passed;
        xml.writeStartElement(u"testsuite"_s);
        xml.writeAttribute(u"name"_s, xmlText(s.name));
        xml.writeAttribute(u"tests"_s, QString::number(s.cases.size()));
        xml.writeAttribute(u"failures"_s, QString::number(suiteFailures));
        xml.writeAttribute(
            u"errors"_s,
            QString::number(s.document == CaseStatus::Passed ? 0 : int(s.cases.size())));
        xml.writeAttribute(u"skipped"_s, u"0"_s);
        xml.writeStartElement(u"properties"_s);
        xml.writeEmptyElement(u"property"_s);
        xml.writeAttribute(u"name"_s, u"points"_s);
        xml.writeAttribute(u"value"_s, pointsText(s.points, run.tests.maxPoints()));
        xml.writeEndElement();
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseResult &c = s.cases[i];
            xml.writeStartElement(u"testcase"_s);
            xml.writeAttribute(u"name"_s, xmlText(run.tests.cases[qsizetype(i)].name));
            xml.writeAttribute(u"classname"_s, xmlText(s.name));
            if (!ran(c)) {
                xml.writeStartElement(u"error"_s);
                xml.writeAttribute(u"type"_s, caseStatusName(c.status));
                xml.writeAttribute(u"message"_s, xmlText(s.firstProblem(run.tests)));
                xml.writeCharacters(
                    xmlText(s.readError.isEmpty() ? s.wrongCells.join(u'\n') : s.readError));
                xml.writeEndElement();
            } else if (c.status != CaseStatus::Passed) {
                const QStringList messages = caseMessages(c);
                xml.writeStartElement(u"failure"_s);
                xml.writeAttribute(u"type"_s, caseStatusName(c.status));
                xml.writeAttribute(
                    u"message"_s,
                    xmlText(messages.isEmpty() ? caseStatusName(c.status) : messages.first()));
                xml.writeCharacters(xmlText(messages.join(u'\n')));
                xml.writeEndElement();
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
}

void writeTapReport(QIODevice &out, const GradeRun &run)
{
    write(out, u"TAP version 14\n1..%1\n"_s.arg(run.results.size()));
    for (size_t n = 0; n < run.results.size(); ++n) {
        const SubmissionResult &s = run.results[n];
        QString text = u"# Subtest: %1\n    1..%2\n"_s.arg(tapText(s.name)).arg(s.cases.size());
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseResult &c = s.cases[i];
            const bool ok = c.status == CaseStatus::Passed;
            text += u"    %1 %2 - %3\n"_s.arg(ok ? u"ok"_s : u"not ok"_s)
                        .arg(i + 1)
                        .arg(tapText(run.tests.cases[qsizetype(i)].name));
            if (ok)
                continue;
            QStringList messages =
                ran(c) ? caseMessages(c) : QStringList{s.firstProblem(run.tests)};
            text += u"      ---\n      status: %1\n"_s.arg(caseStatusName(c.status));
            if (ran(c))
                text += u"      steps: %1\n"_s.arg(c.steps);
            text += u"      messages:\n"_s;
            for (const QString &m : messages)
                text += u"        - "_s + yamlString(m) + u'\n';
            text += u"      ...\n"_s;
        }
        text += u"%1 %2 - %3 # %4\n"_s.arg(s.allPassed() ? u"ok"_s : u"not ok"_s)
                    .arg(n + 1)
                    .arg(tapText(s.name))
                    .arg(u"points "_s + pointsText(s.points, run.tests.maxPoints()));
        write(out, text);
    }
}

void writeTable(QIODevice &out, const GradeRun &run)
{
    qsizetype nameWidth = QStringLiteral("submission").size();
    for (const SubmissionResult &s : run.results)
        nameWidth = std::max(nameWidth, s.name.size());
    std::vector<qsizetype> caseWidths;
    for (const TestCase &c : run.tests.cases)
        caseWidths.push_back(std::max<qsizetype>(c.name.size(), 10));
    const QString maxPoints = QString::number(run.tests.maxPoints());
    const qsizetype pointsWidth = std::max<qsizetype>(6, 2 * maxPoints.size() + 1);

    QString header = u"submission"_s.leftJustified(nameWidth) + u"  "_s;
    for (size_t i = 0; i < caseWidths.size(); ++i)
        header += run.tests.cases[qsizetype(i)].name.leftJustified(caseWidths[i]) + u"  "_s;
    header += u"points"_s.leftJustified(pointsWidth) + u"  first problem"_s;
    write(out, header + u'\n');
    for (const SubmissionResult &s : run.results) {
        QString line = s.name.leftJustified(nameWidth) + u"  "_s;
        for (size_t i = 0; i < s.cases.size(); ++i) {
            const CaseStatus status = s.cases[i].status;
            line += (status == CaseStatus::Passed ? u"✓"_s : caseStatusName(status))
                        .leftJustified(caseWidths[i]) +
                    u"  "_s;
        }
        line += pointsText(s.points, run.tests.maxPoints()).leftJustified(pointsWidth) + u"  "_s;
        line += s.firstProblem(run.tests);
        write(out, line.trimmed() + u'\n');
        // Notes alone are no cause for a line: legal tables have them.
        if (s.findingCount(Severity::Error) + s.findingCount(Severity::Warning) > 0)
            write(out, u"    checks: "_s + countsText(s) + u" (orb-check lists them)\n"_s);
        for (const CaseResult &c : s.cases) {
            if (c.divergence) {
                write(out, u"    first divergence: "_s + c.divergence->text() + u'\n');
                break;
            }
        }
    }
    QStringList counts;
    for (const auto &[value, count] : histogram(run))
        counts << u"%1×%2"_s.arg(value).arg(count);
    write(out, u"\nsubmissions: %1, passed all: %2, points (of %3): %4\n"_s.arg(run.results.size())
                   .arg(passedAllCount(run))
                   .arg(maxPoints, counts.join(u' ')));
}

namespace {

bool saveAtomically(const QString &path, const std::function<void(QIODevice &)> &writer,
                    QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = u"cannot write %1: %2"_s.arg(path, file.errorString());
        return false;
    }
    writer(file);
    if (file.error() != QFileDevice::NoError) {
        *error = u"cannot write %1: %2"_s.arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = u"cannot write %1: %2"_s.arg(path, file.errorString());
        return false;
    }
    return true;
}

// A gradescope file name for a submission: its name with .json for .orb, folders kept.
QString gradescopeFileName(const QString &name)
{
    QString file = name;
    if (file.endsWith(u".orb"_s))
        file.chop(4);
    // A name given as an absolute or upward path stays inside the report folder.
    file = QDir::cleanPath(file);
    while (file.startsWith(u"../"_s))
        file.remove(0, 3);
    while (file.startsWith(u'/'))
        file.remove(0, 1);
    return file + u".json"_s;
}

} // namespace

bool writeReport(ReportFormat format, const QString &path, const GradeRun &run,
                 QIODevice &standardOutput, QString *error)
{
    std::function<void(QIODevice &)> writer;
    switch (format) {
    case ReportFormat::Json:
        writer = [&run](QIODevice &out) { writeJsonReport(out, run); };
        break;
    case ReportFormat::Csv:
        writer = [&run](QIODevice &out) { writeCsvReport(out, run); };
        break;
    case ReportFormat::Junit:
        writer = [&run](QIODevice &out) { writeJunitReport(out, run); };
        break;
    case ReportFormat::Tap:
        writer = [&run](QIODevice &out) { writeTapReport(out, run); };
        break;
    case ReportFormat::Html:
        writer = [&run](QIODevice &out) { writeHtmlReport(out, run); };
        break;
    case ReportFormat::Classroom:
        writer = [&run](QIODevice &out) {
            writeClassroomResult(out, run, platformSubmission(run));
        };
        break;
    case ReportFormat::CodeRunner:
        writer = [&run](QIODevice &out) {
            writeCodeRunnerResult(out, run, platformSubmission(run));
        };
        break;
    case ReportFormat::Vpl:
        writer = [&run](QIODevice &out) { writeVplResult(out, run, platformSubmission(run)); };
        break;
    case ReportFormat::Gradescope:
        if (run.results.size() != 1) {
            if (path == u"-"_s) {
                *error = u"a gradescope report of several submissions needs a folder, not -"_s;
                return false;
            }
            if (!QDir().mkpath(path)) {
                *error = u"cannot create the folder %1"_s.arg(path);
                return false;
            }
            bool ok = true;
            for (const SubmissionResult &s : run.results) {
                const QString file = QDir(path).filePath(gradescopeFileName(s.name));
                QString fileError;
                if (!QDir().mkpath(QFileInfo(file).path())) {
                    fileError = u"cannot create the folder %1"_s.arg(QFileInfo(file).path());
                } else if (saveAtomically(
                               file, [&](QIODevice &out) { writeGradescopeResult(out, run, s); },
                               &fileError)) {
                    continue;
                }
                if (ok)
                    *error = fileError;
                ok = false;
            }
            return ok;
        }
        writer = [&run](QIODevice &out) { writeGradescopeResult(out, run, run.results.front()); };
        break;
    }
    if (path == u"-"_s) {
        writer(standardOutput);
        if (auto *file = qobject_cast<QFileDevice *>(&standardOutput);
            file && file->error() != QFileDevice::NoError) {
            *error = u"cannot write to standard output: %1"_s.arg(file->errorString());
            return false;
        }
        return true;
    }
    return saveAtomically(path, writer, error);
}

} // namespace orb
