// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/runner.h"

#include "cells/cellproblem.h"
#include "sim/microops.h"
#include "sim/registers.h"
#include "sim/stepengine.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <cerrno>
#include <charconv>
#include <string>
#include <string_view>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace orb {

OutputSink::OutputSink(QIODevice &device, OutputSink *flushFirst)
    : device_(device), flushFirst_(flushFirst)
{
}

OutputSink::~OutputSink()
{
    flush();
}

bool OutputSink::flush()
{
    if (flushFirst_)
        flushFirst_->flush();
    if (failed_) {
        buffer_.clear();
        return false;
    }
    qsizetype done = 0;
    while (done < qsizetype(buffer_.size())) {
        errno = 0;
        const qint64 written = device_.write(buffer_.data() + done, qint64(buffer_.size()) - done);
        if (written <= 0) {
            brokenPipe_ = errno == EPIPE;
            failed_ = true;
            errorString_ = device_.errorString();
            if (errorString_.isEmpty() || errorString_ == u"Unknown error"_s)
                errorString_ = written == 0 ? u"nothing was written"_s : u"write failed"_s;
            break;
        }
        done += qsizetype(written);
    }
    buffer_.clear();
    return !failed_;
}

OutputSink &OutputSink::operator<<(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    buffer_.append(utf8.constData(), size_t(utf8.size()));
    return *this;
}

QString terminalText(QStringView text, bool quote, qsizetype maxLength)
{
    const bool cut = maxLength > 0 && text.size() > maxLength;
    if (cut)
        text = text.left(maxLength);
    QString shown;
    shown.reserve(text.size() + 2);
    if (quote)
        shown += u'"';
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            shown += u"\\n"_s;
        else if (u == u'\r')
            shown += u"\\r"_s;
        else if (u == u'\t')
            shown += u"\\t"_s;
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F))
            shown += u"\\x"_s + QString::number(u, 16).rightJustified(2, u'0');
        else if (u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
                 (u >= 0x2066 && u <= 0x2069))
            shown += u"\\u"_s + QString::number(u, 16);
        else if (quote && (u == u'"' || u == u'\\'))
            shown += u'\\' + c;
        else
            shown += c;
    }
    if (cut)
        shown += u'…';
    if (quote)
        shown += u'"';
    return shown;
}

namespace {

// text as a JSON string literal in UTF-8, quotes included.
std::string jsonString(QStringView text)
{
    // Escaping byte by byte after the conversion is safe: the bytes of a multi-byte UTF-8
    // sequence are all 0x80 or above.
    const QByteArray utf8 = text.toUtf8();
    std::string json;
    json.reserve(size_t(utf8.size()) + 2);
    json += '"';
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        switch (c) {
        case '"':
            json += "\\\"";
            break;
        case '\\':
            json += "\\\\";
            break;
        case '\n':
            json += "\\n";
            break;
        case '\r':
            json += "\\r";
            break;
        case '\t':
            json += "\\t";
            break;
        default:
            if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                json += "\\u00";
                json += hex[c >> 4];
                json += hex[c & 15];
            } else {
                json += char(c);
            }
        }
    }
    json += '"';
    return json;
}

const char *const columnNames[fieldCount] = {"source state", "next state", "conditions", "signals"};
// The names of how a run ended, by RunStatus: success, stopped, limit, and break (status 7).
QString endName(int status)
{
    static const QString names[] = {u"success"_s, u"stopped"_s, u"limit"_s};
    return status == RunBreak ? u"break"_s : names[status];
}

QString hexByte(int value)
{
    return formatHex(value & 0xFF);
}

// At most this many characters of a user's text are echoed in a message.
constexpr qsizetype echoLength = 60;

QString echo(QStringView text)
{
    return terminalText(text, true, echoLength);
}

// The execution window's side of a headless run: no panels to paint, data bytes from the
// command line, and the messages and inputs of the current press remembered for the trace.
class HeadlessView final : public ExecutionView {
public:
    explicit HeadlessView(QList<int> inputs) : inputs_(std::move(inputs)) {}

    void updateRegisterPanel(Panel) override {}
    void showEndScreen() override {}
    void showMessage(const QString &message) override
    {
        message_ = message;
        hasMessage_ = true;
    }
    std::optional<int> requestDataByte(const QString &) override
    {
        hasInput_ = true;
        input_.reset();
        // As closing the dialog without an entry: A keeps its value.
        if (nextInput_ < inputs_.size())
            input_ = inputs_[nextInput_++];
        else
            ++missingInputs_;
        return input_;
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override {}

    void startPress()
    {
        hasMessage_ = false;
        hasInput_ = false;
    }
    bool hasMessage() const { return hasMessage_; }
    const QString &message() const { return message_; }
    bool hasInput() const { return hasInput_; }
    const std::optional<int> &input() const { return input_; }
    int inputsUsed() const { return int(nextInput_); }
    int missingInputs() const { return missingInputs_; }

private:
    QList<int> inputs_;
    qsizetype nextInput_ = 0;
    int missingInputs_ = 0;
    QString message_;
    bool hasMessage_ = false;
    bool hasInput_ = false;
    std::optional<int> input_;
};

// Writes the JSON Lines of a trace. The texts of operations and signal cells repeat from press
// to press, so each is escaped once.
class TraceWriter {
public:
    explicit TraceWriter(OutputSink &sink) : sink_(sink) {}

    void writePress(const AfterPanel &panel, const HeadlessView &view)
    {
        sink_ << "{\"step\":" << panel.stepLabel() << ",\"row\":" << panel.rowLabel()
              << ",\"source\":" << panel.initialStateLabel() << ",\"next\":";
        if (!panel.conditionText().isEmpty())
            sink_ << byCondition();
        else
            sink_ << '"' << panel.nextState << '"';
        sink_ << ",\"signals\":" << signalsJson(panel)
              << ",\"operation\":" << operationJson(panel.operation);
        if (view.hasMessage())
            sink_ << ",\"message\":" << jsonString(view.message());
        if (view.hasInput()) {
            sink_ << ",\"input\":";
            if (view.input())
                sink_ << *view.input();
            else
                sink_ << "null";
        }
        writeState(panel.registers);
        sink_ << "}\n";
        sink_.flushIfFull();
    }

    void writeEnd(const RunResult &result, const ByteArrayMemory &memory)
    {
        const bool limit = result.end == RunLimit;
        sink_ << "{\"end\":";
        if (limit || result.breakRow)
            sink_ << "null";
        else
            sink_ << jsonString(result.endText);
        sink_ << ",\"limit\":" << (limit ? "true" : "false");
        if (result.breakRow)
            sink_ << ",\"break\":" << result.breakRow;
        sink_ << ",\"steps\":" << result.steps << ",\"step\":" << result.lastStep;
        writeState(result.processor);
        sink_ << ",\"memory\":\"";
        for (const quint8 byte : memory.bytes)
            sink_ << hexByte(byte).toStdString();
        sink_ << "\"}\n";
    }

private:
    // "registers" holds the byte registers, the members of a group as one array, and "flags"
    // the flags; all as decimal numbers. The text before each value is built once from the
    // register table: a trace writes a million of these lines a second.
    void writeState(const Processor &p)
    {
        static const std::array<std::string, registerTableSize + 1> texts = stateTexts();
        const auto &table = registerTable();
        for (int i = 0; i < registerTableSize; ++i)
            sink_ << texts[size_t(i)] << table[size_t(i)].read(p);
        sink_ << texts[registerTableSize];
    }

    // texts[i] stands before the value of register i, texts[registerTableSize] after the last.
    static std::array<std::string, registerTableSize + 1> stateTexts()
    {
        const auto &table = registerTable();
        auto groupOf = [&](int i) -> std::string_view {
            const char *group = i >= 0 && i < registerCount ? table[size_t(i)].group : nullptr;
            return group ? group : "";
        };
        std::array<std::string, registerTableSize + 1> texts;
        for (int i = 0; i < registerCount; ++i) {
            std::string &text = texts[size_t(i)];
            const std::string_view group = groupOf(i);
            if (i == 0)
                text += ",\"registers\":{";
            else if (!groupOf(i - 1).empty() && groupOf(i - 1) != group)
                text += "],";
            else
                text += ',';
            if (group.empty())
                text.append(1, '"').append(table[size_t(i)].name).append("\":");
            else if (groupOf(i - 1) != group)
                text.append(1, '"').append(group).append("\":[");
        }
        for (int i = registerCount; i < registerTableSize; ++i) {
            std::string &text = texts[size_t(i)];
            if (i == registerCount)
                text += groupOf(i - 1).empty() ? "},\"flags\":{" : "]},\"flags\":{";
            else
                text += ',';
            text.append(1, '"').append(table[size_t(i)].name).append("\":");
        }
        texts[registerTableSize] = std::string(1, '}');
        return texts;
    }

    const std::string &byCondition()
    {
        static const std::string text = jsonString(u"По условию");
        return text;
    }

    const std::string &signalsJson(const AfterPanel &panel)
    {
        auto it = signalsCache_.find(panel.signalsRow);
        if (it == signalsCache_.end())
            it = signalsCache_.emplace(panel.signalsRow, jsonString(panel.signalsText())).first;
        return it->second;
    }

    const std::string &operationJson(const Operation &operation)
    {
        const quint32 key = quint32(operation.kind) | quint32(operation.signal) << 8 |
                            quint32(operation.aluFunction) << 16 | quint32(operation.logic) << 24 |
                            quint32(operation.countDown) << 25;
        auto it = operationCache_.find(key);
        if (it == operationCache_.end())
            it = operationCache_.emplace(key, jsonString(operation.text())).first;
        return it->second;
    }

    OutputSink &sink_;
    std::unordered_map<int, std::string> signalsCache_; // by row
    std::unordered_map<quint32, std::string> operationCache_;
};

// One or two hexadecimal digits in any case, as the data-byte dialog and the panels take them.
std::optional<int> parseHexByte(QStringView text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        int digit;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
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
        out << hexByte(memory.bytes[size_t(address)]) << ((address & 15) == 15 ? '\n' : ' ');
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
            expected = hexByte(e.value);
            got = hexByte(registerTable()[size_t(e.index)].read(p));
            break;
        case Expectation::Kind::Flag:
            expected = QString::number(e.value);
            got = QString::number(registerTable()[size_t(registerCount + e.index)].read(p));
            break;
        case Expectation::Kind::Memory:
            expected = hexByte(e.value);
            got = hexByte(memory.bytes[size_t(e.index)]);
            break;
        }
        if (expected != got)
            mismatches << e.name + u": expected "_s + expected + u", got "_s + got;
    }
    return mismatches;
}

const QString usageLine = u"Usage: orb-run [--input HEX]... [--max-steps N] [--trace] [--memory] "
                          u"[--expect FILE] [--break ROW]... [--] DOCUMENT.orb|-\n"
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

OpenedDocument openDocument(const LoadedDocument &document)
{
    OpenedDocument opened;
    // What the editor's Open does: the rows first, then every cell present filled and committed
    // in row order, then the memory cells as their input mask and their reading see the text.
    loadTable(opened.table, document);
    // And what its launch judges: a row that opens unmarked only through the order its cells
    // were committed in (signals that normalise to nothing beside a lone state) is wrong.
    opened.table.judgeForLaunch();
    for (qsizetype address = 0; address < document.memory.size(); ++address)
        opened.memory.bytes[size_t(address)] =
            quint8(readMemoryByte(maskedByteText(document.memory[address])));
    return opened;
}

QStringList wrongCellLines(const HeadlessTable &table, const LoadReport &report)
{
    QHash<int, int> cutTo; // row * fieldCount + field -> the length kept
    for (const LoadNotice &notice : report) {
        if (notice.code == u"load-text-cut"_s && notice.row > 0 && notice.field >= 0)
            cutTo.insert((notice.row - 1) * fieldCount + notice.field,
                         maxLengthOfField(notice.field));
    }
    QStringList lines;
    for (int row = 0; row < table.rowCount(); ++row) {
        const HeadlessTable::Row &cells = table.row(row);
        std::array<QString, 4> texts;
        for (int field = 0; field < fieldCount; ++field)
            texts[size_t(field)] = cells.cells[size_t(field)].text;
        for (int field = 0; field < fieldCount; ++field) {
            if (cells.cells[size_t(field)].correct)
                continue;
            QString line = u"row %1, %2: %3"_s.arg(row + 1).arg(
                QLatin1StringView(columnNames[field]), terminalText(texts[size_t(field)], true));
            if (const auto cut = cutTo.constFind(row * fieldCount + field); cut != cutTo.cend())
                line += u" (cut to %1 characters, as the editor keeps it)"_s.arg(*cut);
            if (const std::optional<CellProblem> problem = rowCellProblem(texts, field))
                line += u": "_s + terminalText(problem->message);
            lines << line;
        }
    }
    return lines;
}

const QStringList &registerNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int i = 0; i < registerCount; ++i)
            list << QString::fromLatin1(registerTable()[size_t(i)].name);
        return list;
    }();
    return names;
}

int registerValue(const Processor &p, int index)
{
    return registerTable()[size_t(index)].read(p);
}

std::optional<QList<Expectation>> parseExpectations(QStringView text, QString *error)
{
    QList<Expectation> expectations;
    QHash<QString, int> seenOnLine;
    int lineNumber = 0;
    auto fail = [&](const QString &what) {
        if (error)
            *error = QString::number(lineNumber) + u": "_s + what;
        return std::nullopt;
    };
    for (const QStringView rawLine : text.tokenize(u'\n')) {
        ++lineNumber;
        const QStringView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            return fail(u"expected NAME=VALUE, got %1"_s.arg(echo(line)));
        const QString name = line.left(equals).trimmed().toString().toUpper();
        const QStringView value = line.mid(equals + 1).trimmed();

        Expectation e;
        e.name = name;
        if (name == u"END"_s) {
            e.kind = Expectation::Kind::End;
            e.name = u"end"_s;
            if (value == u"success"_s)
                e.value = RunSucceeded;
            else if (value == u"stopped"_s)
                e.value = RunStopped;
            else if (value == u"limit"_s)
                e.value = RunLimit;
            else if (value == u"break"_s)
                e.value = RunBreak;
            else
                return fail(
                    u"end must be success, stopped, limit or break, not %1"_s.arg(echo(value)));
        } else if (const int reg = registerIndex(name); reg >= 0 && reg < registerCount) {
            e.kind = Expectation::Kind::Register;
            e.index = reg;
            const std::optional<int> byte = parseHexByte(value);
            if (!byte)
                return fail(
                    u"%1 must be a hexadecimal byte (00 to FF), not %2"_s.arg(name, echo(value)));
            e.value = *byte;
        } else if (reg >= registerCount) {
            e.kind = Expectation::Kind::Flag;
            e.index = reg - registerCount;
            if (value != u"0"_s && value != u"1"_s)
                return fail(u"%1 must be 0 or 1, not %2"_s.arg(name, echo(value)));
            e.value = value == u"1"_s;
        } else if (name.startsWith(u'M') && parseHexByte(QStringView(name).mid(1))) {
            e.kind = Expectation::Kind::Memory;
            e.index = *parseHexByte(QStringView(name).mid(1));
            e.name = u"M"_s + hexByte(e.index);
            const std::optional<int> byte = parseHexByte(value);
            if (!byte)
                return fail(
                    u"%1 must be a hexadecimal byte (00 to FF), not %2"_s.arg(e.name, echo(value)));
            e.value = *byte;
        } else {
            return fail(u"unknown name %1"_s.arg(echo(line.left(equals).trimmed())));
        }
        if (const auto seen = seenOnLine.constFind(e.name); seen != seenOnLine.cend())
            return fail(u"%1 is already expected on line %2"_s.arg(e.name).arg(*seen));
        seenOnLine.insert(e.name, lineNumber);
        expectations << e;
    }
    return expectations;
}

std::optional<QList<Expectation>> readExpectationsFile(const QString &path, QString *error)
{
    const QString shown = terminalText(path);
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return std::nullopt;
    };
    if (path.isEmpty())
        return fail(u"--expect needs a file name"_s);
    if (QFileInfo(path).isDir())
        return fail(u"cannot read the expectations file %1: it is a folder"_s.arg(shown));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(u"cannot read the expectations file %1: %2"_s.arg(shown, file.errorString()));
    // One byte more than allowed, so that devices and pipes without a size are bounded too.
    const QByteArray bytes = file.read(maxExpectationsBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(u"cannot read the expectations file %1: %2"_s.arg(shown, file.errorString()));
    if (bytes.size() > maxExpectationsBytes)
        return fail(u"the expectations file %1 is larger than 1 MiB"_s.arg(shown));
    // UTF-8 with or without a byte order mark, as editors on Windows save it; CR LF as LF.
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    QString parseError;
    std::optional<QList<Expectation>> parsed = parseExpectations(text, &parseError);
    if (!parsed)
        return fail(shown + u':' + parseError);
    if (parsed->isEmpty())
        return fail(u"the expectations file %1 expects nothing (no NAME=VALUE line)"_s.arg(shown));
    return parsed;
}

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
        u"7 stopped at a breakpoint (--break); 64 usage error.\n\n"
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
        u"end=break (with --break) expects the run to stop at a breakpoint."_s,
        u"FILE"_s);
    const QCommandLineOption breakOption(
        u"break"_s,
        u"Stop with status 7 after the press that arrives at table row ROW (from 1), as the "
        u"execution window's run to the end stops at a breakpoint. Repeatable."_s,
        u"ROW"_s);
    // Only listed here: main() hands a command line with --tests to the grading code, which
    // parses it itself.
    const QCommandLineOption testsOption(
        u"tests"_s,
        u"Grade the document on every case of the test FILE (see orb-grade), each on its own "
        u"data, printing one verdict line per case; status 0 when every case passed, else 5. "
        u"The data and limits come from FILE, so --input, --max-steps, --trace, --memory, "
        u"--expect and --break cannot be given with it."_s,
        u"FILE"_s);
    const QCommandLineOption caseOption(
        u"case"_s, u"With --tests: run only the case called NAME."_s, u"NAME"_s);
    parser.addOptions({inputOption, maxStepsOption, traceOption, memoryOption, expectOption,
                       breakOption, testsOption, caseOption});
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
            return usage(u"--input takes one or two hexadecimal digits, not %1"_s.arg(echo(text)));
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
                             .arg(echo(text)));
        options.maxSteps = *count;
    }
    for (const QString &text : parser.values(breakOption)) {
        const std::optional<int> row = parseCount(text, maxDocumentRows);
        if (!row)
            return usage(u"--break takes a row number from 1 to %1, not %2"_s.arg(maxDocumentRows)
                             .arg(echo(text)));
        options.breakRows.push_back(*row);
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

RunStatus OpenOutcome::status() const
{
    if (!document)
        return RunUnreadable;
    return wrongCells.isEmpty() ? RunSucceeded : RunWrongCells;
}

OpenOutcome openDocumentPath(const QString &path, QIODevice *standardInput)
{
    OpenOutcome outcome;
    std::optional<LoadedDocument> loaded;
    if (path == u"-"_s) {
        outcome.shownName = u"standard input"_s;
        QByteArray bytes;
        if (standardInput && standardInput->isReadable())
            bytes = standardInput->read(maxDocumentBytes + 1);
        loaded = parseDocument(bytes, &outcome.report, &outcome.error);
    } else {
        outcome.shownName = terminalText(path);
        loaded = readDocumentFile(path, &outcome.error, &outcome.report);
    }
    if (!loaded)
        return outcome;
    outcome.document = openDocument(*loaded);
    outcome.wrongCells = wrongCellLines(outcome.document->table, outcome.report);
    return outcome;
}

RunResult runOpenedDocument(OpenedDocument &document, const RunOptions &options,
                            OutputSink *traceSink)
{
    // The presses of the execution window: its construction, then one step per press until a
    // press has shown the end screen, or until the step counter has passed the limit.
    HeadlessView view(options.inputs);
    StepEngine engine(HeadlessTableSource(document.table), document.memory, view);
    std::optional<TraceWriter> trace;
    if (traceSink)
        trace.emplace(*traceSink);
    RunResult result;
    std::vector<int> breakpoints;
    for (const int row : options.breakRows)
        breakpoints.push_back(row - 1);
    engine.setBreakpoints(breakpoints);
    bool limit = false;
    engine.start();
    for (;;) {
        if (engine.endScreenShown())
            break;
        if (trace) {
            trace->writePress(engine.afterPanel(), view);
            if (traceSink->failed()) {
                result.outputFailed = true;
                break;
            }
        }
        if (engine.arrivedAtBreakpoint())
            break;
        if (engine.stepCount() > options.maxSteps) {
            limit = true;
            break;
        }
        view.startPress();
        engine.executeStep();
    }
    // The rule of arrival is the engine's; a press that ends the run arrives nowhere.
    result.breakRow = limit ? 0 : engine.breakpointRow() + 1;
    result.end = limit                      ? RunLimit
                 : result.breakRow          ? RunBreak
                 : engine.state().succeeded ? RunSucceeded
                                            : RunStopped;
    result.steps = engine.stepCount();
    result.lastStep = engine.afterPanel().stepLabel();
    if (!limit)
        result.endText = engine.endText();
    result.processor = engine.processor();
    result.inputsUsed = view.inputsUsed();
    result.y66WithoutInput = view.missingInputs();
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
        TraceWriter(out).writeEnd(result, document.memory);
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
        if (expectsBreak && options.breakRows.empty()) {
            err << u"orb-run: the expectations file %1 expects end=break, but no --break is given"_s
                       .arg(terminalText(options.expectPath))
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
