// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes the step engine: any document that opens without a red cell is run press by press and
// then to the end, with data bytes taken from the input itself. Whatever the microprogram does,
// every register stays a byte, every flag a bit, and memory is only touched at 0..255.

#include "fuzzsupport.h"

#include "app/document.h"
#include "cells/rowrules.h"
#include "sim/stepengine.h"

#include <array>
#include <optional>

namespace {

// Presses of the step button before the run to the end; each press shows its texts.
constexpr int pressesBeforeRun = 64;

class CheckedMemory final : public orb::MemoryAccess {
public:
    int readMemory(int address) override
    {
        FUZZ_CHECK(address >= 0 && address <= 255);
        return bytes[size_t(address)];
    }
    void writeMemory(int address, int value) override
    {
        FUZZ_CHECK(address >= 0 && address <= 255);
        FUZZ_CHECK(value >= 0 && value <= 255);
        bytes[size_t(address)] = quint8(value);
    }
    std::array<quint8, 256> bytes{};
};

// Answers the data-byte dialog from the input's own bytes, read backwards from its end: a zero
// byte closes the dialog without an entry, any other is followed by the byte entered.
class FuzzView final : public orb::ExecutionView {
public:
    FuzzView(const uint8_t *data, size_t size) : data_(data), left_(size) {}

    void updateRegisterPanel(orb::Panel) override {}
    void showEndScreen() override { endScreenShown = true; }
    void showMessage(const QString &message) override { FUZZ_CHECK(!message.isEmpty()); }
    std::optional<int> requestDataByte(const QString &) override
    {
        if (next() == 0)
            return std::nullopt;
        return next();
    }
    void showStepLimitDialog(const QString &, const QString &) override {}
    void scheduleDeletion() override
    {
        FUZZ_CHECK(endScreenShown);
        deletionScheduled = true;
    }

    bool endScreenShown = false;
    bool deletionScheduled = false;

private:
    int next() { return left_ == 0 ? 0 : data_[--left_]; }

    const uint8_t *data_;
    size_t left_;
};

void checkProcessor(const orb::Processor &p)
{
    auto isByte = [](int value) { return value >= 0 && value <= 255; };
    for (int value : p.rk)
        FUZZ_CHECK(isByte(value));
    for (int value : p.ron)
        FUZZ_CHECK(isByte(value));
    for (int value : {p.a, p.b, p.rs, p.sp, p.ri, p.ra, p.rv, p.r, p.s1, p.s2, p.s3})
        FUZZ_CHECK(isByte(value));
    for (quint8 flag : p.flags())
        FUZZ_CHECK(flag <= 1);
}

void checkEngine(const orb::StepEngine &engine, int &lastStep)
{
    checkProcessor(engine.processor());
    checkProcessor(engine.beforePanel());
    checkProcessor(engine.afterPanel().registers);
    const orb::StepEngine::RunState &state = engine.state();
    FUZZ_CHECK(state.stepCount >= lastStep);
    lastStep = state.stepCount;
    FUZZ_CHECK(state.rowIndex >= -1 && state.rowIndex < engine.program().rowCount());
    FUZZ_CHECK(state.microopIndex >= -1 && state.microopIndex < orb::signalSlots);
    FUZZ_CHECK(state.signalList.back() == 0);
}

// What the execution window shows after a press.
void buildTexts(const orb::StepEngine &engine)
{
    const orb::AfterPanel &after = engine.afterPanel();
    (void)after.nextStateLabel();
    (void)after.operationLabel();
    (void)after.controlSignalsLabel();
    (void)engine.operationText();
    (void)engine.conditionText();
    (void)engine.signalsText();
    if (!engine.running())
        FUZZ_CHECK(!engine.endText().isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<orb::LoadedDocument> document = orb::parseDocument(bytes);
    if (!document)
        return 0;
    fuzz::OpenedDocument opened;
    fuzz::openDocument(*document, opened);
    // The start button refuses a table with a red cell.
    if (opened.table.errorCount() != 0)
        return 0;

    CheckedMemory memory;
    for (int address = 0; address < orb::memoryCellCount; ++address)
        memory.bytes[size_t(address)] = quint8(orb::readMemoryByte(opened.memory[address]));
    FuzzView view(data, size);
    const orb::HeadlessTableSource source(opened.table);
    orb::StepEngine engine(source, memory, view);
    int lastStep = engine.stepCount();

    engine.start();
    checkEngine(engine, lastStep);
    buildTexts(engine);
    for (int press = 0; press < pressesBeforeRun && !view.endScreenShown; ++press) {
        engine.executeStep();
        checkEngine(engine, lastStep);
        buildTexts(engine);
    }
    if (!view.endScreenShown) {
        const bool limited = engine.runToEnd();
        checkEngine(engine, lastStep);
        // The limit is judged by the step counter alone: a program that stops on the step that
        // passes it still gets the limit's dialog.
        FUZZ_CHECK(limited == (engine.stepCount() > orb::StepEngine::stepLimit));
        FUZZ_CHECK(limited || !engine.running());
    }
    // Once stopped, a press shows the end screen and the next one closes the window.
    if (!engine.running()) {
        if (!view.endScreenShown)
            engine.executeStep();
        FUZZ_CHECK(view.endScreenShown && !view.deletionScheduled);
        engine.executeStep();
        FUZZ_CHECK(view.deletionScheduled);
    }
    return 0;
}
