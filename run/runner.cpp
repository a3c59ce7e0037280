// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/runner.h"

#include "sim/registers.h"

#include <QCommandLineParser>
#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// The names of how a run ended, by RunStatus: success, stopped, limit, and break (status 7).
QString endName(int status)
{
    static const QString names[] = {u"success"_s, u"stopped"_s, u"limit"_s};
    return status == RunBreak ? u"break"_s : names[status];
}

// A whole decimal number of ASCII digits, nothing around it.
std::optional<int> parseCount(QStringView text, int max)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > max)
        return std::nullopt;
    return value;
}

void writeSummary(OutputSink &out, const RunResult &result, int maxSteps)
{
    if (result.end == RunLimit)
        out << u"Перемотка остановлена: счётчик тактов превысил "_s << maxSteps << '\n';
    else if (result.watchStop)
        out << u"Остановлено наблюдением: "_s << result.watchStop->reason(WatchNames::Ascii)
            << '\n';
    else if (result.breakRow)
        out << u"Остановлено в точке останова: строка "_s << result.breakRow << '\n';
    else
        out << result.endText << '\n';
    out << "steps=" << result.steps << '\n';
    // The summary lists the registers and then the flags, a line of the table's per line.
    const auto &table = registerTable();
    for (int i = 0; i < registerTableSize; ++i) {
        const RegisterInfo &info = table[size_t(i)];
        out << info.name << '=' << formatRegisterValue(info, info.read(result.processor));
        const bool lineEnds =
            i + 1 == registerTableSize || table[size_t(i + 1)].summaryLine != info.summaryLine;
        out << (lineEnds ? '\n' : ' ');
    }
}

void writeMemory(OutputSink &out, const ByteArrayMemory &memory)
{
    for (int address = 0; address < memoryCellCount; ++address)
        out << formatHex(memory.bytes[size_t(address)]) << ((address & 15) == 15 ? '\n' : ' ');
}

// The mismatches between the expectations and the final state, one line each.
QStringList compareExpectations(const QList<Expectation> &expectations, const RunResult &result,
                                const ByteArrayMemory &memory)
{
    QStringList mismatches;
    const Processor &p = result.processor;
    for (const Expectation &e : expectations) {
        QString expected;
        QString got;
        switch (e.kind) {
        case Expectation::Kind::End:
            expected = endName(e.value);
            got = endName(result.end);
            break;
        case Expectation::Kind::Register:
            expected = formatHex(e.value);
            got = formatHex(registerTable()[size_t(e.index)].read(p));
            break;
        case Expectation::Kind::Flag:
            expected = QString::number(e.value);
            got = QString::number(registerTable()[size_t(registerCount + e.index)].read(p));
            break;
        case Expectation::Kind::Memory:
            expected = formatHex(e.value);
            got = formatHex(memory.bytes[size_t(e.index)]);
            break;
        }
        if (expected != got)
            mismatches << e.name + u": expected "_s + expected + u", got "_s + got;
    }
    return mismatches;
}

const QString usageLine = u"Usage: orb-run [--input HEX]... [--max-steps N] [--trace] [--memory] "
                          u"[--expect FILE] [--break ROW]... [--watch NAME[=VALUE]]... [--] "
                          u"DOCUMENT.orb|-\n"
                          u"       orb-run --tests FILE [--case NAME] [--] DOCUMENT.orb"_s;

QString helpText(QCommandLineParser &parser)
{
    // The usage line names the program as users call it, not the path it was started from.
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd, usageLine);
    return text;
}

// One warning line per kind of notice; the notices of one kind (texts cut in several cells)
// share their line.
QStringList loadWarnings(const LoadReport &report)
{
    QStringList codes;
    QHash<QString, QStringList> messages;
    for (const LoadNotice &notice : report) {
        if (!messages.contains(notice.code))
            codes << notice.code;
        messages[notice.code] << notice.message;
    }
    QStringList lines;
    for (const QString &code : codes) {
        const QStringList &list = messages[code];
        constexpr qsizetype shown = 5;
        QString line = list.mid(0, shown).join(u"; "_s);
        if (list.size() > shown)
            line += u"; and %1 more"_s.arg(list.size() - shown);
        lines << line;
    }
    return lines;
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine result;
    auto usage = [&](const QString &message) {
        result.action = CommandLine::Action::Usage;
        result.text = message;
        return result;
    };

    QCommandLineParser parser;
    // "-33-gus.orb" is one unknown option, not the letters 3, 3, -, g, ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        u"Runs an ORB microprogram document without a window, press by press, as the "
        u"execution window does. DOCUMENT.orb may be - for standard input; -- ends the "
        u"options, for a document whose name starts with a dash.\n\n"
        u"Exit status: 0 stopped by y70; 1 stopped without success (no transition);\n"
        u"2 the step limit stopped it; 3 the document has wrong cells (listed on standard\n"
        u"error, nothing is run); 4 the file cannot be read or is not a document;\n"
        u"5 the final state differs from --expect; 6 the output could not be written;\n"
        u"7 stopped at a breakpoint (--break) or by a watch (--watch); 64 usage error.\n\n"
        u"Warnings about what the loader had to reinterpret (row count, memory, texts cut)\n"
        u"and about unused --input bytes go to standard error; they change neither the run\n"
        u"nor the exit status."_s);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption inputOption(
        u"input"_s,
        u"One data byte (one or two hexadecimal digits) for the next y66, in the order given. "
        u"When none is left, y66 leaves A unchanged."_s,
        u"HEX"_s);
    const QCommandLineOption maxStepsOption(
        u"max-steps"_s,
        u"Before each press, stop when the step counter has passed N (1 to 100000000; "
        u"default 999)."_s,
        u"N"_s, QString::number(defaultMaxSteps));
    const QCommandLineOption traceOption(
        u"trace"_s, u"Print one JSON object per press, one per line, then the end object."_s);
    const QCommandLineOption memoryOption(
        u"memory"_s, u"Print the final memory after the summary: 16 lines of 16 bytes."_s);
    const QCommandLineOption expectOption(
        u"expect"_s,
        u"Check the final state against FILE: lines NAME=VALUE (end, RK1-RK4, RON0-RON15, A, B, "
        u"PC, SP, RI, RA, RB, R, S1-S3, X4-X1, Z, N, C, P, Maa); prints OK or one line per "
        u"difference, then \"result: ok|mismatch; end: success|stopped|limit|break\". "
        u"end=break (with --break or --watch) expects the run to stop at a breakpoint or a "
        u"watch."_s,
        u"FILE"_s);
    const QCommandLineOption breakOption(
        u"break"_s,
        u"Stop with status 7 after the press that arrives at table row ROW (from 1), as the "
        u"execution window's run to the end stops at a breakpoint. Repeatable."_s,
        u"ROW"_s);
    const QCommandLineOption watchOption(
        u"watch"_s,
        u"Stop with status 7 after the press whose microoperation changes NAME (a register or "
        u"flag as in --expect) or writes the memory byte Maa; with =VALUE only when it becomes "
        u"VALUE (hexadecimal, 0 or 1 for a flag), as the execution window's watches stop a run "
        u"to the end. Repeatable; the first watch given names the reason."_s,
        u"NAME[=VALUE]"_s);
    // Only listed here: main() hands a command line with --tests to the grading code, which
    // parses it itself.
    const QCommandLineOption testsOption(
        u"tests"_s,
        u"Grade the document on every case of the test FILE (see orb-grade), each on its own "
        u"data, printing one verdict line per case; status 0 when every case passed, else 5. "
        u"The data and limits come from FILE, so --input, --max-steps, --trace, --memory, "
        u"--expect, --break and --watch cannot be given with it."_s,
        u"FILE"_s);
    const QCommandLineOption caseOption(
        u"case"_s, u"With --tests: run only the case called NAME."_s, u"NAME"_s);
    parser.addOptions({inputOption, maxStepsOption, traceOption, memoryOption, expectOption,
                       breakOption, watchOption, testsOption, caseOption});
    parser.addPositionalArgument(u"document"_s,
                                 u"The microprogram document to run; - reads standard input."_s,
                                 u"DOCUMENT.orb"_s);

    // An unknown option is echoed by the parser; a very long one is cut.
    if (!parser.parse(arguments))
        return usage(terminalText(parser.errorText(), false, 2 * echoLength));
    if (parser.isSet(helpOption) || parser.isSet(u"help-all"_s)) {
        result.action = CommandLine::Action::Help;
        result.text = helpText(parser);
        return result;
    }
    // main() sends every command line with --tests elsewhere; here it only comes from a caller
    // that did not.
    if (parser.isSet(testsOption))
        return usage(u"--tests is not handled by this entry point"_s);
    if (parser.isSet(caseOption))
        return usage(u"--case picks a case of a test file: give --tests FILE"_s);
    if (parser.isSet(versionOption)) {
        result.action = CommandLine::Action::Version;
        result.text = u"orb-run " ORB_VERSION "\n"_s;
        return result;
    }

    // The values first: "--max-steps doc.orb" took the document as its value.
    RunOptions &options = result.options;
    for (const QString &text : parser.values(inputOption)) {
        const std::optional<int> byte = parseHexByte(text);
        if (!byte)
            return usage(
                u"--input takes one or two hexadecimal digits, not %1"_s.arg(echoText(text)));
        options.inputs << *byte;
    }
    for (const QCommandLineOption *single : {&maxStepsOption, &expectOption}) {
        if (parser.values(*single).size() > 1)
            return usage(u"--%1 is given more than once"_s.arg(single->names().constFirst()));
    }
    {
        const QString text = parser.value(maxStepsOption);
        const std::optional<int> count = parseCount(text, maxMaxSteps);
        if (!count)
            return usage(u"--max-steps takes a number from 1 to %1, not %2"_s.arg(maxMaxSteps)
                             .arg(echoText(text)));
        options.maxSteps = *count;
    }
    for (const QString &text : parser.values(breakOption)) {
        const std::optional<int> row = parseCount(text, maxDocumentRows);
        if (!row)
            return usage(u"--break takes a row number from 1 to %1, not %2"_s.arg(maxDocumentRows)
                             .arg(echoText(text)));
        options.breakRows.push_back(*row);
    }
    for (const QString &text : parser.values(watchOption)) {
        QString error;
        const std::optional<Watch> watch = parseWatch(text, &error);
        if (!watch)
            return usage(u"--watch %1: %2"_s.arg(echoText(text), error));
        options.watches.push_back(*watch);
    }
    options.trace = parser.isSet(traceOption);
    options.memory = parser.isSet(memoryOption);
    options.expect = parser.isSet(expectOption);
    options.expectPath = parser.value(expectOption);
    if (options.expect && options.expectPath.isEmpty())
        return usage(u"--expect needs a file name"_s);

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usage(u"no document given"_s);
    if (positional.size() > 1)
        return usage(u"one document at a time; got %1"_s.arg(positional.size()));
    options.documentPath = positional.constFirst();
    if (options.documentPath.isEmpty())
        return usage(u"the document's file name is empty"_s);
    return result;
}

namespace {

// Reports a failed standard output once (a reader that went away quietly) and gives its status.
int outputFailed(OutputSink &out, OutputSink &err)
{
    if (!out.brokenPipe()) {
        err << u"orb-run: cannot write the output: "_s << terminalText(out.errorString()) << '\n';
        err.flush();
    }
    return RunOutputFailed;
}

void warn(OutputSink &err, const QString &message)
{
    err << u"orb-run: warning: "_s << message << '\n';
    err.flush();
}

} // namespace

int reportRun(const RunResult &result, const OpenedDocument &document, const RunOptions &options,
              OutputSink &out, OutputSink &err)
{
    if (result.outputFailed)
        return outputFailed(out, err);
    if (options.trace) {
        writeTraceEnd(out, result, document.memory);
    } else {
        writeSummary(out, result, options.maxSteps);
        if (options.memory)
            writeMemory(out, document.memory);
    }
    int status = result.end;
    if (options.expect) {
        // With --trace standard output stays JSON Lines; the verdict goes to standard error.
        OutputSink &verdict = options.trace ? err : out;
        const QStringList mismatches =
            compareExpectations(options.expectations, result, document.memory);
        if (mismatches.isEmpty())
            verdict << "OK\n";
        for (const QString &line : mismatches)
            verdict << line << '\n';
        verdict << u"result: %1; end: %2\n"_s.arg(mismatches.isEmpty() ? u"ok"_s : u"mismatch"_s,
                                                  endName(result.end));
        if (!mismatches.isEmpty())
            status = RunMismatch;
    }
    if (!out.flush())
        return outputFailed(out, err);
    err.flush();
    const int unused = int(options.inputs.size()) - result.inputsUsed;
    if (unused > 0)
        warn(err,
             u"%1 of the %2 --input bytes were not used"_s.arg(unused).arg(options.inputs.size()));
    if (result.y66WithoutInput > 0)
        warn(err, u"y66 found no --input byte left %1; A kept its value"_s.arg(
                      result.y66WithoutInput == 1 ? u"once"_s
                                                  : u"%1 times"_s.arg(result.y66WithoutInput)));
    return status;
}

int runCommandLine(const QStringList &arguments, QIODevice *in, QIODevice &outDevice,
                   QIODevice &errDevice)
{
    OutputSink out(outDevice);
    OutputSink err(errDevice, &out);
    auto finish = [&](int status) {
        if (status == RunOutputFailed)
            return status; // reported already
        if (!out.flush())
            return outputFailed(out, err);
        err.flush();
        return status;
    };

    CommandLine command = parseCommandLine(arguments);
    switch (command.action) {
    case CommandLine::Action::Help:
    case CommandLine::Action::Version:
        out << command.text;
        return finish(RunSucceeded);
    case CommandLine::Action::Usage:
        err << u"orb-run: "_s << terminalText(command.text)
            << u"\nTry 'orb-run --help' for more information.\n"_s;
        return finish(RunUsage);
    case CommandLine::Action::Run:
        break;
    }
    RunOptions &options = command.options;
    if (options.expect) {
        QString error;
        std::optional<QList<Expectation>> expectations =
            readExpectationsFile(options.expectPath, &error);
        if (!expectations) {
            err << u"orb-run: "_s << error << u"\nTry 'orb-run --help' for more information.\n"_s;
            return finish(RunUsage);
        }
        options.expectations = std::move(*expectations);
        // Without a breakpoint the run cannot end there: the file would fail whatever happens.
        const bool expectsBreak = std::any_of(
            options.expectations.cbegin(), options.expectations.cend(), [](const Expectation &e) {
                return e.kind == Expectation::Kind::End && e.value == RunBreak;
            });
        if (expectsBreak && options.breakRows.empty() && options.watches.empty()) {
            err << u"orb-run: the expectations file %1 expects end=break, but neither --break "
                   u"nor --watch is given"_s.arg(terminalText(options.expectPath))
                << u"\nTry 'orb-run --help' for more information.\n"_s;
            return finish(RunUsage);
        }
    }

    // The document: 4 when it cannot be read or is not a document, 3 for wrong cells.
    OpenOutcome opened = openDocumentPath(options.documentPath, in);
    if (!opened.document) {
        if (opened.error.notADocument())
            err << u"orb-run: %1 is not an ORB document: %2\n"_s.arg(opened.shownName,
                                                                     opened.error.message);
        else
            err << u"orb-run: cannot read %1: %2\n"_s.arg(opened.shownName,
                                                          terminalText(opened.error.message));
        return finish(RunUnreadable);
    }
    for (const QString &line : loadWarnings(opened.report))
        warn(err, opened.shownName + u": "_s + terminalText(line));
    if (!opened.wrongCells.isEmpty()) {
        for (const QString &line : opened.wrongCells)
            err << line << '\n';
        return finish(RunWrongCells);
    }
    for (const int row : options.breakRows) {
        const int rows = opened.document->table.rowCount();
        if (row > rows) {
            err << u"orb-run: --break %1: the document has %2 rows"_s.arg(row).arg(rows)
                << u"\nTry 'orb-run --help' for more information.\n"_s;
            return finish(RunUsage);
        }
    }

    const RunResult result =
        runOpenedDocument(*opened.document, options, options.trace ? &out : nullptr);
    return finish(reportRun(result, *opened.document, options, out, err));
}

int runCommandLine(const QStringList &arguments, QIODevice &out, QIODevice &err)
{
    return runCommandLine(arguments, nullptr, out, err);
}

} // namespace orb
