// The row rules on the headless table: which cells a change or a finished edit marks.

#include "cells/rowrules.h"
#include "coretestutil.h"

#include <QTest>

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
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("marks");
    QTest::newRow("blank row") << QStringList{"", "", "", ""} << QStringList{"", "", "", ""}
                               << "1111";
    QTest::newRow("complete row") << QStringList{"0", "1", "C, -X1,z", "Y10, y6"}
                                  << QStringList{"0", "1", "-x1,z,c", "y6,y10"} << "1111";
    QTest::newRow("source only") << QStringList{"5", "", "", ""} << QStringList{"5", "", "", ""}
                                 << "1011";
    QTest::newRow("next only") << QStringList{"", "5", "", ""} << QStringList{"", "5", "", ""}
                               << "0111";
    QTest::newRow("signals without states")
        << QStringList{"", "", "", "y20"} << QStringList{"", "", "", "y20"} << "0011";
    QTest::newRow("wrong signals")
        << QStringList{"1", "2", "", "y6,y"} << QStringList{"1", "2", "", "y6,y"} << "1110";
    QTest::newRow("wrong conditions")
        << QStringList{"1", "2", "x1 x2", ""} << QStringList{"1", "2", "x1 x2", ""} << "1101";
    QTest::newRow("signals dropped to nothing")
        << QStringList{"", "", "", "y80"} << QStringList{"", "", "", ""} << "1111";
    QTest::newRow("refused state texts")
        << QStringList{"-1", " 2", "", "y70"} << QStringList{"-1", " 2", "", "y70"} << "0011";
    QTest::newRow("cyrillic in a cell")
        << QStringList{"0", "0", QString::fromUtf8("х1"), ""}
        << QStringList{"0", "0", QString::fromUtf8("х1"), ""} << "1101";
}

void TestRowRules::committedRows()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, shown);
    QFETCH(QString, marks);
    HeadlessTable table;
    table.reset(1);
    for (int field = 0; field < fieldCount; ++field)
        table.fillAndCommit(0, field, texts[field]);
    for (int field = 0; field < fieldCount; ++field)
        QCOMPARE(table.row(0).cells[size_t(field)].text, shown[field]);
    QCOMPARE(::marks(table, 0), marks);
    QCOMPARE(table.errorCount(), int(marks.count(u'0')));
}

void TestRowRules::stateMarksFollowTheOtherState()
{
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, "5");
    QCOMPARE(marks(table, 0), "1011");
    table.fillAndCommit(0, NextStateField, "6");
    QCOMPARE(marks(table, 0), "1111");
    table.fillAndCommit(0, NextStateField, "");
    QCOMPARE(marks(table, 0), "1011");
    QCOMPARE(table.errorCount(), 1);
}

void TestRowRules::emptyingConditionsOrSignals()
{
    // Emptying the conditions (signals empty) clears both state marks when both are empty.
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, ConditionsField, "x1");
    QCOMPARE(marks(table, 0), "0011");
    table.fillAndCommit(0, ConditionsField, "");
    QCOMPARE(marks(table, 0), "1111");

    // ... but only the empty one's partner when one state is filled.
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, "3");
    table.fillAndCommit(0, ConditionsField, "z");
    QCOMPARE(marks(table, 0), "1011");
    table.fillAndCommit(0, ConditionsField, "");
    QCOMPARE(marks(table, 0), "1011");

    // Emptying the signals (conditions empty) clears both, whatever the states hold.
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, "3");
    table.fillAndCommit(0, SignalsField, "y20");
    QCOMPARE(marks(table, 0), "1011");
    table.fillAndCommit(0, SignalsField, "");
    QCOMPARE(marks(table, 0), "1111");
    QCOMPARE(table.errorCount(), 0);
}

void TestRowRules::refusedStateTextStaysWrong()
{
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, "1a");
    table.fillAndCommit(0, NextStateField, "2");
    table.fillAndCommit(0, SignalsField, "y20");
    QCOMPARE(marks(table, 0), "0111");
    // Emptying the signals tells both state cells they are correct; the refused one is not.
    table.fillAndCommit(0, SignalsField, "");
    QCOMPARE(marks(table, 0), "0111");
    QCOMPARE(table.errorCount(), 1);
}

void TestRowRules::longTextsAreTruncated()
{
    HeadlessTable table;
    table.reset(1);
    table.fillAndCommit(0, SourceStateField, "12345");
    table.fillAndCommit(0, NextStateField, "1");
    table.fillAndCommit(0, SignalsField, "y6,y7,y8,y9,y10,y11,y12,y13,y14,y15,y20,y21");
    QCOMPARE(table.row(0).cells[0].text, "123");
    QCOMPARE(table.row(0).cells[3].text, "y6,y7,y8,y9,y10,y11,y12,y13,y14,y15");
    QCOMPARE(table.errorCount(), 0);
}

void TestRowRules::errorCountFollowsEveryRow()
{
    HeadlessTable table;
    table.reset(3);
    table.fillAndCommit(0, SignalsField, "y6,y");
    table.fillAndCommit(2, ConditionsField, "q");
    QCOMPARE(table.errorCount(), 6);
    table.reset(2);
    QCOMPARE(table.errorCount(), 0);
    QCOMPARE(table.rowCount(), 2);
}

QTEST_GUILESS_MAIN(TestRowRules)
#include "tst_rowrules.moc"
