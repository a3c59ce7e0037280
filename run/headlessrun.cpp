// SPDX-License-Identifier: GPL-3.0-or-later

#include "run/headlessrun.h"

#include "sim/microops.h"
#include "sim/registers.h"
#include "sim/stepengine.h"

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace orb {

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
        if (limit || result.end == RunBreak)
            sink_ << "null";
        else
            sink_ << jsonString(result.endText);
        sink_ << ",\"limit\":" << (limit ? "true" : "false");
        if (result.breakRow)
            sink_ << ",\"break\":" << result.breakRow;
        if (const std::optional<WatchStop> &stop = result.watchStop) {
            sink_ << ",\"watch\":{\"name\":"
                  << jsonString(watchName(stop->watch, WatchNames::Ascii))
                  << ",\"old\":" << stop->oldValue << ",\"new\":" << stop->newValue
                  << ",\"reason\":" << jsonString(stop->reason(WatchNames::Ascii)) << '}';
        }
        sink_ << ",\"steps\":" << result.steps << ",\"step\":" << result.lastStep;
        writeState(result.processor);
        sink_ << ",\"memory\":\"";
        for (const quint8 byte : memory.bytes)
            sink_ << formatHex(byte).toStdString();
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

} // namespace

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
    engine.setWatches(options.watches);
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
        if (engine.arrivedAtStop())
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
    if (!limit)
        result.watchStop = engine.watchStop();
    result.end = limit                                 ? RunLimit
                 : result.breakRow || result.watchStop ? RunBreak
                 : engine.state().succeeded            ? RunSucceeded
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

void writeTraceEnd(OutputSink &trace, const RunResult &result, const ByteArrayMemory &memory)
{
    TraceWriter(trace).writeEnd(result, memory);
}

} // namespace orb
