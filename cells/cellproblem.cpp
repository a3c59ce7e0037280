// SPDX-License-Identifier: GPL-3.0-or-later

#include "cells/cellproblem.h"

#include "app/constants.h"
#include "cells/celllanguage.h"
#include "sim/registers.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace orb {

namespace {

constexpr char16_t blank = u' ';

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool allAsciiDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isAsciiDigit);
}

CellProblem problem(const char *code, const QString &message)
{
    return {QString::fromLatin1(code), message};
}

// Cyrillic letters that look like the Latin letters of the cell language, lower case (the
// checks see the text in lower case).
struct LookAlike {
    char16_t cyrillic;
    char16_t latin;
};
constexpr LookAlike lookAlikes[] = {{u'х', u'x'}, {u'с', u'c'}, {u'р', u'p'}, {u'у', u'y'}};

QString withLatinLetters(QString text)
{
    for (QChar &c : text) {
        for (const LookAlike &pair : lookAlikes) {
            if (c == pair.cyrillic)
                c = pair.latin;
        }
    }
    return text;
}

// "Кириллическая буква «х» в «х1»: нужна латинская x", for the first look-alike in item.
std::optional<CellProblem> cyrillicProblem(const QString &item)
{
    for (const QChar c : item) {
        for (const LookAlike &pair : lookAlikes) {
            if (c != pair.cyrillic)
                continue;
            return CellProblem{
                u"cyrillic-"_s + QChar(pair.latin),
                u"Кириллическая буква «%1» в «%2»: нужна латинская %3"_s.arg(c).arg(item).arg(
                    QChar(pair.latin))};
        }
    }
    return std::nullopt;
}

// ---- state cells

std::optional<CellProblem> stateProblem(QStringView text)
{
    if (isStateTextValid(text))
        return std::nullopt;
    const QString shown = text.toString();
    for (const QChar c : text) {
        if (isAsciiDigit(c))
            continue;
        if (c == blank)
            return problem("state-blank",
                           u"Пробел в «%1»: номер состояния пишется без пробелов"_s.arg(shown));
        if (c == u'o' || c == u'O' || c == u'о' || c == u'О')
            return problem("state-letter-o",
                           u"Буква «%1» в «%2»: нужна цифра 0"_s.arg(c).arg(shown));
        return problem(
            "state-not-a-number",
            u"«%1» в «%2» — не цифра: состояние — число от 0 до 999"_s.arg(c).arg(shown));
    }
    return problem("state-too-long",
                   u"«%1» — больше трёх цифр: состояние — число от 0 до 999"_s.arg(shown));
}

// ---- conditions cells

// The operands a name is glued from when commas are missing ("x1z" is x1 and z); empty when it
// is not made of two or more operands.
QStringList gluedOperands(const QString &name)
{
    QStringList parts;
    qsizetype p = 0;
    while (p < name.size()) {
        bool matched = false;
        for (const QString &operand : conditionOperandNames) {
            if (QStringView(name).mid(p).startsWith(operand)) {
                parts << operand;
                p += operand.size();
                matched = true;
                break;
            }
        }
        if (!matched)
            return {};
    }
    return parts.size() >= 2 ? parts : QStringList();
}

CellProblem unknownOperandProblem(const QString &lowered, const QString &name)
{
    QString compact = lowered;
    compact.remove(blank);
    if (constantCondition(compact) != ConstantCondition::None) {
        if (lowered.startsWith(blank))
            return problem("blank-before", u"Пробел перед «%1»"_s.arg(compact));
        if (lowered.endsWith(blank))
            return problem("blank-after", u"Пробел после «%1»"_s.arg(compact));
        return problem("blank-inside", u"Пробел внутри «%1»"_s.arg(compact));
    }
    if (name == u"b"_s)
        return problem("constant-in-list",
                       u"«b» — постоянное условие: оно пишется одно, без запятых и других "
                       u"условий"_s);
    if (name.size() > 1 && (name[0] == u'-' || name[0] == u'!')) {
        return problem("prefix-twice", u"Два знака отрицания подряд перед «%1»"_s.arg(name.mid(1)));
    }
    if (name == u"-"_s || name == u"!"_s)
        return problem("prefix-without-operand", u"«%1» без условия после него"_s.arg(name));
    const QString latin = withLatinLetters(name);
    if (latin != name && (conditionOperandNames.contains(latin) || latin == u"b"_s ||
                          !gluedOperands(latin).isEmpty())) {
        if (std::optional<CellProblem> cyrillic = cyrillicProblem(name))
            return *cyrillic;
    }
    if (const QStringList parts = gluedOperands(name); !parts.isEmpty())
        return problem("comma-missing", u"Нет запятой между условиями в «%1»: пишите %2"_s.arg(
                                            name, parts.join(u',')));
    return problem("unknown-operand",
                   u"«%1» — нет такого условия; допустимы x4 x3 x2 x1 z n c p"_s.arg(name));
}

// Walks the text as checkTransitionConditions does and names the first thing it refuses.
std::optional<CellProblem> conditionsProblem(QStringView text)
{
    const QString s = text.toString().toLower();
    if (s.isEmpty() || constantCondition(s) != ConstantCondition::None)
        return std::nullopt;

    bool seen[8] = {};
    ConditionTokenizer items(s);
    do {
        const ConditionTokenizer::Item item = items.next();
        if (item.name.isEmpty()) {
            if (!item.prefix.isNull())
                return problem("prefix-without-operand",
                               u"«%1» без условия после него"_s.arg(item.prefix));
        } else {
            const qsizetype index = conditionOperandNames.indexOf(item.name);
            if (index < 0)
                return unknownOperandProblem(s, item.name);
            if (seen[index])
                return problem("operand-twice", u"%1 указан дважды"_s.arg(item.name));
            seen[index] = true;
        }
    } while (!items.atEnd());
    return std::nullopt;
}

// ---- signals cells

CellProblem signalItemProblem(const QString &item)
{
    if (std::optional<CellProblem> cyrillic = cyrillicProblem(item))
        return *cyrillic;
    if (item == u"y"_s)
        return problem("signal-without-number", u"«y» без номера сигнала"_s);
    if (item.startsWith(u'y')) {
        const QStringView digits = QStringView(item).mid(1);
        if (digits.contains(u'y'))
            return problem("comma-missing", u"Нет запятой между сигналами в «%1»"_s.arg(item));
        if (allAsciiDigits(digits))
            return problem(
                "signal-number-too-long",
                u"«%1» — нет такого сигнала: номер сигнала — не больше двух цифр"_s.arg(item));
        return problem("signal-not-a-number",
                       u"«%1» — после y нужен номер сигнала из цифр"_s.arg(item));
    }
    if (allAsciiDigits(item))
        return problem("signal-without-y",
                       u"«%1» — перед номером сигнала нужна буква y"_s.arg(item));
    return problem(
        "not-a-signal",
        u"«%1» — не сигнал: сигнал пишется буквой y с номером, например y20"_s.arg(item));
}

// Walks the text as checkControlSignals does and names the first thing it refuses.
std::optional<CellProblem> signalsProblem(QStringView text)
{
    const QString s = text.toString().toLower();
    if (s.isEmpty())
        return std::nullopt;
    std::array<int, signalSlots> numbers{};
    int count = 0;
    const qsizetype length = s.size();
    qsizetype p = 0;
    while (p <= length) {
        QString item;
        while (p < length && s[p] != u',') {
            if (s[p] != blank)
                item.append(s[p]);
            ++p;
        }
        ++p;
        if (item.isEmpty())
            continue;
        if (item.size() < 2 || item.size() > 3 || item[0] != u'y')
            return signalItemProblem(item);
        int number = 0;
        for (qsizetype i = 1; i < item.size(); ++i) {
            if (!isAsciiDigit(item[i]))
                return signalItemProblem(item);
            number = number * 10 + (item[i].unicode() - u'0');
        }
        for (int i = 0; i < count; ++i) {
            if (numbers[size_t(i)] == number)
                return problem("signal-twice", u"y%1 указан дважды"_s.arg(number));
        }
        if (count == maxSignalItems)
            return problem("too-many-signals", u"Больше 10 сигналов"_s);
        numbers[size_t(count++)] = number;
    }
    return std::nullopt;
}

} // namespace

std::optional<CellProblem> cellProblem(int field, QStringView text)
{
    switch (field) {
    case SourceStateField:
    case NextStateField:
        return stateProblem(text);
    case ConditionsField:
        return conditionsProblem(text);
    case SignalsField:
        return signalsProblem(text);
    }
    return std::nullopt;
}

std::optional<CellProblem> rowCellProblem(const std::array<QString, 4> &row, int field)
{
    if (field < 0 || field >= fieldCount)
        return std::nullopt;
    if (std::optional<CellProblem> own = cellProblem(field, row[size_t(field)]))
        return own;
    if (!isStateField(field) || !row[size_t(field)].isEmpty())
        return std::nullopt;
    const bool rowEmpty =
        std::all_of(row.begin(), row.end(), [](const QString &text) { return text.isEmpty(); });
    if (rowEmpty)
        return std::nullopt;
    return field == SourceStateField
               ? problem("state-missing", u"Строка не пуста — нужно исходное состояние"_s)
               : problem("state-missing", u"Строка не пуста — нужно следующее состояние"_s);
}

QString droppedSignalsNote(QStringView signalsText)
{
    ParsedSignals parsed;
    const QString text = signalsText.toString();
    if (text.isEmpty() || !checkControlSignals(text, parsed))
        return {};
    QList<int> dropped;
    for (int i = 0; i < parsed.count(); ++i) {
        if (!isSignalNumber(parsed.signalNumbers[size_t(i)]))
            dropped << parsed.signalNumbers[size_t(i)];
    }
    if (dropped.isEmpty())
        return {};
    std::sort(dropped.begin(), dropped.end());
    QStringList names;
    for (const int number : dropped)
        names << u"y"_s + QString::number(number);
    return dropped.size() == 1 ? names.constFirst() + u" — такого сигнала нет; убран"_s
                               : names.join(u", "_s) + u" — таких сигналов нет; убраны"_s;
}

} // namespace orb
