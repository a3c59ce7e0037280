// SPDX-License-Identifier: GPL-3.0-or-later
//
// The register table: the panels' order and keys, unique names, and each entry reading and
// writing its own register of the processor and no other.

#include "app/document.h"
#include "sim/executionwindow.h"
#include "sim/registers.h"
#include "testutil.h"

#include <QSet>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

class TestRegisters : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }
    void init() { testutil::failOnAnyWarning(); }

    void followsThePanels();
    void namesAreUnique();
    void eachEntryOwnsOneRegister();
    void entriesMatchTheProcessorFields();
    void formats();
    void radixes_data();
    void radixes();
};

void TestRegisters::followsThePanels()
{
    const auto &keys = ExecutionWindow::panelCellKeys();
    QCOMPARE(int(keys.size()), registerTableSize);
    for (int i = 0; i < registerTableSize; ++i)
        QCOMPARE(registerTable()[size_t(i)].panelKey, keys[size_t(i)]);
    QCOMPARE(ExecutionWindow::registerCellCount, 31);
    QCOMPARE(ExecutionWindow::flagCellCount, 8);
}

void TestRegisters::namesAreUnique()
{
    QSet<QString> names;
    QSet<QString> panelNames;
    for (const RegisterInfo &info : registerTable()) {
        names.insert(QString::fromLatin1(info.name));
        panelNames.insert(QString::fromUtf16(info.panelName));
    }
    QCOMPARE(names.size(), registerTableSize);
    QCOMPARE(panelNames.size(), registerTableSize);
    QCOMPARE(registerIndex(u"pc"), 22);
    QCOMPARE(registerIndex(u"RON15"), 19);
    QCOMPARE(registerIndex(u"x4"), 31);
    QCOMPARE(registerIndex(u"P"), 38);
    QCOMPARE(registerIndex(u"RON16"), -1);
    QCOMPARE(registerIndex(u""), -1);
    QCOMPARE(QString::fromUtf16(registerTable()[22].panelName), u"РС"_s);
    QCOMPARE(QString::fromUtf16(registerTable()[26].panelName), u"РВ"_s);
}

void TestRegisters::eachEntryOwnsOneRegister()
{
    const auto &table = registerTable();
    for (int i = 0; i < registerTableSize; ++i) {
        Processor p;
        const int value = table[size_t(i)].format == RegisterFormat::Hex ? 0xA5 : 1;
        table[size_t(i)].write(p, value);
        for (int j = 0; j < registerTableSize; ++j) {
            QCOMPARE(table[size_t(j)].read(p), j == i ? value : 0);
            QCOMPARE(registerPlace(j).read(p), j == i ? value : 0);
        }
    }
}

void TestRegisters::entriesMatchTheProcessorFields()
{
    Processor p;
    for (int i = 0; i < 4; ++i)
        p.rk[size_t(i)] = 1 + i;
    for (int i = 0; i < 16; ++i)
        p.ron[size_t(i)] = 10 + i;
    p.a = 30, p.b = 31, p.rs = 32, p.sp = 33, p.ri = 34, p.ra = 35, p.rv = 36, p.r = 37;
    p.s1 = 38, p.s2 = 39, p.s3 = 40;
    p.x3 = 1, p.x1 = 1, p.n = 1, p.p = 1;
    QStringList shown;
    for (const RegisterInfo &info : registerTable())
        shown << QString::fromLatin1(info.name) + u'=' + QString::number(info.read(p));
    QCOMPARE(shown.join(u' '),
             u"RK1=1 RK2=2 RK3=3 RK4=4 RON0=10 RON1=11 RON2=12 RON3=13 RON4=14 RON5=15 RON6=16 "
             u"RON7=17 RON8=18 RON9=19 RON10=20 RON11=21 RON12=22 RON13=23 RON14=24 RON15=25 "
             u"A=30 B=31 PC=32 SP=33 RI=34 RA=35 RB=36 R=37 S1=38 S2=39 S3=40 "
             u"X4=0 X3=1 X2=0 X1=1 Z=0 N=1 C=0 P=1"_s);
    // The flags in the order the conditions test them.
    const std::array<quint8, 8> flags = p.flags();
    for (int i = 0; i < flagCount; ++i)
        QCOMPARE(registerTable()[size_t(registerCount + i)].read(p), int(flags[size_t(i)]));
}

void TestRegisters::formats()
{
    const RegisterInfo &a = registerTable()[20];
    const RegisterInfo &z = registerTable()[registerCount + ZFlag];
    QCOMPARE(formatRegisterValue(a, 0x0B), u"0B"_s);
    QCOMPARE(formatRegisterValue(a, 255), u"FF"_s);
    QCOMPARE(formatRegisterValue(z, 1), u"1"_s);
    QCOMPARE(formatHex(0xC3), QStringLiteral("C3"));
}

void TestRegisters::radixes_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QStringList>("texts"); // hexadecimal, unsigned, signed, binary
    QTest::newRow("3C") << 0x3C << QStringList{u"3C"_s, u"60"_s, u"+60"_s, u"0011 1100"_s};
    QTest::newRow("0") << 0 << QStringList{u"00"_s, u"0"_s, u"0"_s, u"0000 0000"_s};
    QTest::newRow("7F") << 0x7F << QStringList{u"7F"_s, u"127"_s, u"+127"_s, u"0111 1111"_s};
    QTest::newRow("80") << 0x80 << QStringList{u"80"_s, u"128"_s, u"-128"_s, u"1000 0000"_s};
    QTest::newRow("FF") << 0xFF << QStringList{u"FF"_s, u"255"_s, u"-1"_s, u"1111 1111"_s};
}

void TestRegisters::radixes()
{
    QFETCH(int, value);
    QFETCH(QStringList, texts);
    QStringList got;
    for (int radix = 0; radix < radixCount; ++radix)
        got << formatRadix(value, Radix(radix));
    QCOMPARE(got, texts);
    if (value != 0)
        return;
    // Every byte reads back from every form, and no two bytes share a text.
    for (int radix = 0; radix < radixCount; ++radix) {
        QSet<QString> seen;
        for (int byte = 0; byte < 256; ++byte) {
            const QString text = formatRadix(byte, Radix(radix));
            seen << text;
            QString digits = text;
            digits.remove(u' ');
            bool ok = false;
            const int base = radix == int(Radix::Hex) ? 16 : radix == int(Radix::Binary) ? 2 : 10;
            const int read = digits.toInt(&ok, base);
            QVERIFY2(ok, qPrintable(text));
            QCOMPARE(read & 0xFF, byte);
        }
        QCOMPARE(seen.size(), 256);
    }
}

QTEST_MAIN(TestRegisters)
#include "tst_registers.moc"
