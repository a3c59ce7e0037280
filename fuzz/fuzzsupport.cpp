// SPDX-License-Identifier: GPL-3.0-or-later

#include "fuzzsupport.h"

#include <QtGlobal>

namespace fuzz {

namespace {

void abortOnWarning(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fprintf(stderr, "Qt message treated as a finding: %s\n", qPrintable(message));
    std::abort();
}

} // namespace

void trapQtWarnings()
{
    static const bool installed = (qInstallMessageHandler(abortOnWarning), true);
    Q_UNUSED(installed);
}

void openDocument(const orb::LoadedDocument &document, OpenedDocument &opened)
{
    FUZZ_CHECK(document.rowCount >= 1 && document.rowCount <= orb::maxDocumentRows);
    FUZZ_CHECK(document.cells.size() <= qsizetype(document.rowCount) * orb::fieldCount);
    FUZZ_CHECK(document.memory.size() <= orb::memoryCellCount);

    orb::loadTable(opened.table, document);

    opened.memory = QStringList(orb::memoryCellCount, QStringLiteral("00"));
    for (qsizetype i = 0; i < document.memory.size(); ++i) {
        const QString &raw = document.memory[i];
        // Only the last memory text may lack its second character.
        FUZZ_CHECK(raw.size() == 2 || (raw.size() == 1 && i == document.memory.size() - 1));
        opened.memory[i] = orb::maskedByteText(raw);
        FUZZ_CHECK(opened.memory[i].size() <= 2);
    }
}

QByteArray saveDocument(const OpenedDocument &opened)
{
    QList<orb::RowTexts> rows;
    rows.reserve(opened.table.rowCount());
    for (int r = 0; r < opened.table.rowCount(); ++r) {
        orb::RowTexts texts;
        for (int field = 0; field < orb::fieldCount; ++field)
            texts[size_t(field)] = opened.table.row(r).cells[size_t(field)].text;
        rows.append(texts);
    }
    return orb::serializeDocument(rows, opened.memory);
}

bool markDependsOnHistory(const orb::HeadlessTable::Row &row, int field)
{
    if (!orb::isStateField(field))
        return false;
    const int other = field == orb::SourceStateField ? orb::NextStateField : orb::SourceStateField;
    return row.cells[size_t(field)].text.isEmpty() && !row.cells[size_t(other)].text.isEmpty() &&
           row.cells[orb::ConditionsField].text.isEmpty() &&
           row.cells[orb::SignalsField].text.isEmpty();
}

void checkConditionSlots(const orb::ParsedConditions &parsed)
{
    FUZZ_CHECK(parsed.operandIndexes[orb::conditionSlots - 1] == -1);
    bool ended = false;
    bool seen[8] = {};
    for (int k = 0; k < orb::conditionSlots; ++k) {
        const qint32 index = parsed.operandIndexes[size_t(k)];
        FUZZ_CHECK(index >= -1 && index <= 7);
        if (index == -1) {
            ended = true;
        } else {
            FUZZ_CHECK(!ended);
            FUZZ_CHECK(!seen[index]);
            seen[index] = true;
        }
        const char16_t prefix = parsed.operandPrefixes[size_t(k)];
        FUZZ_CHECK(prefix == 0 || prefix == u'-' || prefix == u'!');
        FUZZ_CHECK(parsed.operandExpected[size_t(k)] <= 1);
    }
}

void checkSignalSlots(const orb::ParsedSignals &parsed)
{
    FUZZ_CHECK(parsed.numberCount >= 0 && parsed.numberCount <= orb::maxSignalItems);
    for (int i = 0; i < orb::signalSlots; ++i) {
        const qint32 number = parsed.signalNumbers[size_t(i)];
        if (i < parsed.numberCount)
            FUZZ_CHECK(number >= 0 && number <= 99);
        else
            FUZZ_CHECK(number == 0);
    }
}

namespace {

void checkConditionsCell(const orb::HeadlessTable::Row &row)
{
    const QString &text = row.cells[orb::ConditionsField].text;
    checkConditionSlots(row.conditions);
    if (!row.cells[orb::ConditionsField].correct)
        return;
    orb::ParsedConditions fresh;
    FUZZ_CHECK(orb::checkTransitionConditions(text, fresh));
    FUZZ_CHECK(orb::normalizeTransitionConditions(text, fresh) == text);
    if (text.isEmpty() || orb::constantCondition(text) != orb::ConstantCondition::None)
        return;
    // The step engine reads the stored form: it must be the normal text's, with the expected
    // flag values matching the prefixes.
    FUZZ_CHECK(row.conditions.operandIndexes == fresh.operandIndexes);
    FUZZ_CHECK(row.conditions.operandPrefixes == fresh.operandPrefixes);
    for (int k = 0; k < orb::conditionSlots; ++k)
        FUZZ_CHECK(row.conditions.operandExpected[size_t(k)] ==
                   (row.conditions.operandPrefixes[size_t(k)] == 0 ? 1 : 0));
}

void checkSignalsCell(const orb::HeadlessTable::Row &row)
{
    const QString &text = row.cells[orb::SignalsField].text;
    checkSignalSlots(row.signalNumbers);
    if (!row.cells[orb::SignalsField].correct || text.isEmpty())
        return;
    orb::ParsedSignals fresh;
    FUZZ_CHECK(orb::checkControlSignals(text, fresh));
    FUZZ_CHECK(orb::normalizeControlSignals(text, fresh) == text);
    FUZZ_CHECK(row.signalNumbers.signalNumbers == fresh.signalNumbers);
    FUZZ_CHECK(row.signalNumbers.numberCount == fresh.numberCount);
    for (int i = 0; i < row.signalNumbers.numberCount; ++i) {
        FUZZ_CHECK(orb::isSignalNumber(row.signalNumbers.signalNumbers[size_t(i)]));
        if (i > 0)
            FUZZ_CHECK(row.signalNumbers.signalNumbers[size_t(i - 1)] <
                       row.signalNumbers.signalNumbers[size_t(i)]);
    }
}

} // namespace

void checkTable(const orb::HeadlessTable &table)
{
    int wrong = 0;
    for (int r = 0; r < table.rowCount(); ++r) {
        const orb::HeadlessTable::Row &row = table.row(r);
        for (int field = 0; field < orb::fieldCount; ++field) {
            const orb::HeadlessTable::Cell &cell = row.cells[size_t(field)];
            FUZZ_CHECK(cell.text.size() <= orb::maxLengthOfField(field));
            if (!cell.correct)
                ++wrong;
        }
        for (int field : {orb::SourceStateField, orb::NextStateField}) {
            const orb::HeadlessTable::Cell &cell = row.cells[size_t(field)];
            if (cell.correct)
                FUZZ_CHECK(orb::isStateTextValid(cell.text));
            // Only conditions or signals demand both states for sure: a signals cell whose
            // numbers are all dropped clears both state marks when it empties, even beside a
            // filled state cell, as the row rules say.
            const bool rowHasTransition = !row.cells[orb::ConditionsField].text.isEmpty() ||
                                          !row.cells[orb::SignalsField].text.isEmpty();
            if (cell.text.isEmpty() && rowHasTransition)
                FUZZ_CHECK(!cell.correct);
        }
        checkConditionsCell(row);
        checkSignalsCell(row);
    }
    FUZZ_CHECK(wrong == table.errorCount());
}

} // namespace fuzz
