// SPDX-License-Identifier: GPL-3.0-or-later
//
// The cell language: which texts are correct, their parsed forms and their normal forms.

#include "cells/celllanguage.h"
#include "coretestutil.h"

#include <QTest>

using namespace Qt::StringLiterals;

using namespace orb;

class TestCellLanguage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void stateTexts_data();
    void stateTexts();
    void conditions_data();
    void conditions();
    void conditionMeaning_data();
    void conditionMeaning();
    void signalTexts_data();
    void signalTexts();
    void signalParsedForm();
    void signalSet();
};

void TestCellLanguage::stateTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << "" << true << 0;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("max") << "999" << true << 999;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("four digits") << "1000" << false << 0;
    QTest::newRow("letter") << "12a" << false << 0;
    QTest::newRow("minus") << "-" << false << 0;
    QTest::newRow("signed") << "+1" << false << 0;
    QTest::newRow("blank") << " 1" << false << 0;
    QTest::newRow("arabic-indic digit") << QString(QChar(0x0661)) << false << 0;
}

void TestCellLanguage::stateTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    QCOMPARE(isStateTextValid(text), valid);
    if (valid)
        QCOMPARE(stateValue(text), value);
}

void TestCellLanguage::conditions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("correct");
    QTest::addColumn<QString>("normal");
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("one blank") << " " << true << "";
    QTest::newRow("constant b") << "b" << true << "b";
    QTest::newRow("constant B") << "B" << true << "B";
    QTest::newRow("constant -B") << "-B" << true << "-B";
    QTest::newRow("constant !b") << "!b" << true << "!b";
    QTest::newRow("blank before b") << " b" << false << "";
    QTest::newRow("empty item") << "x1,,x2" << true << "x2,x1";
    QTest::newRow("trailing comma") << "x1," << true << "x1";
    QTest::newRow("leading comma") << ",z" << true << "z";
    QTest::newRow("trailing minus") << "x1,-" << false << "";
    QTest::newRow("two names without comma") << "x1 x2" << false << "";
    QTest::newRow("same name twice") << "x1,!X1" << false << "";
    QTest::newRow("negated with blank") << "- x1" << true << "-x1";
    QTest::newRow("blanks inside a name") << "x 1" << true << "x1";
    QTest::newRow("sorted with prefixes") << "C, -X1,z" << true << "-x1,z,c";
    QTest::newRow("bang kept") << "!p ,x4" << true << "x4,!p";
    QTest::newRow("c before x4") << "c,x4" << true << "x4,c";
    QTest::newRow("single negated") << "!z" << true << "!z";
    QTest::newRow("unknown name") << "x5" << false << "";
    QTest::newRow("double prefix") << "--x1" << false << "";
    QTest::newRow("lone prefix before operand") << "-,x1" << false << "";
    QTest::newRow("lone prefix between operands") << "x1,!,x2" << false << "";
    QTest::newRow("cyrillic c") << QString::fromUtf8("с") << false << "";
    QTest::newRow("all eight negated")
        << "-p,-c,-n,-z,-x1,-x2,-x3,-x4" << true << "-x4,-x3,-x2,-x1,-z,-n,-c,-p";
}

void TestCellLanguage::conditions()
{
    QFETCH(QString, text);
    QFETCH(bool, correct);
    QFETCH(QString, normal);
    ParsedConditions parsed;
    QCOMPARE(checkTransitionConditions(text, parsed), correct);
    if (!correct)
        return;
    const QString result = normalizeTransitionConditions(text, parsed);
    QCOMPARE(result, normal);
    QVERIFY(result.size() <= maxLengthOfField(ConditionsField));

    // The normal text is correct and its own normal form, and parses in normal order.
    ParsedConditions again;
    QVERIFY(checkTransitionConditions(result, again));
    QCOMPARE(normalizeTransitionConditions(result, again), result);
    if (constantCondition(text) == ConstantCondition::None && !text.isEmpty()) {
        QCOMPARE(again.operandIndexes, parsed.operandIndexes);
        QCOMPARE(again.operandExpected, parsed.operandExpected);
        for (int k = 1; k < again.operandCount(); ++k)
            QVERIFY(again.operandIndexes[size_t(k - 1)] < again.operandIndexes[size_t(k)]);
        QCOMPARE(again.operandIndexes[8], -1);
    }
}

void TestCellLanguage::conditionMeaning_data()
{
    // flags in the order X4 X3 X2 X1 Z N C P
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("holds");
    QTest::newRow("empty is true") << ""
                                   << "00000000" << true;
    QTest::newRow("b") << "B"
                       << "00000000" << true;
    QTest::newRow("-b") << "-b"
                        << "11111111" << false;
    QTest::newRow("!b") << "!B"
                        << "11111111" << false;
    QTest::newRow("z set") << "z"
                           << "00001000" << true;
    QTest::newRow("z clear") << "z"
                             << "00000000" << false;
    QTest::newRow("not z") << "-z"
                           << "00000000" << true;
    QTest::newRow("and, first fails") << "x4,c"
                                      << "00000010" << false;
    QTest::newRow("and, all hold") << "c,x4,!p"
                                   << "10000010" << true;
    QTest::newRow("and, last fails") << "c,x4,!p"
                                     << "10000011" << false;
}

void TestCellLanguage::conditionMeaning()
{
    QFETCH(QString, text);
    QFETCH(QString, flags);
    QFETCH(bool, holds);
    ParsedConditions parsed;
    QVERIFY(checkTransitionConditions(text, parsed));
    const QString normal = normalizeTransitionConditions(text, parsed);
    std::array<quint8, 8> values{};
    for (int i = 0; i < 8; ++i)
        values[size_t(i)] = flags[i] == u'1' ? 1 : 0;
    QCOMPARE(conditionsHold(normal, parsed, values), holds);
}

void TestCellLanguage::signalTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("correct");
    QTest::addColumn<QString>("normal");
    QTest::newRow("empty") << "" << true << "";
    QTest::newRow("upper case") << "y6,Y7" << true << "y6,y7";
    QTest::newRow("sorted, filtered, blanks") << "Y10, y6,y80,y 7" << true << "y6,y7,y10";
    QTest::newRow("y alone") << "y" << false << "";
    QTest::newRow("trailing y") << "y6,y" << false << "";
    QTest::newRow("three digits") << "y123" << false << "";
    QTest::newRow("letter after digit") << "y1a" << false << "";
    QTest::newRow("letter and blank") << "y1a " << false << "";
    QTest::newRow("same number twice") << "y6,y06" << false << "";
    QTest::newRow("cyrillic y") << QString::fromUtf8("у6") << false << "";
    QTest::newRow("not a signal") << "y80" << true << "";
    QTest::newRow("zero and low numbers") << "y0,y5,y7" << true << "y7";
    QTest::newRow("missing number") << "y32,y31" << true << "y31";
    QTest::newRow("both ranges") << "y15,y20" << true << "y15,y20";
    QTest::newRow("gap") << "y16" << true << "";
    QTest::newRow("empty items") << ",y20,,y21," << true << "y20,y21";
    QTest::newRow("ten items") << "y6,y7,y8,y9,y10,y11,y12,y13,y14,y15" << true
                               << "y6,y7,y8,y9,y10,y11,y12,y13,y14,y15";
    QTest::newRow("eleven items") << "y0,y1,y2,y3,y4,y5,y6,y7,y8,y9,y20" << false << "";
    QTest::newRow("other separator") << "y6;y7" << false << "";
}

void TestCellLanguage::signalTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, correct);
    QFETCH(QString, normal);
    ParsedSignals parsed;
    QCOMPARE(checkControlSignals(text, parsed), correct);
    if (!correct)
        return;
    const QString result = normalizeControlSignals(text, parsed);
    QCOMPARE(result, normal);
    ParsedSignals again;
    QVERIFY(checkControlSignals(result, again));
    QCOMPARE(normalizeControlSignals(result, again), result);
}

void TestCellLanguage::signalParsedForm()
{
    ParsedSignals parsed;
    QVERIFY(checkControlSignals(u"y31, y6,y0"_s, parsed));
    QCOMPARE(parsed.count(), 3);
    QCOMPARE(parsed.signalNumbers[0], 31);
    QCOMPARE(parsed.signalNumbers[1], 6);
    QCOMPARE(parsed.signalNumbers[2], 0);
    QCOMPARE(parsed.signalNumbers[3], 0);

    // A wrong text leaves the previous numbers in place.
    QVERIFY(!checkControlSignals(u"y20,y"_s, parsed));
    QCOMPARE(parsed.signalNumbers[0], 31);

    // The normal text parses to the kept numbers in ascending order.
    QVERIFY(checkControlSignals(normalizeControlSignals(u"y31, y6,y0"_s, parsed), parsed));
    QCOMPARE(parsed.count(), 2);
    QCOMPARE(parsed.signalNumbers[0], 6);
    QCOMPARE(parsed.signalNumbers[1], 31);
    QCOMPARE(parsed.signalNumbers[2], 0);
}

void TestCellLanguage::signalSet()
{
    int members = 0;
    for (int n = 0; n < 100; ++n)
        members += isSignalNumber(n) ? 1 : 0;
    QCOMPARE(members, 49);
    for (int n : {32, 33, 34, 39, 40, 44, 46, 51, 54, 59, 61, 65, 5, 16, 19, 71})
        QVERIFY2(!isSignalNumber(n), qPrintable(QString::number(n)));
}

QTEST_GUILESS_MAIN(TestCellLanguage)
#include "tst_celllanguage.moc"
