// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/celllanguage.h"

#include "app/constants.h"
#include "cells/signaltable.h"
#include "sim/registers.h"

namespace orb {

namespace {

constexpr char16_t blank = u' ';

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int maxLengthOfField(int field)
{
    switch (field) {
    case SourceStateField:
    case NextStateField:
        return 3;
    case ConditionsField:
        return 27;
    case SignalsField:
        return 36;
    }
    return 0;
}

int ParsedConditions::operandCount() const
{
    int k = 0;
    while (k < conditionSlots && operandIndexes[size_t(k)] != -1)
        ++k;
    return k;
}

bool isStateTextValid(QStringView text)
{
    if (text.size() > 3)
        return false;
    for (QChar c : text) {
        if (!isAsciiDigit(c))
            return false;
    }
    return true;
}

int stateValue(QStringView text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

ConstantCondition constantCondition(QStringView text)
{
    if (text.size() == 1 && (text[0] == u'b' || text[0] == u'B'))
        return ConstantCondition::True;
    if (text.size() == 2 && (text[0] == u'-' || text[0] == u'!') &&
        (text[1] == u'b' || text[1] == u'B'))
        return ConstantCondition::False;
    return ConstantCondition::None;
}

ConditionTokenizer::Item ConditionTokenizer::next()
{
    const qsizetype length = text_.size();
    qsizetype p = position_;
    Item item;
    while (p < length - 1 && text_[p] == blank)
        ++p;
    if ((text_[p] == u'-' || text_[p] == u'!') && p != length - 1)
        item.prefix = text_[p++];
    while (p < length) {
        const QChar c = text_[p++];
        if (c == u',')
            break;
        if (c != blank)
            item.name.append(c);
    }
    position_ = p;
    return item;
}

bool checkTransitionConditions(const QString &text, ParsedConditions &parsed)
{
    const QString s = text.toLower();
    if (s.isEmpty() || constantCondition(s) != ConstantCondition::None)
        return true;

    parsed.operandIndexes.fill(-1);
    parsed.operandPrefixes.fill(0);
    bool seen[8] = {};
    int k = 0;
    ConditionTokenizer items(s);
    do {
        const ConditionTokenizer::Item item = items.next();
        parsed.operandPrefixes[size_t(k)] = item.prefix.unicode();
        if (item.name.isEmpty()) {
            // A prefix with no operand after it would silently negate the next operand.
            if (!item.prefix.isNull())
                return false;
        } else {
            const qsizetype index = conditionOperandNames.indexOf(item.name);
            if (index < 0 || seen[index])
                return false;
            seen[index] = true;
            parsed.operandIndexes[size_t(k)] = int(index);
            ++k;
        }
    } while (!items.atEnd());
    return true;
}

QString normalizeTransitionConditions(const QString &text, ParsedConditions &parsed)
{
    if (text.isEmpty() || constantCondition(text) != ConstantCondition::None)
        return text;

    const int count = parsed.operandCount();
    for (int i = 1; i < count; ++i) {
        const qint32 index = parsed.operandIndexes[size_t(i)];
        const char16_t prefix = parsed.operandPrefixes[size_t(i)];
        int j = i - 1;
        while (j >= 0 && parsed.operandIndexes[size_t(j)] > index) {
            parsed.operandIndexes[size_t(j + 1)] = parsed.operandIndexes[size_t(j)];
            parsed.operandPrefixes[size_t(j + 1)] = parsed.operandPrefixes[size_t(j)];
            --j;
        }
        parsed.operandIndexes[size_t(j + 1)] = index;
        parsed.operandPrefixes[size_t(j + 1)] = prefix;
    }
    for (int slot = 0; slot < conditionSlots; ++slot)
        parsed.operandExpected[size_t(slot)] = parsed.operandPrefixes[size_t(slot)] == 0 ? 1 : 0;

    QString normal;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            normal.append(u',');
        if (parsed.operandPrefixes[size_t(i)] != 0)
            normal.append(QChar(parsed.operandPrefixes[size_t(i)]));
        normal.append(conditionOperandNames[parsed.operandIndexes[size_t(i)]]);
    }
    return normal;
}

bool conditionsHold(QStringView text, const ParsedConditions &parsed,
                    const std::array<quint8, 8> &flags)
{
    if (text.isEmpty())
        return true;
    switch (constantCondition(text)) {
    case ConstantCondition::True:
        return true;
    case ConstantCondition::False:
        return false;
    case ConstantCondition::None:
        break;
    }
    for (int k = 0; k < conditionSlots; ++k) {
        const qint32 index = parsed.operandIndexes[size_t(k)];
        if (index < 0 || index > 7)
            break;
        if (flags[size_t(index)] != parsed.operandExpected[size_t(k)])
            return false;
    }
    return true;
}

bool checkControlSignals(const QString &text, ParsedSignals &parsed)
{
    const QString s = text.toLower();
    if (s.isEmpty())
        return true;

    std::array<qint32, signalSlots> numbers{};
    int count = 0;
    const qsizetype length = s.size();
    qsizetype p = 0;
    while (p <= length) {
        // One item: its non-blank characters up to the next comma or the end.
        QString item;
        while (p < length && s[p] != u',') {
            if (s[p] != blank)
                item.append(s[p]);
            ++p;
        }
        ++p; // past the comma (or the end)
        if (item.isEmpty())
            continue;
        if (item.size() < 2 || item.size() > 3 || item[0] != u'y')
            return false;
        int number = 0;
        for (qsizetype i = 1; i < item.size(); ++i) {
            if (!isAsciiDigit(item[i]))
                return false;
            number = number * 10 + (item[i].unicode() - u'0');
        }
        for (int i = 0; i < count; ++i) {
            if (numbers[size_t(i)] == number)
                return false;
        }
        // The parsed form holds ten numbers and its end mark; an eleventh makes the text wrong.
        if (count == maxSignalItems)
            return false;
        numbers[size_t(count++)] = number;
    }
    parsed.signalNumbers = numbers;
    parsed.numberCount = count;
    return true;
}

bool isSignalNumber(int number)
{
    return signalInfo(number) != nullptr;
}

QString normalizeControlSignals(const QString &text, const ParsedSignals &parsed)
{
    if (text.isEmpty())
        return text;
    std::array<qint32, signalSlots> numbers = parsed.signalNumbers;
    const int count = qBound(0, parsed.numberCount, maxSignalItems);
    for (int i = 1; i < count; ++i) {
        const qint32 value = numbers[size_t(i)];
        int j = i - 1;
        while (j >= 0 && numbers[size_t(j)] > value) {
            numbers[size_t(j + 1)] = numbers[size_t(j)];
            --j;
        }
        numbers[size_t(j + 1)] = value;
    }
    QString normal;
    for (int i = 0; i < count; ++i) {
        if (!isSignalNumber(numbers[size_t(i)]))
            continue;
        if (!normal.isEmpty())
            normal.append(u',');
        normal.append(u'y');
        normal.append(QString::number(numbers[size_t(i)]));
    }
    return normal;
}

} // namespace orb
