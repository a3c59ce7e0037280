#include "run/runner.h"

#include "sim/microops.h"
#include "sim/stepengine.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <charconv>
#include <string>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

// Output collected in a byte string and handed to the device in large pieces: a trace writes
// hundreds of thousands of lines a second, and QIODevice::write per line costs more than the
// line itself.
class Sink {
public:
    explicit Sink(QIODevice &device) : device_(device) {}
    ~Sink() { flush(); }
    Sink(const Sink &) = delete;
    Sink &operator=(const Sink &) = delete;

    void flush()
    {
        if (!buffer_.empty()) {
            device_.write(buffer_.data(), qint64(buffer_.size()));
            buffer_.clear();
        }
    }
    void flushIfFull()
    {
        if (buffer_.size() >= 1 << 16)
            flush();
    }

    Sink &operator<<(char c)
    {
        buffer_ += c;
        return *this;
    }
    Sink &operator<<(const char *text)
    {
        buffer_ += text;
        return *this;
    }
    Sink &operator<<(const std::string &text)
    {
        buffer_ += text;
        return *this;
    }
    Sink &operator<<(const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        buffer_.append(utf8.constData(), size_t(utf8.size()));
        return *this;
    }
    Sink &operator<<(int value)
    {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        buffer_.append(digits, result.ptr);
        return *this;
    }

private:
    QIODevice &device_;
    std::string buffer_;
};

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
const char *const flagNames[8] = {"X4", "X3", "X2", "X1", "Z", "N", "C", "P"};
constexpr int registerCount = 31;

QString hexByte(int value)
{
    return formatMemoryByte(value & 0xFF);
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

private:
    QList<int> inputs_;
    qsizetype nextInput_ = 0;
    QString message_;
    bool hasMessage_ = false;
    bool hasInput_ = false;
    std::optional<int> input_;
};

// Writes the JSON Lines of a trace. The texts of operations and signal cells repeat from press
// to press, so each is escaped once.
class TraceWriter {
public:
    explicit TraceWriter(Sink &sink) : sink_(sink) {}

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

    void writeEnd(const StepEngine &engine, bool limit, int breakRow, const ByteArrayMemory &memory)
    {
        sink_ << "{\"end\":";
        if (limit || breakRow)
            sink_ << "null";
        else
            sink_ << jsonString(engine.endText());
        sink_ << ",\"limit\":" << (limit ? "true" : "false");
        if (breakRow)
            sink_ << ",\"break\":" << breakRow;
        sink_ << ",\"steps\":" << engine.stepCount();
        writeState(engine.processor());
        sink_ << ",\"memory\":\"";
        for (const quint8 byte : memory.bytes)
            sink_ << hexByte(byte).toStdString();
        sink_ << "\"}\n";
    }

private:
    void writeState(const Processor &p)
    {
        sink_ << ",\"registers\":{\"RK\":[" << p.rk[0] << ',' << p.rk[1] << ',' << p.rk[2] << ','
              << p.rk[3] << "],\"RON\":[";
        for (int i = 0; i < 16; ++i) {
            if (i)
                sink_ << ',';
            sink_ << p.ron[size_t(i)];
        }
        sink_ << "],\"A\":" << p.a << ",\"B\":" << p.b << ",\"PC\":" << p.rs << ",\"SP\":" << p.sp
              << ",\"RI\":" << p.ri << ",\"RA\":" << p.ra << ",\"RB\":" << p.rv << ",\"R\":" << p.r
              << ",\"S1\":" << p.s1 << ",\"S2\":" << p.s2 << ",\"S3\":" << p.s3 << '}';
        const std::array<quint8, 8> flags = p.flags();
        sink_ << ",\"flags\":{";
        for (int i = 0; i < 8; ++i) {
            if (i)
                sink_ << ',';
            sink_ << '"' << flagNames[i] << "\":" << int(flags[size_t(i)]);
        }
        sink_ << '}';
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

    Sink &sink_;
    std::unordered_map<int, std::string> signalsCache_; // by row
    std::unordered_map<quint32, std::string> operationCache_;
};

struct Options {
    QString documentPath;
    QList<int> inputs;
    int maxSteps = defaultMaxSteps;
    bool trace = false;
    bool memory = false;
    QString expectPath;
    std::vector<int> breakRows; // from 1
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

void writeSummary(Sink &out, const StepEngine &engine, bool limit, int breakRow, int maxSteps)
{
    if (limit)
        out << u"Перемотка остановлена: счётчик тактов превысил "_s << maxSteps << '\n';
    else if (breakRow)
        out << u"Остановлено в точке останова: строка "_s << breakRow << '\n';
    else
        out << engine.endText() << '\n';
    out << "steps=" << engine.stepCount() << '\n';
    const Processor &p = engine.processor();
    const QStringList &names = registerNames();
    // RK, RON0-7, RON8-15, the single registers: one group per line.
    const int lineEnds[] = {4, 12, 20, registerCount};
    int index = 0;
    for (const int end : lineEnds) {
        for (; index < end; ++index) {
            out << names[index] << '=' << hexByte(registerValue(p, index));
            out << (index + 1 < end ? ' ' : '\n');
        }
    }
    const std::array<quint8, 8> flags = p.flags();
    for (int i = 0; i < 8; ++i)
        out << flagNames[i] << '=' << int(flags[size_t(i)]) << (i < 7 ? ' ' : '\n');
}

void writeMemory(Sink &out, const ByteArrayMemory &memory)
{
    for (int address = 0; address < memoryCellCount; ++address)
        out << hexByte(memory.bytes[size_t(address)]) << ((address & 15) == 15 ? '\n' : ' ');
}

// The mismatches between the expectations and the final state, one line each.
QStringList compareExpectations(const QList<Expectation> &expectations, const StepEngine &engine,
                                RunStatus status, const ByteArrayMemory &memory)
{
    const auto endName = [](int status) {
        static const QString names[] = {u"success"_s, u"stopped"_s, u"limit"_s};
        return status == RunBreak ? u"break"_s : names[status];
    };
    QStringList mismatches;
    const Processor &p = engine.processor();
    for (const Expectation &e : expectations) {
        QString expected;
        QString got;
        switch (e.kind) {
        case Expectation::Kind::End:
            expected = endName(e.value);
            got = endName(status);
            break;
        case Expectation::Kind::Register:
            expected = hexByte(e.value);
            got = hexByte(registerValue(p, e.index));
            break;
        case Expectation::Kind::Flag:
            expected = QString::number(e.value);
            got = QString::number(p.flags()[size_t(e.index)]);
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

QString helpText(QCommandLineParser &parser)
{
    // The usage line names the program as users call it, not the path it was started from.
    QString text = parser.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    text.replace(0, firstLineEnd,
                 u"Usage: orb-run [--input HEX]... [--max-steps N] [--trace] [--memory] "
                 u"[--expect FILE] DOCUMENT.orb"_s);
    return text;
}

} // namespace

OpenedDocument openDocument(const LoadedDocument &document)
{
    OpenedDocument opened;
    // What the editor's Open does: the rows first, then every cell present filled and committed
    // in row order, then the memory cells as their input mask and their reading see the text.
    loadTable(opened.table, document);
    for (qsizetype address = 0; address < document.memory.size(); ++address)
        opened.memory.bytes[size_t(address)] =
            quint8(readMemoryByte(maskedByteText(document.memory[address])));
    return opened;
}

QStringList wrongCellLines(const HeadlessTable &table)
{
    QStringList lines;
    for (int row = 0; row < table.rowCount(); ++row) {
        for (int field = 0; field < fieldCount; ++field) {
            const HeadlessTable::Cell &cell = table.row(row).cells[size_t(field)];
            if (!cell.correct)
                lines << u"row %1, %2: %3"_s.arg(row + 1).arg(QLatin1StringView(columnNames[field]),
                                                              cell.text);
        }
    }
    return lines;
}

const QStringList &registerNames()
{
    static const QStringList names = [] {
        QStringList list{u"RK1"_s, u"RK2"_s, u"RK3"_s, u"RK4"_s};
        for (int i = 0; i < 16; ++i)
            list << u"RON"_s + QString::number(i);
        list << u"A"_s << u"B"_s << u"PC"_s << u"SP"_s << u"RI"_s << u"RA"_s << u"RB"_s << u"R"_s
             << u"S1"_s << u"S2"_s << u"S3"_s;
        return list;
    }();
    return names;
}

int registerValue(const Processor &p, int index)
{
    if (index < 4)
        return p.rk[size_t(index)];
    if (index < 20)
        return p.ron[size_t(index - 4)];
    const int singles[] = {p.a, p.b, p.rs, p.sp, p.ri, p.ra, p.rv, p.r, p.s1, p.s2, p.s3};
    return singles[index - 20];
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
            return fail(u"expected NAME=VALUE, got \"%1\""_s.arg(line));
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
            else
                return fail(u"end must be success, stopped or limit, not \"%1\""_s.arg(value));
        } else if (const qsizetype reg = registerNames().indexOf(name); reg >= 0) {
            e.kind = Expectation::Kind::Register;
            e.index = int(reg);
            const std::optional<int> byte = parseHexByte(value);
            if (!byte)
                return fail(
                    u"%1 must be a hexadecimal byte (00 to FF), not \"%2\""_s.arg(name, value));
            e.value = *byte;
        } else if (const auto flag = std::find(std::begin(flagNames), std::end(flagNames), name);
                   flag != std::end(flagNames)) {
            e.kind = Expectation::Kind::Flag;
            e.index = int(flag - std::begin(flagNames));
            if (value != u"0"_s && value != u"1"_s)
                return fail(u"%1 must be 0 or 1, not \"%2\""_s.arg(name, value));
            e.value = value == u"1"_s;
        } else if (name.startsWith(u'M') && parseHexByte(QStringView(name).mid(1))) {
            e.kind = Expectation::Kind::Memory;
            e.index = *parseHexByte(QStringView(name).mid(1));
            e.name = u"M"_s + hexByte(e.index);
            const std::optional<int> byte = parseHexByte(value);
            if (!byte)
                return fail(
                    u"%1 must be a hexadecimal byte (00 to FF), not \"%2\""_s.arg(e.name, value));
            e.value = *byte;
        } else {
            return fail(u"unknown name \"%1\""_s.arg(line.left(equals).trimmed()));
        }
        if (const auto seen = seenOnLine.constFind(e.name); seen != seenOnLine.cend())
            return fail(u"%1 is already expected on line %2"_s.arg(e.name).arg(*seen));
        seenOnLine.insert(e.name, lineNumber);
        expectations << e;
    }
    return expectations;
}

int runCommandLine(const QStringList &arguments, QIODevice &outDevice, QIODevice &errDevice)
{
    Sink out(outDevice);
    Sink err(errDevice);
    auto usageError = [&](const QString &message) {
        err << u"orb-run: "_s << message << u"\nTry 'orb-run --help' for more information.\n"_s;
        return int(RunUsage);
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Runs an ORB microprogram document without a window, press by press, as the "
        u"execution window does.\n\n"
        u"Exit status: 0 stopped by y70; 1 stopped without success (no transition);\n"
        u"2 the step limit stopped it; 3 the document has wrong cells (listed on standard\n"
        u"error, nothing is run); 4 the file cannot be read or is not a document;\n"
        u"5 the final state differs from --expect; 7 stopped at a breakpoint (--break);\n"
        u"64 usage error."_s);
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
        u"difference."_s,
        u"FILE"_s);
    const QCommandLineOption breakOption(
        u"break"_s,
        u"Stop with status 7 after the press that arrives at table row ROW (from 1), as the "
        u"execution window's run to the end stops at a breakpoint. Repeatable."_s,
        u"ROW"_s);
    parser.addOptions(
        {inputOption, maxStepsOption, traceOption, memoryOption, expectOption, breakOption});
    parser.addPositionalArgument(u"document"_s, u"The microprogram document to run."_s,
                                 u"DOCUMENT.orb"_s);

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption) || parser.isSet(u"help-all"_s)) {
        out << helpText(parser);
        return RunSucceeded;
    }
    if (parser.isSet(versionOption)) {
        out << "orb-run " ORB_VERSION "\n";
        return RunSucceeded;
    }

    Options options;
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(u"no document given"_s);
    if (positional.size() > 1)
        return usageError(u"one document at a time; got %1"_s.arg(positional.size()));
    options.documentPath = positional.constFirst();
    for (const QString &text : parser.values(inputOption)) {
        const std::optional<int> byte = parseHexByte(text);
        if (!byte)
            return usageError(
                u"--input takes one or two hexadecimal digits, not \"%1\""_s.arg(text));
        options.inputs << *byte;
    }
    {
        bool ok = false;
        const QString text = parser.value(maxStepsOption);
        options.maxSteps = text.toInt(&ok);
        if (!ok || options.maxSteps < 1 || options.maxSteps > maxMaxSteps)
            return usageError(
                u"--max-steps takes a number from 1 to %1, not \"%2\""_s.arg(maxMaxSteps)
                    .arg(text));
    }
    for (const QString &text : parser.values(breakOption)) {
        bool ok = false;
        const int row = text.toInt(&ok);
        if (!ok || row < 1 || row > maxDocumentRows)
            return usageError(
                u"--break takes a row number from 1 to %1, not \"%2\""_s.arg(maxDocumentRows)
                    .arg(text));
        options.breakRows.push_back(row);
    }
    options.trace = parser.isSet(traceOption);
    options.memory = parser.isSet(memoryOption);
    options.expectPath = parser.value(expectOption);

    QList<Expectation> expectations;
    if (parser.isSet(expectOption)) {
        QFile file(options.expectPath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return usageError(u"cannot read the expectations file %1: %2"_s.arg(
                options.expectPath, file.errorString()));
        QString error;
        // UTF-8 with or without a byte order mark, as editors on Windows save it.
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(file.readAll());
        std::optional<QList<Expectation>> parsed = parseExpectations(text, &error);
        if (!parsed)
            return usageError(options.expectPath + u':' + error);
        expectations = std::move(*parsed);
    }

    // The document: 4 when it cannot be read or is not a document, 3 for wrong cells.
    const QString &path = options.documentPath;
    {
        QFile file(path);
        if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
            err << u"orb-run: cannot read %1: %2\n"_s.arg(
                path, QFileInfo(path).isDir() ? u"is a folder"_s : file.errorString());
            return RunUnreadable;
        }
    }
    const std::optional<LoadedDocument> loaded = readDocumentFile(path);
    if (!loaded) {
        err << u"orb-run: %1 is not an ORB document\n"_s.arg(path);
        return RunUnreadable;
    }
    OpenedDocument document = openDocument(*loaded);
    if (const QStringList wrong = wrongCellLines(document.table); !wrong.isEmpty()) {
        for (const QString &line : wrong)
            err << line << '\n';
        return RunWrongCells;
    }
    for (const int row : options.breakRows) {
        if (row > document.table.rowCount())
            return usageError(
                u"--break %1: the document has %2 rows"_s.arg(row).arg(document.table.rowCount()));
    }

    // The presses of the execution window: its construction, then one step per press until a
    // press has shown the end screen, or until the step counter has passed the limit.
    HeadlessView view(options.inputs);
    StepEngine engine(HeadlessTableSource(document.table), document.memory, view);
    std::vector<int> breakpoints;
    for (const int row : options.breakRows)
        breakpoints.push_back(row - 1);
    engine.setBreakpoints(breakpoints);
    std::optional<TraceWriter> trace;
    if (options.trace)
        trace.emplace(out);
    bool limit = false;
    engine.start();
    for (;;) {
        if (engine.endScreenShown())
            break;
        if (trace)
            trace->writePress(engine.afterPanel(), view);
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
    const int breakRow = engine.breakpointRow() + 1;
    const RunStatus status = limit                      ? RunLimit
                             : breakRow                 ? RunBreak
                             : engine.state().succeeded ? RunSucceeded
                                                        : RunStopped;
    if (trace) {
        trace->writeEnd(engine, limit, breakRow, document.memory);
    } else {
        writeSummary(out, engine, limit, breakRow, options.maxSteps);
        if (options.memory)
            writeMemory(out, document.memory);
    }
    if (!parser.isSet(expectOption))
        return status;

    // With --trace standard output stays JSON Lines; the verdict goes to standard error.
    Sink &report = trace ? err : out;
    const QStringList mismatches =
        compareExpectations(expectations, engine, status, document.memory);
    if (mismatches.isEmpty()) {
        report << "OK\n";
        return status;
    }
    for (const QString &line : mismatches)
        report << line << '\n';
    return RunMismatch;
}

} // namespace orb
