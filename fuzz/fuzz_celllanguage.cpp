// SPDX-License-Identifier: GPL-3.0-or-later
//
// Fuzzes the cell language with any text: every line of the input (UTF-8) is judged as a state,
// a conditions and a signals cell, and the first four lines are loaded as one table row.

#include "fuzzsupport.h"

#include "cells/celllanguage.h"
#include "cells/rowrules.h"

#include <QString>

#include <algorithm>
#include <array>
#include <memory>

namespace {

// Lines beyond these add little but time.
constexpr int maxLines = 32;

// A string over a buffer of exactly its length, without Qt's terminating NUL, so that reading
// past the end of the text is caught by AddressSanitizer.
class ExactText {
public:
    explicit ExactText(QStringView text)
        : buffer_(new char16_t[size_t(text.size())]),
          text_(QString::fromRawData(reinterpret_cast<QChar *>(buffer_.get()), text.size()))
    {
        std::copy(text.utf16(), text.utf16() + text.size(), buffer_.get());
    }
    const QString &text() const { return text_; }

private:
    std::unique_ptr<char16_t[]> buffer_;
    QString text_;
};

bool isAscii(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

std::array<quint8, 8> flagsOf(int bits)
{
    std::array<quint8, 8> flags{};
    for (int i = 0; i < 8; ++i)
        flags[size_t(i)] = quint8((bits >> i) & 1);
    return flags;
}

void checkState(const QString &text)
{
    if (!orb::isStateTextValid(text))
        return;
    FUZZ_CHECK(text.size() <= 3);
    const int value = orb::stateValue(text);
    FUZZ_CHECK(value >= 0 && value <= 999);
}

void checkConditions(const QString &text)
{
    // A form a previous text left behind; an empty or constant text must not touch it.
    orb::ParsedConditions parsed;
    parsed.operandIndexes[0] = 3;
    parsed.operandPrefixes[0] = u'!';
    const orb::ParsedConditions before = parsed;

    const bool correct = orb::checkTransitionConditions(text, parsed);
    fuzz::checkConditionSlots(parsed);
    if (isAscii(text)) {
        orb::ParsedConditions upper;
        FUZZ_CHECK(orb::checkTransitionConditions(text.toUpper(), upper) == correct);
    }
    if (!correct)
        return;

    const orb::ConstantCondition constant = orb::constantCondition(text);
    const bool untouched = text.isEmpty() || constant != orb::ConstantCondition::None;
    if (untouched) {
        FUZZ_CHECK(parsed.operandIndexes == before.operandIndexes);
        FUZZ_CHECK(parsed.operandPrefixes == before.operandPrefixes);
    } else {
        // A correct list names each operand once, and every prefix belongs to an operand.
        const int count = parsed.operandCount();
        FUZZ_CHECK(count <= 8);
        for (int k = count; k < orb::conditionSlots; ++k)
            FUZZ_CHECK(parsed.operandPrefixes[size_t(k)] == 0);
    }

    // The meaning in cell order, before normalising reorders anything.
    bool meaning[256];
    for (int bits = 0; bits < 256; ++bits) {
        const std::array<quint8, 8> flags = flagsOf(bits);
        bool holds = true;
        if (constant == orb::ConstantCondition::False) {
            holds = false;
        } else if (!untouched) {
            for (int k = 0; k < parsed.operandCount(); ++k) {
                const quint8 wanted = parsed.operandPrefixes[size_t(k)] == 0 ? 1 : 0;
                if (flags[size_t(parsed.operandIndexes[size_t(k)])] != wanted)
                    holds = false;
            }
        }
        meaning[bits] = holds;
    }

    const QString normal = orb::normalizeTransitionConditions(text, parsed);
    fuzz::checkConditionSlots(parsed);
    FUZZ_CHECK(normal.size() <= orb::maxLengthOfField(orb::ConditionsField));
    if (untouched)
        FUZZ_CHECK(normal == text);

    orb::ParsedConditions again;
    FUZZ_CHECK(orb::checkTransitionConditions(normal, again));
    if (!untouched) {
        FUZZ_CHECK(again.operandIndexes == parsed.operandIndexes);
        FUZZ_CHECK(again.operandPrefixes == parsed.operandPrefixes);
        for (int k = 1; k < parsed.operandCount(); ++k)
            FUZZ_CHECK(parsed.operandIndexes[size_t(k - 1)] < parsed.operandIndexes[size_t(k)]);
    }
    FUZZ_CHECK(orb::normalizeTransitionConditions(normal, again) == normal);
    for (int bits = 0; bits < 256; ++bits) {
        const std::array<quint8, 8> flags = flagsOf(bits);
        FUZZ_CHECK(orb::conditionsHold(normal, parsed, flags) == meaning[bits]);
        FUZZ_CHECK(orb::conditionsHold(normal, again, flags) == meaning[bits]);
    }
}

void checkSignals(const QString &text)
{
    orb::ParsedSignals parsed;
    parsed.signalNumbers[0] = 42;
    parsed.numberCount = 1;
    const orb::ParsedSignals before = parsed;

    const bool correct = orb::checkControlSignals(text, parsed);
    fuzz::checkSignalSlots(parsed);
    if (isAscii(text)) {
        orb::ParsedSignals upper;
        FUZZ_CHECK(orb::checkControlSignals(text.toUpper(), upper) == correct);
    }
    if (!correct || text.isEmpty()) {
        // A wrong text leaves the previous numbers alone.
        FUZZ_CHECK(parsed.signalNumbers == before.signalNumbers);
        FUZZ_CHECK(parsed.numberCount == before.numberCount);
        return;
    }
    for (int i = 0; i < parsed.numberCount; ++i) {
        for (int j = 0; j < i; ++j)
            FUZZ_CHECK(parsed.signalNumbers[size_t(i)] != parsed.signalNumbers[size_t(j)]);
    }

    const QString normal = orb::normalizeControlSignals(text, parsed);
    FUZZ_CHECK(normal.size() <= orb::maxLengthOfField(orb::SignalsField));
    orb::ParsedSignals again;
    FUZZ_CHECK(orb::checkControlSignals(normal, again));
    FUZZ_CHECK(orb::normalizeControlSignals(normal, again) == normal);
    if (normal.isEmpty()) {
        for (int i = 0; i < parsed.numberCount; ++i)
            FUZZ_CHECK(!orb::isSignalNumber(parsed.signalNumbers[size_t(i)]));
        return;
    }
    // The normal text lists exactly the signals of the text, ascending.
    int kept = 0;
    for (int i = 0; i < parsed.numberCount; ++i) {
        if (orb::isSignalNumber(parsed.signalNumbers[size_t(i)]))
            ++kept;
    }
    FUZZ_CHECK(again.numberCount == kept);
    for (int i = 0; i < again.numberCount; ++i) {
        const qint32 number = again.signalNumbers[size_t(i)];
        FUZZ_CHECK(orb::isSignalNumber(number));
        if (i > 0)
            FUZZ_CHECK(again.signalNumbers[size_t(i - 1)] < number);
        bool inText = false;
        for (int j = 0; j < parsed.numberCount; ++j)
            inText = inText || parsed.signalNumbers[size_t(j)] == number;
        FUZZ_CHECK(inText);
    }
}

void checkRow(const QStringList &lines)
{
    orb::HeadlessTable table;
    table.reset(1);
    for (int field = 0; field < orb::fieldCount && field < lines.size(); ++field)
        table.fillAndCommit(0, field, lines[field]);
    fuzz::checkTable(table);

    // Committing a loaded cell again changes nothing: what a load leaves is already final.
    const orb::HeadlessTable::Row loaded = table.row(0);
    const int errors = table.errorCount();
    for (int field = 0; field < orb::fieldCount; ++field)
        table.fillAndCommit(0, field, loaded.cells[size_t(field)].text);
    for (int field = 0; field < orb::fieldCount; ++field) {
        FUZZ_CHECK(table.row(0).cells[size_t(field)].text == loaded.cells[size_t(field)].text);
        if (!fuzz::markDependsOnHistory(loaded, field))
            FUZZ_CHECK(table.row(0).cells[size_t(field)].correct ==
                       loaded.cells[size_t(field)].correct);
    }
    fuzz::checkTable(table);
    int historyMarks = 0;
    for (int field = 0; field < orb::fieldCount; ++field)
        historyMarks += fuzz::markDependsOnHistory(loaded, field) ? 1 : 0;
    FUZZ_CHECK(qAbs(table.errorCount() - errors) <= historyMarks);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::trapQtWarnings();
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QStringList lines = input.split(u'\n');
    if (lines.size() > maxLines)
        lines.resize(maxLines);
    for (const QString &line : lines) {
        const ExactText exact(line);
        checkState(exact.text());
        checkConditions(exact.text());
        checkSignals(exact.text());
    }
    checkRow(lines);
    return 0;
}
