// SPDX-License-Identifier: GPL-3.0-or-later
//
// The row rules on the headless table: which cells a change or a finished edit marks.

#include "cells/rowrules.h"
#include "coretestutil.h"

#include <QTest>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

using namespace orb;

namespace {

// The correct flags of a row as a four-character string, '1' = correct.
QString marks(const HeadlessTable &table, int row)
{
    QString result;
    for (const auto &cell : table.row(row).cells)
        result.append(cell.correct ? u'1' : u'0');
    return result;
}

} // namespace

class TestRowRules : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void committedRows_data();
    void committedRows();
    void stateMarksFollowTheOtherState();
    void emptyingConditionsOrSignals();
    void refusedStateTextStaysWrong();
    void longTextsAreTruncated();
    void errorCountFollowsEveryRow();
};

void TestRowRules::committedRows_data()
{
    // marks: as the row opens; judged: as a launch, or a program running the document, goes
    // by them (the marks of the shown texts opened once more).
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<QString>("judged");
    QTest::newRow("blank row") << QStringList{u""_s, u""_s, u""_s, u""_s}
                               << QStringList{u""_s, u""_s, u""_s, u""_s} << "1111"
                               << "1111";
    QTest::newRow("complete row") << QStringList{u"0"_s, u"1"_s, u"C, -X1,z"_s, u"Y10, y6"_s}
                                  << QStringList{u"0"_s, u"1"_s, u"-x1,z,c"_s, u"y6,y10"_s}
                                  << u"1111"_s << u"1111"_s;
    QTest::newRow("source only") << QStringList{u"5"_s, u""_s, u""_s, u""_s}
                                 << QStringList{u"5"_s, u""_s, u""_s, u""_s} << "1011"
                                 << "1011";
    QTest::newRow("next only") << QStringList{u""_s, u"5"_s, u""_s, u""_s}
                               << QStringList{u""_s, u"5"_s, u""_s, u""_s} << "0111"
                               << "0111";
    QTest::newRow("signals without states")
        << QStringList{u""_s, u""_s, u""_s, u"y20"_s} << QStringList{u""_s, u""_s, u""_s, u"y20"_s}
        << u"0011"_s << u"0011"_s;
    QTest::newRow("wrong signals")
        << QStringList{u"1"_s, u"2"_s, u""_s, u"y6,y"_s}
        << QStringList{u"1"_s, u"2"_s, u""_s, u"y6,y"_s} << u"1110"_s << u"1110"_s;
    QTest::newRow("wrong conditions")
        << QStringList{u"1"_s, u"2"_s, u"x1 x2"_s, u""_s}
        << QStringList{u"1"_s, u"2"_s, u"x1 x2"_s, u""_s} << u"1101"_s << u"1101"_s;
    QTest::newRow("signals dropped to nothing")
        << QStringList{u""_s, u""_s, u""_s, u"y80"_s} << QStringList{u""_s, u""_s, u""_s, u""_s}
        << u"1111"_s << u"1111"_s;
    // Dropped signals clear both state marks as they empty: the row opens unmarked, but it is
    // the "source only" row, and saved and opened again it is marked.
    QTest::newRow("lone state, signals dropped")
        << QStringList{u"3"_s, u""_s, u""_s, u"y80"_s} << QStringList{u"3"_s, u""_s, u""_s, u""_s}
        << u"1111"_s << u"1011"_s;
    QTest::newRow("refused state texts")
        << QStringList{u"-1"_s, u" 2"_s, u""_s, u"y70"_s}
        << QStringList{u"-1"_s, u" 2"_s, u""_s, u"y70"_s} << u"0011"_s << u"0011"_s;
    QTest::newRow("cyrillic in a cell")
        << QStringList{u"0"_s, u"0"_s, u"х1"_s, u""_s}
        << QStringList{u"0"_s, u"0"_s, u"х1"_s, u""_s} << u"1101"_s << u"1101"_s;
}

void TestRowRules::committedRows()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, shown);
    QFETCH(QString, marks);
    QFETCH(QString, judged);
    HeadlessTable table;
    table.reset(2);
    for (int field = 0; field < fieldCount; ++field)
        table.fillAndCommit(1, field, texts[field]);
    for (int field = 0; field < fieldCount; ++field)
        QCOMPARE(table.row(1).cells[size_t(field)].text, shown[field]);
    QCOMPARE(::marks(table, 1), marks);
    QCOMPARE(table.errorCount(), int(marks.count(u'0')));

    // Judging marks what opening the shown texts marks, and never clears a mark.
    std::array<QString, fieldCount> shownTexts;
    std::copy(shown.cbegin(), shown.cend(), shownTexts.begin());
    QString opened;
    for (const bool correct : RowRules::judgedMarks(shownTexts))
        opened.append(correct ? u'1' : u'0');
    QCOMPARE(opened, judged);
    QCOMPARE(table.judgeForLaunch(), int(judged.count(u'0') - marks.count(u'0')));
    QCOMPARE(::marks(table, 1), judged);
    QCOMPARE(::marks(table, 0), u"1111"_s);
    QCOMPARE(table.errorCount(), int(judged.count(u'0')));
}

void TestRowRules::stateMarksFollowTheOtherState()
{
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, u"5"_s);
    QCOMPARE(marks(table, 0), u"1011"_s);
    table.fillAndCommit(0, NextStateField, u"6"_s);
    QCOMPARE(marks(table, 0), u"1111"_s);
    table.fillAndCommit(0, NextStateField, u""_s);
    QCOMPARE(marks(table, 0), u"1011"_s);
    QCOMPARE(table.errorCount(), 1);
}

void TestRowRules::emptyingConditionsOrSignals()
{
    // Emptying the conditions (signals empty) clears both state marks when both are empty.
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, ConditionsField, u"x1"_s);
    QCOMPARE(marks(table, 0), u"0011"_s);
    table.fillAndCommit(0, ConditionsField, u""_s);
    QCOMPARE(marks(table, 0), u"1111"_s);

    // ... but only the empty one's partner when one state is filled.
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, u"3"_s);
    table.fillAndCommit(0, ConditionsField, u"z"_s);
    QCOMPARE(marks(table, 0), u"1011"_s);
    table.fillAndCommit(0, ConditionsField, u""_s);
    QCOMPARE(marks(table, 0), u"1011"_s);

    // Emptying the signals (conditions empty) clears both, whatever the states hold.
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, u"3"_s);
    table.fillAndCommit(0, SignalsField, u"y20"_s);
    QCOMPARE(marks(table, 0), u"1011"_s);
    table.fillAndCommit(0, SignalsField, u""_s);
    QCOMPARE(marks(table, 0), u"1111"_s);
    QCOMPARE(table.errorCount(), 0);
}

void TestRowRules::refusedStateTextStaysWrong()
{
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, u"1a"_s);
    table.fillAndCommit(0, NextStateField, u"2"_s);
    table.fillAndCommit(0, SignalsField, u"y20"_s);
    QCOMPARE(marks(table, 0), u"0111"_s);
    // Emptying the signals tells both state cells they are correct; the refused one is not.
    table.fillAndCommit(0, SignalsField, u""_s);
    QCOMPARE(marks(table, 0), u"0111"_s);
    QCOMPARE(table.errorCount(), 1);
}

void TestRowRules::longTextsAreTruncated()
{
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, u"12345"_s);
    table.fillAndCommit(0, NextStateField, u"1"_s);
    table.fillAndCommit(0, SignalsField, u"y6,y7,y8,y9,y10,y11,y12,y13,y14,y15,y20,y21"_s);
    QCOMPARE(table.row(0).cells[0].text, u"123"_s);
    QCOMPARE(table.row(0).cells[3].text, u"y6,y7,y8,y9,y10,y11,y12,y13,y14,y15"_s);
    QCOMPARE(table.errorCount(), 0);
}

void TestRowRules::errorCountFollowsEveryRow()
{
    HeadlessTable table;
    table.reset(3);
    table.fillAndCommit(0, SignalsField, u"y6,y"_s);
    table.fillAndCommit(2, ConditionsField, u"q"_s);
    QCOMPARE(table.errorCount(), 6);
    table.reset(2);
    QCOMPARE(table.errorCount(), 0);
    QCOMPARE(table.rowCount(), 2);
}

QTEST_GUILESS_MAIN(TestRowRules)
#include "tst_rowrules.moc"
