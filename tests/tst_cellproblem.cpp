// SPDX-License-Identifier: GPL-3.0-or-later
//
// The reasons given for refused cells: one for every kind of refusal, each agreeing with the
// cell language's own check, and the row rule behind a red state cell.

#include "cells/cellproblem.h"
#include "cells/celllanguage.h"
#include "cells/rowrules.h"
#include "coretestutil.h"

#include <QRandomGenerator>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

bool checkPasses(int field, const QString &text)
{
    switch (field) {
    case ConditionsField: {
        ParsedConditions parsed;
        return checkTransitionConditions(text, parsed);
    }
    case SignalsField: {
        ParsedSignals parsed;
        return checkControlSignals(text, parsed);
    }
    default:
        return isStateTextValid(text);
    }
}

} // namespace

class TestCellProblem : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void reasons_data();
    void reasons();
    void correctTextsHaveNoReason_data();
    void correctTextsHaveNoReason();
    void reasonExactlyWhenTheCheckRefuses();
    void rowRuleForStates();
    void reasonBehindEveryLoadedRedCell();
    void droppedSignals();
};

void TestCellProblem::reasons_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message"); // empty: only the code is pinned

    const int s = SourceStateField, c = ConditionsField, y = SignalsField;
    QTest::newRow("state letter") << s << u"1a"_s << u"state-not-a-number"_s
                                  << u"«a» в «1a» — не цифра: состояние — число от 0 до 999"_s;
    QTest::newRow("state Cyrillic o")
        << s << u"1о"_s << u"state-letter-o"_s << u"Буква «о» в «1о»: нужна цифра 0"_s;
    QTest::newRow("state blank") << int(NextStateField) << u" 1"_s << u"state-blank"_s << QString();
    QTest::newRow("state minus") << s << u"-1"_s << u"state-not-a-number"_s << QString();
    QTest::newRow("state too long") << s << u"1234"_s << u"state-too-long"_s << QString();
    QTest::newRow("state Arabic digit") << s << u"١"_s << u"state-not-a-number"_s << QString();

    QTest::newRow("blank before b") << c << u" b"_s << u"blank-before"_s << u"Пробел перед «b»"_s;
    QTest::newRow("blank after -b") << c << u"-b "_s << u"blank-after"_s << u"Пробел после «-b»"_s;
    QTest::newRow("blank inside") << c << u"! B"_s << u"blank-inside"_s << u"Пробел внутри «!b»"_s;
    QTest::newRow("b in a list") << c << u"b,x1"_s << u"constant-in-list"_s << QString();
    QTest::newRow("b with a comma") << c << u"b,"_s << u"constant-in-list"_s << QString();
    QTest::newRow("operand twice")
        << c << u"x1,-X1"_s << u"operand-twice"_s << u"x1 указан дважды"_s;
    QTest::newRow("unknown operand")
        << c << u"x5"_s << u"unknown-operand"_s
        << u"«x5» — нет такого условия; допустимы x4 x3 x2 x1 z n c p"_s;
    QTest::newRow("Cyrillic x") << c << u"Х1"_s << u"cyrillic-x"_s
                                << u"Кириллическая буква «х» в «х1»: нужна латинская x"_s;
    QTest::newRow("Cyrillic c") << c << u"z,с"_s << u"cyrillic-c"_s << QString();
    QTest::newRow("Cyrillic p") << c << u"р"_s << u"cyrillic-p"_s << QString();
    QTest::newRow("comma missing") << c << u"x1 x2"_s << u"comma-missing"_s
                                   << u"Нет запятой между условиями в «x1x2»: пишите x1,x2"_s;
    QTest::newRow("prefix alone") << c << u"x1,-,z"_s << u"prefix-without-operand"_s
                                  << u"«-» без условия после него"_s;
    QTest::newRow("prefix at the end")
        << c << u"x1,!"_s << u"prefix-without-operand"_s << QString();
    QTest::newRow("prefix twice") << c << u"--x1"_s << u"prefix-twice"_s << QString();
    QTest::newRow("digit") << c << u"1"_s << u"unknown-operand"_s << QString();

    QTest::newRow("Cyrillic y") << y << u"у30"_s << u"cyrillic-y"_s
                                << u"Кириллическая буква «у» в «у30»: нужна латинская y"_s;
    QTest::newRow("Cyrillic Y") << y << u"y6,У30"_s << u"cyrillic-y"_s << QString();
    QTest::newRow("y alone") << y << u"y6,y"_s << u"signal-without-number"_s << QString();
    QTest::newRow("signals glued") << y << u"y20y21"_s << u"comma-missing"_s << QString();
    QTest::newRow("signals glued by a blank") << y << u"y2 y3"_s << u"comma-missing"_s << QString();
    QTest::newRow("three digits") << y << u"y100"_s << u"signal-number-too-long"_s << QString();
    QTest::newRow("letter in number") << y << u"y2a"_s << u"signal-not-a-number"_s << QString();
    QTest::newRow("long letter in number")
        << y << u"y2ab"_s << u"signal-not-a-number"_s << QString();
    QTest::newRow("number without y") << y << u"20"_s << u"signal-without-y"_s << QString();
    QTest::newRow("not a signal") << y << u"x5"_s << u"not-a-signal"_s << QString();
    QTest::newRow("signal twice") << y << u"Y20, y20"_s << u"signal-twice"_s
                                  << u"y20 указан дважды"_s;
    QTest::newRow("signal twice with a zero")
        << y << u"y5,y05"_s << u"signal-twice"_s << u"y5 указан дважды"_s;
    QTest::newRow("eleven signals") << y << u"y6,y7,y8,y9,y10,y11,y12,y13,y14,y15,y20"_s
                                    << u"too-many-signals"_s << u"Больше 10 сигналов"_s;
    // A repeat among eleven is found first, as the check finds it.
    QTest::newRow("eleventh repeats")
        << y << u"y6,y7,y8,y9,y10,y11,y12,y13,y14,y15,y6"_s << u"signal-twice"_s << QString();
}

void TestCellProblem::reasons()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(QString, code);
    QFETCH(QString, message);
    QVERIFY(!checkPasses(field, text));
    const std::optional<CellProblem> found = cellProblem(field, text);
    QVERIFY(found);
    QCOMPARE(found->code, code);
    QVERIFY(!found->message.isEmpty());
    if (!message.isEmpty())
        QCOMPARE(found->message, message);
}

void TestCellProblem::correctTextsHaveNoReason_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty state") << int(SourceStateField) << QString();
    QTest::newRow("state 007") << int(NextStateField) << u"007"_s;
    QTest::newRow("empty conditions") << int(ConditionsField) << QString();
    QTest::newRow("b") << int(ConditionsField) << u"B"_s;
    QTest::newRow("-b") << int(ConditionsField) << u"-b"_s;
    QTest::newRow("list with blanks") << int(ConditionsField) << u" C, -X1 , z,"_s;
    QTest::newRow("lone comma") << int(ConditionsField) << u","_s;
    QTest::newRow("only commas") << int(SignalsField) << u",,"_s;
    QTest::newRow("ten signals") << int(SignalsField) << u"y6,y7,y8,y9,y10,y11,y12,y13,y14,y15"_s;
    QTest::newRow("dropped numbers") << int(SignalsField) << u"y32, Y0"_s;
}

void TestCellProblem::correctTextsHaveNoReason()
{
    QFETCH(int, field);
    QFETCH(QString, text);
    QVERIFY(checkPasses(field, text));
    QVERIFY(!cellProblem(field, text));
}

void TestCellProblem::reasonExactlyWhenTheCheckRefuses()
{
    // Texts from the characters that matter to the checks, Cyrillic look-alikes and a few
    // strangers among them.
    static const QString alphabet = u"xXyYzZnNcCpPbB01234567-!, ,хсрууХоaİ١\t"_s;
    QRandomGenerator random(20261208);
    for (int round = 0; round < 60000; ++round) {
        const int field = int(random.bounded(fieldCount));
        const int length = int(random.bounded(isStateField(field) ? 6 : 14));
        QString text;
        for (int i = 0; i < length; ++i)
            text += alphabet[qsizetype(random.bounded(int(alphabet.size())))];
        const std::optional<CellProblem> found = cellProblem(field, text);
        if (found.has_value() == checkPasses(field, text))
            QFAIL(qPrintable(u"field %1, text \"%2\": check %3, reason %4"_s.arg(field).arg(
                text, checkPasses(field, text) ? u"passes"_s : u"refuses"_s,
                found ? found->code : u"none"_s)));
        if (found && (found->code.isEmpty() || found->message.isEmpty()))
            QFAIL(qPrintable(u"empty reason for \"%1\""_s.arg(text)));
    }
}

void TestCellProblem::rowRuleForStates()
{
    const std::array<QString, 4> emptyRow{};
    for (int field = 0; field < fieldCount; ++field)
        QVERIFY(!rowCellProblem(emptyRow, field));

    const std::array<QString, 4> signalsOnly{QString(), QString(), QString(), u"y20"_s};
    QCOMPARE(rowCellProblem(signalsOnly, SourceStateField)->message,
             u"Строка не пуста — нужно исходное состояние"_s);
    QCOMPARE(rowCellProblem(signalsOnly, NextStateField)->message,
             u"Строка не пуста — нужно следующее состояние"_s);
    QCOMPARE(rowCellProblem(signalsOnly, NextStateField)->code, u"state-missing"_s);
    QVERIFY(!rowCellProblem(signalsOnly, SignalsField));

    // The cell's own reason comes first; a filled state needs nothing from the row.
    const std::array<QString, 4> wrong{u"1"_s, QString(), u"x9"_s, QString()};
    QCOMPARE(rowCellProblem(wrong, ConditionsField)->code, u"unknown-operand"_s);
    QCOMPARE(rowCellProblem(wrong, NextStateField)->code, u"state-missing"_s);
    QVERIFY(!rowCellProblem(wrong, SourceStateField));
    const std::array<QString, 4> badState{u"1x"_s, u"2"_s, QString(), QString()};
    QCOMPARE(rowCellProblem(badState, SourceStateField)->code, u"state-not-a-number"_s);
    QVERIFY(!rowCellProblem(badState, 7));
}

void TestCellProblem::reasonBehindEveryLoadedRedCell()
{
    // Rows loaded as a document loads them: every red cell has a reason, and a cell with a
    // reason is red unless normalisation emptied a cell of its row (the marks then depend on
    // the order in which the cells were filled, as in the editor).
    static const QStringList pieces = {u""_s,    u"1"_s,   u"07"_s,   u"1a"_s, u"x1"_s,
                                       u"x9"_s,  u","_s,   u"-b"_s,   u" b"_s, u"y20"_s,
                                       u"y32"_s, u"y2y"_s, u"x1,z"_s, u"у6"_s};
    QRandomGenerator random(7);
    for (int round = 0; round < 5000; ++round) {
        std::array<QString, 4> texts;
        for (QString &text : texts)
            text = pieces[qsizetype(random.bounded(int(pieces.size())))];
        HeadlessTable table;
        table.reset(1);
        for (int field = 0; field < fieldCount; ++field)
            table.fillAndCommit(0, field, texts[size_t(field)]);
        std::array<QString, 4> shown;
        bool emptied = false;
        for (int field = 0; field < fieldCount; ++field) {
            shown[size_t(field)] = table.row(0).cells[size_t(field)].text;
            emptied =
                emptied || (shown[size_t(field)].isEmpty() && !texts[size_t(field)].isEmpty());
        }
        for (int field = 0; field < fieldCount; ++field) {
            const bool red = !table.row(0).cells[size_t(field)].correct;
            const bool reason = rowCellProblem(shown, field).has_value();
            if (red && !reason)
                QFAIL(qPrintable(u"red without a reason: %1 field %2"_s
                                     .arg(QStringList(shown.begin(), shown.end()).join(u'|'))
                                     .arg(field)));
            if (reason && !red && !emptied)
                QFAIL(qPrintable(u"reason without red: %1 field %2"_s
                                     .arg(QStringList(shown.begin(), shown.end()).join(u'|'))
                                     .arg(field)));
        }
    }
}

void TestCellProblem::droppedSignals()
{
    QCOMPARE(droppedSignalsNote(u"y80, Y20,y32"), u"y32, y80 — таких сигналов нет; убраны"_s);
    QCOMPARE(droppedSignalsNote(u"y0"), u"y0 — такого сигнала нет; убран"_s);
    QCOMPARE(droppedSignalsNote(u"y6,y70"), QString());
    QCOMPARE(droppedSignalsNote(u""), QString());
    // A refused text drops nothing: it stays as typed.
    QCOMPARE(droppedSignalsNote(u"y32,y32"), QString());
}

QTEST_APPLESS_MAIN(TestCellProblem)
#include "tst_cellproblem.moc"
