// SPDX-License-Identifier: GPL-3.0-or-later
//
// The processor model: bit arrays, the adder flags, the shifts and the register texts.

#include "sim/processor.h"
#include "coretestutil.h"

#include <QTest>

using namespace orb;

namespace {

// The adder flags as a ripple chain over the bit arrays, bit 0 first, as the function unit is
// described; the model computes them in closed form and must agree for every pair.
void rippleFlags(int x, int y, bool subtract, int &c, int &p)
{
    const Bits xb = Processor::toBits(x);
    const Bits yb = Processor::toBits(y);
    int carry = 0;
    int into7 = 0;
    for (int bit = 0; bit < 8; ++bit) {
        const int xi = xb[size_t(7 - bit)];
        const int yi = yb[size_t(7 - bit)];
        if (bit == 7)
            into7 = carry;
        if (subtract)
            carry = (!xi && yi) || (!xi && carry) || (yi && carry);
        else
            carry = xi + yi + carry >= 2;
    }
    c = carry;
    p = carry != into7;
}

} // namespace

class TestProcessor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }

    void bits();
    void adderFlags_data();
    void adderFlags();
    void adderFlagsMatchRippleChain();
    void shifts_data();
    void shifts();
    void zeroAndSign_data();
    void zeroAndSign();
    void formatHexTexts_data();
    void formatHexTexts();
    void resetAndDerivedNumbers();
    void byteArrayMemory();
};

void TestProcessor::bits()
{
    QCOMPARE(Processor::toBits(0x81), (Bits{1, 0, 0, 0, 0, 0, 0, 1}));
    QCOMPARE(Processor::toBits(0x40), (Bits{0, 1, 0, 0, 0, 0, 0, 0}));
    QCOMPARE(Processor::fromBits(Bits{0, 0, 0, 0, 1, 0, 1, 0}), 0x0A);
    for (int value = 0; value < 256; ++value) {
        QCOMPARE(Processor::fromBits(Processor::toBits(value)), value);
        QCOMPARE(Processor::invertBits(value), value ^ 0xFF);
    }
}

void TestProcessor::adderFlags_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<bool>("subtract");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("p");
    QTest::newRow("7F+1 signed overflow") << 0x7F << 1 << false << 0 << 1;
    QTest::newRow("FF+1 carry") << 0xFF << 1 << false << 1 << 0;
    QTest::newRow("00-1 borrow") << 0x00 << 1 << true << 1 << 0;
    QTest::newRow("80-1 signed overflow") << 0x80 << 1 << true << 0 << 1;
    QTest::newRow("80+80 both") << 0x80 << 0x80 << false << 1 << 1;
    QTest::newRow("10-20 borrow") << 0x10 << 0x20 << true << 1 << 0;
    QTest::newRow("7F-FF overflow and borrow") << 0x7F << 0xFF << true << 1 << 1;
    QTest::newRow("05-05 nothing") << 0x05 << 0x05 << true << 0 << 0;
    QTest::newRow("01+02 nothing") << 0x01 << 0x02 << false << 0 << 0;
}

void TestProcessor::adderFlags()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(bool, subtract);
    QFETCH(int, c);
    QFETCH(int, p);
    // Both flags are always written: start from the opposite values.
    Processor processor;
    processor.c = quint8(!c);
    processor.p = quint8(!p);
    processor.setAdderFlags(x, y, subtract);
    QCOMPARE(int(processor.c), c);
    QCOMPARE(int(processor.p), p);
}

void TestProcessor::adderFlagsMatchRippleChain()
{
    Processor processor;
    for (int subtract = 0; subtract < 2; ++subtract) {
        for (int x = 0; x < 256; ++x) {
            for (int y = 0; y < 256; ++y) {
                int c = 0;
                int p = 0;
                rippleFlags(x, y, subtract, c, p);
                processor.setAdderFlags(x, y, subtract);
                if (processor.c != c || processor.p != p)
                    QFAIL(qPrintable(
                        QStringLiteral("x=%1 y=%2 subtract=%3").arg(x).arg(y).arg(subtract)));
            }
        }
    }
}

void TestProcessor::shifts_data()
{
    QTest::addColumn<bool>("left");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("incoming");
    QTest::addColumn<int>("flagsBefore"); // C and P before the shift
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("p");
    QTest::newRow("right 81 in 0") << false << 0x81 << 0 << 0 << 0x40 << 1 << 1;
    QTest::newRow("right 02 in 0") << false << 0x02 << 0 << 0 << 0x01 << 0 << 0;
    QTest::newRow("right 01 in 1") << false << 0x01 << 1 << 0 << 0x80 << 1 << 1;
    QTest::newRow("right 80 in 1") << false << 0x80 << 1 << 0 << 0xC0 << 0 << 0;
    QTest::newRow("right keeps set flags") << false << 0x02 << 0 << 1 << 0x01 << 1 << 1;
    QTest::newRow("left 40 in 0") << true << 0x40 << 0 << 0 << 0x80 << 0 << 1;
    QTest::newRow("left C0 in 1") << true << 0xC0 << 1 << 0 << 0x81 << 1 << 0;
    QTest::newRow("left 80 in 0") << true << 0x80 << 0 << 0 << 0x00 << 1 << 1;
    QTest::newRow("left 01 in 1") << true << 0x01 << 1 << 0 << 0x03 << 0 << 0;
    QTest::newRow("left keeps set flags") << true << 0x01 << 0 << 1 << 0x02 << 1 << 1;
}

void TestProcessor::shifts()
{
    QFETCH(bool, left);
    QFETCH(int, value);
    QFETCH(int, incoming);
    QFETCH(int, flagsBefore);
    QFETCH(int, result);
    QFETCH(int, c);
    QFETCH(int, p);
    Processor processor;
    processor.c = processor.p = quint8(flagsBefore);
    const int shifted =
        left ? processor.shiftLeftBits(value, incoming) : processor.shiftRightBits(value, incoming);
    QCOMPARE(shifted, result);
    QCOMPARE(int(processor.c), c);
    QCOMPARE(int(processor.p), p);
}

void TestProcessor::zeroAndSign_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("z");
    QTest::addColumn<int>("n");
    QTest::newRow("0") << 0 << 1 << 0;
    QTest::newRow("1") << 1 << 0 << 0;
    QTest::newRow("7F") << 0x7F << 0 << 0;
    QTest::newRow("80") << 0x80 << 0 << 1;
    QTest::newRow("FF") << 0xFF << 0 << 1;
}

void TestProcessor::zeroAndSign()
{
    QFETCH(int, value);
    QFETCH(int, z);
    QFETCH(int, n);
    Processor processor;
    processor.setZeroAndSign(value);
    QCOMPARE(int(processor.z), z);
    QCOMPARE(int(processor.n), n);
}

void TestProcessor::formatHexTexts_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "00";
    QTest::newRow("7") << 7 << "07";
    QTest::newRow("10") << 10 << "0A";
    QTest::newRow("171") << 171 << "AB";
    QTest::newRow("255") << 255 << "FF";
}

void TestProcessor::formatHexTexts()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(formatHex(value), text);
}

void TestProcessor::resetAndDerivedNumbers()
{
    Processor processor;
    processor.rk = {1, 2, 3, 4};
    processor.ron[15] = 9;
    processor.s1 = 0xA7;
    processor.s2 = 0x3C;
    processor.x4 = processor.p = 1;
    QCOMPARE(processor.r1(), 0xA);
    QCOMPARE(processor.r2(), 0xC);
    QCOMPARE(processor.flags(), (std::array<quint8, 8>{1, 0, 0, 0, 0, 0, 0, 1}));
    QCOMPARE(processor.flagBits(), 0x81);
    processor.reset();
    QVERIFY(processor == Processor());
    QCOMPARE(processor.rk[0] + processor.ron[15] + processor.s1 + processor.x4, 0);
}

void TestProcessor::byteArrayMemory()
{
    ByteArrayMemory memory;
    QCOMPARE(memory.readMemory(0x3A), 0);
    memory.writeMemory(0x3A, 5);
    QCOMPARE(memory.readMemory(0x3A), 5);
    QCOMPARE(int(memory.bytes[0x3A]), 5);
    memory.bytes[0xFF] = 0xEE; // changed from outside between two accesses
    QCOMPARE(memory.readMemory(0xFF), 0xEE);
}

QTEST_GUILESS_MAIN(TestProcessor)
#include "tst_processor.moc"
