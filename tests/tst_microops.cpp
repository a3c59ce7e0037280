// SPDX-License-Identifier: GPL-3.0-or-later
//
// The microoperation set: every ALU function in both modes, every microoperation's effect on
// registers, flags and memory, and the texts that describe them.

#include "sim/microops.h"
#include "coretestutil.h"

#include "cells/celllanguage.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace orb;
using namespace Qt::StringLiterals;

namespace {

// A register or flag of the model by the name the panels and orb-run use; nullptr for a name
// that is none.
int *registerByName(Processor &p, const QString &name)
{
    static const QRegularExpression indexed(u"^(RK|RON)(\\d+)$"_s);
    const QRegularExpressionMatch match = indexed.match(name);
    if (match.hasMatch()) {
        const int index = match.captured(2).toInt();
        if (match.captured(1) == u"RK")
            return index >= 1 && index <= 4 ? &p.rk[size_t(index - 1)] : nullptr;
        return index < 16 ? &p.ron[size_t(index)] : nullptr;
    }
    const std::pair<const char16_t *, int *> names[] = {
        {u"A", &p.a},   {u"B", &p.b},   {u"PC", &p.rs}, {u"SP", &p.sp},
        {u"RI", &p.ri}, {u"RA", &p.ra}, {u"RB", &p.rv}, {u"R", &p.r},
        {u"S1", &p.s1}, {u"S2", &p.s2}, {u"S3", &p.s3},
    };
    for (const auto &[key, pointer] : names) {
        if (name == QStringView(key))
            return pointer;
    }
    return nullptr;
}

quint8 *flagByName(Processor &p, const QString &name)
{
    const std::pair<const char16_t *, quint8 *> names[] = {
        {u"X4", &p.x4}, {u"X3", &p.x3}, {u"X2", &p.x2}, {u"X1", &p.x1},
        {u"Z", &p.z},   {u"N", &p.n},   {u"C", &p.c},   {u"P", &p.p},
    };
    for (const auto &[key, pointer] : names) {
        if (name == QStringView(key))
            return pointer;
    }
    return nullptr;
}

// Applies "A=10 RON3=7F M3A=05 Z=1" (values in hex, memory as M and a hex address).
void apply(Processor &processor, ByteArrayMemory &memory, const QString &assignments)
{
    for (const QString &item : assignments.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = item.section(u'=', 0, 0);
        bool ok = false;
        const int value = item.section(u'=', 1).toInt(&ok, 16);
        QVERIFY2(ok, qPrintable(item));
        if (int *reg = registerByName(processor, name)) {
            *reg = value;
        } else if (quint8 *flag = flagByName(processor, name)) {
            *flag = quint8(value);
        } else {
            QVERIFY2(name.startsWith(u'M'), qPrintable(item));
            memory.bytes[size_t(name.mid(1).toInt(&ok, 16))] = quint8(value);
            QVERIFY2(ok, qPrintable(item));
        }
    }
}

// Every register and memory byte distinct, so a microoperation that reads or writes the wrong
// one shows.
void baseState(Processor &p, ByteArrayMemory &memory)
{
    p.reset();
    p.rk = {0x11, 0x22, 0x33, 0x44};
    for (int i = 0; i < 16; ++i)
        p.ron[size_t(i)] = 0x80 + i;
    p.a = 0xA1;
    p.b = 0xB2;
    p.rs = 0xC3;
    p.sp = 0xD4;
    p.ri = 0x15;
    p.ra = 0x26;
    p.rv = 0x37;
    p.r = 0x9;
    p.s1 = 0x5A; // R1 = 5
    p.s2 = 0x6B; // R2 = 11
    p.s3 = 0x7C;
    for (int address = 0; address < 256; ++address)
        memory.bytes[size_t(address)] = quint8(address * 7 + 3);
}

ControlFields fieldsOf(const QList<int> &numbers)
{
    ControlFields fields;
    for (int number : numbers)
        fields.marks[size_t(number)] = 1;
    return fields;
}

QString describe(const Processor &p)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << u"RK%1=%2"_s.arg(i + 1).arg(formatHex(p.rk[size_t(i)]));
    for (int i = 0; i < 16; ++i)
        parts << u"RON%1=%2"_s.arg(i).arg(formatHex(p.ron[size_t(i)]));
    const std::pair<const char *, int> registers[] = {
        {"A", p.a},   {"B", p.b},   {"PC", p.rs}, {"SP", p.sp}, {"RI", p.ri},
        {"RA", p.ra}, {"RB", p.rv}, {"R", p.r},   {"S1", p.s1}, {"S2", p.s2},
        {"S3", p.s3}, {"X4", p.x4}, {"X3", p.x3}, {"X2", p.x2}, {"X1", p.x1},
        {"Z", p.z},   {"N", p.n},   {"C", p.c},   {"P", p.p},
    };
    for (const auto &[name, value] : registers)
        parts << QString::fromLatin1(name) + u'=' + formatHex(value);
    return parts.join(u' ');
}

const QString prefix = u"Выполнена микрооперация y"_s;

// What one microoperation did, as far as the signal table describes it: the values of the
// places it may write (register numbers as they stood before), the flags, text and device.
struct Effect {
    QList<int> values;
    std::array<quint8, 8> flags{}; // Z, N, C, P; X4 … X1 count as a written place
    QString text;
    DeviceRequest device = DeviceRequest::None;
    QString message;
    bool operator==(const Effect &) const = default;
};

constexpr Locations allLocations = (LocDevice << 1) - 1;

// The value of a place (the registers R, R1, R2 and T select are those of `indexes`).
QList<int> placeValue(const Processor &p, const ByteArrayMemory &memory, Location location,
                      const Processor &indexes, const ControlFields &fields)
{
    switch (location) {
    case LocA:
        return {p.a};
    case LocB:
        return {p.b};
    case LocRA:
        return {p.ra};
    case LocRB:
        return {p.rv};
    case LocPC:
        return {p.rs};
    case LocSP:
        return {p.sp};
    case LocRI:
        return {p.ri};
    case LocR:
        return {p.r};
    case LocS1:
        return {p.s1};
    case LocS2:
        return {p.s2};
    case LocS3:
        return {p.s3};
    case LocRK:
        return {p.rk[0], p.rk[1], p.rk[2], p.rk[3]};
    case LocRonR:
        return {p.ron[size_t(indexes.r)]};
    case LocRonR1:
        return {p.ron[size_t(indexes.r1())]};
    case LocRonR2:
        return {p.ron[size_t(indexes.r2())]};
    case LocRonT:
        return {p.ron[size_t(fields.registerT())]};
    case LocMemory: {
        QList<int> bytes;
        for (int i = 0; i < 4; ++i)
            bytes << memory.bytes[quint8(indexes.ra + i)];
        return bytes;
    }
    case LocConditionFlags:
        return {p.x4, p.x3, p.x2, p.x1};
    case LocDevice:
        return {};
    }
    return {};
}

void perturb(Processor &p, ByteArrayMemory &memory, Location location, const ControlFields &fields)
{
    switch (location) {
    case LocA:
        p.a ^= 0x5A;
        break;
    case LocB:
        p.b ^= 0x5A;
        break;
    case LocRA:
        p.ra ^= 0x11;
        break;
    case LocRB:
        p.rv ^= 0x5A;
        break;
    case LocPC:
        p.rs ^= 0x5A;
        break;
    case LocSP:
        p.sp ^= 0x5A;
        break;
    case LocRI:
        p.ri ^= 0x5A;
        break;
    case LocR:
        p.r ^= 0x8;
        break;
    case LocS1:
        p.s1 ^= 0xA5;
        break;
    case LocS2:
        p.s2 ^= 0xA5;
        break;
    case LocS3:
        p.s3 ^= 0xA5;
        break;
    case LocRK:
        p.rk = {p.rk[3], p.rk[0] ^ 1, p.rk[1], p.rk[2]};
        break;
    case LocRonR:
        p.ron[size_t(p.r)] ^= 0x5A;
        break;
    case LocRonR1:
        p.ron[size_t(p.r1())] ^= 0x5A;
        break;
    case LocRonR2:
        p.ron[size_t(p.r2())] ^= 0x5A;
        break;
    case LocRonT:
        p.ron[size_t(fields.registerT())] ^= 0x5A;
        break;
    case LocMemory:
        for (int i = 0; i < 4; ++i)
            memory.bytes[quint8(p.ra + i)] ^= quint8(0x5A + i);
        break;
    case LocConditionFlags:
        p.x4 ^= 1;
        p.x1 ^= 1;
        break;
    case LocDevice:
        break;
    }
}

Effect effectOf(const SignalInfo &info, const ControlFields &fields, Processor p,
                ByteArrayMemory memory)
{
    const Processor before = p;
    p.clearResultFlags();
    const MicroopOutcome outcome = performMicrooperation(info.number, fields, p, memory);
    if (outcome.device == DeviceRequest::DataByte)
        p.setA(0x42); // the byte the user enters
    Effect effect;
    for (Locations bit = 1; bit & allLocations; bit <<= 1) {
        if (!(info.writes & bit))
            continue;
        if (bit == LocMemory)
            effect.values << memory.bytes[size_t(before.ra)]; // only y60 writes, one byte
        else
            effect.values << placeValue(p, memory, Location(bit), before, fields);
        // Which register or byte was written matters as much as the value.
        if (bit == LocRonR)
            effect.values << before.r;
        else if (bit == LocRonR1)
            effect.values << before.r1();
        else if (bit == LocRonT)
            effect.values << fields.registerT();
        else if (bit == LocMemory)
            effect.values << before.ra;
    }
    effect.flags = p.flags();
    std::fill_n(effect.flags.begin(), 4, quint8(0));
    effect.text = outcome.operation.text();
    effect.device = outcome.device;
    if (outcome.device == DeviceRequest::Message)
        effect.message = deviceMessage(info.number, p);
    return effect;
}

// Register numbers R = 1, R1 = 2, R2 = 3 and T = 4 (y9) select different registers, and РА
// leaves room for the РК loads.
void randomState(QRandomGenerator &random, Processor &p, ByteArrayMemory &memory)
{
    auto byte = [&] { return int(random.bounded(256)); };
    p.reset();
    for (int &value : p.rk)
        value = byte();
    for (int &value : p.ron)
        value = byte();
    for (int *value : {&p.a, &p.b, &p.rs, &p.sp, &p.ri, &p.rv, &p.s3})
        *value = byte();
    // The counter's edges, where y47 sets C or P.
    const int edges[] = {0x00, 0x7F, 0x80, 0xFF};
    if (random.bounded(2))
        p.ri = edges[random.bounded(4)];
    p.ra = int(random.bounded(200));
    p.r = 1;
    p.s1 = 0x20 | (byte() & 0x0F);
    p.s2 = (byte() & 0xF0) | 0x3;
    for (quint8 &value : memory.bytes)
        value = quint8(byte());
}

} // namespace

class TestMicroops : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testutil::failOnAnyWarning(); }

    void aluFunctions_data();
    void aluFunctions();
    void controlFields();
    void microoperations_data();
    void microoperations();
    void deviceMessages_data();
    void deviceMessages();
    void operationTextOfNothing();
    void signalTableMatchesCellLanguage();
    void signalTextsKeepTheirLetters();
    void executionMatchesSignalTable();
};

void TestMicroops::aluFunctions_data()
{
    QTest::addColumn<bool>("logic");
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("p");
    QTest::addColumn<QString>("text");

    // x = 1001 1100, y = 0011 0101. Logic functions leave C and P (set to 1 before) alone.
    const int x = 0x9C;
    const int y = 0x35;
    const struct {
        int function;
        int result;
        const char *text;
    } logic[] = {
        {0, 0x63, "!X"},       {1, 0x42, "!(X v Y)"}, {2, 0x21, "!X & Y"}, {3, 0x00, "0"},
        {4, 0xEB, "!(X & Y)"}, {5, 0xCA, "!Y"},       {6, 0xA9, "X ^ Y"},  {7, 0x88, "X & !Y"},
        {8, 0x77, "!X v Y"},   {9, 0x56, "!(X ^ Y)"}, {10, 0x35, "Y"},     {11, 0x14, "X & Y"},
        {12, 0xFF, "FF"},      {13, 0xDE, "X v !Y"},  {14, 0xBD, "X v Y"}, {15, 0x9C, "X"},
    };
    for (const auto &row : logic) {
        QTest::addRow("logic %d", row.function) << true << row.function << x << y << row.result << 1
                                                << 1 << QString::fromLatin1(row.text);
    }

    const struct {
        int function;
        int x;
        int y;
        int result;
        int c;
        int p;
        const char *text;
    } arithmetic[] = {
        {0, x, y, 0x9D, 0, 0, "X + 1"},
        {1, x, y, 0x39, 1, 1, "X << 1 (1)"},
        {2, x, y, 0x9E, 0, 0, "X + 2"},
        {3, x, y, noAluOperation, 0, 0, ""},
        {4, x, y, 0x4E, 0, 1, "X >> 1 (0)"},
        {5, x, y, 0x9F, 0, 0, "X + 3"},
        {6, x, y, 0x67, 0, 1, "X - Y"},
        {7, x, y, noAluOperation, 0, 0, ""},
        {8, x, y, 0xCE, 0, 0, "X >> 1 (1)"},
        {9, x, y, 0xD1, 0, 0, "X + Y"},
        {10, x, y, 0x99, 1, 1, "Y - X"},
        {11, x, y, 0xA0, 0, 0, "X + 4"},
        {12, x, y, 0x38, 1, 1, "X << 1 (0)"},
        {13, x, y, noAluOperation, 0, 0, ""},
        {14, x, y, noAluOperation, 0, 0, ""},
        {15, x, y, 0x9B, 0, 0, "X - 1"},
        // Wrap-around and the flags at the edges.
        {0, 0xFF, 0, 0x00, 1, 0, "X + 1"},
        {0, 0x7F, 0, 0x80, 0, 1, "X + 1"},
        {2, 0xFE, 0, 0x00, 1, 0, "X + 2"},
        {5, 0x7E, 0, 0x81, 0, 1, "X + 3"},
        {11, 0xFD, 0, 0x01, 1, 0, "X + 4"},
        {15, 0x00, 0, 0xFF, 1, 0, "X - 1"},
        {15, 0x80, 0, 0x7F, 0, 1, "X - 1"},
        {6, 0x10, 0x20, 0xF0, 1, 0, "X - Y"},
        {9, 0x80, 0x80, 0x00, 1, 1, "X + Y"},
        {10, 0x05, 0x05, 0x00, 0, 0, "Y - X"},
    };
    for (const auto &row : arithmetic) {
        QTest::addRow("arithmetic %d, %02X %02X", row.function, row.x, row.y)
            << false << row.function << row.x << row.y << row.result << row.c << row.p
            << QString::fromLatin1(row.text);
    }
}

void TestMicroops::aluFunctions()
{
    QFETCH(bool, logic);
    QFETCH(int, function);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, result);
    QFETCH(int, c);
    QFETCH(int, p);
    QFETCH(QString, text);
    Processor processor;
    processor.c = processor.p = logic ? 1 : 0;
    QCOMPARE(computeAlu(processor, function, logic, x, y), result);
    QCOMPARE(int(processor.c), c);
    QCOMPARE(int(processor.p), p);
    QCOMPARE(aluText(function, logic, u"X"_s, u"Y"_s), text);
}

void TestMicroops::controlFields()
{
    // T takes y10 as its most significant bit, F takes y11: the opposite orders.
    QCOMPARE(fieldsOf({7, 8, 10}).registerT(), 11);
    QCOMPARE(fieldsOf({9}).registerT(), 4);
    QCOMPARE(fieldsOf({11, 14}).aluFunction(), 9);
    QCOMPARE(fieldsOf({12, 13}).aluFunction(), 6);
    QCOMPARE(fieldsOf({14}).aluFunction(), 1);
    QVERIFY(fieldsOf({15}).logicMode());
    QVERIFY(!fieldsOf({11, 12, 13, 14}).logicMode());
    QVERIFY(fieldsOf({6}).countDown());
    QVERIFY(!fieldsOf({7}).countDown());
}

void TestMicroops::microoperations_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QString>("setup");    // changes to the base state before
    QTest::addColumn<QString>("expected"); // every change the microoperation makes
    QTest::addColumn<QString>("text");     // after the prefix, or the whole error text
    QTest::addColumn<int>("device");

    const int none = int(DeviceRequest::None);
    auto add = [&](const char *name, int signal, QList<int> fields, const QString &setup,
                   const QString &expected, const QString &text, int device = 0) {
        QTest::newRow(name) << signal << fields << setup << expected << text << device;
    };
    add("y20 A := R", 20, {}, u""_s, u"A=09"_s, u"A := R"_s);
    add("y20 zero", 20, {}, u"R=0"_s, u"A=00 Z=1"_s, u"A := R"_s);
    add("y21", 21, {}, u""_s, u"A=5A"_s, u"A := S1"_s);
    add("y22", 22, {}, u""_s, u"A=6B"_s, u"A := S2"_s);
    add("y23", 23, {}, u""_s, u"A=7C"_s, u"A := S3"_s);
    add("y24", 24, {}, u""_s, u"A=C3 N=1"_s, u"A := PC"_s);
    add("y25", 25, {}, u""_s, u"A=37"_s, u"A := PB"_s);
    add("y26", 26, {}, u""_s, u"A=D4 N=1"_s, u"A := SP"_s);
    add("y27 R1 from S1", 27, {}, u""_s, u"A=85 N=1"_s, u"A := POH[R1]"_s);
    add("y28 R2 from S2", 28, {}, u""_s, u"A=8B N=1"_s, u"A := POH[R2]"_s);
    add("y29 T=11", 29, {7, 8, 10}, u""_s, u"A=8B N=1"_s, u"A := POH[T]"_s);
    add("y29 T=4", 29, {9}, u""_s, u"A=84 N=1"_s, u"A := POH[T]"_s);
    add("y30", 30, {}, u"M26=42"_s, u"A=42"_s, u"A := ОП[PA]"_s);
    add("y31 A + B", 31, {11, 14}, u""_s, u"A=53 C=1 P=1"_s, u"A := A + B"_s);
    add("y31 logic F=15", 31, {11, 12, 13, 14, 15}, u""_s, u"N=1"_s, u"A := A"_s);
    add("y31 B - A", 31, {11, 13}, u"A=20 B=30"_s, u"A=10"_s, u"A := B - A"_s);
    add("y31 no operation", 31, {13, 14}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y35", 35, {}, u""_s, u"B=15"_s, u"B := РИ"_s);
    add("y36", 36, {}, u""_s, u"B=89 N=1"_s, u"B := POH[R]"_s);
    add("y37 A - B", 37, {12, 13}, u"A=10 B=20"_s, u"B=F0 C=1 N=1"_s, u"B := A - B"_s);
    add("y38", 38, {}, u"R=3"_s, u"B=F3 N=1"_s, u"B := F.R"_s);
    add("y41 T=0", 41, {}, u""_s, u"RA=80 N=1"_s, u"PA := POH[T]"_s);
    add("y42 A & B", 42, {11, 13, 14, 15}, u""_s, u"RA=A0 N=1"_s, u"PA := A & B"_s);
    add("y43", 43, {}, u""_s, u"RA=00 Z=1"_s, u"PA := 0"_s);
    add("y45", 45, {}, u""_s, u"RB=A1 N=1"_s, u"PB := A"_s);
    add("y47 up", 47, {}, u""_s, u"RI=16"_s, u"РИ := РИ + 1"_s);
    add("y47 down", 47, {6}, u""_s, u"RI=14"_s, u"РИ := РИ - 1"_s);
    add("y47 down from 0", 47, {6}, u"RI=0"_s, u"RI=FF C=1 N=1"_s, u"РИ := РИ - 1"_s);
    add("y47 up from FF", 47, {}, u"RI=FF"_s, u"RI=00 C=1 Z=1"_s, u"РИ := РИ + 1"_s);
    add("y47 up from 7F", 47, {}, u"RI=7F"_s, u"RI=80 N=1 P=1"_s, u"РИ := РИ + 1"_s);
    add("y48", 48, {}, u""_s, u"RI=A1 N=1"_s, u"РИ := A"_s);
    add("y49", 49, {}, u""_s, u"PC=00 Z=1"_s, u"PC := 0"_s);
    add("y50 PC + 1", 50, {}, u""_s, u"PC=C4 N=1"_s, u"PC := PC + 1"_s);
    add("y50 no operation", 50, {11, 12, 14}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y52", 52, {}, u""_s, u"SP=A1 N=1"_s, u"SP := A"_s);
    add("y53 A - SP", 53, {11, 13}, u""_s, u"SP=CD C=1 N=1"_s, u"SP := A - SP"_s);
    add("y53 no operation", 53, {11, 12, 13}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y55", 55, {}, u""_s, u"RON9=5A"_s, u"POH[R] := S1"_s);
    add("y56", 56, {}, u""_s, u"RON5=A1 N=1"_s, u"POH[R1] := A"_s);
    add("y57 shift", 57, {14}, u""_s, u"RON9=13 C=1 P=1"_s, u"POH[R] := POH[R] << 1 (1)"_s);
    add("y57 no operation", 57, {12, 13, 14}, u""_s, u""_s,
        u"Операции для данного набора сигналов не существует"_s);
    add("y58 T=3 logic", 58, {7, 8, 15}, u""_s, u"RON3=7C"_s, u"POH[T] := !POH[T]"_s);
    add("y58 T=15 plus A", 58, {7, 8, 9, 10, 11, 14}, u"A=01 RON15=FF"_s, u"RON15=00 Z=1 C=1"_s,
        u"POH[T] := POH[T] + A"_s);
    add("y60", 60, {}, u""_s, u"M26=A1 N=1"_s, u"ОП[РА] := A"_s);
    add("y60 zero", 60, {}, u"A=0"_s, u"M26=00 Z=1"_s, u"ОП[РА] := A"_s);
    add("y62", 62, {}, u"RA=40 M40=A7 M41=5C"_s,
        u"RK1=A7 RK2=5C RK3=00 RK4=00 R=07 S1=5C S2=00 S3=00 X4=1 X2=1"_s,
        u"PK[31:16] := ОП[РА]"_s);
    add("y62 at FE", 62, {}, u"RA=FE MFE=5B MFF=C4"_s,
        u"RK1=5B RK2=C4 RK3=00 RK4=00 R=0B S1=C4 S2=00 S3=00 X3=1 X1=1"_s,
        u"PK[31:16] := ОП[РА]"_s);
    add("y62 at FF", 62, {}, u"RA=FF"_s, u""_s,
        u"<font color='red'>Невозможно выполнить микрооперацию y62: PK[31:16] := ОП[PA]</font>"_s);
    add("y63 at FD", 63, {}, u"RA=FD MFD=F0 MFE=01 MFF=02 X1=1"_s,
        u"RK1=F0 RK2=01 RK3=02 RK4=00 R=00 S1=01 S2=02 S3=00 X4=1 X3=1 X2=1 X1=1"_s,
        u"PK[31:8] := ОП[РА]"_s);
    add("y63 at FE", 63, {}, u"RA=FE"_s, u""_s,
        u"<font color='red'>Невозможно выполнить микрооперацию y63: PK[31:8] := ОП[PA]</font>"_s);
    add("y64 at FC", 64, {}, u"RA=FC MFC=0F MFD=01 MFE=02 MFF=03 X4=1"_s,
        u"RK1=0F RK2=01 RK3=02 RK4=03 R=0F S1=01 S2=02 S3=03 X4=0"_s, u"PK[31:0] := ОП[РА]"_s);
    add("y64 at FD", 64, {}, u"RA=FD"_s, u""_s,
        u"<font color='red'>Невозможно выполнить микрооперацию y64: PK[31:0] := ОП[PA]</font>"_s);
    add("y66", 66, {}, u""_s, u""_s, u"A := Дисплей"_s, int(DeviceRequest::DataByte));
    add("y67", 67, {}, u""_s, u""_s, u"Дисплей := A"_s, int(DeviceRequest::Message));
    add("y68", 68, {}, u""_s, u""_s, u"\"Переполнение\""_s, int(DeviceRequest::Message));
    add("y69", 69, {}, u""_s, u""_s, u"\"Ошибка в КОП\""_s, int(DeviceRequest::Message));
    add("y70", 70, {}, u""_s, u""_s, u"\"СТОП\""_s, int(DeviceRequest::Message));
    add("y32 names nothing", 32, {}, u""_s, u""_s, u""_s, none);
    add("y71 names nothing", 71, {}, u""_s, u""_s, u""_s, none);
}

void TestMicroops::microoperations()
{
    QFETCH(int, signal);
    QFETCH(QList<int>, fields);
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    QFETCH(QString, text);
    QFETCH(int, device);

    Processor processor;
    ByteArrayMemory memory;
    baseState(processor, memory);
    apply(processor, memory, setup);
    Processor expectedProcessor = processor;
    ByteArrayMemory expectedMemory = memory;
    expectedProcessor.clearResultFlags(); // the engine clears them before every microoperation
    apply(expectedProcessor, expectedMemory, expected);

    processor.clearResultFlags();
    const MicroopOutcome outcome =
        performMicrooperation(signal, fieldsOf(fields), processor, memory);

    QCOMPARE(describe(processor), describe(expectedProcessor));
    QVERIFY(memory.bytes == expectedMemory.bytes);
    QCOMPARE(int(outcome.device), device);
    const QString fullText = outcome.operation.text();
    if (text.startsWith(u"Операции") || text.startsWith(u"<font"))
        QCOMPARE(fullText, text);
    else
        QCOMPARE(fullText, prefix + QString::number(signal) + u" :    "_s + text);
}

void TestMicroops::deviceMessages_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("a");
    QTest::addColumn<QString>("message");
    QTest::newRow("y66") << 66 << 0 << u"Введите байт данных: "_s;
    QTest::newRow("y67 05") << 67 << 5 << u"A = 05"_s;
    QTest::newRow("y67 AB") << 67 << 0xAB << u"A = AB"_s;
    QTest::newRow("y68") << 68 << 0 << u"Переполнение"_s;
    QTest::newRow("y69") << 69 << 0 << u"Ошибка в коде операции"_s;
    QTest::newRow("y70") << 70 << 0 << u"СТОП"_s;
}

void TestMicroops::deviceMessages()
{
    QFETCH(int, signal);
    QFETCH(int, a);
    QFETCH(QString, message);
    Processor processor;
    processor.setA(a);
    QCOMPARE(deviceMessage(signal, processor), message);
}

void TestMicroops::operationTextOfNothing()
{
    QCOMPARE(Operation().text(), QString());
    Operation none;
    none.kind = Operation::Kind::NoMicrooperations;
    QCOMPARE(none.text(), u"Нет микроопераций"_s);
}

void TestMicroops::signalTableMatchesCellLanguage()
{
    // The cell language keeps exactly the numbers the table describes, 49 in ascending order.
    int previous = 0;
    for (const SignalInfo &info : signalTable()) {
        QVERIFY(info.number > previous);
        previous = info.number;
        QCOMPARE(signalInfo(info.number), &info);
        QCOMPARE(info.kind == SignalKind::ControlField, info.number <= 15);
    }
    for (int number = -1; number < 120; ++number)
        QCOMPARE(signalInfo(number) != nullptr, isSignalNumber(number));
}

void TestMicroops::signalTextsKeepTheirLetters()
{
    // Some texts mix Latin letters and their Cyrillic look-alikes on purpose; each code point
    // is pinned, and every other text is plain ASCII.
    const std::pair<int, std::vector<char16_t>> mixed[] = {
        {30, {u'A', u' ', u':', u'=', u' ', 0x41E, 0x41F, u'[', u'P', u'A', u']'}},
        {35, {u'B', u' ', u':', u'=', u' ', 0x420, 0x418}},
        {47, {0x420, 0x418, u' ', u':', u'=', u' ', 0x420, 0x418, u' '}},
        {48, {0x420, 0x418, u' ', u':', u'=', u' ', u'A'}},
        {60, {0x41E, 0x41F, u'[', 0x420, 0x410, u']', u' ', u':', u'=', u' ', u'A'}},
        {62,
         {u'P', u'K', u'[', u'3', u'1', u':', u'1', u'6', u']', u' ', u':', u'=', u' ', 0x41E,
          0x41F, u'[', 0x420, 0x410, u']'}},
        {63,
         {u'P', u'K', u'[', u'3', u'1', u':', u'8', u']', u' ', u':', u'=', u' ', 0x41E, 0x41F,
          u'[', 0x420, 0x410, u']'}},
        {64,
         {u'P', u'K', u'[', u'3', u'1', u':', u'0', u']', u' ', u':', u'=', u' ', 0x41E, 0x41F,
          u'[', 0x420, 0x410, u']'}},
        {66, {u'A', u' ', u':', u'=', u' ', 0x414, 0x438, 0x441, 0x43F, 0x43B, 0x435, 0x439}},
        {67, {0x414, 0x438, 0x441, 0x43F, 0x43B, 0x435, 0x439, u' ', u':', u'=', u' ', u'A'}},
        {68,
         {u'"', 0x41F, 0x435, 0x440, 0x435, 0x43F, 0x43E, 0x43B, 0x43D, 0x435, 0x43D, 0x438, 0x435,
          u'"'}},
        {69,
         {u'"', 0x41E, 0x448, 0x438, 0x431, 0x43A, 0x430, u' ', 0x432, u' ', 0x41A, 0x41E, 0x41F,
          u'"'}},
        {70, {u'"', 0x421, 0x422, 0x41E, 0x41F, u'"'}},
    };
    for (const auto &[number, codes] : mixed) {
        const QString text = QString::fromUtf16(signalInfo(number)->text);
        QCOMPARE(text, QString::fromUtf16(codes.data(), qsizetype(codes.size())));
    }
    for (const SignalInfo &info : signalTable()) {
        if (std::any_of(std::begin(mixed), std::end(mixed),
                        [&](const auto &entry) { return entry.first == info.number; }))
            continue;
        for (const QChar c : QString::fromUtf16(info.text))
            QVERIFY2(c.unicode() < 128, qPrintable(QString::number(info.number)));
    }
    // The failed РК load names "ОП[PA]" with a Latin "PA", unlike the loads' own texts.
    Operation failed;
    failed.kind = Operation::Kind::RkLoadFailed;
    failed.signal = 62;
    QVERIFY(
        failed.text().endsWith(QString::fromUtf16(u"y62: PK[31:16] := \u041E\u041F[PA]</font>")));
}

void TestMicroops::executionMatchesSignalTable()
{
    // The switch that executes the signals against the table: it writes only what the table
    // says, its result depends on exactly what the table says it reads and on exactly the
    // control fields it names, and the flags follow the table's effects.
    const QList<QList<int>> fieldSets = {{9}, {9, 11, 14}, {9, 12, 13, 15}, {6, 9, 12, 13}};
    QRandomGenerator random(1234);
    for (const SignalInfo &info : signalTable()) {
        // The engine notes memory writes only of the signals that writesMemory() names.
        QCOMPARE(writesMemory(info.number), bool(info.writes & LocMemory));
        if (info.kind != SignalKind::Microoperation)
            continue;
        const QByteArray name = "y" + QByteArray::number(info.number);
        Locations readsSeen = 0;
        quint16 fieldsSeen = 0;
        bool carrySeen = false;
        for (int round = 0; round < 24; ++round) {
            Processor p;
            ByteArrayMemory memory;
            randomState(random, p, memory);
            const ControlFields fields = fieldsOf(fieldSets[round % fieldSets.size()]);
            const Effect effect = effectOf(info, fields, p, memory);

            // Nothing outside the written places changes.
            Processor after = p;
            ByteArrayMemory afterMemory = memory;
            after.clearResultFlags();
            performMicrooperation(info.number, fields, after, afterMemory);
            for (Locations bit = 1; bit & allLocations; bit <<= 1) {
                if (!(info.writes & bit) && bit != LocRonR && bit != LocRonR1 && bit != LocRonR2 &&
                    bit != LocRonT && bit != LocMemory)
                    QVERIFY2(placeValue(after, afterMemory, Location(bit), p, fields) ==
                                 placeValue(p, memory, Location(bit), p, fields),
                             name.constData());
            }
            for (int i = 0; i < 16; ++i) {
                const bool selected = ((info.writes & LocRonR) && i == p.r) ||
                                      ((info.writes & LocRonR1) && i == p.r1()) ||
                                      ((info.writes & LocRonT) && i == fields.registerT());
                if (!selected)
                    QVERIFY2(after.ron[size_t(i)] == p.ron[size_t(i)], name.constData());
            }
            for (int address = 0; address < 256; ++address) {
                if (!(info.writes & LocMemory) || address != p.ra)
                    QVERIFY2(afterMemory.bytes[size_t(address)] == memory.bytes[size_t(address)],
                             name.constData());
            }

            // Reads: a place the table does not name never changes the effect.
            for (Locations bit = 1; bit & allLocations; bit <<= 1) {
                Processor changed = p;
                ByteArrayMemory changedMemory = memory;
                perturb(changed, changedMemory, Location(bit), fields);
                const bool differs = effectOf(info, fields, changed, changedMemory) != effect;
                if (differs)
                    readsSeen |= bit;
                QVERIFY2(!differs || (info.reads & bit),
                         (name + " reads " + QByteArray::number(bit)).constData());
            }
            // Control fields likewise.
            for (int field = 6; field <= 15; ++field) {
                ControlFields toggled = fields;
                toggled.marks[size_t(field)] ^= 1;
                const bool differs = effectOf(info, toggled, p, memory) != effect;
                if (differs)
                    fieldsSeen |= quint16(1u << field);
                QVERIFY2(!differs || (info.controlFields & (1u << field)),
                         (name + " y" + QByteArray::number(field)).constData());
            }

            // Flags.
            const auto &f = effect.flags;
            switch (info.zeroSign) {
            case ZeroSignEffect::None:
                QVERIFY2(!f[ZFlag] && !f[NFlag], name.constData());
                break;
            case ZeroSignEffect::ZeroSet:
                QVERIFY2(f[ZFlag] && !f[NFlag], name.constData());
                break;
            case ZeroSignEffect::FromResult: {
                QVERIFY2(!effect.values.isEmpty(), name.constData());
                const int v = effect.values.first();
                QVERIFY2(f[ZFlag] == (v == 0) && f[NFlag] == (v > 127), name.constData());
                if (!info.usesAlu)
                    QVERIFY2(v >= info.resultMin && v <= info.resultMax, name.constData());
                break;
            }
            }
            const bool carry = f[CFlag] || f[PFlag];
            carrySeen = carrySeen || carry;
            if (info.carry == CarryEffect::None ||
                (info.carry == CarryEffect::Alu && fields.logicMode()))
                QVERIFY2(!carry, name.constData());
            const DeviceRequest device = info.device == DeviceEffect::None ? DeviceRequest::None
                                         : info.device == DeviceEffect::DataByte
                                             ? DeviceRequest::DataByte
                                             : DeviceRequest::Message;
            QVERIFY2(effect.device == device, name.constData());
            QVERIFY2(effect.text.startsWith(prefix + QString::number(info.number) + u" :    "_s +
                                            QString::fromUtf16(info.text)),
                     name.constData());
        }
        // ... and every place and field it names does matter somewhere. The device and the
        // rest of the general registers cannot be varied this way.
        QCOMPARE(readsSeen | LocDevice, info.reads | LocDevice);
        QVERIFY2(fieldsSeen == info.controlFields, name.constData());
        QVERIFY2(carrySeen == (info.carry != CarryEffect::None), name.constData());
    }
}

QTEST_GUILESS_MAIN(TestMicroops)
#include "tst_microops.moc"
