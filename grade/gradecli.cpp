// SPDX-License-Identifier: GPL-3.0-or-later

#include "grade/gradecli.h"

#include "app/fileaccess.h"
#include "grade/grader.h"
#include "grade/reports.h"
#include "run/outputsink.h"
#include "run/terminaltext.h"
#include "grade/studentcopy.h"

#include "grade/platformreports.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/resource.h>

#include <limits>

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

void writeText(QIODevice &device, const QString &text)
{
    device.write(text.toUtf8());
}

QString gradeHelpText(QCommandLineParser &parser)
{
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd,
                 u"Usage: orb-grade [-j N] [--reference REF.orb] [--report FORMAT:PATH]... "
                 u"[--student-feedback LEVEL] [--deadline SECONDS] [--quiet] TESTS.orbtest "
                 u"[--] SUBMISSION...\n"
                 u"       orb-grade --student-copy OUT.orbtest [--reference REF.orb] "
                 u"TESTS.orbtest"_s);
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
        writeText(err_,
                  u"\r[%1%2] %3/%4"_s.arg(QString(filled, u'#'), QString(width - filled, u'.'))
                      .arg(done)
                      .arg(total_));
    }
    void erase()
    {
        if (shown_ && total_ > 0)
            writeText(err_, u"\r\x1b[K"_s);
    }

private:
    QIODevice &err_;
    int total_;
    bool shown_;
};

// The student's copy of the test file, put in place atomically.
int writeStudentCopy(const QString &path, const QString &testsPath, const TestFile &tests,
                     QIODevice &err)
{
    QFile in(testsPath);
    if (!in.open(QIODevice::ReadOnly)) {
        writeText(err, u"orb-grade: cannot read the test file %1: %2\n"_s.arg(testsPath,
                                                                              in.errorString()));
        return GradeUnusable;
    }
    QString error;
    const std::optional<QByteArray> copy =
        makeStudentCopy(in.read(maxTestFileBytes + 1), tests, testsPath, &error);
    if (!copy) {
        writeText(err, u"orb-grade: "_s + error + u'\n');
        return GradeUsage;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(*copy) != copy->size() || !out.commit()) {
        writeText(err, u"orb-grade: cannot write %1: %2\n"_s.arg(path, out.errorString()));
        return GradeWriteFailed;
    }
    return GradeAllPassed;
}

} // namespace

namespace {

int runGrade(const QStringList &arguments, QIODevice &out, QIODevice &err, bool errIsTerminal);

// The PATH of a --report coderunner:PATH among the arguments, if there is one.
std::optional<QString> codeRunnerPath(const QStringList &arguments)
{
    const QString prefix = u"coderunner:"_s;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        QString value;
        if (arguments[i] == u"--report"_s && i + 1 < arguments.size())
            value = arguments[i + 1];
        else if (arguments[i].startsWith(u"--report="_s))
            value = arguments[i].mid(9);
        if (value.startsWith(prefix) && value.size() > prefix.size())
            return value.mid(prefix.size());
    }
    return std::nullopt;
}

// The threads an address-space limit (ulimit -v, as a Jobe sandbox sets) leaves room for: each
// may take a stack and an allocator arena of its own, and a thread the system refuses later,
// in Qt's pool, would never run its task.
int threadsWithinAddressSpace(qint64 *limitKb)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    constexpr qint64 base = 128 << 20;
    constexpr qint64 perThread = 72 << 20;
    *limitKb = qint64(limit.rlim_cur / 1024);
    return int(std::clamp<qint64>((qint64(limit.rlim_cur) - base) / perThread, 1, 256));
}

QBuffer *capturedMessages = nullptr;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (capturedMessages)
        capturedMessages->write(message.toUtf8() + '\n');
}

} // namespace

int runGradeCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err,
                        bool errIsTerminal)
{
    const std::optional<QString> codeRunner = codeRunnerPath(arguments);
    if (!codeRunner)
        return runGrade(arguments, out, err, errIsTerminal);
    // CodeRunner takes anything on standard error for a broken question: what would go there
    // (Qt's messages too) goes into the report instead.
    QBuffer messages;
    messages.open(QIODevice::WriteOnly);
    capturedMessages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    const int status = runGrade(arguments, out, messages, false);
    qInstallMessageHandler(previous);
    capturedMessages = nullptr;
    if (status == GradeAllPassed || status == GradeSomeFailed || status == GradeNothing ||
        status == GradeDeadline)
        return status;
    const QString message = QString::fromUtf8(messages.data());
    if (*codeRunner == u"-"_s) {
        writeCodeRunnerFailure(out, message);
    } else {
        QSaveFile file(*codeRunner);
        if (file.open(QIODevice::WriteOnly)) {
            writeCodeRunnerFailure(file, message);
            file.commit();
        }
    }
    return status;
}

namespace {

int runGrade(const QStringList &arguments, QIODevice &out, QIODevice &err, bool errIsTerminal)
{
    auto usageError = [&](const QString &message) {
        writeText(err, u"orb-grade: "_s + message +
                           u"\nTry 'orb-grade --help' for more information.\n"_s);
        return int(GradeUsage);
    };

    const GradeClock::time_point started = GradeClock::now();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Grades ORB microprogram documents against a test file: every case runs on the "
        u"case's own data, press by press, as orb-run runs it.\n\n"
        u"Exit status: 0 every case of every submission passed; 1 some case did not pass;\n"
        u"2 nothing to grade (no document found); 3 the deadline came first and some cases\n"
        u"were not run; 4 the test file cannot be read or the reference is unusable; 6 a\n"
        u"report could not be written; 64 usage error (also a report that would overwrite\n"
        u"an input) or a mistake in the test file."_s);
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
        u"Write a report: FORMAT json, csv, junit, tap, html, gradescope, classroom, "
        u"coderunner or vpl; PATH - for standard output (then no table). Repeatable."_s,
        u"FORMAT:PATH"_s);
    const QCommandLineOption quietOption(u"quiet"_s, u"No progress bar."_s);
    const QCommandLineOption studentCopyOption(
        u"student-copy"_s,
        u"Write the test file a student may have to OUT (hidden cases left out, ? values "
        u"filled in from --reference) and grade nothing."_s,
        u"OUT.orbtest"_s);
    const QCommandLineOption feedbackOption(
        u"student-feedback"_s,
        u"What the student's reports (gradescope, classroom, coderunner, vpl) say of a failed "
        u"visible case: result, values (the default) or divergence."_s,
        u"LEVEL"_s, u"values"_s);
    const QCommandLineOption deadlineOption(
        u"deadline"_s,
        u"Stop grading after SECONDS: the cases not finished are reported not-run and the "
        u"reports are written."_s,
        u"SECONDS"_s);
    parser.addOptions({jobsOption, referenceOption, reportOption, quietOption, studentCopyOption,
                       feedbackOption, deadlineOption});
    parser.addPositionalArgument(u"tests"_s, u"The test file."_s, u"TESTS.orbtest"_s);
    parser.addPositionalArgument(u"submissions"_s,
                                 u"Documents, or folders searched for *.orb documents."_s,
                                 u"SUBMISSION..."_s);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(u"help-all"_s)) {
        writeText(out, gradeHelpText(parser));
        return GradeAllPassed;
    }
    if (parser.isSet(versionOption)) {
        writeText(out, u"orb-grade " ORB_VERSION "\n"_s);
        return GradeAllPassed;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(u"no test file given"_s);
    const bool studentCopy = parser.isSet(studentCopyOption);
    if (studentCopy && positional.size() > 1)
        return usageError(u"--student-copy takes the test file only, no submission"_s);
    if (studentCopy && QFileInfo(parser.value(studentCopyOption)) == QFileInfo(positional[0]))
        return usageError(u"--student-copy would overwrite the test file itself"_s);
    if (!studentCopy && positional.size() < 2)
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
            return usageError(
                u"--report takes FORMAT:PATH with FORMAT json, csv, junit, tap, "
                u"html, gradescope, classroom, coderunner or vpl, not \"%1\""_s.arg(value));
        const QString path = value.mid(colon + 1);
        if (path == u"-"_s) {
            if (reportToStandardOutput)
                return usageError(u"only one report can go to standard output"_s);
            reportToStandardOutput = true;
        }
        reports << Report{*format, path};
    }

    const std::optional<StudentFeedback> feedback =
        studentFeedbackLevel(parser.value(feedbackOption));
    if (!feedback)
        return usageError(
            u"--student-feedback takes result, values or divergence, not \"%1\""_s.arg(
                parser.value(feedbackOption)));
    GradeLimits limits;
    if (parser.isSet(deadlineOption)) {
        bool ok = false;
        const double seconds = parser.value(deadlineOption).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 1e6)
            return usageError(u"--deadline takes a number of seconds above 0, not \"%1\""_s.arg(
                parser.value(deadlineOption)));
        limits.deadline = started + std::chrono::duration_cast<GradeClock::duration>(
                                        std::chrono::duration<double>(seconds));
    }

    const QString &testsPath = positional.constFirst();
    QString error;
    bool unreadable = false;
    std::optional<TestFile> tests = readTestFile(testsPath, &error, &unreadable);
    if (!tests) {
        writeText(err, u"orb-grade: "_s + error + u'\n');
        return unreadable ? GradeUnusable : GradeUsage;
    }
    const QString referencePath = parser.value(referenceOption);
    std::optional<Reference> reference;
    if (parser.isSet(referenceOption)) {
        reference = prepareReference(referencePath, *tests, &error);
        if (!reference) {
            writeText(err, u"orb-grade: "_s + error + u'\n');
            return GradeUnusable;
        }
    } else if (tests->needsReference()) {
        for (const TestCase &c : tests->cases) {
            for (const ExpectItem &item : c.expects) {
                if (item.fromReference) {
                    writeText(err, u"orb-grade: %1:%2: %3=? takes its value from a reference; "
                                   u"give one with --reference\n"_s.arg(testsPath)
                                       .arg(item.line)
                                       .arg(item.expectation.name));
                    return GradeUsage;
                }
            }
        }
    }

    if (studentCopy)
        return writeStudentCopy(parser.value(studentCopyOption), testsPath, *tests, err);

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
        writeText(err, u"orb-grade: skipped %1: %2\n"_s.arg(terminalText(file.path), file.reason));
    if (submissions->empty())
        writeText(err, u"orb-grade: nothing to grade: no .orb document was found\n"_s);

    qint64 limitKb = 0;
    if (const int room = threadsWithinAddressSpace(&limitKb);
        room < std::min(threads, int(submissions->size()))) {
        writeText(err, u"orb-grade: note: an address-space limit of %1 KB leaves room for %2 "
                       u"threads; grading on %2\n"_s.arg(limitKb)
                           .arg(room));
        threads = room;
    }

    ProgressBar progress(err, int(submissions->size()),
                         errIsTerminal && !parser.isSet(quietOption));
    const std::vector<SubmissionResult> results = gradeAll(
        *submissions, *tests, reference ? &*reference : nullptr, threads,
        [&progress](int done) { progress.update(done); }, &limits);
    progress.erase();
    const int wanted = std::clamp(threads, 1, std::max(1, int(submissions->size())));
    if (limits.threadsStarted < wanted) {
        writeText(err, u"orb-grade: note: the system gave %1 of %2 threads; graded on %1\n"_s
                           .arg(limits.threadsStarted)
                           .arg(wanted));
        threads = limits.threadsStarted;
    }

    GradeRun run{*tests, testsPath, reference ? referencePath : QString(), results, threads};
    run.skipped = skipped;
    run.feedback = *feedback;
    run.seconds = std::chrono::duration<double>(GradeClock::now() - started).count();
    const bool notRun =
        std::any_of(results.cbegin(), results.cend(), [](const SubmissionResult &s) {
            return std::any_of(s.cases.cbegin(), s.cases.cend(),
                               [](const CaseResult &c) { return c.status == CaseStatus::NotRun; });
        });
    // Nothing graded is no success, whatever the reports say of it.
    int status = results.empty() ? GradeNothing
                 : std::all_of(results.cbegin(), results.cend(),
                               [](const SubmissionResult &s) { return s.allPassed(); })
                     ? GradeAllPassed
                 : notRun ? GradeDeadline
                          : GradeSomeFailed;
    for (const Report &report : reports) {
        if (!writeReport(report.format, report.path, run, out, &error)) {
            writeText(err, u"orb-grade: "_s + error + u'\n');
            status = GradeWriteFailed;
        }
    }
    if (!reportToStandardOutput)
        writeTable(out, run);
    return status;
}

} // namespace

int runTestsCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err)
{
    auto usageError = [&](const QString &message) {
        writeText(err,
                  u"orb-run: "_s + message + u"\nTry 'orb-run --help' for more information.\n"_s);
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
        writeText(err, u"orb-run: "_s + terminalText(loaded.readError) + u'\n');
        return RunUnreadable;
    }
    if (!loaded.program) {
        for (const QString &line : loaded.wrongCells)
            writeText(err, line + u'\n');
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
            writeText(err, u"orb-run: cannot write the output: %1\n"_s.arg(verdicts.errorString()));
        return RunOutputFailed;
    }
    return allPassed ? RunSucceeded : RunMismatch;
}

} // namespace orb
