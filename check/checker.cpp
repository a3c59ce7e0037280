// SPDX-License-Identifier: GPL-3.0-or-later

#include "check/checker.h"

#include "analysis/automatongraph.h"
#include "app/fileaccess.h"
#include "cells/cellproblem.h"
#include "run/terminaltext.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// The column headings of the editor's table.
const char16_t *const fieldNames[fieldCount] = {u"Исх. сост.", u"След. сост.", u"Условия перехода",
                                                u"Управляющие сигналы"};

QJsonArray numbers(const QList<int> &list)
{
    QJsonArray array;
    for (int n : list)
        array.append(n);
    return array;
}

QString findingLine(const QString &path, const Finding &finding)
{
    QString line = terminalText(path);
    if (finding.row() > 0)
        line += u':' + QString::number(finding.row());
    return line + u": "_s + severityName(finding.severity) + u": "_s + finding.code + u": "_s +
           finding.message + u'\n';
}

QString countLine(const DocumentCheck &check)
{
    return u"%1: ошибок %2, предупреждений %3, замечаний %4\n"_s.arg(terminalText(check.path))
        .arg(check.count(Severity::Error))
        .arg(check.count(Severity::Warning))
        .arg(check.count(Severity::Note));
}

// Writes all of bytes; false when the device refused some of it.
bool writeAll(QIODevice &device, const QByteArray &bytes)
{
    return device.write(bytes) == bytes.size();
}

QString helpText(QCommandLineParser &parser)
{
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(
        0, firstLineEnd,
        u"Usage: orb-check [--format text|json] [--dot PATH] [--strict] DOCUMENT.orb..."_s);
    return text;
}

} // namespace

int DocumentCheck::count(Severity severity) const
{
    return int(std::count_if(findings.begin(), findings.end(),
                             [&](const Finding &f) { return f.severity == severity; }));
}

int DocumentCheck::status(bool strict) const
{
    switch (outcome) {
    case Outcome::Unreadable:
        return CheckUnreadable;
    case Outcome::WrongCells:
        return CheckWrongCells;
    case Outcome::Checked:
        break;
    }
    if (count(Severity::Error))
        return CheckErrors;
    if (count(Severity::Warning) || (strict && count(Severity::Note)))
        return CheckWarnings;
    return CheckClean;
}

QString loadMessage(const LoadNotice &notice)
{
    // Russian for students, whole: the loader's English details stay in the loader's report.
    static const std::pair<const char16_t *, const char16_t *> texts[] = {
        {u"load-count-not-a-number",
         u"число строк в начале файла — не число; прочитана одна строка"},
        {u"load-count-too-small",
         u"в файле больше строк таблицы, чем указано в его начале; лишние прочитаны как память"},
        {u"load-count-too-large", u"файл кончается раньше, чем указанное в его начале число строк"},
        {u"load-over-500", u"в файле больше 500 строк; строки после 500-й не загружены"},
        {u"load-memory-missing", u"в файле нет памяти; все байты памяти — 00"},
        {u"load-memory-short", u"память в файле короче 256 байт; остальные байты — 00"},
        {u"load-memory-long", u"память в файле длиннее 256 байт; лишнее не прочитано"},
        {u"load-memory-not-hex",
         u"в памяти есть символы, которые не являются шестнадцатеричными цифрами"},
        {u"load-text-cut", u"текст ячейки длиннее, чем она вмещает, и обрезан, как в редакторе"},
        {u"load-looks-like-utf8",
         u"файл похож на сохранённый в UTF-8; он прочитан в Windows-1251, как в редакторе"},
    };
    for (const auto &[code, text] : texts) {
        if (notice.code == QStringView(code))
            return QString::fromUtf16(text);
    }
    return notice.message;
}

DocumentCheck checkDocument(const QString &path)
{
    DocumentCheck check;
    check.path = shownPath(path);
    ReadError error;
    LoadReport report;
    const std::optional<LoadedDocument> loaded = readDocumentFile(path, &error, &report);
    if (!loaded) {
        // As orb-run says it.
        check.outcome = DocumentCheck::Outcome::Unreadable;
        check.problem = error.notADocument()
                            ? u"%1 is not an ORB document: %2"_s.arg(check.path, error.message)
                            : u"cannot read %1: %2"_s.arg(check.path, error.message);
        return check;
    }
    return checkLoadedDocument(path, openDocument(*loaded), report);
}

DocumentCheck checkLoadedDocument(const QString &path, const OpenedDocument &document,
                                  const LoadReport &report)
{
    DocumentCheck check;
    check.path = path;
    // What the loader reinterpreted, reported whatever follows.
    QList<Finding> loadFindings;
    for (const LoadNotice &notice : report) {
        loadFindings.append({notice.code,
                             Severity::Warning,
                             notice.row > 0 ? QList<int>{notice.row} : QList<int>{},
                             {},
                             loadMessage(notice)});
    }
    // A wrong cell's parsed form means nothing, so such a table is not analysed.
    for (int row = 0; row < document.table.rowCount(); ++row) {
        for (int field = 0; field < fieldCount; ++field) {
            const HeadlessTable::Cell &cell = document.table.row(row).cells[size_t(field)];
            if (cell.correct)
                continue;
            check.outcome = DocumentCheck::Outcome::WrongCells;
            std::array<QString, 4> texts;
            for (int f = 0; f < fieldCount; ++f)
                texts[size_t(f)] = document.table.row(row).cells[size_t(f)].text;
            const std::optional<CellProblem> problem = rowCellProblem(texts, field);
            Finding finding{u"wrong-cell"_s, Severity::Error, {row + 1}, {}, QString()};
            // The reason quotes the text itself.
            finding.message = u"строка %1, «%2»: %3"_s.arg(row + 1).arg(
                QString::fromUtf16(fieldNames[field]),
                problem ? problem->message : u"ячейка с ошибкой «"_s + cell.text + u'»');
            check.findings.append(finding);
        }
    }
    if (check.outcome == DocumentCheck::Outcome::Checked) {
        check.program = Program(HeadlessTableSource(document.table));
        check.analysis = analyzeProgram(check.program);
        check.findings = check.analysis.findings;
    }
    // Sorted into the rest by row, a notice without a row first.
    check.findings.append(loadFindings);
    std::stable_sort(check.findings.begin(), check.findings.end(),
                     [](const Finding &a, const Finding &b) { return a.row() < b.row(); });
    return check;
}

QJsonObject findingJson(const Finding &finding)
{
    return {{u"code"_s, finding.code},
            {u"severity"_s, severityName(finding.severity)},
            {u"rows"_s, numbers(finding.rows)},
            {u"states"_s, numbers(finding.states)},
            {u"message"_s, finding.message}};
}

QJsonObject documentJson(const DocumentCheck &check)
{
    QJsonObject object{{u"path"_s, check.path}};
    switch (check.outcome) {
    case DocumentCheck::Outcome::Checked:
        object[u"outcome"_s] = u"checked"_s;
        break;
    case DocumentCheck::Outcome::WrongCells:
        object[u"outcome"_s] = u"wrong-cells"_s;
        break;
    case DocumentCheck::Outcome::Unreadable:
        object[u"outcome"_s] = u"unreadable"_s;
        object[u"problem"_s] = check.problem;
        break;
    }
    object[u"counts"_s] = QJsonObject{{u"error"_s, check.count(Severity::Error)},
                                      {u"warning"_s, check.count(Severity::Warning)},
                                      {u"note"_s, check.count(Severity::Note)}};
    QJsonArray findings;
    for (const Finding &finding : check.findings)
        findings.append(findingJson(finding));
    object[u"findings"_s] = findings;
    return object;
}

int checkCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err)
{
    auto usageError = [&](const QString &message) {
        writeAll(err, (u"orb-check: "_s + message +
                       u"\nTry 'orb-check --help' for more information.\n"_s)
                          .toUtf8());
        return int(CheckUsage);
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Checks ORB microprogram documents without running them: states that no run reaches or "
        u"that have no rows, rows that are never taken, signals that are never executed, "
        u"conditions on flags that are never set, programs that cannot reach y70.\n\n"
        u"Exit status (the worst over all documents): 0 nothing above a note; 1 warnings\n"
        u"(with --strict also notes); 2 errors; 3 wrong cells; 4 a file cannot be read or is\n"
        u"not a document; 6 the report or the graph could not be written; 64 usage error."_s);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption formatOption(
        u"format"_s, u"text (one line per finding, like a compiler's) or json."_s, u"FORMAT"_s,
        u"text"_s);
    const QCommandLineOption dotOption(
        u"dot"_s,
        u"Write the automaton as a Graphviz DOT graph to PATH, or with - to standard output "
        u"(the report then goes to standard error). Exactly one document."_s,
        u"PATH"_s);
    const QCommandLineOption strictOption(u"strict"_s,
                                          u"Count notes as warnings in the exit status."_s);
    parser.addOptions({formatOption, dotOption, strictOption});
    parser.addPositionalArgument(u"documents"_s, u"The microprogram documents to check."_s,
                                 u"DOCUMENT.orb..."_s);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(u"help-all"_s))
        return writeAll(out, helpText(parser).toUtf8()) ? CheckClean : CheckNotWritten;
    if (parser.isSet(versionOption))
        return writeAll(out, "orb-check " ORB_VERSION "\n") ? CheckClean : CheckNotWritten;

    const QString format = parser.value(formatOption);
    if (format != u"text" && format != u"json")
        return usageError(u"--format takes text or json, not \"%1\""_s.arg(format));
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(u"no document given"_s);
    const bool dot = parser.isSet(dotOption);
    const QString dotPath = parser.value(dotOption);
    if (dot && paths.size() != 1)
        return usageError(u"--dot takes exactly one document; got %1"_s.arg(paths.size()));
    if (dot && dotPath.isEmpty())
        return usageError(u"--dot needs a file name or -"_s);
    const bool strict = parser.isSet(strictOption);
    const bool dotToOut = dot && dotPath == u"-";
    QIODevice &report = dotToOut ? err : out;

    QList<DocumentCheck> checks;
    int status = CheckClean;
    QByteArray problems;
    for (const QString &path : paths) {
        checks << checkDocument(path);
        status = std::max(status, checks.last().status(strict));
        if (checks.last().outcome == DocumentCheck::Outcome::Unreadable)
            problems += (u"orb-check: "_s + terminalText(checks.last().problem) + u'\n').toUtf8();
    }
    bool written = problems.isEmpty() || writeAll(err, problems);

    QByteArray text;
    if (format == u"json") {
        QJsonArray documents;
        for (const DocumentCheck &check : checks)
            documents.append(documentJson(check));
        const QJsonObject root{{u"tool"_s, u"orb-check"_s},
                               {u"version"_s, QStringLiteral(ORB_VERSION)},
                               {u"strict"_s, strict},
                               {u"status"_s, status},
                               {u"documents"_s, documents}};
        text = QJsonDocument(root).toJson(QJsonDocument::Indented);
    } else {
        for (const DocumentCheck &check : checks) {
            if (check.outcome == DocumentCheck::Outcome::Unreadable)
                continue;
            QString lines;
            for (const Finding &finding : check.findings)
                lines += findingLine(check.path, finding);
            text += (lines + countLine(check)).toUtf8();
        }
    }

    if (dot) {
        const DocumentCheck &check = checks.first();
        if (check.outcome == DocumentCheck::Outcome::Checked) {
            const QByteArray graph = writeDot(automatonGraph(check.program, check.analysis));
            if (dotToOut) {
                written = writeAll(out, graph) && written;
            } else {
                QString error;
                if (!writeOutputFile(
                        dotPath, [&graph](QIODevice &file) { file.write(graph); }, &error)) {
                    writeAll(err, (u"orb-check: "_s + terminalText(error) + u'\n').toUtf8());
                    written = false;
                }
            }
        }
    }
    errno = 0;
    if (!writeAll(report, text)) {
        // A report the system did not take is said so, with its reason (a full disk).
        writeAll(
            err,
            u"orb-check: cannot write the report: %1\n"_s.arg(writeErrorString(report)).toUtf8());
        written = false;
    }
    if (!written)
        return CheckNotWritten;
    return status;
}

} // namespace orb
