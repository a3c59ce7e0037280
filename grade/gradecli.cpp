// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/gradecli.h"

#include "app/fileaccess.h"
#include "grade/grader.h"
#include "grade/reports.h"
#include "run/outputsink.h"
#include "run/terminaltext.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <thread>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// True when `path` lies in the folder `folder` (also through links).
bool isInside(const QString &path, const QString &folder)
{
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString canonicalPath = QFileInfo(path).canonicalFilePath();
    return !canonicalFolder.isEmpty() && !canonicalPath.isEmpty() &&
           (canonicalPath == canonicalFolder || canonicalPath.startsWith(canonicalFolder + u'/'));
}

void write(QIODevice &device, const QString &text)
{
    device.write(text.toUtf8());
}

QString gradeHelpText(QCommandLineParser &parser)
{
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd,
                 u"Usage: orb-grade [-j N] [--reference REF.orb] [--report FORMAT:PATH]... "
                 u"[--quiet] TESTS.orbtest [--] SUBMISSION..."_s);
    return text;
}

class ProgressBar {
public:
    ProgressBar(QIODevice &err, int total, bool shown) : err_(err), total_(total), shown_(shown) {}
    void update(int done)
    {
        if (!shown_ || total_ == 0)
            return;
        constexpr int width = 40;
        const int filled = int(qint64(done) * width / total_);
        write(err_, u"\r[%1%2] %3/%4"_s.arg(QString(filled, u'#'), QString(width - filled, u'.'))
                        .arg(done)
                        .arg(total_));
    }
    void clear()
    {
        if (shown_ && total_ > 0)
            write(err_, u"\r\x1b[K"_s);
    }

private:
    QIODevice &err_;
    int total_;
    bool shown_;
};

} // namespace

int runGradeCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err,
                        bool errIsTerminal)
{
    auto usageError = [&](const QString &message) {
        write(err,
              u"orb-grade: "_s + message + u"\nTry 'orb-grade --help' for more information.\n"_s);
        return int(GradeUsage);
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Grades ORB microprogram documents against a test file: every case runs on the "
        u"case's own data, press by press, as orb-run runs it.\n\n"
        u"Exit status: 0 every case of every submission passed; 1 some case did not pass;\n"
        u"2 nothing to grade (no document found); 4 the test file cannot be read or the\n"
        u"reference is unusable; 6 a report could not be written; 64 usage error (also a\n"
        u"report that would overwrite an input) or a mistake in the test file."_s);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption jobsOption(
        {u"j"_s, u"jobs"_s}, u"Grade on N threads (default: the number of cores)."_s, u"N"_s);
    const QCommandLineOption referenceOption(
        u"reference"_s,
        u"The teacher's solution: it must meet every case; expect items written NAME=? take its "
        u"final values, and a failed case names where the submission first parts from it."_s,
        u"REF.orb"_s);
    const QCommandLineOption reportOption(
        u"report"_s,
        u"Write a report: FORMAT json, csv, junit, tap or gradescope; PATH - for standard "
        u"output (then no table). Repeatable."_s,
        u"FORMAT:PATH"_s);
    const QCommandLineOption quietOption(u"quiet"_s, u"No progress bar."_s);
    parser.addOptions({jobsOption, referenceOption, reportOption, quietOption});
    parser.addPositionalArgument(u"tests"_s, u"The test file."_s, u"TESTS.orbtest"_s);
    parser.addPositionalArgument(u"submissions"_s,
                                 u"Documents, or folders searched for *.orb documents."_s,
                                 u"SUBMISSION..."_s);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(u"help-all"_s)) {
        write(out, gradeHelpText(parser));
        return GradeAllPassed;
    }
    if (parser.isSet(versionOption)) {
        write(out, u"orb-grade " ORB_VERSION "\n"_s);
        return GradeAllPassed;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(u"no test file given"_s);
    if (positional.size() < 2)
        return usageError(u"no submission given"_s);
    if (positional.mid(1).contains(u"-"_s))
        return usageError(u"submissions are files or folders; - is not one"_s);

    int threads = int(std::max(1u, std::thread::hardware_concurrency()));
    if (parser.isSet(jobsOption)) {
        bool ok = false;
        threads = parser.value(jobsOption).toInt(&ok);
        if (!ok || threads < 1 || threads > 256)
            return usageError(
                u"-j takes a number from 1 to 256, not \"%1\""_s.arg(parser.value(jobsOption)));
    }
    struct Report {
        ReportFormat format;
        QString path;
    };
    QList<Report> reports;
    bool reportToStandardOutput = false;
    for (const QString &value : parser.values(reportOption)) {
        const qsizetype colon = value.indexOf(u':');
        const std::optional<ReportFormat> format =
            colon > 0 ? reportFormat(value.left(colon)) : std::nullopt;
        if (!format || colon + 1 >= value.size())
            return usageError(u"--report takes FORMAT:PATH with FORMAT json, csv, junit, tap or "
                              u"gradescope, not \"%1\""_s.arg(value));
        const QString path = value.mid(colon + 1);
        if (path == u"-"_s) {
            if (reportToStandardOutput)
                return usageError(u"only one report can go to standard output"_s);
            reportToStandardOutput = true;
        }
        reports << Report{*format, path};
    }

    const QString testsPath = positional.constFirst();
    QString error;
    bool unreadable = false;
    std::optional<TestFile> tests = readTestFile(testsPath, &error, &unreadable);
    if (!tests) {
        write(err, u"orb-grade: "_s + error + u'\n');
        return unreadable ? GradeUnusable : GradeUsage;
    }
    const QString referencePath = parser.value(referenceOption);
    std::optional<Reference> reference;
    if (parser.isSet(referenceOption)) {
        reference = prepareReference(referencePath, *tests, &error);
        if (!reference) {
            write(err, u"orb-grade: "_s + error + u'\n');
            return GradeUnusable;
        }
    } else if (tests->needsReference()) {
        for (const TestCase &c : tests->cases) {
            for (const ExpectItem &item : c.expects) {
                if (item.fromReference) {
                    write(err, u"orb-grade: %1:%2: %3=? takes its value from a reference; "
                               u"give one with --reference\n"_s.arg(testsPath)
                                   .arg(item.line)
                                   .arg(item.expectation.name));
                    return GradeUsage;
                }
            }
        }
    }

    QList<SkippedFile> skipped;
    const std::optional<std::vector<Submission>> submissions =
        findSubmissions(positional.mid(1), &error, &skipped);
    if (!submissions)
        return usageError(error);
    // A report written over an input would destroy it: the reference, the test file or a
    // classmate's work (a file named "--report=csv:x.orb" in the class folder becomes an option
    // when a glob hands it over).
    {
        QStringList inputs{testsPath};
        if (parser.isSet(referenceOption))
            inputs << referencePath;
        for (const Submission &s : *submissions)
            inputs << s.path;
        inputs << positional.mid(1);
        for (const Report &report : reports) {
            if (report.path == u"-"_s)
                continue;
            for (const QString &input : inputs) {
                if (sameFile(report.path, input) ||
                    (report.format == ReportFormat::Gradescope && isInside(input, report.path)))
                    return usageError(
                        u"the report %1 would overwrite the input %2; write "
                        u"reports elsewhere, and put -- before the submissions"_s.arg(
                            terminalText(shownPath(report.path)), terminalText(shownPath(input))));
            }
        }
    }
    for (const SkippedFile &file : skipped)
        write(err, u"orb-grade: skipped %1: %2\n"_s.arg(terminalText(file.path), file.reason));
    if (submissions->empty())
        write(err, u"orb-grade: nothing to grade: no .orb document was found\n"_s);

    ProgressBar progress(err, int(submissions->size()),
                         errIsTerminal && !parser.isSet(quietOption));
    const std::vector<SubmissionResult> results =
        gradeAll(*submissions, *tests, reference ? &*reference : nullptr, threads,
                 [&progress](int done) { progress.update(done); });
    progress.clear();

    const GradeRun run{*tests,  testsPath, reference ? referencePath : QString(),
                       results, threads,   skipped};
    // Nothing graded is no success, whatever the reports say of it.
    int status = results.empty() ? GradeNothing
                 : std::all_of(results.cbegin(), results.cend(),
                               [](const SubmissionResult &s) { return s.allPassed(); })
                     ? GradeAllPassed
                     : GradeSomeFailed;
    for (const Report &report : reports) {
        if (!writeReport(report.format, report.path, run, out, &error)) {
            write(err, u"orb-grade: "_s + error + u'\n');
            status = GradeWriteFailed;
        }
    }
    if (!reportToStandardOutput)
        writeTable(out, run);
    return status;
}

int runTestsCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err)
{
    auto usageError = [&](const QString &message) {
        write(err, u"orb-run: "_s + message + u"\nTry 'orb-run --help' for more information.\n"_s);
        return int(RunUsage);
    };
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption testsOption(u"tests"_s, u"The test file."_s, u"FILE"_s);
    const QCommandLineOption caseOption(u"case"_s, u"Run only the case called NAME."_s, u"NAME"_s);
    parser.addOptions({testsOption, caseOption});
    parser.addPositionalArgument(u"document"_s, u"The document."_s, u"DOCUMENT.orb"_s);
    if (!parser.parse(arguments))
        return usageError(parser.errorText() +
                          u" (with --tests the data and the limits come from the test file)"_s);
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(u"no document given"_s);
    if (positional.size() > 1)
        return usageError(u"one document at a time; got %1"_s.arg(positional.size()));
    if (parser.values(testsOption).size() > 1)
        return usageError(u"one test file at a time"_s);

    QString error;
    std::optional<TestFile> tests = readTestFile(parser.value(testsOption), &error);
    if (!tests)
        return usageError(error);
    for (const TestCase &c : tests->cases) {
        for (const ExpectItem &item : c.expects) {
            if (item.fromReference)
                return usageError(
                    u"%1:%2: %3=? takes its value from a reference solution, "
                    u"which only orb-grade --reference gives"_s.arg(parser.value(testsOption))
                        .arg(item.line)
                        .arg(item.expectation.name));
        }
    }
    if (parser.isSet(caseOption)) {
        const int index = tests->caseIndex(parser.value(caseOption));
        if (index < 0)
            return usageError(
                u"the test file has no case called \"%1\""_s.arg(parser.value(caseOption)));
        tests->cases = {tests->cases[index]};
    }

    const QString &path = positional.constFirst();
    const LoadedSubmission loaded = loadSubmission(path);
    if (!loaded.readError.isEmpty()) {
        write(err, u"orb-run: "_s + terminalText(loaded.readError) + u'\n');
        return RunUnreadable;
    }
    if (!loaded.program) {
        for (const QString &line : loaded.wrongCells)
            write(err, line + u'\n');
        return RunWrongCells;
    }
    bool allPassed = true;
    // Every write is checked: verdicts that never arrived are no success.
    OutputSink verdicts(out);
    for (const TestCase &c : tests->cases) {
        const CaseResult result = gradeCase(*loaded.program, loaded.memory, c, nullptr);
        allPassed = allPassed && result.status == CaseStatus::Passed;
        verdicts << verdictLine(c, result) << '\n';
        verdicts.flushIfFull();
    }
    if (!verdicts.flush()) {
        if (!verdicts.brokenPipe())
            write(err, u"orb-run: cannot write the output: %1\n"_s.arg(verdicts.errorString()));
        return RunOutputFailed;
    }
    return allPassed ? RunSucceeded : RunMismatch;
}

} // namespace orb
