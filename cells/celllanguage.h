#pragma once

// SPDX-License-Identifier: GPL-3.0-or-later
//
// The language of the four transition-table cells as pure functions: which texts are correct,
// their parsed forms (what the step engine evaluates) and their normal forms (what a cell shows
// once the user has finished editing it). The table cell editor, the headless table of orb-run
// and the fuzzers all call these; none of them re-implements a rule.

#include <QString>
#include <QStringView>

#include <array>

namespace orb {

// The four cells of a row; the grid column of a cell is 2 * field + 2.
enum Field : int {
    SourceStateField = 0,
    NextStateField = 1,
    ConditionsField = 2,
    SignalsField = 3
};
inline constexpr int fieldCount = 4;
constexpr int gridColumnOfField(int field)
{
    return 2 * field + 2;
}
constexpr int fieldOfGridColumn(int column)
{
    return (column - 2) / 2;
}
constexpr bool isStateField(int field)
{
    return field == SourceStateField || field == NextStateField;
}

// What a cell's line edit accepts; setting a longer text truncates it, as the widget does.
int maxLengthOfField(int field);

inline constexpr int conditionSlots = 9;
inline constexpr int signalSlots = 11;
inline constexpr int maxSignalItems = signalSlots - 1;

struct ParsedConditions {
    std::array<qint32, conditionSlots> operandIndexes;    // conditionOperandNames index, then -1
    std::array<char16_t, conditionSlots> operandPrefixes; // '-', '!' or 0 per operand
    std::array<quint8, conditionSlots> operandExpected;   // 1: flag must be 1; built by normalising
    ParsedConditions() { clear(); }
    void clear()
    {
        operandIndexes.fill(-1);
        operandPrefixes.fill(0);
        operandExpected.fill(1);
    }
    int operandCount() const;
};

struct ParsedSignals {
    std::array<qint32, signalSlots> signalNumbers{}; // numbers in cell order, then 0
    // How many numbers the last successful check stored; "y0" makes 0 an ordinary entry, so
    // the end mark alone cannot tell.
    int numberCount = 0;
    int count() const { return numberCount; }
};

// State cells: the empty text or one to three ASCII digits (leading zeros kept).
bool isStateTextValid(QStringView text);
// The number a state cell stands for; an empty (or refused) text reads as 0.
int stateValue(QStringView text);

enum class ConstantCondition { None, True, False };
// "b" is true, "-b" and "!b" are false, in any letter case.
ConstantCondition constantCondition(QStringView text);

// Reads a conditions text (in lower case, not a constant condition) item by item, as the check
// and the reason of a red cell both read it: blanks before an item are skipped (but its last
// character is always read), a '-' or '!' that is not the text's last character is the item's
// prefix, and its name is every character up to the next comma, blanks dropped.
class ConditionTokenizer {
public:
    struct Item {
        QChar prefix; // '-' or '!'; null for none
        QString name; // empty for an empty item
    };
    explicit ConditionTokenizer(QStringView lowered) : text_(lowered) {}
    // The next item; call it while !atEnd(), and at least once for a text that is not empty.
    Item next();
    bool atEnd() const { return position_ >= text_.size(); }

private:
    QStringView text_;
    qsizetype position_ = 0;
};

// Checks a conditions text. Rebuilds operandIndexes and operandPrefixes, except for an empty
// text or a constant condition, which leave the parsed form alone.
bool checkTransitionConditions(const QString &text, ParsedConditions &parsed);
// For a text that just passed the check: sorts the parsed form, builds operandExpected and
// returns the normal text (the text itself for an empty cell or a constant condition).
QString normalizeTransitionConditions(const QString &text, ParsedConditions &parsed);
// The meaning of a correct, normalised conditions cell against the flags
// X4, X3, X2, X1, Z, N, C, P (index order of conditionOperandNames, values 0 or 1).
bool conditionsHold(QStringView text, const ParsedConditions &parsed,
                    const std::array<quint8, 8> &flags);

// Checks a signals text; fills signalNumbers only when it is correct and not empty.
bool checkControlSignals(const QString &text, ParsedSignals &parsed);
// For a text that just passed the check: the sorted list of the numbers that are signals.
QString normalizeControlSignals(const QString &text, const ParsedSignals &parsed);

// Whether a number names a signal of the signal table (6..15 and most of 20..70).
bool isSignalNumber(int number);

} // namespace orb
